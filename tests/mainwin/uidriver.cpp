// Drives the real program's windows from outside, one step after another, and writes what it
// saw (one line per event) to a report file. Used by the main-window test and the demo.
//   vlm_uidriver.exe REPORT-FILE SECONDS STEP...
// Steps:
//   box:ok | box:cancel   wait for a message box titled "Velmora", report its text, press the button
//   main                  wait for the main window to be shown; report whether the splash is gone
//   menu:N                choose the main window's menu item number N
//   tab:N                 make tab N (1 to 4) the shown one with Ctrl+Tab key strokes
//   shot:FILE             save a picture of the main window as a 24-bit BMP file
//   about:FILE            wait for the About window, save its picture, press its OK button
//   set:ID:TEXT           type TEXT into the main window's control number ID (on any tab)
//   click:ID              press the main window's button number ID, as a click does
//   gone                  wait for the main window to go away
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tessel/Unique.h"

namespace {

DWORD g_deadline = 0;

bool TimeLeft() { return ::GetTickCount() < g_deadline; }

void Report(const std::wstring& file, const std::wstring& line) {
    const tessel::UniqueFile h(::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return;
    const std::wstring text = line + L"\n";
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

struct Find {
    const wchar_t* cls;
    const wchar_t* title;  // null: any
    HWND found = nullptr;
};

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM param) {
    auto* f = reinterpret_cast<Find*>(param);
    wchar_t cls[64] = L"", title[128] = L"";
    ::GetClassNameW(hwnd, cls, 64);
    ::GetWindowTextW(hwnd, title, 128);
    if (std::wstring(cls) == f->cls && (!f->title || std::wstring(title) == f->title) && ::IsWindowVisible(hwnd)) {
        f->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND Visible(const wchar_t* cls, const wchar_t* title = nullptr) {
    Find f{cls, title};
    ::EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

HWND WaitFor(const wchar_t* cls, const wchar_t* title = nullptr) {
    while (TimeLeft()) {
        if (HWND h = Visible(cls, title)) return h;
        ::Sleep(100);
    }
    return nullptr;
}

const wchar_t kMainClass[] = L"VelmoraMainWindow";

// The icon a message box shows, by the style's icon bits as the box's icon control shows them.
std::wstring BoxText(HWND box) {
    wchar_t text[2048] = L"";
    ::GetDlgItemTextW(box, 0xFFFF, text, 2048);
    return text;
}

void Key(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    ::SendInput(1, &in, sizeof(in));
}

int CurrentTab(HWND main) {
    const HWND tabs = ::FindWindowExW(main, nullptr, L"SysTabControl32", nullptr);
    return tabs ? static_cast<int>(::SendMessageW(tabs, 0x1300 + 11 /* TCM_GETCURSEL */, 0, 0)) + 1 : 0;
}

struct ById {
    int id;
    HWND found = nullptr;
};

BOOL CALLBACK FindId(HWND hwnd, LPARAM param) {
    auto* f = reinterpret_cast<ById*>(param);
    if (::GetDlgCtrlID(hwnd) != f->id) return TRUE;
    f->found = hwnd;
    return FALSE;
}

// The main window's control numbered ID, however deep in its panels.
HWND Control(int id) {
    const HWND main = Visible(kMainClass);
    ById f{id};
    if (main) ::EnumChildWindows(main, FindId, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

bool SaveShot(HWND window, const std::wstring& file) {
    RECT r{};
    ::GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    const DWORD stride = ((w * 24 + 31) / 32) * 4;
    const DWORD size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
    fh.bfSize = fh.bfOffBits + size;
    bi.bmiHeader.biSizeImage = size;
    bool ok = false;
    const tessel::UniqueFile f(
        ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (f) {
        DWORD n = 0;
        ok = ::WriteFile(f.get(), &fh, sizeof(fh), &n, nullptr) &&
             ::WriteFile(f.get(), &bi.bmiHeader, sizeof(bi.bmiHeader), &n, nullptr) &&
             ::WriteFile(f.get(), bits, size, &n, nullptr);
    }
    ::SelectObject(mem, old);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const std::wstring report = argv[1];
    g_deadline = ::GetTickCount() + static_cast<DWORD>(_wtoi(argv[2])) * 1000;
    for (int i = 3; i < argc; ++i) {
        const std::wstring step = argv[i];
        if (step == L"box:ok" || step == L"box:cancel") {
            const HWND box = WaitFor(L"#32770", L"Velmora");
            if (!box) {
                Report(report, L"timeout: " + step);
                return 1;
            }
            Report(report, L"box: " + BoxText(box));
            const int button = step == L"box:ok" ? IDOK : IDCANCEL;
            if (HWND b = ::GetDlgItem(box, button)) ::SendMessageW(b, BM_CLICK, 0, 0);
            else ::PostMessageW(box, WM_COMMAND, button, 0);
            while (TimeLeft() && ::IsWindow(box) && ::IsWindowVisible(box)) ::Sleep(50);
        } else if (step == L"main") {
            const HWND main = WaitFor(kMainClass);
            if (!main) {
                Report(report, L"timeout: main");
                return 1;
            }
            Report(report, std::wstring(L"main: shown, splash ") + (Visible(L"VelmoraSplash") ? L"still up" : L"gone"));
        } else if (step.rfind(L"menu:", 0) == 0) {
            const HWND main = Visible(kMainClass);
            if (!main) {
                Report(report, L"no main window for " + step);
                return 1;
            }
            // A menu command arrives as it does from the menu bar; the handler may show a box.
            ::PostMessageW(main, WM_COMMAND, static_cast<WPARAM>(_wtoi(step.c_str() + 5)), 0);
        } else if (step.rfind(L"tab:", 0) == 0) {
            const HWND main = Visible(kMainClass);
            const int want = _wtoi(step.c_str() + 4);
            for (int tries = 0; main && tries < 8 && CurrentTab(main) != want && TimeLeft(); ++tries) {
                ::SetForegroundWindow(main);
                ::Sleep(100);
                const int before = CurrentTab(main);
                Key(VK_CONTROL, false);
                Key(VK_TAB, false);
                Key(VK_TAB, true);
                Key(VK_CONTROL, true);
                // The next stroke waits for this one to be handled: on a busy host, one pressed
                // again before would step past the tab.
                const DWORD pressed = ::GetTickCount();
                while (TimeLeft() && CurrentTab(main) == before && ::GetTickCount() - pressed < 5000) ::Sleep(50);
            }
            Report(report, L"tab: " + std::to_wstring(main ? CurrentTab(main) : 0));
        } else if (step.rfind(L"shot:", 0) == 0) {
            const HWND main = Visible(kMainClass);
            ::Sleep(300);  // let the shown panel paint
            Report(report, (main && SaveShot(main, step.substr(5)) ? L"shot: " : L"shot failed: ") + step.substr(5));
        } else if (step.rfind(L"about:", 0) == 0) {
            const HWND about = WaitFor(L"#32770", L"About Velmora");
            if (!about) {
                Report(report, L"timeout: about");
                return 1;
            }
            ::Sleep(300);
            Report(report, (SaveShot(about, step.substr(6)) ? L"about: " : L"about shot failed: ") + step.substr(6));
            if (HWND ok = ::GetDlgItem(about, IDOK)) ::SendMessageW(ok, BM_CLICK, 0, 0);
            while (TimeLeft() && ::IsWindow(about) && ::IsWindowVisible(about)) ::Sleep(50);
            Report(report, ::IsWindow(about) && ::IsWindowVisible(about) ? L"about: still open" : L"about: closed");
        } else if (step.rfind(L"set:", 0) == 0) {
            const std::size_t colon = step.find(L':', 4);
            const HWND control = colon == std::wstring::npos ? nullptr : Control(_wtoi(step.c_str() + 4));
            if (!control) {
                Report(report, L"no control for " + step);
                return 1;
            }
            ::SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(step.c_str() + colon + 1));
        } else if (step.rfind(L"click:", 0) == 0) {
            const HWND button = Control(_wtoi(step.c_str() + 6));
            if (!button) {
                Report(report, L"no control for " + step);
                return 1;
            }
            // Posted: the click runs modal windows of its own and returns only when they close.
            ::PostMessageW(button, BM_CLICK, 0, 0);
            Report(report, L"clicked: " + step.substr(6));
        } else if (step == L"gone") {
            while (TimeLeft() && Visible(kMainClass)) ::Sleep(100);
            Report(report, Visible(kMainClass) ? L"timeout: gone" : L"gone");
        }
    }
    return 0;
}
