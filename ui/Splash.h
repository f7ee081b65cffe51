// The splash window: a borderless picture centred on the screen while the start-up runs. It
// closes itself on its 3-second timer or when a mouse button is released over it; window
// events reach it only while the start-up yields.
#pragma once
#define IDB_SPLASH 4900

#ifndef RC_INVOKED
#include <windows.h>

#include "ui/UiHandles.h"
#include "ui/Window.h"

namespace velmora::ui {

class Splash : public Window {
public:
    Splash() : Window(L"FSplash.WindowProc") {}

    // Loads the window (its timer starts) and shows it without owner, not modal. Raises when
    // the window cannot be made.
    void Show();
    // True while the window is up.
    bool Visible() const;

    static constexpr wchar_t kClassName[] = L"VelmoraSplash";
    static constexpr UINT kTimerMs = 3000;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Paint();
    // Timer1_Timer and Image1_MouseUp alike: the timer off, the window closed and unloaded.
    void Close() noexcept;

    UniqueBitmap picture_;
};
}  // namespace velmora::ui
#endif
