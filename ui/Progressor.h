// The modal "please wait" window inside which its caller runs a long operation: the caller
// shows it with a text, the window raises Started once it is active, the caller's handler does
// the work, and the window closes itself when the handler returns.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "ui/Window.h"

namespace velmora::ui {

// The window's outer width for a label of the given width, in twips: it grows with its text.
constexpr int ProgressWidthTwips(int labelWidthTwips) { return labelWidthTwips + 1200; }

class FProgressor : public Window {
public:
    FProgressor() : Window(L"FProgressor") {}
    ~FProgressor() override;

    // The caller's work. Raised once per showing: a message box closing inside the work, or the
    // user switching back to the window while the work yields, activates the window again, and
    // a second run inside the first would send everything twice.
    std::function<void()> Started;

    // Modal: returns after Started has run and the window has closed, with the default pointer.
    // Modeless: leaves the window loaded and the hourglass set until Finalize. Raises when the
    // window cannot be made.
    void ShowProgress(const std::wstring& Caption, HWND OwnerForm, bool Modal);
    // Restores the default pointer and unloads the window; ignores errors.
    void Finalize() noexcept;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Form_Activate();

    HWND label_ = nullptr;  // made with the window
    HFONT font_ = nullptr;
    bool started_ = false;  // Started was raised (or is queued) in this showing
};

}  // namespace velmora::ui
