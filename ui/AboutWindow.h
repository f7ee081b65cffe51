// The About window: the version line on a dark background in a white double frame, the maker's
// home page behind the picture and the visit label, closed by OK or Esc.
#pragma once
#include <windows.h>

#include "ui/Controls.h"

namespace velmora::ui {

class FAbout {
public:
    FAbout() = default;
    ~FAbout();
    FAbout(const FAbout&) = delete;
    FAbout& operator=(const FAbout&) = delete;

    // Creates the window (its load steps run), centred on `owner`, hidden.
    void Load(HWND owner);
    // Shows it modal over `owner` until OK, Esc or the close hides it; then unloads it.
    void ShowModal(HWND owner);
    HWND Window() const noexcept { return hwnd_; }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK VisitLabelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void Form_Load();
    void cmdOK_Click();
    void Image1_DblClick();
    void lblVisitLumeno_MouseUp(int Button);
    void Paint();
    void DrawOkButton(const DRAWITEMSTRUCT& item);

    HWND hwnd_ = nullptr;
    HWND owner_ = nullptr;
    UniqueGdiObject background_;
    HCURSOR visitCursor_ = nullptr;
    static constexpr int twipsPerPixel_ = 15;
};

}  // namespace velmora::ui
