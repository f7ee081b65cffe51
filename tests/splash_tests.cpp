// The splash window as the start-up shows it: its look and place, and the three ways it closes
// (its timer, a released mouse button over it, nothing else).
#include <gtest/gtest.h>

#include <windows.h>

#include "ui/Boundary.h"
#include "ui/Splash.h"

using velmora::ui::PumpPending;
using velmora::ui::Splash;

namespace {

// Pumps until the splash is gone or the time is up; returns the milliseconds since start (a
// tick count read before the splash was shown).
DWORD PumpUntilClosed(const Splash& splash, DWORD start, DWORD limitMs) {
    while (splash.Visible() && ::GetTickCount() - start < limitMs) {
        PumpPending();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return ::GetTickCount() - start;
}

// A splash window of this process; another test's program may show its own meanwhile.
HWND OwnSplashWindow() {
    HWND w = nullptr;
    while ((w = ::FindWindowExW(nullptr, w, Splash::kClassName, nullptr)) != nullptr) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        if (pid == ::GetCurrentProcessId()) return w;
    }
    return nullptr;
}

}  // namespace

TEST(Splash, IsABorderlessPictureOfFourHundredByThreeHundredSixteenCentredOnTheScreen) {
    Splash splash;
    splash.Show();
    ASSERT_TRUE(splash.Visible());
    const HWND hwnd = splash.Handle();
    wchar_t cls[64] = L"", caption[64] = L"";
    ::GetClassNameW(hwnd, cls, 64);
    ::GetWindowTextW(hwnd, caption, 64);
    EXPECT_STREQ(cls, L"VelmoraSplash");
    EXPECT_STREQ(caption, L"Velmora");
    const LONG style = ::GetWindowLongW(hwnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_SYSMENU));
    EXPECT_EQ(::GetWindow(hwnd, GW_OWNER), nullptr);
    HDC screen = ::GetDC(nullptr);
    const int dpiX = ::GetDeviceCaps(screen, LOGPIXELSX), dpiY = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    RECT client{}, window{};
    ::GetClientRect(hwnd, &client);
    ::GetWindowRect(hwnd, &window);
    EXPECT_EQ(client.right, ::MulDiv(6000, dpiX, 1440));
    EXPECT_EQ(client.bottom, ::MulDiv(4740, dpiY, 1440));
    if (dpiX == 96 && dpiY == 96) {
        EXPECT_EQ(client.right, 400);
        EXPECT_EQ(client.bottom, 316);
    }
    EXPECT_LE(std::abs(window.left + window.right - ::GetSystemMetrics(SM_CXSCREEN)), 1);
    EXPECT_LE(std::abs(window.top + window.bottom - ::GetSystemMetrics(SM_CYSCREEN)), 1);
    // The picture is painted: a pixel of the gradient is not the class's plain background.
    PumpPending();
    HDC dc = ::GetDC(hwnd);
    const COLORREF corner = ::GetPixel(dc, 2, 2);
    ::ReleaseDC(hwnd, dc);
    EXPECT_NE(corner, ::GetSysColor(COLOR_WINDOW));
}

TEST(Splash, ClosesOnAnyMouseButtonReleasedOverIt) {
    for (UINT release : {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP}) {
        Splash splash;
        splash.Show();
        ASSERT_TRUE(splash.Visible());
        ::PostMessageW(splash.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));  // a move closes nothing
        PumpPending();
        EXPECT_TRUE(splash.Visible());
        ::PostMessageW(splash.Handle(), release, 0, MAKELPARAM(200, 150));
        PumpPending();
        EXPECT_FALSE(splash.Visible()) << release;
        EXPECT_EQ(OwnSplashWindow(), nullptr) << "unloaded";
    }
}

TEST(Splash, ClosesOnItsTimerAfterThreeSeconds) {
    Splash splash;
    // Read before the timer is set: time the test loses between the show and its first reading
    // (a busy host) would otherwise count against the splash.
    const DWORD start = ::GetTickCount();
    splash.Show();
    const DWORD took = PumpUntilClosed(splash, start, 60000);
    EXPECT_FALSE(splash.Visible());
    EXPECT_GE(took, Splash::kTimerMs - 20);  // the timer's clock and the tick count step apart
}
