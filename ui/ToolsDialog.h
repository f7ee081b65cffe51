// What the two dialogs of the Tools menu (Zazi Dururuv, Restore Removed Programs) share: the
// window made from its template and shown modal over its owner, their controls at design
// positions in twips, the program's icon, centring over the owner.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tessel/Logger.h"
#include "ui/Controls.h"
#include "ui/PanelLayouts.h"
#include "ui/Window.h"

namespace velmora::ui {

// The base of those dialogs: made from its template once, shown modal over its owner.
class ToolsDialog : public Dialog {
public:
    // Creates the window hidden over `owner` (once while it lasts); ShowModal does it when needed.
    HWND Create(HWND owner);
    // Shows the window modal over `owner` until it is hidden.
    void ShowModal(HWND owner);

protected:
    // `title` names the window in the error raised when it cannot be created.
    ToolsDialog(int templateId, const wchar_t* source, const wchar_t* title);

    HWND Control(int id) const { return ::GetDlgItem(hwnd_, id); }

    tessel::Logger* log_ = &tessel::UnopenedLogger();
    HWND owner_ = nullptr;

private:
    int templateId_;
    const wchar_t* title_;
};

}  // namespace velmora::ui

namespace velmora::ui::tools_dialog {

struct TwipsRect {
    int id;  // the control's number; 0 for none
    int left, top, width, height;
};

// Sizes the dialog's inner area and moves every listed control to its place, after its fixed
// captions have grown to their texts by the one rule of every window (panel_common::FitCaptions).
void Place(HWND dialog, int clientWidthTwips, int clientHeightTwips, const TwipsRect* controls, int count,
           std::vector<panel_layout::Caption> captions);
// The program's icon in the picture control, as the panels show it.
void ShowProgramIcon(HWND picture);
// Centred over the owner's window, or over the screen without one.
void CenterOver(HWND dialog, HWND owner);

}  // namespace velmora::ui::tools_dialog
