// Watches for the splash window of the real program: writes "watching" once it has looked and
// found none (the program may be started then), "shown <milliseconds>" once the window has
// come and gone, or "none" when the stop file appears first without it ever being seen. The
// milliseconds run from the last look that did not yet see the window to the first look that
// no longer saw it: the window was up no longer than that, and a look that comes late (a busy
// host) only makes the span longer.
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
    DWORD before = start;
    bool seen = false, watching = false;
    while (::GetTickCount() - start < limit) {
        // A look between two readings: the window was in the state seen at some moment between.
        const DWORD lookStart = ::GetTickCount();
        const HWND splash = ::FindWindowW(L"VelmoraSplash", L"Velmora");
        const bool up = splash && ::IsWindowVisible(splash);
        const DWORD lookEnd = ::GetTickCount();
        if (up) {
            seen = true;
        } else if (seen) {
            Write(result, "shown " + std::to_string(lookEnd - before) + "\n");
            return 0;
        } else if (::GetFileAttributesW(stop.c_str()) != INVALID_FILE_ATTRIBUTES) {
            Write(result, "none\n");
            return 0;
        } else {
            before = lookStart;
            if (!watching) Write(result, "watching\n");
            watching = true;
        }
        ::Sleep(20);
    }
    Write(result, seen ? "still up\n" : "timeout\n");
    return 1;
}
