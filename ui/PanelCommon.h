// What the help, Browser Helper Object and support panels share: each is a child dialog made
// from its template, its object pointer in GWLP_USERDATA, its controls placed in twips.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "ui/Controls.h"
#include "ui/Panel.h"
#include "ui/PanelLayouts.h"

namespace velmora::ui {

// The base of those panels: every message goes through the boundary under the panel's source
// name; the controls are placed as they stand at WM_INITDIALOG and laid out afresh for every size.
class DialogPanel : public Panel {
public:
    ~DialogPanel() override;
    DialogPanel(const DialogPanel&) = delete;
    DialogPanel& operator=(const DialogPanel&) = delete;

    void Create(HWND parent) override;
    HWND Window() const override { return hwnd_; }
    // Lays the controls out for the size; a column-width step goes to the panel's list.
    void Resize(int widthTwips, int heightTwips) override;

    // Where the controls stand now, in twips.
    const panel_layout::Geometry& Geometry() const { return geometry_; }

protected:
    using LayoutFunction = panel_layout::PanelLayout (*)(const panel_layout::Geometry&, int, int);
    DialogPanel(int templateId, const wchar_t* source, panel_layout::Geometry design, LayoutFunction layout);

    // The panel's own start at WM_INITDIALOG, before its controls are placed and laid out.
    virtual void OnInitDialog() {}
    // Every message but WM_SIZE (and WM_INITDIALOG's return value, always FALSE).
    virtual INT_PTR OnMessage(UINT, WPARAM, LPARAM) { return FALSE; }
    // Destroys the window (the base's destructor does too). A panel whose handlers need its own
    // members while the window goes calls it from its own destructor.
    void DestroyPanelWindow();

    HWND hwnd_ = nullptr;
    panel_layout::Geometry geometry_;

private:
    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    int templateId_;
    const wchar_t* source_;
    LayoutFunction layout_;
};

}  // namespace velmora::ui

namespace velmora::ui::panel_common {

// Creates the hidden child dialog of template `templateId` inside `parent`; `self` reaches the
// procedure at WM_INITDIALOG. Raises when the system refuses.
HWND CreatePanelDialog(int templateId, HWND parent, DLGPROC proc, void* self);

// The object of a panel procedure: stored at WM_INITDIALOG, dropped at WM_NCDESTROY.
template <class T>
T* PanelObject(HWND dialog, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG) ::SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
    T* self = reinterpret_cast<T*>(::GetWindowLongPtrW(dialog, GWLP_USERDATA));
    if (message == WM_NCDESTROY) ::SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
    return self;
}

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
