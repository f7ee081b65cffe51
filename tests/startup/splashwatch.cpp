// Watches for the splash window of the real program: writes "shown <milliseconds>" once the
// window has come and gone (how long it was seen up), or "none" when the stop file appears
// first without it ever being seen.
//   splashwatch.exe RESULT-FILE STOP-FILE SECONDS
#include <windows.h>

#include <cstdio>
#include <string>

#include "tessel/Unique.h"

namespace {

void Write(const std::wstring& file, const std::string& text) {
    const tessel::UniqueFile h(
        ::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!h) return;
    DWORD written = 0;
    ::WriteFile(h.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    const std::wstring result = argv[1], stop = argv[2];
    const DWORD limit = static_cast<DWORD>(_wtoi(argv[3])) * 1000;
    const DWORD start = ::GetTickCount();
    DWORD first = 0, last = 0;
    bool seen = false;
    while (::GetTickCount() - start < limit) {
        const HWND splash = ::FindWindowW(L"VelmoraSplash", L"Velmora");
        const DWORD now = ::GetTickCount();
        if (splash && ::IsWindowVisible(splash)) {
            if (!seen) first = now;
            seen = true;
            last = now;
        } else if (seen) {
            Write(result, "shown " + std::to_string(last - first) + "\n");
            return 0;
        } else if (::GetFileAttributesW(stop.c_str()) != INVALID_FILE_ATTRIBUTES) {
            Write(result, "none\n");
            return 0;
        }
        ::Sleep(20);
    }
    Write(result, seen ? "still up\n" : "timeout\n");
    return 1;
}
