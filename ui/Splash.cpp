#include "ui/Splash.h"

#include "inspection/AppServices.h"
#include "tessel/Error.h"

namespace velmora::ui {

namespace {

constexpr UINT_PTR kTimer1 = 1;
// The window's inner size in twips: the picture's 400 x 316 pixels at the usual 96 dots per inch.
constexpr int kWidthTwips = 6000, kHeightTwips = 4740;

}  // namespace

void Splash::Show() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.lpszClassName = kClassName;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassOnce(wc, L"The splash window's class cannot be registered");
    picture_.reset(static_cast<HBITMAP>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(IDB_SPLASH), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));

    int dpiX = 96, dpiY = 96;
    if (const WindowDC screen(nullptr); screen) {
        dpiX = ::GetDeviceCaps(screen.get(), LOGPIXELSX);
        dpiY = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
    }
    const int width = ::MulDiv(kWidthTwips, dpiX, 1440), height = ::MulDiv(kHeightTwips, dpiY, 1440);
    const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    // No border, no title bar and no control box: the caption exists but is never seen. No
    // taskbar button either, and it takes no activation: nothing of it asks a window manager to
    // manage it, so that closing it never waits on one.
    Create(WS_EX_TOOLWINDOW, kClassName, L"Velmora", WS_POPUP, RECT{left, top, left + width, top + height}, nullptr,
           L"The splash window cannot be created");
    ::ShowWindow(hwnd_, SW_SHOWNA);
    // The window is loaded and shown in one step: its 3 seconds run from here.
    if (!::SetTimer(hwnd_, kTimer1, kTimerMs, nullptr)) {
        const DWORD code = ::GetLastError();
        Destroy();
        tessel::ThrowSystemError(code, "SetTimer", L"The splash window's timer cannot be set");
    }
    ::UpdateWindow(hwnd_);
}

bool Splash::Visible() const { return hwnd_ && ::IsWindowVisible(hwnd_); }

LRESULT Splash::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kTimer1) Close();
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
        case WM_XBUTTONUP:
            Close();
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(lParam) == HTCLIENT) {
                ::SetCursor(::LoadCursorA(nullptr, app::MousePointer() == app::kHourglass ? IDC_WAIT : IDC_ARROW));
                return TRUE;
            }
            break;
        case WM_PAINT:
            Paint();
            return 0;
    }
    return Default(message, wParam, lParam);
}

void Splash::Paint() {
    const PaintDC paint(hwnd_);
    if (paint && picture_) {
        if (const UniqueMemoryDC memory(::CreateCompatibleDC(paint.get())); memory) {
            BITMAP info{};
            ::GetObjectW(picture_.get(), sizeof(info), &info);
            const SelectedObject selected(memory.get(), picture_.get());
            ::BitBlt(paint.get(), 0, 0, info.bmWidth, info.bmHeight, memory.get(), 0, 0, SRCCOPY);
        }
    }
}

void Splash::Close() noexcept {
    // Errors of either step are ignored: the window is gone or going either way.
    ::KillTimer(hwnd_, kTimer1);
    Destroy();
}

}  // namespace velmora::ui
