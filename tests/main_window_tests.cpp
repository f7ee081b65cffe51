// The main window in this process, with its four real panels over a prepared registry: the
// tabs, the keys, the refresh, the menus, the busy rule, the tab-state log and the About window.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "BackupTestSupport.h"
#include "DetectionTestSupport.h"
#include "FileFactsSupport.h"
#include "detection/ZiRaraviz.h"
#include "tessel/Api.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/Unique.h"
#include "ui/AboutWindow.h"
#include "ui/Boundary.h"
#include "ui/BusyGuard.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowIds.h"
#include "ui/PanelIds.h"
#include "ui/Progressor.h"
#include "ui/RestoreFiles.h"
#include "ui/SafeRemover.h"
#include "ui/SettingsPanelIds.h"
#include "ui/Splash.h"
#include "ui/Startup.h"
#include "ui/ToolsDialogIds.h"
#include "ui/UiHandles.h"

using testing_support::Narrow;
using velmora::ui::FMain;

namespace {

const std::wstring kMain = L"Software\\Microsoft\\Internet Explorer\\Main";
const std::wstring kBhoKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
const std::wstring kFirst = L"{A1B2C3D4-0000-4000-8000-000000000001}";
const std::wstring kSecond = L"{A1B2C3D4-0000-4000-8000-000000000002}";

using testing_support::ScriptedBoxes;

// Command lines the program would have started, and folders it would have opened.
struct ShellCalls {
    std::vector<std::string> started;
    std::vector<std::wstring> opened;
    tessel::api::ScopedPreset<decltype(tessel::api::kernel32().WinExec)> exec{
        tessel::api::kernel32().WinExec, [this](LPCSTR line, UINT show) {
            started.push_back(std::string(line) + (show == SW_SHOWNORMAL ? "" : " (not normal)"));
            return UINT{33};
        }};
    tessel::api::ScopedPreset<decltype(tessel::api::shell32().ShellExecuteW)> open{
        tessel::api::shell32().ShellExecuteW,
        [this](HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR, LPCWSTR, INT show) {
            opened.push_back(std::wstring(verb) + L" " + file + (show == SW_SHOWNORMAL ? L"" : L" (not normal)"));
            return reinterpret_cast<HINSTANCE>(33);
        }};
};

std::wstring TabCaption(HWND tabs, int index) {
    wchar_t text[128] = L"";
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 128;
    ::SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return text;
}

bool Shown(velmora::ui::Panel* panel) {
    return panel && (::GetWindowLongPtrW(panel->Handle(), GWL_STYLE) & WS_VISIBLE) != 0;
}

std::wstring CellText(HWND list, int row, int column) {
    wchar_t text[512] = L"";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

int Rows(HWND list) { return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

// The settings row showing this value, or -1.
int RowWithValue(HWND list, const std::wstring& value) {
    for (int i = 0; i < Rows(list); ++i)
        if (CellText(list, i, 1) == value) return i;
    return -1;
}

void Pump() {
    for (int i = 0; i < 5; ++i) {
        velmora::ui::PumpPending();
        ::Sleep(10);
    }
}

std::vector<std::wstring> BackupFiles(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    tessel::UniqueFind find(::FindFirstFileW((folder + L"\\Backup\\*.reg").c_str(), &fd));
    if (!find) return names;
    do names.push_back(fd.cFileName);
    while (::FindNextFileW(find.get(), &fd));
    return names;
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        reg.WriteString(HKEY_LOCAL_MACHINE, kBhoKey + L"\\" + kFirst, L"", L"First Helper");
        reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\" + kFirst + L"\\InProcServer32", L"", L"c:\\first\\helper.dll");
        reg.WriteString(HKEY_CURRENT_USER, kMain, L"Start Page", L"http://hijack.example/start");
    }
    void TearDown() override { window.reset(); }

    void Load() {
        window = std::make_unique<FMain>(testLog.log, folder.Path(), velmora::ui::MakeTabPanels());
        window->Load();
        ASSERT_NE(window->Handle(), nullptr);
    }
    velmora::ui::Panel* Tab(int position) { return window->TabPanel(position); }
    int SelectedTab() { return static_cast<int>(::SendMessageW(window->TabStrip(), TCM_GETCURSEL, 0, 0)); }
    std::vector<std::string> TabStateLines() {
        std::vector<std::string> out;
        for (const auto& line : testLog.Lines())
            if (line.find("|FMain.LogTabState|") != std::string::npos) out.push_back(line);
        return out;
    }

    testing_support::ScratchHives hives;
    testing_support::BackupRecord backup;
    filefacts::ProcessWideValues family;
    tessel::RegistryAccessor reg;
    detection_support::TestLog testLog;
    testing_support::TempDir folder;
    ScriptedBoxes boxes;
    ShellCalls shell;
    std::unique_ptr<FMain> window;
};

}  // namespace

TEST_F(MainWindow, LoadsHiddenWithItsTabsPanelsBackupAndTabState) {
    Load();
    EXPECT_FALSE(::IsWindowVisible(window->Handle()));
    wchar_t caption[64] = L"";
    ::GetWindowTextW(window->Handle(), caption, 64);
    EXPECT_STREQ(caption, L"Velmora");
    const HWND tabs = window->TabStrip();
    ASSERT_EQ(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 4);
    EXPECT_EQ(TabCaption(tabs, 0), L"Help");
    EXPECT_EQ(TabCaption(tabs, 1), L"Step 1. Remove Browser Helper Objects");
    EXPECT_EQ(TabCaption(tabs, 2), L"Step 2. Restore Configuration Settings");
    EXPECT_EQ(TabCaption(tabs, 3), L"Step 3. Contact Support");
    EXPECT_EQ(window->CurrentTab(), 1);
    EXPECT_EQ(SelectedTab(), 0);
    EXPECT_TRUE(Shown(Tab(1)));
    for (int i = 2; i <= 4; ++i) EXPECT_FALSE(Shown(Tab(i))) << i;
    EXPECT_EQ(BackupFiles(folder.Path()).size(), 1u);

    // The design size, wider where the copyright line needs it (so that it ends as far from the
    // right edge as it starts from the left) or the tab strip needs it for its row of tabs (and
    // the two pixels a selected tab stands out each side), and the layout in pixels (15 twips each).
    RECT line{}, lastTab{};
    ::GetWindowRect(::GetDlgItem(window->Handle(), IDC_MAIN_COPYRIGHT), &line);
    ::MapWindowPoints(HWND_DESKTOP, window->Handle(), reinterpret_cast<POINT*>(&line), 2);
    EXPECT_EQ(line.left, 6);
    ASSERT_TRUE(::SendMessageW(tabs, TCM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&lastTab)));
    const long width = std::max({572L, line.right + 6, lastTab.right + 4 + 10});
    RECT client{};
    ::GetClientRect(window->Handle(), &client);
    EXPECT_EQ(client.right, width);
    EXPECT_EQ(client.bottom, 278);
    RECT r{};
    ::GetWindowRect(tabs, &r);
    EXPECT_EQ(r.right - r.left, width - 10);
    EXPECT_EQ(r.bottom - r.top, 248);
    for (int i = 1; i <= 4; ++i) {
        ASSERT_NE(Tab(i), nullptr);
        ::GetWindowRect(Tab(i)->Handle(), &r);
        ::MapWindowPoints(HWND_DESKTOP, window->Handle(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, 19) << i;
        EXPECT_EQ(r.top, 29) << i;
        EXPECT_EQ(r.right - r.left, width - 39) << i;
        EXPECT_EQ(r.bottom - r.top, 213) << i;
    }

    // One line per BHO row, then one per settings row, and nothing before the backup's load.
    const auto lines = TabStateLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "5|0|FMain.LogTabState|BHO: " + Narrow(kFirst) + ", 'First Helper', 'c:\\first\\helper.dll'");
    const HWND settings = Tab(3)->ListViewObject();
    ASSERT_EQ(lines.size(), 1u + static_cast<std::size_t>(Rows(settings)));
    const int hijack = RowWithValue(settings, L"http://hijack.example/start");
    ASSERT_GE(hijack, 0);
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind("5|0|FMain.LogTabState|Setting: ", 0), 0u);
    EXPECT_NE(lines[1 + hijack].find(", 'http://hijack.example/start'"), std::string::npos) << lines[1 + hijack];
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MainWindow, CtrlTabWrapsBothWaysAndMovesTheStripWithThePanel) {
    Load();
    const int forward[] = {2, 3, 4, 1};
    for (int expected : forward) {
        window->Form_KeyUp(VK_TAB, 2);
        EXPECT_EQ(window->CurrentTab(), expected);
        EXPECT_EQ(SelectedTab(), expected - 1);
        for (int i = 1; i <= 4; ++i) EXPECT_EQ(Shown(Tab(i)), i == expected) << expected << " " << i;
    }
    // Ctrl+Shift+Tab from the first tab goes to the last; Alt held with Ctrl changes nothing.
    const int backward[] = {4, 3};
    for (int expected : backward) {
        window->Form_KeyUp(VK_TAB, 2 | 1 | 4);
        EXPECT_EQ(window->CurrentTab(), expected);
        EXPECT_EQ(SelectedTab(), expected - 1);
        EXPECT_TRUE(Shown(Tab(expected)));
    }
    // Tab without Ctrl does nothing.
    window->Form_KeyUp(VK_TAB, 0);
    window->Form_KeyUp(VK_TAB, 1);
    EXPECT_EQ(window->CurrentTab(), 3);

    // Through the key preview: a release of Tab in a panel's list while Ctrl is held.
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    BYTE held[256];
    std::copy(std::begin(keys), std::end(keys), held);
    held[VK_CONTROL] = held[VK_LCONTROL] = 0x80;
    ::SetKeyboardState(held);
    ::PostMessageW(Tab(3)->ListViewObject(), WM_KEYUP, VK_TAB, 0xC00F0001);
    Pump();
    ::SetKeyboardState(keys);
    EXPECT_EQ(window->CurrentTab(), 4);
    EXPECT_TRUE(Shown(Tab(4)));
}

TEST_F(MainWindow, F5ThroughTheKeyPreviewRefreshesBothListsAndLogsNoTabState) {
    Load();
    const HWND bho = Tab(2)->ListViewObject();
    const HWND settings = Tab(3)->ListViewObject();
    ASSERT_EQ(Rows(bho), 1);
    const auto linesBefore = TabStateLines().size();

    reg.WriteString(HKEY_LOCAL_MACHINE, kBhoKey + L"\\" + kSecond, L"", L"Second Helper");
    reg.WriteString(HKEY_CURRENT_USER, kMain, L"Start Page", L"http://hijack.example/second");
    // Shift+F5 and Ctrl+F5 do nothing.
    window->Form_KeyUp(VK_F5, 1);
    window->Form_KeyUp(VK_F5, 2);
    EXPECT_EQ(Rows(bho), 1);

    // A release of F5 in the list goes to the window first.
    ::PostMessageW(bho, WM_KEYUP, VK_F5, 0xC0000001);
    Pump();
    ASSERT_EQ(Rows(bho), 2);
    EXPECT_EQ(CellText(bho, 1, 0), L"Second Helper");
    EXPECT_GE(RowWithValue(settings, L"http://hijack.example/second"), 0);
    EXPECT_LT(RowWithValue(settings, L"http://hijack.example/start"), 0);
    EXPECT_EQ(TabStateLines().size(), linesBefore);
}

TEST_F(MainWindow, TabClicksGoThroughTheTabKeys) {
    Load();
    const HWND tabs = window->TabStrip();
    for (int index : {2, 3, 0, 1}) {
        ::SendMessageW(tabs, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
        NMHDR header{tabs, IDC_MAIN_TABS, static_cast<UINT>(TCN_SELCHANGE)};
        ::SendMessageW(window->Handle(), WM_NOTIFY, IDC_MAIN_TABS, reinterpret_cast<LPARAM>(&header));
        EXPECT_EQ(window->CurrentTab(), index + 1);
        for (int i = 1; i <= 4; ++i) EXPECT_EQ(Shown(Tab(i)), i == index + 1);
    }
}

TEST_F(MainWindow, BackupMenuReportsSuccessOnlyForAWrittenFile) {
    Load();
    ::SendMessageW(window->Handle(), WM_COMMAND, IDM_BACKUP, 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"Backup complete successfully.");
    EXPECT_EQ(boxes.shown[0].style, UINT(MB_OK | MB_ICONINFORMATION));
    EXPECT_GE(BackupFiles(folder.Path()).size(), 1u);

    // A Backup folder that cannot be made: a file stands where the folder should be.
    testing_support::TempDir other;
    testing_support::WriteBytes(other / L"Backup", "not a folder");
    FMain blocked(testLog.log, other.Path(), velmora::ui::TabPanels{});
    blocked.Load();
    boxes.shown.clear();
    ::SendMessageW(blocked.Handle(), WM_COMMAND, IDM_BACKUP, 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    const std::wstring lead = L"The settings backup could not be written. ";
    ASSERT_EQ(boxes.shown[0].text.substr(0, lead.size()), lead);
    const std::wstring description = boxes.shown[0].text.substr(lead.size());
    EXPECT_NE(description.find(other / L"Backup"), std::wstring::npos) << Narrow(description);
    EXPECT_EQ(boxes.shown[0].style, UINT(MB_OK | MB_ICONEXCLAMATION));
    // The same description is in the log, at level 4.
    bool logged = false;
    for (const auto& line : testLog.Lines())
        logged = logged || (line.rfind("4|", 0) == 0 &&
                            line.find("|FMain.BackupRegistry|" + Narrow(description)) != std::string::npos);
    EXPECT_TRUE(logged);
}

// Without a backup written since the program started (a file stands where the Backup folder
// belongs), every change the backup would undo first says why and that it cannot be undone,
// before its own question: the start-up's cleanup offer, F12, the BHO tab's Delete and the
// settings tab's Restore All. Cancel leaves the registry and the files as they were; once
// Tools > Backup has written a file, only the usual questions come.
TEST_F(MainWindow, WithoutABackupEveryChangeAsksFirstUntilToolsBackupWritesOne) {
    backup.Forget();
    const std::wstring blocker = folder / L"Backup";
    testing_support::WriteBytes(blocker, "a file where the folder belongs");
    Load();
    detection_support::FakeSource parasites;
    parasites.bhos = {{kFirst, L"", true}};
    auto startUp = [&] {
        velmora::CZiRaraviz cleanup;
        cleanup.Init(testLog.log);
        cleanup.UseDetectionSource(&parasites);
        cleanup.Check();
        cleanup.Perform();
    };
    auto click = [](velmora::ui::Panel* panel, int id) {
        ::SendMessageW(panel->Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(panel->Handle(), id)));
    };
    const struct {
        const char* entry;
        std::function<void()> start;
        std::wstring ownQuestion;
    } entries[] = {
        {"start-up", startUp,
         L"Velmora detected about:blank parasites which can be deleted automatically. Press OK to clean up."},
        {"F12", [&] { window->Form_KeyUp(VK_F12, 0); }, L"Are you sure you want to start automatic parasite cleanup?"},
        {"BHO Delete", [&] { click(Tab(2), IDC_BHO_CMDDELETE); },
         L"Are you sure you want to delete 'First Helper' browser helper object?"},
        {"Restore All", [&] { click(Tab(3), IDC_CS_CMDRESTORE); },
         L"Are you sure you want to restore all configuration settings?"},
    };
    const std::wstring reason = L"The settings backup could not be written. A file stands where the folder should be '" +
                                blocker + L"': ";
    const std::wstring consequence = L"\n\nWithout a backup of the settings this change cannot be undone. Press OK to go "
                                     L"on anyway, or Cancel to change nothing.";
    // The one box that an entry shows, answered Cancel; nothing may have changed.
    auto onlyBox = [&](const auto& entry) {
        boxes.shown.clear();
        boxes.answers = {IDCANCEL};
        entry.start();
        EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, kBhoKey + L"\\" + kFirst));
        EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, kMain, L"Start Page"), L"http://hijack.example/start");
        EXPECT_FALSE(reg.ReadValue(HKEY_CURRENT_USER, L"Software\\Ardentis Software\\Velmora\\Current Version",
                                   L"ZiRaraviz Cleanup Time"));
        EXPECT_EQ(boxes.shown.size(), 1u);
        return boxes.shown.empty() ? ScriptedBoxes::Box{} : boxes.shown[0];
    };
    for (const auto& e : entries) {
        SCOPED_TRACE(e.entry);
        const auto box = onlyBox(e);
        EXPECT_EQ(box.text.substr(0, reason.size()), reason) << Narrow(box.text);
        EXPECT_GT(box.text.size(), reason.size() + consequence.size());
        EXPECT_EQ(box.text.substr(box.text.size() - std::min(box.text.size(), consequence.size())), consequence)
            << Narrow(box.text);
        EXPECT_EQ(box.style, UINT(MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2));
    }
    EXPECT_EQ(testing_support::ReadBytes(blocker), "a file where the folder belongs");

    ASSERT_TRUE(::DeleteFileW(blocker.c_str()));
    boxes.shown.clear();
    ::SendMessageW(window->Handle(), WM_COMMAND, IDM_BACKUP, 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"Backup complete successfully.");
    ASSERT_EQ(BackupFiles(folder.Path()).size(), 1u);
    for (const auto& e : entries) {
        SCOPED_TRACE(e.entry);
        EXPECT_EQ(onlyBox(e).text, e.ownQuestion);
    }
}

TEST_F(MainWindow, RestoreHomePageAndGreyedItems) {
    Load();
    ::SendMessageW(window->Handle(), WM_COMMAND, IDM_RESTORE, 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"Windows Explorer window will be opened now. Double click on backup file to restore. ");
    EXPECT_EQ(boxes.shown[0].style, UINT(MB_OK | MB_ICONINFORMATION));
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0], L"open " + folder.Path() + L"\\Backup\\");

    ::SendMessageW(window->Handle(), WM_COMMAND, IDM_VISIT_WEBSITE, 0);
    ASSERT_EQ(shell.started.size(), 1u);
    EXPECT_EQ(shell.started[0], "explorer http://www.ardentis-software.example/velmora/");

    const HMENU menu = ::GetMenu(window->Handle());
    for (UINT id : {IDM_REFRESH, IDM_EXIT, IDM_BACKUP, IDM_RESTORE, IDM_SAFE_REMOVER, IDM_RESTORE_DISABLED_FILES,
                    IDM_VISIT_WEBSITE, IDM_ABOUT})
        EXPECT_FALSE(::GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) << id;

    // Nothing recorded: the message, and no window.
    boxes.shown.clear();
    ::SendMessageW(window->Handle(), WM_COMMAND, IDM_RESTORE_DISABLED_FILES, 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"Nothing to restore. No programs are removed or all programs are already restored.");
    EXPECT_EQ(boxes.shown[0].style, UINT(MB_OK | MB_ICONINFORMATION));
}

TEST_F(MainWindow, F12AsksFirstAndCancelChangesNothing) {
    Load();
    boxes.answers = {IDCANCEL};
    window->Form_KeyUp(VK_F12, 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"Are you sure you want to start automatic parasite cleanup?");
    EXPECT_EQ(boxes.shown[0].style, UINT(MB_OKCANCEL | MB_ICONEXCLAMATION));
    // With a modifier, F12 is not the cleanup key.
    window->Form_KeyUp(VK_F12, 2);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, kBhoKey + L"\\" + kFirst));
}

// A double-click on the support tab's picture asks the same question as F12; Cancel changes
// nothing.
TEST_F(MainWindow, SupportPictureDoubleClickIsF12) {
    Load();
    const HWND support = window->TabPanel(4)->Handle();
    ASSERT_NE(support, nullptr);
    boxes.answers = {IDCANCEL};
    ::SendMessageW(support, WM_COMMAND, MAKEWPARAM(IDC_SUP_IMAGE1, STN_DBLCLK),
                   reinterpret_cast<LPARAM>(::GetDlgItem(support, IDC_SUP_IMAGE1)));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"Are you sure you want to start automatic parasite cleanup?");
    EXPECT_EQ(boxes.shown[0].style, UINT(MB_OKCANCEL | MB_ICONEXCLAMATION));
    EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, kBhoKey + L"\\" + kFirst));
}

TEST_F(MainWindow, WhileAHandlerYieldsCommandsWaitOrAreDropped) {
    Load();
    const HWND main = window->Handle();
    const HWND bho = Tab(2)->ListViewObject();
    reg.WriteString(HKEY_LOCAL_MACHINE, kBhoKey + L"\\" + kSecond, L"", L"Second Helper");
    {
        velmora::ui::BusyGuard busy;
        ::PostMessageW(main, WM_COMMAND, IDM_EXIT, 0);
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        ::PostMessageW(bho, WM_KEYUP, VK_F5, 0xC0000001);
        window->Form_KeyUp(VK_TAB, 2);
        Pump();
        EXPECT_TRUE(::IsWindow(main));
        EXPECT_EQ(Rows(bho), 1);
        EXPECT_EQ(window->CurrentTab(), 1);
    }
    // The Exit that waited runs once the handler has returned (on a timer of the window's).
    const ULONGLONG start = ::GetTickCount64();
    while (::IsWindow(main) && ::GetTickCount64() - start < 30000) Pump();
    EXPECT_FALSE(::IsWindow(main));
    EXPECT_EQ(window->Handle(), nullptr);
}

// The main window is found from any of its controls and from nothing else, even another window
// of the program that keeps its object the same way; once the system has destroyed the window,
// neither it nor any panel holds a handle of it.
TEST_F(MainWindow, IsFoundFromItsOwnWindowsAndKeepsNoHandleOnceDestroyed) {
    Load();
    velmora::ui::FAbout about;
    about.Load(nullptr);
    const HWND main = window->Handle();
    EXPECT_EQ(FMain::FromWindow(main), window.get());
    EXPECT_EQ(FMain::FromWindow(Tab(3)->ListViewObject()), window.get());
    EXPECT_EQ(FMain::FromWindow(::GetDlgItem(Tab(4)->Handle(), IDC_SUP_TXTNAME)), window.get());
    EXPECT_EQ(FMain::FromWindow(about.Handle()), nullptr);
    EXPECT_EQ(FMain::FromWindow(nullptr), nullptr);

    ::DestroyWindow(main);
    EXPECT_EQ(window->Handle(), nullptr);
    EXPECT_EQ(window->TabStrip(), nullptr);
    for (int position = 1; position <= 4; ++position) EXPECT_EQ(Tab(position)->Handle(), nullptr) << position;
    EXPECT_EQ(Tab(2)->ListViewObject(), nullptr);
    EXPECT_EQ(Tab(3)->ListViewObject(), nullptr);
    EXPECT_EQ(FMain::FromWindow(main), nullptr);
    // The keys of a window that is gone do nothing.
    window->Form_KeyUp(VK_F12, 0);
    EXPECT_TRUE(boxes.shown.empty());
}

// A start whose main window the system refuses to make: the user is told why, as the log is,
// and the cleanup decision does not run, not even its warning that this start wrote no backup;
// a message the system cannot show either is logged as such. A start whose window is made goes
// on to the decision. The parasite is there all along and is never removed.
TEST_F(MainWindow, AStartWithoutItsWindowTellsTheUserAndDecidesNothing) {
    detection_support::FakeSource parasites;
    parasites.bhos = {{kFirst, L"", true}};
    const std::wstring offer =
        L"Velmora detected about:blank parasites which can be deleted automatically. Press OK to clean up.";
    const struct {
        const char* name;
        bool refused;
        int answer;  // to the one box shown
    } starts[] = {{"made", false, IDCANCEL}, {"refused", true, IDOK}, {"refused, no box either", true, 0}};
    for (const auto& start : starts) {
        SCOPED_TRACE(start.name);
        backup.Forget();  // a new start: no backup of its own yet
        boxes.shown.clear();
        boxes.answers = {start.answer};
        const std::size_t linesBefore = testLog.Lines().size();
        velmora::CZiRaraviz cleanup;
        cleanup.Init(testLog.log);
        cleanup.UseDetectionSource(&parasites);
        cleanup.Check();
        std::wstring failure;
        bool shown = false;
        {
            testing_support::RefusedWindows refuse(start.refused ? L"VelmoraMainWindow" : L"no class of the program");
            ASSERT_TRUE(refuse.Installed());
            tessel::Guard([&] { velmora::ui::LoadProgramMainWindow(testLog.log, folder.Path()); },
                          [&](tessel::ErrorDescription error) { failure = error.text; });
            const velmora::ui::FMain* loaded = velmora::ui::ProgramMainWindow();
            EXPECT_EQ(loaded && loaded->Handle(), !start.refused);
            velmora::ui::Splash splash;  // closed already: nothing to wait for
            shown = velmora::ui::StartupAfterWindowLoaded(testLog.log, failure, cleanup, splash);
        }
        velmora::ui::ReleaseProgramMainWindow();
        EXPECT_EQ(shown, !start.refused);
        EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, kBhoKey + L"\\" + kFirst));
        EXPECT_FALSE(reg.ReadValue(HKEY_CURRENT_USER, L"Software\\Ardentis Software\\Velmora\\Current Version",
                                   L"ZiRaraviz Cleanup Time"));
        ASSERT_EQ(boxes.shown.size(), 1u);
        if (!start.refused) {
            EXPECT_TRUE(failure.empty()) << Narrow(failure);
            EXPECT_EQ(boxes.shown[0].text, offer);
            continue;
        }
        EXPECT_EQ(failure.rfind(L"The main window cannot be created", 0), 0u) << Narrow(failure);
        const std::wstring message = failure + L" Nothing has been changed. Please start Velmora again.";
        EXPECT_EQ(boxes.shown[0].text, message);
        EXPECT_EQ(boxes.shown[0].style, UINT(MB_OK | MB_ICONHAND));
        const std::string told = "4|0|FMain.Form_Initialize|" + Narrow(message);
        const std::string notShown = "0|0|FMain.Form_Initialize|The message could not be shown: " + Narrow(message);
        const auto lines = testLog.Lines();
        const std::vector<std::string> logged(lines.begin() + static_cast<std::ptrdiff_t>(linesBefore), lines.end());
        EXPECT_EQ(std::count(logged.begin(), logged.end(), told), start.answer != 0 ? 1 : 0);
        EXPECT_EQ(std::count(logged.begin(), logged.end(), notShown), start.answer == 0 ? 1 : 0);
    }
    // Only the start whose window was made wrote its backup.
    EXPECT_EQ(BackupFiles(folder.Path()).size(), 1u);
}

TEST_F(MainWindow, TheStartUpHasAFileOnADriveWithoutItsDiskAnsweredAsAnErrorNotByTheSystemsBox) {
    const UINT before = ::SetErrorMode(SEM_NOGPFAULTERRORBOX);
    testing_support::ScriptedExit exit;
    velmora::CZiRaraviz cleanup;
    velmora::ui::Splash splash;
    // Whether the components are found here or not (then the start-up ends), it has set the mode.
    testing_support::EndsProgram(
        [&] { velmora::ui::StartupUntilWindowLoaded(testLog.log, folder.Path(), cleanup, splash); });
    velmora::ui::ReleaseProgramMainWindow();
    // Its own two flags added to the ones it was started with.
    EXPECT_EQ(::SetErrorMode(before), UINT(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
}

TEST_F(MainWindow, APanelThatFailsLeavesTheOthersInitialised) {
    struct FailingPanel : velmora::ui::Panel {
        void Create(HWND) override { throw tessel::Error(5, L"panel refused"); }
        HWND Handle() const noexcept override { return nullptr; }
        void Init(tessel::Logger&) override {}
        void RefreshList() override { ADD_FAILURE() << "a panel without its Logger was refreshed"; }
        void Resize(int, int) override {}
    };
    velmora::ui::TabPanels panels = velmora::ui::MakeTabPanels();
    panels.help.reset();
    panels.bho = std::make_unique<FailingPanel>();
    window = std::make_unique<FMain>(testLog.log, folder.Path(), std::move(panels));
    window->Load();
    EXPECT_TRUE(testLog.Has("4|5|FMain.InitTabStrip|panel refused"));
    // The settings list after the failing panel was still filled and logged.
    ASSERT_NE(Tab(3)->ListViewObject(), nullptr);
    EXPECT_GT(Rows(Tab(3)->ListViewObject()), 0);
    EXPECT_EQ(TabStateLines().size(), static_cast<std::size_t>(Rows(Tab(3)->ListViewObject())));
    EXPECT_EQ(window->CurrentTab(), 1);
    window->Form_KeyUp(VK_F5, 0);
    window->Form_KeyUp(VK_TAB, 2);
    EXPECT_EQ(window->CurrentTab(), 2);
}

TEST(AboutWindow, ShowsTheVersionAndClosesWithEscOrOK) {
    ShellCalls shell;
    velmora::ui::FAbout about;
    about.Load(nullptr);
    const HWND window = about.Handle();
    ASSERT_NE(window, nullptr);
    wchar_t text[512] = L"";
    ::GetDlgItemTextW(window, IDC_ABOUT_NAME, text, 512);
    EXPECT_EQ(std::wstring(text).rfind(L"Velmora Version 4.53\r\n\r\n", 0), 0u) << Narrow(text);
    wchar_t caption[64] = L"";
    ::GetWindowTextW(window, caption, 64);
    EXPECT_STREQ(caption, L"About Velmora");
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, 349);
    EXPECT_EQ(client.bottom, 204);

    // The white double frame on the dark blue, one pixel apart (shown in a corner of the
    // screen, away from the centre where other test programs' windows open).
    ::SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    ::UpdateWindow(window);
    HDC dc = ::GetDC(window);
    const COLORREF white = RGB(255, 255, 255), blue = RGB(0, 0, 102);
    const struct {
        int x, y;
        COLORREF colour;
    } pixels[] = {{0, 100, white},   {1, 100, white},   {2, 100, blue},  {100, 0, white},  {100, 1, white},
                  {100, 2, blue},    {348, 100, white}, {347, 100, white}, {346, 100, blue}, {100, 203, white},
                  {100, 202, white}, {100, 201, blue}};
    for (const auto& p : pixels) EXPECT_EQ(::GetPixel(dc, p.x, p.y), p.colour) << p.x << "," << p.y;
    ::ReleaseDC(window, dc);
    ::ShowWindow(window, SW_HIDE);

    // Only a release of the left button on the label, or a double-click on the picture, opens
    // the home page.
    const HWND visit = ::GetDlgItem(window, IDC_ABOUT_VISIT);
    ::SendMessageW(visit, WM_RBUTTONUP, 0, MAKELPARAM(2, 2));
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_IMAGE, STN_CLICKED), 0);
    EXPECT_TRUE(shell.started.empty());
    ::SendMessageW(visit, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_IMAGE, STN_DBLCLK), 0);
    EXPECT_EQ(shell.started, (std::vector<std::string>{"explorer http://www.ardentis-software.example/velmora/",
                                                       "explorer http://www.ardentis-software.example/velmora/"}));

    // Esc in the modal display hides the window and ends the display.
    ::PostMessageW(::GetDlgItem(window, IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    about.ShowModal(nullptr);
    EXPECT_EQ(about.Handle(), nullptr);

    velmora::ui::FAbout second;
    second.Load(nullptr);
    ::PostMessageW(second.Handle(), WM_COMMAND, IDOK, 0);
    second.ShowModal(nullptr);
    EXPECT_EQ(second.Handle(), nullptr);
}

namespace {

// How a control shows its caption, measured in the control's own font as the system draws it:
// whether the whole caption fits the control (a button's text also clears its 3D edge and focus
// rectangle, four pixels a side).
struct CaptionFit {
    SIZE text{}, box{};
    bool fits = false;
};

CaptionFit MeasureCaption(HWND control) {
    CaptionFit fit;
    RECT client{};
    ::GetClientRect(control, &client);
    fit.box = {client.right, client.bottom};
    wchar_t cls[32] = L"";
    ::GetClassNameW(control, cls, 32);
    const LONG style = static_cast<LONG>(::GetWindowLongPtrW(control, GWL_STYLE));
    const bool button = ::lstrcmpiW(cls, L"Button") == 0;
    const bool wraps = !button && (style & SS_TYPEMASK) == SS_LEFT;
    UINT format = DT_CALCRECT | DT_EXPANDTABS | ((!button && (style & SS_NOPREFIX)) ? DT_NOPREFIX : 0u);
    format |= button ? DT_SINGLELINE : wraps ? DT_WORDBREAK : 0u;
    const int margin = button ? 8 : 0;
    wchar_t text[1024] = L"";
    ::GetWindowTextW(control, text, 1024);
    const velmora::ui::WindowDC dc(control);
    const HGDIOBJ old = ::SelectObject(dc.get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r{0, 0, wraps ? client.right : 0, 0};
    ::DrawTextW(dc.get(), text, -1, &r, format);
    ::SelectObject(dc.get(), old);
    fit.text = {r.right + margin, r.bottom};
    fit.fits = fit.text.cx <= fit.box.cx && fit.text.cy <= fit.box.cy && text[0] != L'\0';
    return fit;
}

// A control's place in its window's inner area, in pixels.
RECT PlaceIn(HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace

// Every fixed caption (label or button) of every window and panel, as each opens, shows its whole
// text in whatever font the system gives it, inside its window and clear of the control beside it.
TEST_F(MainWindow, EveryFixedCaptionShowsWholeInItsFont) {
    Load();
    velmora::ui::FAbout about;
    about.Load(nullptr);
    velmora::ui::FSafeRemover safeRemover;
    safeRemover.Create(nullptr);
    velmora::ui::FRestoreFiles restoreFiles;
    restoreFiles.Create(nullptr);
    velmora::ui::FProgressor progress;
    progress.ShowProgress(L"Please wait... ", nullptr, false);
    const HWND progressLabel = ::FindWindowExW(progress.Handle(), ::FindWindowExW(progress.Handle(), nullptr, L"Static", nullptr),
                                               L"Static", nullptr);

    const HWND main = window->Handle(), help = Tab(1)->Handle(), bho = Tab(2)->Handle(), cs = Tab(3)->Handle(),
               support = Tab(4)->Handle(), sr = safeRemover.Handle(), rf = restoreFiles.Handle(), ab = about.Handle();
    const struct {
        const char* name;
        HWND control;
        HWND beside;  // the control after it on its line, or none
    } captions[] = {
        {"main window: copyright line", ::GetDlgItem(main, IDC_MAIN_COPYRIGHT), nullptr},
        {"Help: text", ::GetDlgItem(help, IDC_HELP_LBLDESCR), nullptr},
        {"BHO: list label", ::GetDlgItem(bho, IDC_BHO_LABEL4), nullptr},
        {"BHO: Related File", ::GetDlgItem(bho, IDC_BHO_LBLFILENAME), ::GetDlgItem(bho, IDC_BHO_TXTFILENAME)},
        {"BHO: Delete button", ::GetDlgItem(bho, IDC_BHO_CMDDELETE), nullptr},
        {"settings: list label", ::GetDlgItem(cs, IDC_CS_LABEL4), nullptr},
        {"settings: empty values label", ::GetDlgItem(cs, IDC_CS_LBLFILENAME), ::GetDlgItem(cs, IDC_CS_CMDRESTORE)},
        {"settings: Restore button", ::GetDlgItem(cs, IDC_CS_CMDRESTORE), nullptr},
        {"support: text", ::GetDlgItem(support, IDC_SUP_LBLFIRST), nullptr},
        {"support: Your Name", ::GetDlgItem(support, IDC_SUP_LBLNAME), ::GetDlgItem(support, IDC_SUP_TXTNAME)},
        {"support: Your E-mail", ::GetDlgItem(support, IDC_SUP_LBLEMAIL), ::GetDlgItem(support, IDC_SUP_TXTEMAIL)},
        {"support: Request button", ::GetDlgItem(support, IDC_SUP_CMDREQUESTSUPPORT), nullptr},
        {"About: text", ::GetDlgItem(ab, IDC_ABOUT_NAME), nullptr},
        {"About: visit line", ::GetDlgItem(ab, IDC_ABOUT_VISIT), nullptr},
        {"About: OK", ::GetDlgItem(ab, IDOK), nullptr},
        {"Zazi Dururuv: text", ::GetDlgItem(sr, IDC_SR_DESCRIPTION), nullptr},
        {"Zazi Dururuv: prompt", ::GetDlgItem(sr, IDC_SR_PROMPT), nullptr},
        {"Zazi Dururuv: Paste", ::GetDlgItem(sr, IDC_SR_PASTE), ::GetDlgItem(sr, IDC_SR_FIND)},
        {"Zazi Dururuv: Find", ::GetDlgItem(sr, IDC_SR_FIND), ::GetDlgItem(sr, IDC_SR_DISABLE)},
        {"Zazi Dururuv: Disable", ::GetDlgItem(sr, IDC_SR_DISABLE), ::GetDlgItem(sr, IDC_SR_CLOSE)},
        {"Zazi Dururuv: Close", ::GetDlgItem(sr, IDC_SR_CLOSE), nullptr},
        {"Restore Removed Programs: text", ::GetDlgItem(rf, IDC_RF_LABEL1), nullptr},
        {"Restore Removed Programs: prompt", ::GetDlgItem(rf, IDC_RF_LABEL2), nullptr},
        {"Restore Removed Programs: Restore", ::GetDlgItem(rf, IDC_RF_RESTORE), ::GetDlgItem(rf, IDC_RF_CLOSE)},
        {"Restore Removed Programs: Close", ::GetDlgItem(rf, IDC_RF_CLOSE), nullptr},
        {"progress: text", progressLabel, nullptr},
    };
    // The tab strip shows every tab whole: it needs no arrows to scroll its row (the window is
    // hidden, so the arrows' own style tells).
    const HWND arrows = ::FindWindowExW(window->TabStrip(), nullptr, UPDOWN_CLASSW, nullptr);
    EXPECT_FALSE(arrows && (::GetWindowLongPtrW(arrows, GWL_STYLE) & WS_VISIBLE)) << "the tabs need arrows";
    for (const auto& c : captions) {
        ASSERT_NE(c.control, nullptr) << c.name;
        const CaptionFit fit = MeasureCaption(c.control);
        EXPECT_TRUE(fit.fits) << c.name << ": text " << fit.text.cx << " x " << fit.text.cy << " px in a box of "
                              << fit.box.cx << " x " << fit.box.cy;
        const RECT at = PlaceIn(c.control);
        RECT inner{};
        ::GetClientRect(::GetParent(c.control), &inner);
        EXPECT_TRUE(at.left >= 0 && at.top >= 0 && at.right <= inner.right && at.bottom <= inner.bottom)
            << c.name << ": at " << at.left << "," << at.top << " to " << at.right << "," << at.bottom
            << " in a window of " << inner.right << " x " << inner.bottom;
        if (c.beside) {
            EXPECT_LE(at.right, PlaceIn(c.beside).left) << c.name;
        }
    }
    progress.Finalize();
}
