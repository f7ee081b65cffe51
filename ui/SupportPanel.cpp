#include "ui/SupportPanel.h"

#include <string>

#include "inspection/AppServices.h"
#include "inspection/MAPI.h"
#include "support/Gathering.h"
#include "support/Request.h"
#include "tessel/Error.h"
#include "tessel/Node.h"
#include "tessel/SystemUtility.h"
#include "ui/Boundary.h"
#include "ui/BusyGuard.h"
#include "ui/MainWindowIds.h"
#include "ui/PanelIds.h"
#include "ui/SettingsBackup.h"
#include "ui/Startup.h"

namespace velmora::ui {

using namespace panel_common;

namespace {

constexpr long kOkExclamation = 48, kOkInformation = 64;
const wchar_t kClickSource[] = L"ucSupport.cmdRequestSupport_Click";
const wchar_t kStartedSource[] = L"ucSupport.moProgressor_Started";
const wchar_t kLeftPendingSource[] = L"ucSupport.moProgressor_Started(.)";
std::wstring Res(unsigned id) { return app::LoadResString(id); }

// Logs the error that ended a handler and shows its description, as the click's and the
// gathering's handlers do.
void ReportError(tessel::Logger& log, const tessel::PendingError& error, const wchar_t* source) {
    log.Log(error.Number(), error.Description(), 4, source);
    tessel::PassOver([&] { MsgBoxEx(error.Description(), kOkInformation); });
    app::SetMousePointer(app::kDefaultPointer);
}

}  // namespace

SupportPanel::SupportPanel()
    : DialogPanel(IDD_SUPPORT_PANEL, L"ucSupport", panel_layout::SupportDesign(), &panel_layout::SupportLayout) {}

void SupportPanel::OnInitDialog() {
    ::SendDlgItemMessageW(hwnd_, IDC_SUP_IMAGE1, STM_SETICON, reinterpret_cast<WPARAM>(ProgramIcon()), 0);
    using panel_layout::Grow;
    // The e-mail box and the button are placed by the layout from their captions' sizes.
    FitCaptions(hwnd_, geometry_,
                {{IDC_SUP_LBLNAME, Grow::Right, {IDC_SUP_TXTNAME}}, {IDC_SUP_LBLEMAIL}, {IDC_SUP_CMDREQUESTSUPPORT, Grow::Left}});
}

void SupportPanel::Init(tessel::Logger& log) {
    mLog = &log;
    ::SetDlgItemTextW(hwnd_, IDC_SUP_LBLFIRST, Res(IDS_SUPPORT_INTRO).c_str());
    const std::wstring placeholder = Res(IDS_DESCRIPTION_PLACEHOLDER);
    ::SetDlgItemTextW(hwnd_, IDC_SUP_TXTANSWERS, placeholder.c_str());
    ::SendDlgItemMessageW(hwnd_, IDC_SUP_TXTANSWERS, EM_SETSEL, 0, static_cast<LPARAM>(placeholder.size()));
}

INT_PTR SupportPanel::OnPanelMessage(UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_COMMAND) return FALSE;
    // A handler that yields is running (this panel's request among them): no second command.
    if (BusyGuard::Busy()) return TRUE;
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == IDC_SUP_CMDREQUESTSUPPORT && code == BN_CLICKED) {
        cmdRequestSupport_Click();
        return TRUE;
    }
    if (id == IDC_SUP_IMAGE1 && code == STN_DBLCLK) {
        Image1_DblClick();
        return TRUE;
    }
    return FALSE;
}

std::wstring SupportPanel::BoxText(int id) const { return WindowText(::GetDlgItem(hwnd_, id)); }

void SupportPanel::cmdRequestSupport_Click() {
    tessel::Logger& log = *mLog;
    // The checks: only emptiness (and the untouched placeholder) stops the request.
    bool complete = false;
    tessel::PendingError checks;
    checks.Run([&] {
        const std::wstring answers = BoxText(IDC_SUP_TXTANSWERS);
        unsigned missing = 0;
        if (answers.empty() || answers == Res(IDS_DESCRIPTION_PLACEHOLDER)) missing = IDS_SUPPORT_NO_DESCRIPTION;
        else if (BoxText(IDC_SUP_TXTNAME).empty()) missing = IDS_SUPPORT_NO_NAME;
        else if (BoxText(IDC_SUP_TXTEMAIL).empty()) missing = IDS_SUPPORT_NO_EMAIL;
        if (missing) MsgBoxEx(Res(missing), kOkExclamation);
        complete = missing == 0;
    });
    if (checks.Has()) {
        ReportError(log, checks, kClickSource);
        return;
    }
    if (!complete) return;

    app::SetMousePointer(app::kHourglass);
    BusyGuard busy;
    // From here on a failing step is skipped and the next one runs.
    tessel::PendingError skipped;
    mRequestSent = false;
    mReportUnwritten = false;
    mFailureText.clear();
    skipped.Run([&] {
        moProgressor = std::make_unique<FProgressor>();
        moProgressor->Started = [this] { moProgressor_Started(); };
        moProgressor->ShowProgress(Res(IDS_PLEASE_WAIT), ::GetAncestor(hwnd_, GA_ROOT), true);
    });
    moProgressor.reset();
    if (mRequestSent) {
        log.Log(0, L"Requesting support", 5, kClickSource);
        skipped.Run([&] { MsgBoxEx(Res(IDS_SUPPORT_SENT), kOkInformation); });
    } else if (mReportUnwritten) {
        // Nothing was posted: the machine could not hold the report, which no connection mends.
        std::wstring text;
        skipped.Run([&] {
            text = tessel::Format(Res(IDS_REPORT_NOT_WRITTEN), mFailureText);
            log.Log(tessel::kObjectError + IDS_REPORT_NOT_WRITTEN, text, 4, kClickSource);
        });
        app::SetMousePointer(app::kDefaultPointer);
        skipped.Run([&] { MsgBoxEx(text, kOkExclamation); });
    } else {
        skipped.Run([&] {
            log.Log(tessel::kObjectError + IDS_CANNOT_CONTACT, Res(IDS_CANNOT_CONTACT) + mFailureText, 4, kClickSource);
        });
        app::SetMousePointer(app::kDefaultPointer);
        skipped.Run([&] { MsgBoxEx(Res(IDS_SUPPORT_NOT_SENT), kOkExclamation); });
    }
    app::SetMousePointer(app::kDefaultPointer);
}

void SupportPanel::moProgressor_Started() {
    tessel::Logger& log = *mLog;
    tessel::PendingError error;
    error.Run([&] {
        SupportReportInputs in;
        in.name = BoxText(IDC_SUP_TXTNAME);
        in.email = BoxText(IDC_SUP_TXTEMAIL);
        in.answer = BoxText(IDC_SUP_TXTANSWERS);
        in.logFile = ProgramFolder() + L"\\VLMR.log";
        in.registryImage = &RegistryImage;
        in.yield = [] { PumpPending(); };
        in.unreadSource = kLeftPendingSource;
        const tessel::NodeParams items = GatherSupportReport(in, log);
        cl sender;
        mRequestSent = sender.Do1(log, L"VLMR\\SupportRequest", items, mFailureText);
        mReportUnwritten = !sender.ReportWritten();
    });
    if (error.Has()) {
        // No request went out: the click reports it as not sent.
        mRequestSent = false;
        ReportError(log, error, kStartedSource);
        return;
    }
    app::SetMousePointer(app::kDefaultPointer);
}

// The top-level window owns the cleanup; the picture asks it as F12 does.
void SupportPanel::Image1_DblClick() {
    if (const HWND root = ::GetAncestor(hwnd_, GA_ROOT)) ::SendMessageW(root, WM_COMMAND, IDM_AUTOMATIC_CLEANUP, 0);
}

}  // namespace velmora::ui
