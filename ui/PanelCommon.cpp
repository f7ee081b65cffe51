#include "ui/PanelCommon.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "tessel/Error.h"
#include "ui/MainWindowIds.h"

namespace velmora::ui {

using namespace panel_common;

DialogPanel::DialogPanel(int templateId, const wchar_t* source, panel_layout::Geometry design, LayoutFunction layout)
    : Dialog(source), geometry_(std::move(design)), templateId_(templateId), layout_(layout) {}

DialogPanel::DialogPanel(int templateId, const wchar_t* source) : Dialog(source), templateId_(templateId) {}

void DialogPanel::Create(HWND parent) {
    CreateFromTemplate(templateId_, parent, L"The panel " + std::to_wstring(templateId_) + L" could not be created");
}

INT_PTR DialogPanel::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            OnInitDialog();
            if (!layout_) return FALSE;
            ApplyGeometry(hwnd_, geometry_);
            int w = 0, h = 0;
            InnerSizeTwips(hwnd_, w, h);
            Resize(w, h);
            return FALSE;
        }
        case WM_SIZE:
            Resize(LOWORD(lParam) * panel_layout::kTwipsPerPixel, HIWORD(lParam) * panel_layout::kTwipsPerPixel);
            return TRUE;
        default:
            return OnPanelMessage(message, wParam, lParam);
    }
}

void DialogPanel::Resize(int widthTwips, int heightTwips) {
    if (!layout_) return;
    // Errors are passed over here: a control that refuses a size keeps its own.
    tessel::PassOver([&] {
        const panel_layout::PanelLayout layout = layout_(geometry_, widthTwips, heightTwips);
        geometry_ = layout.geometry;
        if (!hwnd_) return;
        ApplyGeometry(hwnd_, geometry_);
        for (const auto& step : layout.steps)
            if (step.field == panel_layout::Field::ColumnWidth)
                ::SendMessageW(ListViewObject(), LVM_SETCOLUMNWIDTH, 0,
                               MAKELPARAM(panel_layout::TwipsToPixels(step.value), 0));
    });
}

}  // namespace velmora::ui

namespace velmora::ui::panel_common {

void ApplyGeometry(HWND dialog, const panel_layout::Geometry& geometry) {
    for (const auto& [control, box] : geometry.boxes) {
        const HWND item = ::GetDlgItem(dialog, control);
        if (!item) continue;
        const panel_layout::PixelRect px = panel_layout::ToPixels(box);
        ::SetWindowPos(item, nullptr, px.left, px.top, px.width, px.height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

namespace {

constexpr int kButtonMarginPixels = 16;  // a button's edges and focus rectangle, both sides
constexpr int kLabelMarginPixels = 1;    // a glyph that overhangs its advance

int NeededTwips(HWND control, const panel_layout::Box& box, panel_layout::Grow grow) {
    const bool button = (::SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON) != 0;
    const LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
    // "&&" shows one ampersand and a single "&" marks the access key, unless a label shows its
    // text as it is.
    const UINT prefix = !button && (style & SS_NOPREFIX) ? DT_NOPREFIX : 0u;
    const ControlFontDC dc(control);
    if (!dc) return 0;
    const std::wstring text = WindowText(control);
    if (grow == panel_layout::Grow::Down)
        return dc.Drawn(text, DT_EXPANDTABS | DT_WORDBREAK | prefix, panel_layout::TwipsToPixels(box.width)).cy *
               panel_layout::kTwipsPerPixel;
    const SIZE size = dc.Drawn(text, DT_EXPANDTABS | DT_SINGLELINE | prefix);
    if (size.cx == 0) return 0;
    return (size.cx + (button ? kButtonMarginPixels : kLabelMarginPixels)) * panel_layout::kTwipsPerPixel;
}

}  // namespace

void FitCaptions(HWND window, panel_layout::Geometry& geometry, std::vector<panel_layout::Caption> captions) {
    for (panel_layout::Caption& caption : captions) {
        const HWND control = ::GetDlgItem(window, caption.control);
        const auto box = geometry.boxes.find(caption.control);
        if (control && box != geometry.boxes.end()) caption.needed = NeededTwips(control, box->second, caption.grow);
    }
    panel_layout::FitCaptions(geometry, captions);
}

void InnerSizeTwips(HWND window, int& widthTwips, int& heightTwips) {
    RECT rc{};
    ::GetClientRect(window, &rc);
    widthTwips = (rc.right - rc.left) * panel_layout::kTwipsPerPixel;
    heightTwips = (rc.bottom - rc.top) * panel_layout::kTwipsPerPixel;
}

HICON ProgramIcon() {
    static const HICON icon = [] {
        HICON own = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_VELMORA),
                                                     IMAGE_ICON, 32, 32, LR_SHARED));
        return own ? own : ::LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
    }();
    return icon;
}

}  // namespace velmora::ui::panel_common
