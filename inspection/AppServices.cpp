#include "inspection/AppServices.h"

#include <windows.h>

#include "tessel/Error.h"

namespace velmora::app {

namespace {
int g_pointer = kDefaultPointer;
}

int MousePointer() { return g_pointer; }

void SetMousePointer(int pointer) {
    g_pointer = pointer;
    // Show it at once; the program's windows keep showing it on WM_SETCURSOR.
    ::SetCursor(::LoadCursorA(nullptr, pointer == kHourglass ? IDC_WAIT : IDC_ARROW));
}

std::wstring LoadResString(unsigned id) {
    const wchar_t* text = nullptr;
    // With a zero buffer size the call hands out a pointer into the resource itself.
    const int n = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (n <= 0 || !text)
        throw tessel::Error(326, L"Resource with identifier '" + std::to_wstring(id) + L"' not found",
                            "LoadStringW");
    return std::wstring(text, static_cast<std::size_t>(n));
}

}  // namespace velmora::app
