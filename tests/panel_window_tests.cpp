// The help, Browser Helper Object and support panels as real child windows of a test window,
// over redirected registry hives; message boxes, the context menu and the shell's Properties
// dialog answered by the test through the platform seam.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "BackupTestSupport.h"
#include "DetectionTestSupport.h"
#include "ProtectedFilesSupport.h"
#include "TestSupport.h"
#include "detection/BHOManager.h"
#include "inspection/Globals.h"
#include "inspection/MMain.h"
#include "tessel/Api.h"
#include "tessel/RegistryAccessor.h"
#include "ui/BhoPanel.h"
#include "ui/BusyGuard.h"
#include "ui/HelpPanel.h"
#include "ui/PanelIds.h"
#include "ui/SupportPanel.h"

using testing_support::Narrow;
namespace pl = velmora::ui::panel_layout;
namespace api = tessel::api;

namespace {

const std::wstring kKey = std::wstring(velmora::kBHOKey) + L"\\";
const std::wstring kImproper = L"Browser Helper Object is improperly installed or configured";

std::wstring Id(int n) { return L"{0000000" + std::to_wstring(n) + L"-0000-0000-0000-000000000000}"; }

std::wstring Text(HWND window) {
    wchar_t buffer[1024] = L"\xBDBD";
    ::GetWindowTextW(window, buffer, 1024);
    return buffer;
}

// Where a control stands in its panel, in pixels.
pl::PixelRect Placed(HWND panel, int control) {
    RECT rc{};
    ::GetWindowRect(::GetDlgItem(panel, control), &rc);
    ::MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&rc), 2);
    return {rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top};
}

// A hidden top-level window holding a panel at the size the main window gives its panels as
// designed (7995 x 3195 twips). Hidden: without a window manager, hiding a shown one waits.
struct Host {
    Host() {
        static const ATOM atom = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = ::DefWindowProcW;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"VelmoraPanelTestHost";
            return ::RegisterClassW(&wc);
        }();
        hwnd = ::CreateWindowExW(0, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom)), L"host", WS_OVERLAPPEDWINDOW, 0, 0, 700, 400, nullptr, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    }
    ~Host() { ::DestroyWindow(hwnd); }
    void Place(velmora::ui::Panel& panel, int widthPx = 533, int heightPx = 213) {
        panel.Create(hwnd);
        ::SetWindowPos(panel.Handle(), nullptr, 19, 29, widthPx, heightPx, SWP_NOZORDER | SWP_SHOWWINDOW);
    }
    HWND hwnd;
};

// The Browser Helper Object panel over redirected hives, with every question, menu and
// Properties request answered and recorded.
struct BhoTab {
    testing_support::ScratchHives hives;
    testing_support::BackupRecord backup;
    tessel::RegistryAccessor reg;
    testing_support::TempDir dir;
    detection_support::TestLog t;
    Host host;
    velmora::ui::BhoPanel panel;
    std::deque<int> answers;
    std::vector<std::wstring> prompts;
    std::vector<UINT> styles;
    std::vector<std::vector<std::wstring>> menus;
    std::function<UINT()> pick = [] { return 0u; };
    std::vector<std::string> shown;  // files whose Properties were asked for

    api::ScopedPreset<decltype(api::user32().MessageBoxW)> boxes{
        api::user32().MessageBoxW, [this](HWND, LPCWSTR text, LPCWSTR title, UINT style) {
            prompts.push_back(text);
            styles.push_back(style);
            EXPECT_STREQ(title, L"Velmora");
            const int a = answers.empty() ? IDCANCEL : answers.front();
            if (!answers.empty()) answers.pop_front();
            return a;
        }};
    api::ScopedPreset<decltype(api::user32().TrackPopupMenu)> menu{
        api::user32().TrackPopupMenu, [this](HMENU m, UINT flags, int, int, int, HWND, const RECT*) {
            EXPECT_TRUE(flags & TPM_RETURNCMD);
            std::vector<std::wstring> entries;
            for (UINT i = 0; i < static_cast<UINT>(::GetMenuItemCount(m)); ++i) {
                wchar_t text[64] = L"";
                ::GetMenuStringW(m, i, text, 64, MF_BYPOSITION);
                entries.push_back(::GetMenuState(m, i, MF_BYPOSITION) & MF_SEPARATOR ? L"-" : text);
            }
            menus.push_back(entries);
            return static_cast<BOOL>(pick());
        }};
    api::ScopedPreset<decltype(api::shell32().ShellExecuteExA)> properties{
        api::shell32().ShellExecuteExA, [this](SHELLEXECUTEINFOA* info) {
            EXPECT_STREQ(info->lpVerb, "properties");
            EXPECT_EQ(info->hwnd, host.hwnd);  // the main window owns the dialog
            shown.push_back(info->lpFile);
            return TRUE;
        }};

    BhoTab() {
        tessel::PendingError pending;
        velmora::SetProcessWideValues(pending);
        host.Place(panel);
    }
    void Add(const std::wstring& id, const std::wstring* name, const std::wstring& server) {
        reg.WriteString(HKEY_LOCAL_MACHINE, kKey + id, L"NoExplorer", L"1");
        if (name) reg.WriteString(HKEY_LOCAL_MACHINE, kKey + id, L"", *name);
        if (!server.empty()) reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\" + id + L"\\InProcServer32", L"", server);
    }
    std::wstring File(const std::wstring& name) {
        testing_support::WriteBytes(dir / name, "a file without version information");
        return dir / name;
    }
    HWND List() const { return panel.ListViewObject(); }
    std::wstring Box() const { return Text(::GetDlgItem(panel.Handle(), IDC_BHO_TXTFILENAME)); }
    int Rows() const { return ListView_GetItemCount(List()); }
    std::wstring Row(int row) const {
        wchar_t buffer[512] = L"\xBDBD";
        LVITEMW item{};
        item.pszText = buffer;
        item.cchTextMax = 512;
        ::SendMessageW(List(), LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return buffer;
    }
    void Select(int row) const {
        ListView_SetItemState(List(), -1, 0, LVIS_SELECTED);
        if (row >= 0) ListView_SetItemState(List(), row, LVIS_SELECTED, LVIS_SELECTED);
    }
    void ClickDelete() const {
        ::SendMessageW(panel.Handle(), WM_COMMAND, MAKEWPARAM(IDC_BHO_CMDDELETE, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(panel.Handle(), IDC_BHO_CMDDELETE)));
    }
    void RightClick() const {
        NMHDR header{List(), IDC_BHO_LV, static_cast<UINT>(NM_RCLICK)};
        ::SendMessageW(panel.Handle(), WM_NOTIFY, IDC_BHO_LV, reinterpret_cast<LPARAM>(&header));
    }
    // A key released on the list with the modifiers given (1 Shift, 2 Ctrl, 4 Alt) held.
    void KeyUp(int key, int shift = 0) const {
        BYTE saved[256], held[256];
        ::GetKeyboardState(saved);
        std::copy(std::begin(saved), std::end(saved), held);
        held[VK_SHIFT] = (shift & 1) ? 0x80 : 0;
        held[VK_CONTROL] = (shift & 2) ? 0x80 : 0;
        held[VK_MENU] = (shift & 4) ? 0x80 : 0;
        ::SetKeyboardState(held);
        ::SendMessageW(List(), (shift & 4) ? WM_SYSKEYUP : WM_KEYUP, static_cast<WPARAM>(key),
                       static_cast<LPARAM>(1u | (shift & 4 ? 1u << 29 : 0u) | (3u << 30)));
        ::SetKeyboardState(saved);
    }
    bool Logged(const std::wstring& source, const std::wstring& text) const {
        return t.Has("5|0|" + Narrow(source) + "|" + Narrow(text));
    }
};

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

TEST(BhoPanel, ListsNamesAndShowsTheSelectedRowsFile) {
    BhoTab tab;
    // No Browser Helper Objects key at all: an empty box (not text 130), and nothing to act on.
    tab.panel.Init(tab.t.log);
    EXPECT_EQ(tab.Rows(), 0);
    EXPECT_EQ(tab.Box(), L"");
    tab.ClickDelete();
    tab.RightClick();
    tab.KeyUp(VK_APPS);
    tab.KeyUp(VK_RETURN, 4);
    EXPECT_TRUE(tab.prompts.empty() && tab.menus.empty() && tab.shown.empty());

    const std::wstring dll = tab.File(L"helper.dll"), amp = L"A && B &", marks = L"&&&";
    tab.Add(Id(1), &amp, L"\"" + dll + L"\" /embedding");
    tab.Add(L"0000002-0000-0000-0000-000000000000", &amp, dll);  // not 38 characters: no row
    tab.Add(Id(3), nullptr, L"");                                  // no name, no server
    tab.Add(Id(4), nullptr, L"c:\\no\\such.dll");                  // no name: the path
    // A name that is no text is no name: the registration is listed by its file all the same.
    tab.Add(Id(5), nullptr, dll);
    tessel::UniqueKey odd;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kKey + Id(5)).c_str(), 0, KEY_SET_VALUE, odd.put()), ERROR_SUCCESS);
    const BYTE junk[] = {1, 2, 3};
    ASSERT_EQ(::RegSetValueExW(odd.get(), L"", 0, REG_BINARY, junk, sizeof junk), ERROR_SUCCESS);
    // A name of marks alone is a name: the marks go after the fallbacks and leave no text.
    tab.Add(Id(6), &marks, dll);
    tab.panel.RefreshList();
    ASSERT_EQ(tab.Rows(), 5);
    EXPECT_EQ(tab.Row(3), dll);
    EXPECT_EQ(tab.Row(4), L"");
    EXPECT_EQ(tab.Row(0), L"A  B ");
    EXPECT_EQ(tab.Row(1), L"(noname)");
    EXPECT_EQ(tab.Row(2), L"c:\\no\\such.dll");
    const tessel::Node* first = velmora::ui::BhoPanel::RowRecord(tab.List(), 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Id, Id(1));
    EXPECT_EQ(first->params.Item(L"DLL").Value(), dll);
    EXPECT_EQ(velmora::ui::BhoPanel::RowRecord(tab.List(), 5), nullptr);
    EXPECT_EQ(ImageList_GetImageCount(ListView_GetImageList(tab.List(), LVSIL_SMALL)), 1);

    EXPECT_EQ(ListView_GetNextItem(tab.List(), -1, LVNI_SELECTED), 0);
    EXPECT_EQ(tab.Box(), dll);
    tab.Select(1);
    EXPECT_EQ(tab.Box(), kImproper);
    tab.Select(2);
    EXPECT_EQ(tab.Box(), L"c:\\no\\such.dll");
    tab.Select(-1);
    EXPECT_EQ(tab.Box(), L"");

    const HWND w = tab.panel.Handle();
    EXPECT_EQ(Placed(w, IDC_BHO_LV), pl::ToPixels({0, 270, 7995, 2100}));
    // The button and the label are at least as wide as designed (wider where the dialog's font
    // needs it); the button keeps its right edge and the text box starts after the label.
    const pl::Box button = tab.panel.Geometry().at(IDC_BHO_CMDDELETE), label = tab.panel.Geometry().at(IDC_BHO_LBLFILENAME);
    EXPECT_GE(button.width, 2535);
    EXPECT_EQ(Placed(w, IDC_BHO_CMDDELETE), pl::ToPixels({7980 - button.width, 2790, button.width, 345}));
    EXPECT_GE(label.width, 885);
    const int boxLeft = std::max(975, label.left + label.width + 75);
    EXPECT_EQ(Placed(w, IDC_BHO_TXTFILENAME), pl::ToPixels({boxLeft, 2430, 7980 - boxLeft, 285}));
    EXPECT_EQ(ListView_GetColumnWidth(tab.List(), 0), 508);  // 7620 twips
    for (const auto& line : tab.t.Lines()) EXPECT_NE(line.substr(0, 2), "4|") << line;
}

TEST(BhoPanel, ContextMenuAndPropertiesActOnTheirOwnCopyOfTheRow) {
    BhoTab tab;
    const std::wstring dll = tab.File(L"helper.dll"), name = L"Helper";
    tab.Add(Id(1), &name, dll);
    tab.Add(Id(2), nullptr, L"");
    tab.panel.Init(tab.t.log);

    // While the menu is up the registration goes and the rows are rebuilt: Properties still
    // shows the file of the row the menu was opened on.
    tab.pick = [&] {
        tab.reg.DeleteKey(HKEY_LOCAL_MACHINE, kKey + Id(1));
        tab.panel.RefreshList();
        return static_cast<UINT>(IDM_BHO_PROPERTIES);
    };
    tab.RightClick();
    ASSERT_EQ(tab.menus.size(), 1u);
    EXPECT_EQ(tab.menus[0], (std::vector<std::wstring>{L"&Delete", L"-", L"&Properties"}));
    EXPECT_EQ(tab.shown, (std::vector<std::string>{Narrow(dll)}));
    EXPECT_EQ(tab.Rows(), 1);

    // A row without a file: the Apps key shows Delete alone; Alt+Enter does nothing.
    tab.pick = [] { return 0u; };
    tab.KeyUp(VK_APPS);
    ASSERT_EQ(tab.menus.size(), 2u);
    EXPECT_EQ(tab.menus[1], (std::vector<std::wstring>{L"&Delete"}));
    tab.KeyUp(VK_RETURN, 4);
    EXPECT_EQ(tab.shown.size(), 1u);

    // Alt+Enter on a row whose file vanished since the refresh; Ctrl+Alt+Enter is not Alt+Enter.
    tab.Add(Id(1), &name, dll);
    tab.panel.RefreshList();
    ASSERT_TRUE(::DeleteFileW(dll.c_str()));
    tab.KeyUp(VK_RETURN, 6);
    EXPECT_TRUE(tab.prompts.empty());
    tab.KeyUp(VK_RETURN, 4);
    EXPECT_EQ(tab.prompts, (std::vector<std::wstring>{L"File '" + dll + L"' not found. "}));
    EXPECT_EQ(tab.styles, (std::vector<UINT>{MB_OK | MB_ICONEXCLAMATION}));
    EXPECT_EQ(tab.shown.size(), 1u);
}

TEST(BhoPanel, DeletingAParasiteDisablesItsFileThenDeletesTheRegistration) {
    BhoTab tab;
    const std::wstring dll = tab.File(L"helper.dll"), name = L"Demo & Helper", other = L"Other";
    tab.Add(Id(1), &name, dll);
    tab.Add(Id(2), &other, L"");
    tab.panel.Init(tab.t.log);
    const std::wstring question = L"Are you sure you want to delete 'Demo  Helper' browser helper object?";

    // Cancel: nothing logged, changed or refreshed.
    tab.ClickDelete();
    EXPECT_EQ(tab.prompts, (std::vector<std::wstring>{question}));
    EXPECT_TRUE(tab.reg.KeyExists(HKEY_LOCAL_MACHINE, kKey + Id(1)));
    EXPECT_TRUE(Exists(dll));
    for (const auto& line : tab.t.Lines()) EXPECT_EQ(line.find("Deleting BHO"), std::string::npos) << line;

    // OK, through the context menu's Delete.
    tab.prompts.clear();
    tab.styles.clear();
    tab.answers = {IDOK, IDOK};
    tab.pick = [] { return static_cast<UINT>(IDM_BHO_DELETE); };
    tab.RightClick();
    EXPECT_EQ(tab.prompts,
              (std::vector<std::wstring>{question, L"Browser helper object 'Demo  Helper' deleted successfully. "}));
    EXPECT_EQ(tab.styles, (std::vector<UINT>{MB_OKCANCEL | MB_ICONEXCLAMATION, MB_OK | MB_ICONINFORMATION}));
    EXPECT_TRUE(tab.Logged(L"ucBHO.cmdDelete_Click", L"Deleting BHO(" + Id(1) + L", 'Demo  Helper', '" + dll + L"')"));
    EXPECT_FALSE(Exists(dll));
    EXPECT_TRUE(Exists(tab.dir / L"parasite_helper.dll.parasite"));
    EXPECT_EQ(tab.reg.ReadString(HKEY_CURRENT_USER, velmora::kRemovedFilesKey, dll), dll);
    EXPECT_FALSE(tab.reg.KeyExists(HKEY_LOCAL_MACHINE, kKey + Id(1)));
    EXPECT_TRUE(tab.reg.KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + Id(1)));  // only the registration goes
    ASSERT_EQ(tab.Rows(), 1);
    EXPECT_EQ(tab.Row(0), L"Other");
    EXPECT_EQ(tab.Box(), kImproper);

    // A registration without a file skips the parasite test and goes.
    tab.prompts.clear();
    tab.answers = {IDOK, IDOK};
    tab.ClickDelete();
    ASSERT_EQ(tab.prompts.size(), 2u);
    EXPECT_EQ(tab.prompts[1], L"Browser helper object 'Other' deleted successfully. ");
    EXPECT_TRUE(tab.Logged(L"ucBHO.cmdDelete_Click", L"Deleting BHO(" + Id(2) + L", 'Other', '')"));
    EXPECT_EQ(tab.Rows(), 0);
}

TEST(BhoPanel, AWindowsFileIsDisabledOnlyAfterASecondQuestionAndTheProgramsOwnNever) {
    using protected_files::Kind;
    BhoTab tab;
    protected_files::ScratchMachine machine;
    tab.panel.Init(tab.t.log);
    const std::wstring name = L"Case";
    const std::wstring question = L"Are you sure you want to delete 'Case' browser helper object?";
    const std::wstring deleted = L"Browser helper object 'Case' deleted successfully. ";
    for (const auto& [kind, path, file] : machine.cases) {
        const bool asked = protected_files::AsksAgain(kind);
        for (const int second : asked ? std::vector<int>{IDCANCEL, IDOK} : std::vector<int>{IDOK}) {
            SCOPED_TRACE(Narrow(path) + " " + std::to_string(second));
            tab.Add(Id(1), &name, path);
            tab.panel.RefreshList();
            tab.Select(0);
            tab.prompts.clear();
            tab.answers = {IDOK, second, IDOK};
            tab.ClickDelete();
            const std::wstring kept = deleted + L"Its file '" + file + L"' was left in place. ";
            std::vector<std::wstring> expected{question};
            if (asked) {
                expected.push_back(protected_files::WindowsQuestion(file));
            } else if (kind == Kind::ProgramFile) {
                expected.push_back(protected_files::ProgramFileKept(file));
            }
            const bool disabled = kind == Kind::Ordinary || (asked && second == IDOK);
            expected.push_back(disabled || kind == Kind::Device ? deleted : kept);
            EXPECT_EQ(tab.prompts, expected);
            const std::wstring own = machine.RecordOf(file);
            if (disabled) {
                EXPECT_FALSE(Exists(own));
                EXPECT_TRUE(Exists(velmora::GetParasiteFileName(own)));
            } else if (kind != Kind::Device) {
                EXPECT_TRUE(machine.Untouched(own));
            }
            EXPECT_EQ(tab.reg.ReadValue(HKEY_CURRENT_USER, velmora::kRemovedFilesKey, own).has_value(), disabled);
            EXPECT_FALSE(tab.reg.KeyExists(HKEY_LOCAL_MACHINE, kKey + Id(1)));
        }
    }
}

TEST(BhoPanel, AVerbatimServerPathIsShownJudgedAndDisabledAsTheFileItNamesNotAsTheFileBesideIt) {
    // A name with a trailing dot, which only the verbatim path reaches, beside a file of the plain
    // name; one of the two is from a known maker.
    const std::string known = testing_support::ReadBytes(velmora::SysDir + L"lz32.dll"), unknown = "no version information";
    const struct {
        std::string named, beside;
        bool disabled;
    } rows[] = {{unknown, known, true}, {known, unknown, false}};
    for (const auto& [named, beside, disabled] : rows) {
        SCOPED_TRACE(disabled);
        BhoTab tab;
        tab.panel.Init(tab.t.log);
        const std::wstring server = L"\\\\?\\" + tab.dir / L"tool.dll.", plain = tab.dir / L"tool.dll";
        testing_support::WriteBytes(server, named);
        testing_support::WriteBytes(plain, beside);
        const std::wstring name = L"Tool";
        tab.Add(Id(1), &name, server);
        tab.panel.RefreshList();
        tab.Select(0);
        EXPECT_EQ(tab.Box(), server);
        tab.answers = {IDOK, IDOK};
        tab.ClickDelete();
        EXPECT_EQ(tab.prompts, (std::vector<std::wstring>{L"Are you sure you want to delete 'Tool' browser helper object?",
                                                          L"Browser helper object 'Tool' deleted successfully. "}));
        EXPECT_EQ(Exists(server), !disabled);
        EXPECT_EQ(Exists(velmora::GetParasiteFileName(server)), disabled);
        EXPECT_EQ(testing_support::ReadBytes(plain), beside);
        EXPECT_EQ(tab.reg.ReadValue(HKEY_CURRENT_USER, velmora::kRemovedFilesKey, server).has_value(), disabled);
    }
}

TEST(BhoPanel, AFolderKeepsItsNameUnaskedAndAFileThatCouldNotBeDisabledIsSaidToBeLeftInPlace) {
    BhoTab tab;
    tab.panel.Init(tab.t.log);
    protected_files::UserFolders folders(tab.dir);
    // Held without FILE_SHARE_DELETE by the test itself: neither the rename nor its retry moves it.
    const std::wstring locked = tab.File(L"locked.dll");
    const tessel::UniqueFile hold(
        ::CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(hold);
    int terminations = 0;
    api::ScopedPreset<decltype(api::kernel32().TerminateProcess)> noTermination(
        api::kernel32().TerminateProcess, [&](HANDLE, UINT) { return ++terminations, FALSE; });
    const std::wstring name = L"Case";
    const std::wstring deleted = L"Browser helper object 'Case' deleted successfully. ";
    const struct {
        std::wstring server;
        std::wstring said;
    } cases[] = {{folders.spellings[0], deleted},
                 {folders.spellings[1], deleted},
                 {locked, deleted + L"Its file '" + locked + L"' was left in place. "}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.server));
        tab.Add(Id(1), &name, c.server);
        tab.panel.RefreshList();
        tab.Select(0);
        tab.prompts.clear();
        tab.answers = {IDOK, IDOK};
        tab.ClickDelete();
        EXPECT_EQ(tab.prompts,
                  (std::vector<std::wstring>{L"Are you sure you want to delete 'Case' browser helper object?", c.said}));
        EXPECT_FALSE(tab.reg.KeyExists(HKEY_LOCAL_MACHINE, kKey + Id(1)));
    }
    EXPECT_TRUE(folders.AsTheyWere());
    EXPECT_TRUE(Exists(locked));
    EXPECT_EQ(terminations, 0);
}

namespace {
struct DuringTheWait {
    BhoTab* tab = nullptr;
    tessel::UniqueFile lock;
    int ticks = 0;
    bool busy = false;
} g_wait;

void CALLBACK WhileWaiting(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    ++g_wait.ticks;
    g_wait.busy = velmora::ui::BusyGuard::Busy();
    // A second Delete and the Apps key while the first deletion waits; the rows rebuilt.
    g_wait.tab->ClickDelete();
    g_wait.tab->KeyUp(VK_APPS);
    g_wait.tab->panel.RefreshList();
    g_wait.lock.reset();  // the retry after the wait then succeeds
}
}  // namespace

TEST(BhoPanel, WhileTheRenamingWaitsThePanelTakesNoCommand) {
    BhoTab tab;
    const std::wstring dll = tab.File(L"locked.dll"), name = L"Locked";
    tab.Add(Id(1), &name, dll);
    int terminations = 0;
    api::ScopedPreset<decltype(api::kernel32().TerminateProcess)> noTermination(
        api::kernel32().TerminateProcess, [&](HANDLE, UINT) { return ++terminations, FALSE; });
    tab.panel.Init(tab.t.log);

    g_wait = {&tab,
              tessel::UniqueFile(::CreateFileW(dll.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))};
    ASSERT_TRUE(g_wait.lock);
    ::SetTimer(nullptr, 0, 300, &WhileWaiting);
    tab.answers = {IDOK, IDOK, IDOK, IDOK};
    tab.ClickDelete();
    g_wait.lock.reset();

    EXPECT_EQ(g_wait.ticks, 1);
    EXPECT_TRUE(g_wait.busy);
    EXPECT_FALSE(velmora::ui::BusyGuard::Busy());
    EXPECT_EQ(tab.prompts, (std::vector<std::wstring>{L"Are you sure you want to delete 'Locked' browser helper object?",
                                                      L"Browser helper object 'Locked' deleted successfully. "}));
    EXPECT_TRUE(tab.menus.empty());
    EXPECT_EQ(terminations, 0);
    EXPECT_TRUE(tab.Logged(L"CProcessManager.RenameParasiteFilesEx", L"FilesToPostDelete.Count=1"));
    EXPECT_TRUE(Exists(tab.dir / L"parasite_locked.dll.parasite"));
    EXPECT_FALSE(tab.reg.KeyExists(HKEY_LOCAL_MACHINE, kKey + Id(1)));
    EXPECT_EQ(tab.Rows(), 0);
}

TEST(HelpAndSupportPanels, TextsAndPlaces) {
    detection_support::TestLog t;
    Host host;
    velmora::ui::HelpPanel help;
    host.Place(help);
    help.Init(t.log);
    const HWND h = help.Handle();
    EXPECT_EQ(Text(::GetDlgItem(h, IDC_HELP_LBLDESCR)),
              L"Velmora is a powerful tool to get rid of about:blank home page parasites.\n \n"
              L"Velmora disables about:blank home page hijackers and restores original configuration.\n \n"
              L"Velmora backs up configuration data so you can roll back all changes at any time.");
    EXPECT_NE(::SendDlgItemMessageW(h, IDC_HELP_IMAGE1, STM_GETICON, 0, 0), 0);
    EXPECT_EQ(Placed(h, IDC_HELP_IMAGE1), (pl::PixelRect{14, 16, 32, 32}));
    EXPECT_EQ(Placed(h, IDC_HELP_LBLDESCR), pl::ToPixels({780, 840, 6825, 2355}));
    // Narrower than one and a half times the label's left: the width stays, the height follows.
    ::SetWindowPos(h, nullptr, 0, 0, 60, 100, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(Placed(h, IDC_HELP_LBLDESCR), pl::ToPixels({780, 840, 6825, 1500 - 840}));

    velmora::ui::SupportPanel support;
    host.Place(support, 396, 240);  // 5940 x 3600 twips
    support.Init(t.log);
    const HWND s = support.Handle();
    EXPECT_EQ(Text(::GetDlgItem(s, IDC_SUP_LBLFIRST)),
              L"There are dozens modifications of about:blank parasite and every week we find a new one. "
              L"Use this step when two previous steps don't help.\n \n"
              L"Please describe the problem and press \"Request Support\" button.\n");
    EXPECT_EQ(Text(::GetDlgItem(s, IDC_SUP_TXTANSWERS)), L"Your description here...");
    DWORD from = 0xdeadbeef, to = 0xdeadbeef;
    ::SendDlgItemMessageW(s, IDC_SUP_TXTANSWERS, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 0u);
    EXPECT_EQ(to, 24u);
    EXPECT_EQ(Text(::GetDlgItem(s, IDC_SUP_LBLNAME)) + Text(::GetDlgItem(s, IDC_SUP_LBLEMAIL)) +
                  Text(::GetDlgItem(s, IDC_SUP_CMDREQUESTSUPPORT)),
              L"Your &Name:Your &E-mail:&Request Support");
    std::vector<int> order;  // the tab order
    for (HWND at = ::GetNextDlgTabItem(s, nullptr, FALSE); at && order.size() < 4; at = ::GetNextDlgTabItem(s, at, FALSE))
        order.push_back(::GetDlgCtrlID(at));
    EXPECT_EQ(order, (std::vector<int>{IDC_SUP_TXTANSWERS, IDC_SUP_TXTNAME, IDC_SUP_TXTEMAIL, IDC_SUP_CMDREQUESTSUPPORT}));
    EXPECT_EQ(Placed(s, IDC_SUP_CMDREQUESTSUPPORT), pl::ToPixels({4245, 3195, 1680, 345}));
    // The e-mail box follows its label, which is at least as wide as designed (wider where
    // the dialog's font needs it), and ends at the right edge.
    const pl::Box label = support.Geometry().at(IDC_SUP_LBLEMAIL), email = support.Geometry().at(IDC_SUP_TXTEMAIL);
    EXPECT_GE(label.width, 840);
    EXPECT_EQ(email, (pl::Box{label.left + label.width + 45, 2835, 5940 - (label.left + label.width + 45), 285}));
    EXPECT_EQ(Placed(s, IDC_SUP_TXTEMAIL), pl::ToPixels(email));
    EXPECT_EQ(Placed(s, IDC_SUP_TXTANSWERS), pl::ToPixels({780, 1170, 5160, 1605}));
    EXPECT_TRUE(t.Lines().empty());
}
