// What the panels of the tabs share: each is a child dialog made from its template on the one
// window base, its controls placed in twips.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "ui/Controls.h"
#include "ui/Panel.h"
#include "ui/PanelLayouts.h"
#include "ui/Window.h"

namespace velmora::ui {

// The base of those panels: the controls are placed as they stand at WM_INITDIALOG and laid out
// afresh for every size. The window goes with the object; a panel whose handlers need its own
// members while the window goes calls Destroy from its own destructor.
class DialogPanel : public Panel, public Dialog {
public:
    void Create(HWND parent) override;
    HWND Handle() const noexcept override { return hwnd_; }
    // Lays the controls out for the size; a column-width step goes to the panel's list.
    void Resize(int widthTwips, int heightTwips) override;

    // Where the controls stand now, in twips.
    const panel_layout::Geometry& Geometry() const { return geometry_; }

protected:
    using LayoutFunction = panel_layout::PanelLayout (*)(const panel_layout::Geometry&, int, int);
    DialogPanel(int templateId, const wchar_t* source, panel_layout::Geometry design, LayoutFunction layout);
    // A panel of its own layout: it places its controls in OnInitDialog and in its own Resize.
    DialogPanel(int templateId, const wchar_t* source);

    // The panel's own start at WM_INITDIALOG, before its controls are placed and laid out.
    virtual void OnInitDialog() {}
    // Every message but WM_INITDIALOG and WM_SIZE, as a dialog procedure answers.
    virtual INT_PTR OnPanelMessage(UINT, WPARAM, LPARAM) { return FALSE; }

    panel_layout::Geometry geometry_;

private:
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) final;

    int templateId_;
    LayoutFunction layout_ = nullptr;
};

}  // namespace velmora::ui

namespace velmora::ui::panel_common {

// Moves every control of `geometry` to its place, in pixels.
void ApplyGeometry(HWND dialog, const panel_layout::Geometry& geometry);

// Measures each caption's text in its control's own font, as the control draws it (a button's
// with room for its edges and focus rectangle, one that grows down wrapped at its width), and
// applies the one rule for fixed captions (panel_layout::FitCaptions) to `geometry`.
void FitCaptions(HWND window, panel_layout::Geometry& geometry, std::vector<panel_layout::Caption> captions);

// The inner size of a window in twips.
void InnerSizeTwips(HWND window, int& widthTwips, int& heightTwips);

// The program's icon at 32 x 32 pixels (the system's application icon where the program file
// has none). Shared: never destroyed.
HICON ProgramIcon();

}  // namespace velmora::ui::panel_common
