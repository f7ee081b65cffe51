#include "ui/ToolsDialog.h"

#include <utility>

#include "ui/Boundary.h"
#include "ui/PanelCommon.h"
#include "ui/PanelLayouts.h"

namespace velmora::ui {

ToolsDialog::ToolsDialog(int templateId, const wchar_t* source, const wchar_t* title)
    : Dialog(source), templateId_(templateId), title_(title) {}

HWND ToolsDialog::Create(HWND owner) {
    if (hwnd_) return hwnd_;
    owner_ = owner;
    CreateFromTemplate(templateId_, owner, L"Cannot create the " + std::wstring(title_) + L" window");
    return hwnd_;
}

void ToolsDialog::ShowModal(HWND owner) {
    Create(owner);
    RunModal(hwnd_, owner);
}

}  // namespace velmora::ui

namespace velmora::ui::tools_dialog {

using panel_layout::TwipsToPixels;

void Place(HWND dialog, int clientWidthTwips, int clientHeightTwips, const TwipsRect* controls, int count,
           std::vector<panel_layout::Caption> captions) {
    RECT frame{0, 0, TwipsToPixels(clientWidthTwips), TwipsToPixels(clientHeightTwips)};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    ::SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    panel_layout::Geometry geometry;
    for (int i = 0; i < count; ++i)
        geometry.boxes[controls[i].id] = {controls[i].left, controls[i].top, controls[i].width, controls[i].height};
    panel_common::FitCaptions(dialog, geometry, std::move(captions));
    panel_common::ApplyGeometry(dialog, geometry);
}

void ShowProgramIcon(HWND picture) {
    ::SendMessageW(picture, STM_SETICON, reinterpret_cast<WPARAM>(panel_common::ProgramIcon()), 0);
}

void CenterOver(HWND dialog, HWND owner) {
    RECT area{};
    if (!owner || !::GetWindowRect(owner, &area) || ::IsIconic(owner))
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT self{};
    ::GetWindowRect(dialog, &self);
    const int w = self.right - self.left, h = self.bottom - self.top;
    const int x = area.left + ((area.right - area.left) - w) / 2;
    const int y = area.top + ((area.bottom - area.top) - h) / 2;
    ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace velmora::ui::tools_dialog
