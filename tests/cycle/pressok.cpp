// Answers the program's message boxes for the whole-cycle test: every top-level dialog titled
// "Velmora" gets its OK button pressed, and its text is appended to a file.
//   vlm_pressok.exe ANSWERS-FILE STOP-FILE SECONDS
#include <windows.h>

#include <cstdio>
#include <string>

#include "tessel/Unique.h"

namespace {

struct Search {
    HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM param) {
    wchar_t cls[64] = L"", title[64] = L"";
    ::GetClassNameW(hwnd, cls, 64);
    ::GetWindowTextW(hwnd, title, 64);
    if (std::wstring(cls) == L"#32770" && std::wstring(title) == L"Velmora" && ::IsWindowVisible(hwnd)) {
        reinterpret_cast<Search*>(param)->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

void Append(const std::wstring& file, const std::wstring& line) {
    const tessel::UniqueFile h(::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return;
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), n, nullptr, nullptr);
    bytes += "\n";
    DWORD written = 0;
    ::WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    const std::wstring answers = argv[1], stop = argv[2];
    const DWORD limit = static_cast<DWORD>(_wtoi(argv[3])) * 1000;
    const ULONGLONG start = ::GetTickCount64();
    while (::GetTickCount64() - start < limit) {
        if (::GetFileAttributesW(stop.c_str()) != INVALID_FILE_ATTRIBUTES) return 0;
        Search search;
        ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            wchar_t text[2048] = L"";
            ::GetDlgItemTextW(search.found, 0xFFFF, text, 2048);
            Append(answers, text);
            HWND ok = ::GetDlgItem(search.found, IDOK);
            if (ok) ::SendMessageW(ok, BM_CLICK, 0, 0);
            else ::PostMessageW(search.found, WM_COMMAND, IDOK, 0);
            ::Sleep(500);
        }
        ::Sleep(100);
    }
    return 1;
}
