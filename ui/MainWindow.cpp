#include "ui/MainWindow.h"

#include <commctrl.h>

#include "detection/ZiRaraviz.h"
#include "inspection/AppServices.h"
#include "inspection/BackupState.h"
#include "inspection/MAPI.h"
#include "tessel/Api.h"
#include "tessel/Error.h"
#include "tessel/SystemUtility.h"
#include "ui/AboutWindow.h"
#include "ui/Boundary.h"
#include "ui/BhoPanel.h"
#include "ui/BusyGuard.h"
#include "ui/Controls.h"
#include "ui/HelpPanel.h"
#include "ui/HomePage.h"
#include "ui/MainWindowIds.h"
#include "ui/PanelLayouts.h"
#include "ui/RestoreFiles.h"
#include "ui/SafeRemover.h"
#include "ui/SettingsBackup.h"
#include "ui/SettingsPanel.h"
#include "ui/SupportPanel.h"
#include "ui/TabState.h"
#include "ui/UiHandles.h"

namespace velmora::ui {

namespace {

using panel_layout::TwipsToPixels;

const wchar_t kClassName[] = L"VelmoraMainWindow";
// While a handler that yields runs, an Exit or a close waits; this timer looks again.
const UINT_PTR kUnloadTimer = 1;

// The tabs in order: caption, key, and the name of the panel control behind it.
struct TabInfo {
    const wchar_t* caption;
    const wchar_t* key;
    const wchar_t* panel;
};
const TabInfo kTabInfo[] = {
    {L"Help", L"help", L"ucHelp1"},
    {L"Step 1. Remove Browser Helper Objects", L"BHO", L"ucBHO1"},
    {L"Step 2. Restore Configuration Settings", L"CS", L"ucCS1"},
    {L"Step 3. Contact Support", L"Support", L"ucSupport1"},
};

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

RECT ChildRect(HWND child) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void MoveTo(HWND child, int x, int y) {
    ::SetWindowPos(child, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SizeTo(HWND child, int cx, int cy) {
    ::SetWindowPos(child, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The width the tab strip needs to show every tab whole, in twips: its last tab's right edge and
// the room the strip keeps beside a selected tab, which stands out two pixels each side.
int TabRowWidthTwips(HWND tabs, int twipsPerPixel) {
    const int count = static_cast<int>(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
    if (count <= 0) return 0;
    // A tab beyond the strip's edge is answered FALSE, its place given all the same.
    RECT last{};
    ::SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(count - 1), reinterpret_cast<LPARAM>(&last));
    return last.right > 0 ? (last.right + 4) * twipsPerPixel : 0;
}

// The pointer shown while the program works is the application-wide one.
struct PointerScope {
    explicit PointerScope(int pointer) { app::SetMousePointer(pointer); }
    ~PointerScope() { app::SetMousePointer(app::kDefaultPointer); }
};

std::unique_ptr<FMain> g_program;

}  // namespace

int TabKeyToIndex(std::wstring_view Key) {
    if (Key == L"help") return 1;
    if (Key == L"CS") return 3;
    if (Key == L"BHO") return 2;
    if (Key == L"Support") return 4;
    return 0;
}

FMain::FMain(tessel::Logger& log, std::wstring programFolder, TabPanels panels)
    : Dialog(L"FMain"), mLog(&log), programFolder_(std::move(programFolder)), panels_(std::move(panels)) {}

FMain::~FMain() {
    // The window goes while the object is whole, and its going is no end of the run.
    endRunWhenUnloaded_ = false;
    Destroy();
}

FMain* FMain::FromWindow(HWND window) noexcept {
    const HWND root = window ? ::GetAncestor(window, GA_ROOT) : nullptr;
    // Only a window of the main window's own class holds an FMain.
    wchar_t className[std::size(kClassName) + 1] = L"";
    const int length = root ? ::GetClassNameW(root, className, static_cast<int>(std::size(className))) : 0;
    if (std::wstring_view(className, static_cast<std::size_t>(length > 0 ? length : 0)) != kClassName) return nullptr;
    return static_cast<FMain*>(Dialog::FromHandle(root));
}

HWND FMain::TabStrip() const noexcept { return hwnd_ ? ::GetDlgItem(hwnd_, IDC_MAIN_TABS) : nullptr; }

Panel* FMain::TabPanel(int position) const noexcept {
    if (position < 1 || position > static_cast<int>(mTabs.size())) return nullptr;
    return mTabs[static_cast<std::size_t>(position - 1)].panel;
}

void FMain::Load() {
    if (hwnd_) return;
    // A dialog box of its own class: the class gives it its icon and a name that no message box
    // shares. The class keeps its icons for the whole run; a class already there has its own.
    UniqueIcon icon(static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_VELMORA), IMAGE_ICON, 32, 32, 0)));
    UniqueIcon smallIcon(
        static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_VELMORA), IMAGE_ICON, 16, 16, 0)));
    WNDCLASSEXW wc{};
    wc.hIcon = icon.get();
    wc.hIconSm = smallIcon.get();
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (RegisterClassOnce(wc, L"The main window's class cannot be registered")) {
        icon.release();
        smallIcon.release();
    }
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    CreateFromTemplate(IDD_MAIN, nullptr, L"The main window cannot be created");
    const HWND tabs = TabStrip();
    for (int i = 0; i < static_cast<int>(std::size(kTabInfo)); ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT | TCIF_PARAM;
        item.pszText = const_cast<wchar_t*>(kTabInfo[i].caption);
        item.lParam = i;
        ::SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    MoveTo(tabs, TwipsToPixels(kTabStripLeft, twipsPerPixel_), TwipsToPixels(kTabStripTop, twipsPerPixel_));
    const int copyrightWidth = PlaceCopyright();
    SetClientSizeTwips(MainOpeningWidth(copyrightWidth, TabRowWidthTwips(tabs, twipsPerPixel_)), kMainDesignHeight);

    Form_Load();
    Form_Resize();
    // The caption is stored last: its first use is what loads the window.
    ::SetWindowTextW(hwnd_, app::LoadResString(IDS_PRODUCT_NAME).c_str());
}

void FMain::Show() {
    if (!hwnd_) return;
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + ((work.right - work.left) - (r.right - r.left)) / 2;
    const int y = work.top + ((work.bottom - work.top) - (r.bottom - r.top)) / 2;
    ::SetWindowPos(hwnd_, nullptr, x < work.left ? work.left : x, y < work.top ? work.top : y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER);
    ::ShowWindow(hwnd_, SW_SHOWNORMAL);
    ::SetForegroundWindow(hwnd_);
    ::UpdateWindow(hwnd_);
}

void FMain::SetClientSizeTwips(int widthTwips, int heightTwips) {
    RECT r{0, 0, TwipsToPixels(widthTwips, twipsPerPixel_), TwipsToPixels(heightTwips, twipsPerPixel_)};
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
    ::AdjustWindowRectEx(&r, style, TRUE, exStyle);
    SizeTo(hwnd_, r.right - r.left, r.bottom - r.top);
    // A menu bar that wraps takes client height: measure again and make up the difference.
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    const int missing = TwipsToPixels(heightTwips, twipsPerPixel_) - client.bottom;
    if (missing != 0) SizeTo(hwnd_, r.right - r.left, r.bottom - r.top + missing);
}

// One line at the window's foot whose width follows its text; gives that width in twips.
int FMain::PlaceCopyright() {
    const HWND label = ::GetDlgItem(hwnd_, IDC_MAIN_COPYRIGHT);
    const std::wstring text =
        std::wstring(L"The latest version of Velmora is always available at ") + kMakerHomePage;
    ::SetWindowTextW(label, text.c_str());
    SIZE extent{};
    ControlFontDC(label).Extent(text, extent);
    const RECT r = ChildRect(label);
    ::SetWindowPos(label, nullptr, TwipsToPixels(kCopyrightLeft, twipsPerPixel_), r.top, extent.cx + 2,
                   TwipsToPixels(kCopyrightHeight, twipsPerPixel_), SWP_NOZORDER | SWP_NOACTIVATE);
    return (extent.cx + 2) * twipsPerPixel_;
}

INT_PTR FMain::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return FALSE;  // the window is hidden: no focus to give yet
        case kKeyPreviewMessage:
            SetResult(OnKeyPreview(wParam) ? 1 : 0);
            return TRUE;
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) Form_Resize();
            return TRUE;
        case WM_COMMAND:
            // Menu items only; Enter and Esc (IDOK, IDCANCEL) mean nothing to this window.
            if (lParam == 0 && HIWORD(wParam) == 0) OnCommand(LOWORD(wParam));
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom != IDC_MAIN_TABS) return FALSE;
            if (header->code == TCN_SELCHANGING) {
                // No other command while a handler that yields runs.
                SetResult(BusyGuard::Busy() ? TRUE : FALSE);
                return TRUE;
            }
            if (header->code == TCN_SELCHANGE) {
                ts_Click();
                return TRUE;
            }
            return FALSE;
        }
        case WM_CLOSE:
            RequestUnload();
            return TRUE;
        case WM_TIMER:
            if (wParam == kUnloadTimer && !BusyGuard::Busy()) {
                ::KillTimer(hwnd_, kUnloadTimer);
                unloadWaiting_ = false;
                Destroy();
            }
            return TRUE;
        case WM_SETCURSOR:
            if (app::MousePointer() == app::kHourglass) {
                ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
                SetResult(TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_DESTROY:
            if (endRunWhenUnloaded_) ::PostQuitMessage(0);
            return TRUE;
        default:
            return FALSE;
    }
}

bool FMain::OnKeyPreview(WPARAM key) {
    const int keyCode = static_cast<int>(key);
    const int shift = ShiftState();
    const bool handled = (keyCode == VK_F12 && shift == 0) || (keyCode == VK_F5 && shift == 0) ||
                         (keyCode == VK_TAB && (shift & 2));
    Form_KeyUp(keyCode, shift);
    return handled;
}

void FMain::OnCommand(int id) {
    if (BusyGuard::Busy()) {
        // A handler that yields is running: Exit waits for it, every other command is dropped.
        if (id == IDM_EXIT) RequestUnload();
        return;
    }
    switch (id) {
        case IDM_REFRESH: mnuRefresh_Click(); break;
        case IDM_EXIT: mnuExit_Click(); break;
        case IDM_BACKUP: mnuBackup_Click(); break;
        case IDM_RESTORE: mnuRestore_Click(); break;
        case IDM_VISIT_WEBSITE: mnuVisitWebsite_Click(); break;
        case IDM_ABOUT: mnuAbout_Click(); break;
        case IDM_SAFE_REMOVER: mnuSafeRemover_Click(); break;
        case IDM_RESTORE_DISABLED_FILES: mnuRestoreDisabledFiles_Click(); break;
        case IDM_AUTOMATIC_CLEANUP: Form_KeyUp(VK_F12, 0); break;
        default: break;
    }
}

// Unloads the window now, or once the handler that yields has returned.
void FMain::RequestUnload() {
    if (!hwnd_) return;
    if (BusyGuard::Busy()) {
        if (!unloadWaiting_) ::SetTimer(hwnd_, kUnloadTimer, 50, nullptr);
        unloadWaiting_ = true;
        return;
    }
    Destroy();
}

void FMain::Form_Load() {
    tessel::Guard(*mLog, L"FMain.Form_Load", 4, [&] {
        // A new backup at every start, before anything can change what it saves.
        BackupRegistry(*mLog, programFolder_);
        InitTabStrip();
        LogTabState();
    });
}

void FMain::InitTabStrip() {
    mTabs = {{kTabInfo[0].panel, panels_.help.get(), false},
             {kTabInfo[1].panel, panels_.bho.get(), false},
             {kTabInfo[2].panel, panels_.cs.get(), false},
             {kTabInfo[3].panel, panels_.support.get(), false}};
    // Each panel on its own: one that fails is logged and the others still get the Logger.
    for (Tab& tab : mTabs) {
        const bool ready = tessel::Guard(*mLog, L"FMain.InitTabStrip", 4, [&] {
            if (!tab.panel)
                throw tessel::Error(tessel::kObjectError, L"The panel '" + tab.name + L"' is not available.");
            if (!tab.panel->Handle()) tab.panel->Create(hwnd_);
            const HWND child = tab.panel->Handle();
            if (!child) throw tessel::Error(tessel::kObjectError, L"The panel '" + tab.name + L"' has no window.");
            // Above the tab strip, at the panels' place.
            ::SetWindowPos(child, HWND_TOP, TwipsToPixels(kPanelLeft, twipsPerPixel_),
                           TwipsToPixels(kPanelTop, twipsPerPixel_), 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
            tab.panel->Init(*mLog);
        });
        tab.ready = ready || (tab.panel && tab.panel->Handle());
    }
    mCurTab = 1;
    ShowTab();
}

void FMain::ShowTab() {
    const HWND focus = ::GetFocus();
    int counter = 0;
    for (const Tab& tab : mTabs) {
        ++counter;
        const HWND child = tab.panel ? tab.panel->Handle() : nullptr;
        if (!child) continue;
        // Keys must not go on to a control that is no longer shown.
        if (counter != mCurTab && focus && ::IsChild(child, focus)) ::SetFocus(TabStrip());
        ::ShowWindow(child, counter == mCurTab ? SW_SHOW : SW_HIDE);
    }
}

void FMain::ts_Click() {
    const HWND tabs = TabStrip();
    const int selected = static_cast<int>(::SendMessageW(tabs, TCM_GETCURSEL, 0, 0));
    TCITEMW item{};
    item.mask = TCIF_PARAM;
    std::wstring key;
    if (selected >= 0 && ::SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(&item)) &&
        item.lParam >= 0 && item.lParam < static_cast<LPARAM>(std::size(kTabInfo)))
        key = kTabInfo[item.lParam].key;
    mCurTab = TabKeyToIndex(key);
    ShowTab();
}

void FMain::Form_KeyUp(int KeyCode, int Shift) {
    if (!hwnd_ || BusyGuard::Busy()) return;
    tessel::Guard(*mLog, L"FMain.Form_KeyUp", 0, [&] {
        if (KeyCode == VK_F12 && Shift == 0) {
            if (!ConfirmChangeWithoutBackup(*mLog, L"FMain.Form_KeyUp")) return;
            if (MsgBoxEx(app::LoadResString(IDS_CONFIRM_CLEANUP), MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) return;
            // The cleanup yields while it waits on renamed files: the window takes no command
            // meanwhile, so that nothing can unload it under the cleanup.
            BusyGuard busy;
            PointerScope hourglass(app::kHourglass);
            CZiRaraviz cleanup;
            cleanup.Init(*mLog);
            cleanup.CleanUp();
        } else if (KeyCode == VK_F5 && Shift == 0) {
            mnuRefresh_Click();
        } else if (KeyCode == VK_TAB && (Shift & 2)) {
            const int count = static_cast<int>(mTabs.size());
            if (count == 0) return;
            if (Shift & 1) {
                if (--mCurTab < 1) mCurTab = count;
            } else {
                if (++mCurTab > count) mCurTab = 1;
            }
            ::SendMessageW(TabStrip(), TCM_SETCURSEL, static_cast<WPARAM>(mCurTab - 1), 0);
            ShowTab();
        }
    });
}

void FMain::Form_Resize() {
    if (!hwnd_) return;
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    const int tpp = twipsPerPixel_;
    const HWND tabs = TabStrip();
    const HWND label = ::GetDlgItem(hwnd_, IDC_MAIN_COPYRIGHT);
    auto panelWindow = [&](MainControl control) -> HWND {
        Panel* panel = nullptr;
        switch (control) {
            case MainControl::HelpPanel: panel = panels_.help.get(); break;
            case MainControl::BhoPanel: panel = panels_.bho.get(); break;
            case MainControl::SettingsPanel: panel = panels_.cs.get(); break;
            case MainControl::SupportPanel: panel = panels_.support.get(); break;
            default: break;
        }
        return panel ? panel->Handle() : nullptr;
    };
    MainControlSizes current;
    const RECT tabRect = ChildRect(tabs);
    current.tabStripWidth = (tabRect.right - tabRect.left) * tpp;
    current.tabStripHeight = (tabRect.bottom - tabRect.top) * tpp;
    if (const HWND help = panelWindow(MainControl::HelpPanel)) {
        const RECT r = ChildRect(help);
        current.helpWidth = (r.right - r.left) * tpp;
        current.helpHeight = (r.bottom - r.top) * tpp;
    }
    for (const LayoutStep& step : MainLayout(client.right * tpp, client.bottom * tpp, current)) {
        const HWND control = step.control == MainControl::TabStrip         ? tabs
                             : step.control == MainControl::CopyrightLabel ? label
                                                                           : panelWindow(step.control);
        if (!control) continue;
        const RECT r = ChildRect(control);
        const int px = TwipsToPixels(step.twips, tpp);
        switch (step.dimension) {
            case Dimension::Top: MoveTo(control, r.left, px); break;
            case Dimension::Width: SizeTo(control, px, r.bottom - r.top); break;
            case Dimension::Height: SizeTo(control, r.right - r.left, px); break;
        }
    }
}

void FMain::LogTabState() {
    tessel::Guard(*mLog, L"FMain.LogTabState", 4, [&] {
        const wchar_t kSource[] = L"FMain.LogTabState";
        if (Panel* bho = ReadyPanel(2); bho && bho->ListViewObject()) {
            for (const BhoRowState& row : ReadBhoRows(bho->ListViewObject()))
                mLog->Log(0, tessel::Format(L"BHO: %1, '%2', '%3'", row.id, row.name, row.dll), 5, kSource);
        }
        if (Panel* cs = ReadyPanel(3); cs && cs->ListViewObject()) {
            for (const SettingRowState& row : ReadSettingRows(cs->ListViewObject()))
                mLog->Log(0, tessel::Format(L"Setting: %1, '%2', '%3'", row.statusKey, row.name, row.value), 5,
                          kSource);
        }
    });
}

void FMain::mnuRefresh_Click() {
    tessel::Guard(*mLog, L"FMain.mnuRefresh_Click", 4, [&] {
        if (Panel* bho = ReadyPanel(2)) bho->RefreshList();
        if (Panel* cs = ReadyPanel(3)) cs->RefreshList();
    });
}

// A panel that was placed and handed the Logger; none for a panel that never got it.
Panel* FMain::ReadyPanel(int position) const noexcept {
    if (position < 1 || position > static_cast<int>(mTabs.size())) return nullptr;
    const Tab& tab = mTabs[static_cast<std::size_t>(position - 1)];
    return tab.ready ? tab.panel : nullptr;
}

void FMain::mnuExit_Click() { RequestUnload(); }

void FMain::mnuBackup_Click() {
    std::wstring file, failure;
    {
        PointerScope hourglass(app::kHourglass);
        file = BackupRegistry(*mLog, programFolder_, &failure);
    }
    // Success is reported only for a backup that wrote its file.
    if (!file.empty())
        MsgBoxEx(app::LoadResString(IDS_BACKUP_COMPLETE), MB_OK | MB_ICONINFORMATION);
    else
        MsgBoxEx(tessel::Format(app::LoadResString(IDS_BACKUP_FAILED), failure), MB_OK | MB_ICONEXCLAMATION);
}

void FMain::mnuRestore_Click() {
    MsgBoxEx(app::LoadResString(IDS_BACKUP_RESTORE_HINT), MB_OK | MB_ICONINFORMATION);
    const std::wstring folder = programFolder_ + L"\\Backup\\";
    tessel::api::shell32().ShellExecuteW(hwnd_, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void FMain::mnuVisitWebsite_Click() { OpenMakerHomePage(); }

void FMain::mnuAbout_Click() {
    FAbout about;
    about.ShowModal(hwnd_);
}

void FMain::mnuSafeRemover_Click() { OpenSafeRemover(*mLog, hwnd_); }

void FMain::mnuRestoreDisabledFiles_Click() { OpenRestoreRemovedPrograms(*mLog, hwnd_); }

TabPanels MakeTabPanels() {
    TabPanels panels;
    panels.help = std::make_unique<HelpPanel>();
    panels.bho = std::make_unique<BhoPanel>();
    panels.cs = std::make_unique<ucCS>();
    panels.support = std::make_unique<SupportPanel>();
    return panels;
}

FMain* ProgramMainWindow() noexcept { return g_program.get(); }

void LoadProgramMainWindow(tessel::Logger& log, const std::wstring& programFolder) {
    g_program = std::make_unique<FMain>(log, programFolder, MakeTabPanels());
    g_program->Load();
    g_program->EndRunWhenUnloaded();
}

void ReleaseProgramMainWindow() noexcept { g_program.reset(); }

}  // namespace velmora::ui
