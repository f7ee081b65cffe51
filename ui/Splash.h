// The splash window: a borderless picture centred on the screen while the start-up runs. It
// closes itself on its 3-second timer or when a mouse button is released over it; window
// events reach it only while the start-up yields.
#pragma once
#define IDB_SPLASH 4900

#ifndef RC_INVOKED
#include <windows.h>

#include "tessel/Unique.h"

namespace velmora::ui {

class Splash {
public:
    Splash() = default;
    ~Splash();
    Splash(const Splash&) = delete;
    Splash& operator=(const Splash&) = delete;

    // Loads the window (its timer starts) and shows it without owner, not modal. Raises when
    // the window cannot be made.
    void Show();
    // True while the window is up.
    bool Visible() const;
    // Unloads the window if it is still there.
    void Release() noexcept;
    HWND Window() const { return hwnd_; }

    static constexpr wchar_t kClassName[] = L"VelmoraSplash";
    static constexpr UINT kTimerMs = 3000;

private:
    struct BitmapTraits {
        using Handle = HBITMAP;
        static Handle invalid() noexcept { return nullptr; }
        static void close(Handle h) noexcept { ::DeleteObject(h); }
    };

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    // Timer1_Timer and Image1_MouseUp alike: the timer off, the window closed and unloaded.
    void Close() noexcept;

    HWND hwnd_ = nullptr;
    tessel::Unique<BitmapTraits> picture_;
};

}  // namespace velmora::ui
#endif
