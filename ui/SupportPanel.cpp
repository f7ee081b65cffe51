#include "ui/SupportPanel.h"

#include <string>

#include "detection/RoDoraziva.h"
#include "inspection/AppServices.h"
#include "inspection/MAPI.h"
#include "support/Inventory.h"
#include "support/Request.h"
#include "tessel/Api.h"
#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/Node.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"
#include "ui/Boundary.h"
#include "ui/BusyGuard.h"
#include "ui/MainWindow.h"
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
const wchar_t kZoneMapKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap";
const wchar_t kSiblingKey[] = L"SOFTWARE\\Ardentis Software\\Orvantis";

std::wstring Res(unsigned id) { return app::LoadResString(id); }

std::wstring Encode(const std::string& bytes) { return tessel::SystemUtility::Instance().EncodeString(bytes); }

// Logs the error that ended a handler and shows its description, as the click's and the
// gathering's handlers do.
void ReportError(tessel::Logger& log, const tessel::PendingError& error, const wchar_t* source) {
    log.Log(error.Number(), error.Description(), 4, source);
    try {
        MsgBoxEx(error.Description(), kOkInformation);
    } catch (const tessel::api::ExitUnwind&) {
        throw;
    } catch (...) {
    }
    app::SetMousePointer(app::kDefaultPointer);
}

// A file whose content is no more than data of the report: one that cannot be read (locked,
// denied) goes out as empty and the failure is left in "unread" for the log, so that the user
// can still ask for help.
std::string ReadForReport(const std::wstring& path, tessel::PendingError& unread) {
    std::string text;
    unread.Run([&] { text = tessel::FileAccessor::Instance().ReadFile(path); });
    return text;
}

// The sibling product's log, when it is installed and has one.
std::string SiblingLog(tessel::RegistryAccessor& reg, tessel::PendingError& unread) {
    std::wstring folder = reg.ReadString(HKEY_LOCAL_MACHINE, kSiblingKey, L"InstallPath");
    if (folder.empty()) return {};
    if (folder.back() != L'\\') folder += L'\\';
    std::string text = ReadForReport(folder + L"ORVT.log", unread);
    if (text.empty()) text = ReadForReport(folder + L"ORV.log", unread);
    return text;
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

INT_PTR SupportPanel::OnMessage(UINT message, WPARAM wParam, LPARAM) {
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
    auto& util = tessel::SystemUtility::Instance();
    tessel::PendingError error;
    error.Run([&] {
        tessel::NodeParams items;
        items.Add(L"name", BoxText(IDC_SUP_TXTNAME));
        items.Add(L"email", BoxText(IDC_SUP_TXTEMAIL));
        items.Add(L"answer", BoxText(IDC_SUP_TXTANSWERS));
        tessel::RegistryAccessor reg;
        const std::wstring ie = reg.ReadString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", L"Version");
        long major = 0, minor = 0, build = 0, platform = 0;
        std::wstring servicePack;
        items.Add(L"WindowsVersion", util.GetWindowsVersion(major, minor, build, platform, servicePack));
        items.Add(L"IEVersion", ie);
        PumpPending();

        {
            CRoDoraziva detector;
            detector.Init(log);
            items.Add(L"SuspiciousFiles", Encode(detector.MakeSuspiciousFilesXML()));
        }
        PumpPending();

        const tessel::ExportForm form = IsNT() ? tessel::ExportForm::Unicode : tessel::ExportForm::Ansi;
        // The user's map is read first, so that when both reads fail the user's error is the one told.
        const std::wstring userMap = reg.ExportKey(HKEY_CURRENT_USER, kZoneMapKey, form);
        const std::wstring zoneMap = userMap + reg.ExportKey(HKEY_LOCAL_MACHINE, kZoneMapKey, form);
        items.Add(L"ZoneMap", Encode(RegistryImage(zoneMap)));
        PumpPending();

        tessel::PendingError unread;
        items.Add(L"Hosts", Encode(ReadForReport(GetHostsFilePath(), unread)));
        items.Add(L"Log", Encode(ReadForReport(ProgramFolder() + L"\\VLMR.log", unread)));
        const std::string sibling = SiblingLog(reg, unread);
        if (!sibling.empty()) items.Add(L"ORVTLog", Encode(sibling));
        PumpPending();

        std::string filesXml;
        const std::string processes = MakeProcessesXML(filesXml, log);
        items.Add(L"Processes", Encode(processes));
        items.Add(L"ProcessFileInfo", Encode(filesXml));
        // What could not be read is told once; the request goes out all the same.
        unread.LogAndClear(log, 4, kLeftPendingSource);

        mRequestSent = cl().Do1(log, L"VLMR\\SupportRequest", items, mFailureText);
    });
    if (error.Has()) {
        // No request went out: the click reports it as not sent.
        mRequestSent = false;
        ReportError(log, error, kStartedSource);
        return;
    }
    app::SetMousePointer(app::kDefaultPointer);
}

void SupportPanel::Image1_DblClick() {
    if (FMain* main = FMain::FromWindow(hwnd_)) main->Form_KeyUp(VK_F12, 0);
}

}  // namespace velmora::ui
