// Answers the program's message boxes for the tests that run the real program: every top-level
// dialog titled "Velmora" gets its OK button pressed, and its text is appended to a file, once
// per box. It answers until the stop file appears, which the script makes once the program has
// ended: a box that nobody expected is answered like any other and shows in the file, where the
// script finds it, instead of holding the program until its time runs out. SECONDS bounds only
// a helper whose script is gone; the script gives more than the program's own time.
// A session of Wine that can make no window (its desktop did not start) can show no box either:
// the file then says so, and the helper ends.
//   vlm_pressok.exe ANSWERS-FILE STOP-FILE SECONDS
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tessel/Unique.h"

namespace {

// A box whose text is in the file, and when its OK was last pressed.
struct Answered {
    HWND box;
    ULONGLONG pressed;
};

// A press may be lost on a loaded host while the box is still being made: a box still there
// this long after its press gets pressed again, without its text being written twice.
constexpr ULONGLONG kPressAgainMs = 2000;

BOOL CALLBACK CollectBoxes(HWND hwnd, LPARAM param) {
    wchar_t cls[64] = L"", title[64] = L"";
    ::GetClassNameW(hwnd, cls, 64);
    ::GetWindowTextW(hwnd, title, 64);
    if (std::wstring(cls) == L"#32770" && std::wstring(title) == L"Velmora" && ::IsWindowVisible(hwnd))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
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

// Whether this session can make a top-level window at all: a hidden one, made and gone at once
// (a window left up unserved would hold every program that sends to all windows).
bool WindowsCanBeMade() {
    const HWND probe = ::CreateWindowExW(0, L"Static", L"vlm_pressok", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                         ::GetModuleHandleW(nullptr), nullptr);
    if (!probe) return false;
    ::DestroyWindow(probe);
    return true;
}

void PressOK(HWND box) {
    HWND ok = ::GetDlgItem(box, IDOK);
    if (ok) ::SendMessageW(ok, BM_CLICK, 0, 0);
    else ::PostMessageW(box, WM_COMMAND, IDOK, 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    const std::wstring answers = argv[1], stop = argv[2];
    const ULONGLONG limit = static_cast<ULONGLONG>(_wtoi(argv[3])) * 1000;
    if (!WindowsCanBeMade()) {
        Append(answers, L"(no window can be made in this Wine session: no box could come up)");
        return 3;
    }
    const ULONGLONG start = ::GetTickCount64();
    std::vector<Answered> answered;
    while (::GetTickCount64() - start < limit) {
        if (::GetFileAttributesW(stop.c_str()) != INVALID_FILE_ATTRIBUTES) return 0;
        std::vector<HWND> boxes;
        ::EnumWindows(CollectBoxes, reinterpret_cast<LPARAM>(&boxes));
        // A box that is gone is forgotten; only the boxes up now count as answered.
        std::erase_if(answered, [&](const Answered& a) {
            return std::find(boxes.begin(), boxes.end(), a.box) == boxes.end();
        });
        for (HWND box : boxes) {
            const ULONGLONG now = ::GetTickCount64();
            auto known = std::find_if(answered.begin(), answered.end(), [&](const Answered& a) { return a.box == box; });
            if (known == answered.end()) {
                wchar_t text[2048] = L"";
                ::GetDlgItemTextW(box, 0xFFFF, text, 2048);
                Append(answers, text);
                answered.push_back({box, now});
                PressOK(box);
            } else if (now - known->pressed >= kPressAgainMs) {
                known->pressed = now;
                PressOK(box);
            }
        }
        ::Sleep(100);
    }
    return 1;
}
