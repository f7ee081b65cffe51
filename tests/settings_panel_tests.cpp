// The configuration settings tab in this process, on a real window: its rows over a prepared
// registry, the bold red of a value that needs attention, its layout and its restore button.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "BackupTestSupport.h"
#include "DetectionTestSupport.h"
#include "FileFactsSupport.h"
#include "tessel/Api.h"
#include "tessel/RegistryAccessor.h"
#include "ui/SettingsPanel.h"
#include "ui/SettingsPanelIds.h"

using testing_support::Narrow;

namespace {

const std::wstring kMain = L"Software\\Microsoft\\Internet Explorer\\Main";
const std::wstring kPolicies = L"Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel";
const std::wstring kWindows = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";

using testing_support::ScriptedBoxes;

struct Row {
    std::string key, text, value;
    bool operator==(const Row&) const = default;
};

class SettingsPanel : public ::testing::Test {
protected:
    void SetUp() override {
        reg.WriteString(HKEY_CURRENT_USER, kMain, L"Start Page", L"http://elsewhere.example/");
        reg.WriteString(HKEY_LOCAL_MACHINE, kMain, L"Start Page", L"about:blank");
        reg.WriteString(HKEY_CURRENT_USER, kPolicies, L"HomePage", L"http://www.microsoft.com.evil.example/");
        parent = ::CreateWindowExW(0, L"STATIC", L"Velmora test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 700,
                                   400, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(parent);
        panel.Create(parent);
        ASSERT_TRUE(panel.Window());
        ASSERT_TRUE(panel.ListViewObject());
    }
    void TearDown() override {
        ::DestroyWindow(parent);  // the panel's window with it
    }

    std::vector<Row> Rows() const {
        std::vector<Row> rows;
        const HWND lv = panel.ListViewObject();
        const int n = static_cast<int>(::SendMessageW(lv, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            auto text = [&](int sub) {
                wchar_t buf[512] = L"\xbdbd";
                LVITEMW item{};
                item.iSubItem = sub;
                item.pszText = buf;
                item.cchTextMax = 512;
                ::SendMessageW(lv, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
                return Narrow(buf);
            };
            rows.push_back({Narrow(velmora::ui::RowIconKey(lv, i)), text(0), text(1)});
        }
        return rows;
    }

    // What the list's custom draw does to one sub-item: the result, the colour and the weight
    // of the font it leaves selected.
    struct Look {
        LRESULT result;
        COLORREF colour;
        LONG weight;
    };
    Look Draw(int row, int subItem) {
        HDC dc = ::CreateCompatibleDC(nullptr);
        const HGDIOBJ before = ::SelectObject(dc, ::GetStockObject(SYSTEM_FONT));
        NMLVCUSTOMDRAW draw{};
        draw.nmcd.hdr.hwndFrom = panel.ListViewObject();
        draw.nmcd.hdr.idFrom = IDC_CS_LV;
        draw.nmcd.hdr.code = NM_CUSTOMDRAW;
        draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
        draw.nmcd.hdc = dc;
        draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
        draw.iSubItem = subItem;
        draw.clrText = 0xBDBDBD;  // poison
        Look look{::SendMessageW(panel.Window(), WM_NOTIFY, IDC_CS_LV, reinterpret_cast<LPARAM>(&draw)), draw.clrText, 0};
        LOGFONTW font{};
        ::GetObjectW(::GetCurrentObject(dc, OBJ_FONT), sizeof(font), &font);
        look.weight = font.lfWeight;
        ::SelectObject(dc, before);
        ::DeleteDC(dc);
        return look;
    }

    void Click() {
        ::SendMessageW(panel.Window(), WM_COMMAND, MAKEWPARAM(IDC_CS_CMDRESTORE, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(panel.Window(), IDC_CS_CMDRESTORE)));
    }

    filefacts::ProcessWideValues family;
    testing_support::ScratchHives hives;
    testing_support::BackupRecord backup;
    tessel::RegistryAccessor reg;
    detection_support::TestLog t;
    HWND parent = nullptr;
    velmora::ui::ucCS panel;
};

const Row kStartPage{"IE", "Start page for the user who is currently logged on", "http://elsewhere.example/"};
const Row kMachineStart{"OK", "Start page particular to the computer (for any user)", "about:blank"};
const Row kHomePage{"i", "Home page for the user who is currently logged on", "http://www.microsoft.com.evil.example/"};
const Row kStyleSheet{"OK", "User's style sheet is enabled", "No"};

}  // namespace

TEST_F(SettingsPanel, ListsTheRowsWithTheirIconsAndColours) {
    panel.Init(t.log);
    EXPECT_EQ(Rows(), (std::vector<Row>{kStartPage, kMachineStart, kHomePage, kStyleSheet}));
    const HWND lv = panel.ListViewObject();
    EXPECT_EQ(::SendMessageW(lv, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    EXPECT_EQ(::SendMessageW(lv, LVM_GETITEMSTATE, 0, LVIS_SELECTED), LVIS_SELECTED);

    // Only the value that needs attention is bold red; the start page's own icon is no alarm.
    const Look home = Draw(2, 1);
    EXPECT_EQ(home.result, CDRF_NEWFONT);
    EXPECT_EQ(home.colour, RGB(255, 0, 0));
    EXPECT_GE(home.weight, FW_BOLD);
    for (const auto& [row, sub] : {std::pair{2, 0}, {0, 1}, {1, 1}, {3, 1}}) {
        SCOPED_TRACE(std::to_string(row) + "/" + std::to_string(sub));
        const Look plain = Draw(row, sub);
        EXPECT_EQ(plain.colour, 0xBDBDBDu);
        EXPECT_LT(plain.weight, FW_BOLD);
    }
    // The whole list also paints on a real screen.
    ::ShowWindow(panel.Window(), SW_SHOW);
    ::ShowWindow(parent, SW_SHOW);
    ::UpdateWindow(parent);

    // A refresh reads the registry afresh, in table order.
    reg.DeleteValue(HKEY_CURRENT_USER, kMain, L"Start Page");
    panel.RefreshList();
    EXPECT_EQ(Rows(), (std::vector<Row>{kMachineStart, kHomePage, kStyleSheet}));
}

TEST_F(SettingsPanel, AppliesItsLayoutInPixels) {
    panel.Init(t.log);
    ::MoveWindow(panel.Window(), 19, 29, 533, 213, TRUE);  // 7995 x 3195 twips
    RECT list{}, button{};
    ::GetWindowRect(panel.ListViewObject(), &list);
    ::GetWindowRect(::GetDlgItem(panel.Window(), IDC_CS_CMDRESTORE), &button);
    EXPECT_EQ(std::vector<long>({list.right - list.left, list.bottom - list.top}), std::vector<long>({533, 164}));
    // The button may be wider than designed, to show its whole text; its right edge stays.
    EXPECT_EQ(std::vector<long>({button.right - list.left, button.top - list.top}), std::vector<long>({532, 168}));
    EXPECT_EQ(::SendMessageW(panel.ListViewObject(), LVM_GETCOLUMNWIDTH, 0, 0), 196);  // 2943 twips
}

TEST_F(SettingsPanel, RestoresAfterConfirmationAndSaysWhatFailed) {
    panel.Init(t.log);
    ScriptedBoxes boxes;
    boxes.answers = {IDCANCEL, IDOK, IDOK, IDOK, IDOK};
    Click();  // cancelled: nothing changes
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"Are you sure you want to restore all configuration settings?");
    EXPECT_EQ(boxes.shown[0].style, 49u);
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, kPolicies, L"HomePage"), L"http://www.microsoft.com.evil.example/");
    EXPECT_EQ(Rows().size(), 4u);

    Click();
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[2].text, L"Configuration settings restored successfully. ");
    EXPECT_EQ(boxes.shown[2].style, 64u);
    EXPECT_FALSE(reg.ReadValue(HKEY_CURRENT_USER, kPolicies, L"HomePage"));
    for (const Row& row : Rows()) EXPECT_EQ(row.key, "OK") << row.text << ": " << row.value;

    // Bytes the restore cannot read as AppInit_DLLs: that one row fails, the others are done.
    reg.WriteValue(HKEY_LOCAL_MACHINE, kWindows, L"AppInit_DLLs", {REG_BINARY, {1, 2, 3}});
    reg.WriteString(HKEY_CURRENT_USER, kPolicies, L"HomePage", L"http://hijack.example/");
    Click();
    ASSERT_EQ(boxes.shown.size(), 5u);
    EXPECT_EQ(boxes.shown[4].text, L"1 of the configuration settings could not be restored. Velmora's log lists them.");
    EXPECT_EQ(boxes.shown[4].style, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_FALSE(reg.ReadValue(HKEY_CURRENT_USER, kPolicies, L"HomePage"));
    // The refresh still ran, and shows the bytes as what they are.
    const Row appInit{"i", "DLLs to load during the DLL_PROCESS_ATTACH of User32.dll", "hex:01,02,03"};
    const std::vector<Row> rows = Rows();
    EXPECT_NE(std::find(rows.begin(), rows.end(), appInit), rows.end());
}

TEST_F(SettingsPanel, AnErrorOfTheButtonIsLoggedAndShowsNothing) {
    panel.Init(t.log);
    tessel::api::ScopedPreset failing(tessel::api::user32().MessageBoxW, [](HWND, LPCWSTR, LPCWSTR, UINT) -> int {
        throw tessel::Error(91, L"The box cannot be shown.");
    });
    Click();
    EXPECT_TRUE(t.Has("0|91|ucCS.cmdRestore_Click|The box cannot be shown.")) << ::testing::PrintToString(t.Lines());
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, kPolicies, L"HomePage"), L"http://www.microsoft.com.evil.example/");
}
