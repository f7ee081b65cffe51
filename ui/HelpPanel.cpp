#include "ui/HelpPanel.h"

#include "inspection/AppServices.h"
#include "ui/PanelIds.h"

namespace velmora::ui {

HelpPanel::HelpPanel()
    : DialogPanel(IDD_HELP_PANEL, L"ucHelp", panel_layout::HelpDesign(), &panel_layout::HelpLayout) {}

void HelpPanel::OnInitDialog() {
    const HICON icon = panel_common::ProgramIcon();
    ::SendDlgItemMessageW(hwnd_, IDC_HELP_IMAGE1, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

void HelpPanel::Init(tessel::Logger& log) {
    mLog = &log;
    ::SetDlgItemTextW(hwnd_, IDC_HELP_LBLDESCR, app::LoadResString(IDS_HELP_TEXT).c_str());
}

}  // namespace velmora::ui
