#include "ui/SupportPanel.h"

#include <string>

#include "inspection/AppServices.h"
#include "ui/PanelIds.h"

namespace velmora::ui {

using namespace panel_common;

SupportPanel::SupportPanel()
    : DialogPanel(IDD_SUPPORT_PANEL, L"ucSupport", panel_layout::SupportDesign(), &panel_layout::SupportLayout) {}

void SupportPanel::OnInitDialog() {
    ::SendDlgItemMessageW(hwnd_, IDC_SUP_IMAGE1, STM_SETICON, reinterpret_cast<WPARAM>(ProgramIcon()), 0);
    FitLabels(hwnd_, geometry_, {{IDC_SUP_LBLNAME, IDC_SUP_TXTNAME}, {IDC_SUP_LBLEMAIL}});
}

void SupportPanel::Init(tessel::Logger& log) {
    mLog = &log;
    ::SetDlgItemTextW(hwnd_, IDC_SUP_LBLFIRST, app::LoadResString(IDS_SUPPORT_INTRO).c_str());
    const std::wstring placeholder = app::LoadResString(IDS_DESCRIPTION_PLACEHOLDER);
    ::SetDlgItemTextW(hwnd_, IDC_SUP_TXTANSWERS, placeholder.c_str());
    ::SendDlgItemMessageW(hwnd_, IDC_SUP_TXTANSWERS, EM_SETSEL, 0, static_cast<LPARAM>(placeholder.size()));
}

}  // namespace velmora::ui
