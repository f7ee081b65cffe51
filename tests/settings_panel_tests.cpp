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
#include "ui/UiHandles.h"

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
        ASSERT_TRUE(panel.Handle());
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
        Look look{::SendMessageW(panel.Handle(), WM_NOTIFY, IDC_CS_LV, reinterpret_cast<LPARAM>(&draw)), draw.clrText, 0};
        LOGFONTW font{};
        ::GetObjectW(::GetCurrentObject(dc, OBJ_FONT), sizeof(font), &font);
        look.weight = font.lfWeight;
        ::SelectObject(dc, before);
        ::DeleteDC(dc);
        return look;
    }

    // One cell of the list as the list paints itself (a value's whole cell; the name's text
    // part), read back from a bitmap.
    std::vector<COLORREF> Painted(int row, int column) const {
        const HWND lv = panel.ListViewObject();
        RECT client{};
        ::GetClientRect(lv, &client);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        const velmora::ui::UniqueMemoryDC memory(::CreateCompatibleDC(nullptr));
        const HDC dc = memory.get();
        const velmora::ui::UniqueBitmap bitmap(::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        std::vector<COLORREF> pixels;
        if (bitmap) {
            const HGDIOBJ before = ::SelectObject(dc, bitmap.get());
            auto* px = static_cast<DWORD*>(bits);
            std::fill_n(px, client.right * client.bottom, 0x00BDBDBD);  // poison
            ::SendMessageW(lv, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
            ::GdiFlush();
            RECT cell{column == 0 ? LVIR_LABEL : LVIR_BOUNDS, column, 0, 0};
            ::SendMessageW(lv, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
            ::IntersectRect(&cell, &cell, &client);
            for (LONG y = cell.top; y < cell.bottom; ++y)
                for (LONG x = cell.left; x < cell.right; ++x) {
                    const DWORD p = px[y * client.right + x];
                    pixels.push_back(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
                }
            ::SelectObject(dc, before);  // a bitmap still chosen into its context cannot be deleted
        }
        return pixels;
    }

    void Click() {
        ::SendMessageW(panel.Handle(), WM_COMMAND, MAKEWPARAM(IDC_CS_CMDRESTORE, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(panel.Handle(), IDC_CS_CMDRESTORE)));
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

    // Only the value that needs attention is bold red (the panel draws it itself, see below);
    // the start page's own icon is no alarm.
    EXPECT_EQ(Draw(2, 1).result, CDRF_SKIPDEFAULT);
    for (const auto& [row, sub] : {std::pair{2, 0}, {0, 1}, {1, 1}, {3, 1}}) {
        SCOPED_TRACE(std::to_string(row) + "/" + std::to_string(sub));
        const Look plain = Draw(row, sub);
        EXPECT_EQ(plain.colour, 0xBDBDBDu);
        EXPECT_LT(plain.weight, FW_BOLD);
    }
    // The whole list also paints on a real screen.
    ::ShowWindow(panel.Handle(), SW_SHOW);
    ::ShowWindow(parent, SW_SHOW);
    ::UpdateWindow(parent);

    // A refresh reads the registry afresh, in table order.
    reg.DeleteValue(HKEY_CURRENT_USER, kMain, L"Start Page");
    panel.RefreshList();
    EXPECT_EQ(Rows(), (std::vector<Row>{kMachineStart, kHomePage, kStyleSheet}));
}

namespace {

// Pixels of the attention colour, allowing for the smoothing of the text's edges.
int RedPixels(const std::vector<COLORREF>& pixels) {
    return static_cast<int>(std::count_if(pixels.begin(), pixels.end(), [](COLORREF c) {
        return GetRValue(c) >= 200 && GetGValue(c) <= 60 && GetBValue(c) <= 60;
    }));
}

// The colour that covers most of a cell: its background.
COLORREF Background(const std::vector<COLORREF>& pixels) {
    std::vector<COLORREF> sorted = pixels;
    std::sort(sorted.begin(), sorted.end());
    COLORREF best = CLR_INVALID;
    std::size_t bestRun = 0;
    for (std::size_t i = 0, j; i < sorted.size(); i = j) {
        for (j = i; j < sorted.size() && sorted[j] == sorted[i]; ++j) {}
        if (j - i > bestRun) bestRun = j - i, best = sorted[i];
    }
    return best;
}

}  // namespace

TEST_F(SettingsPanel, AHijackedValueIsRedInTheSelectedRowToo) {
    // The first row, which every refresh selects, is the hijacked default page.
    reg.WriteString(HKEY_CURRENT_USER, kMain, L"Default_Page_URL", L"http://hijack.example/");
    panel.Init(t.log);
    ASSERT_EQ(Rows().size(), 5u);
    ASSERT_EQ(Rows()[0].key, "i");
    ::ShowWindow(panel.Handle(), SW_SHOW);
    ::ShowWindow(parent, SW_SHOW);
    const HWND lv = panel.ListViewObject();
    const COLORREF window = ::GetSysColor(COLOR_WINDOW);
    for (const bool focused : {false, true}) {
        SCOPED_TRACE(focused ? "focused" : "not focused");
        if (focused) {
            ::SetFocus(lv);
            ASSERT_EQ(::GetFocus(), lv);
        }
        ASSERT_EQ(::SendMessageW(lv, LVM_GETITEMSTATE, 0, LVIS_SELECTED), LVIS_SELECTED);
        // The selected row: its value red on a background that still marks the selection, like its name's.
        const std::vector<COLORREF> selected = Painted(0, 1);
        ASSERT_FALSE(selected.empty());
        EXPECT_GE(RedPixels(selected), 10);
        EXPECT_NE(Background(selected), window);
        EXPECT_NE(Background(Painted(0, 0)), window);
        // A row not selected: red on the list's own background; an "IE" row: no red at all.
        const std::vector<COLORREF> other = Painted(3, 1);
        EXPECT_GE(RedPixels(other), 10);
        EXPECT_EQ(Background(other), window);
        EXPECT_EQ(RedPixels(Painted(1, 1)), 0);
    }
}

TEST_F(SettingsPanel, AppliesItsLayoutInPixels) {
    panel.Init(t.log);
    ::MoveWindow(panel.Handle(), 19, 29, 533, 213, TRUE);  // 7995 x 3195 twips
    RECT list{}, button{};
    ::GetWindowRect(panel.ListViewObject(), &list);
    ::GetWindowRect(::GetDlgItem(panel.Handle(), IDC_CS_CMDRESTORE), &button);
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
