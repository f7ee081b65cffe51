// The About window: the version line on a dark background in a white double frame, the maker's
// home page behind the picture and the visit label, closed by OK or Esc.
#pragma once
#include <windows.h>

#include "ui/Controls.h"
#include "ui/Window.h"

namespace velmora::ui {

class FAbout : public Dialog {
public:
    FAbout() : Dialog(L"FAbout") {}

    // Creates the window (its load steps run), centred on `owner`, hidden.
    void Load(HWND owner);
    // Shows it modal over `owner` until OK, Esc or the close hides it; then unloads it.
    void ShowModal(HWND owner);

private:
    static LRESULT CALLBACK VisitLabelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void Form_Load();
    void cmdOK_Click();
    void Image1_DblClick();
    void lblVisitLumeno_MouseUp(int Button);
    void Paint();
    void DrawOkButton(const DRAWITEMSTRUCT& item);

    HWND owner_ = nullptr;
    UniqueGdiObject background_;
    HCURSOR visitCursor_ = nullptr;
    static constexpr int twipsPerPixel_ = 15;
};

}  // namespace velmora::ui
