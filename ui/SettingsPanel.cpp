#include "ui/SettingsPanel.h"

#include <algorithm>
#include <string>

#include "detection/ZiRaraviz.h"
#include "inspection/AppServices.h"
#include "inspection/BackupState.h"
#include "inspection/MAPI.h"
#include "inspection/StringIds.h"
#include "tessel/Error.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"
#include "ui/PanelCommon.h"
#include "ui/PanelLayouts.h"
#include "ui/SettingsPanelIds.h"
#include "ui/SettingsTable.h"

namespace velmora::ui {

namespace {

constexpr long kOkCancelExclamation = MB_OKCANCEL | MB_ICONEXCLAMATION;  // 49
constexpr long kOkInformation = MB_OK | MB_ICONINFORMATION;             // 64
constexpr long kOkExclamation = MB_OK | MB_ICONEXCLAMATION;             // 48
constexpr COLORREF kAttentionColour = 255;                              // pure red

using panel_layout::TwipsToPixels;

void InsertColumn(HWND lv, int index, const wchar_t* caption) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_SUBITEM | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(caption);
    column.iSubItem = index;
    column.cx = 100;
    if (::SendMessageW(lv, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)) < 0)
        throw tessel::Error(tessel::kUnspecifiedFailure, L"Cannot add the list's column.", "LVM_INSERTCOLUMNW");
}

void AddRow(HWND lv, const SettingRow& row) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = static_cast<int>(::SendMessageW(lv, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(row.Description.c_str());
    item.iImage = StatusImageIndex(row.Status);
    const int at = static_cast<int>(::SendMessageW(lv, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (at < 0) throw tessel::Error(tessel::kUnspecifiedFailure, L"Cannot add a row to the list.", "LVM_INSERTITEMW");
    LVITEMW value{};
    value.iSubItem = 1;
    value.pszText = const_cast<wchar_t*>(row.Value.c_str());
    if (!::SendMessageW(lv, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&value)))
        throw tessel::Error(tessel::kUnspecifiedFailure, L"Cannot set a row's value.", "LVM_SETITEMTEXTW");
}

// Where the list sets a sub-item's text from the left edge of its cell, in pixels.
constexpr int kCellTextInset = 6;

// A colour a quarter of the way from `from` to `to`.
COLORREF QuarterTowards(COLORREF from, COLORREF to) {
    auto mix = [](int a, int b) { return static_cast<BYTE>((3 * a + b) / 4); };
    return RGB(mix(GetRValue(from), GetRValue(to)), mix(GetGValue(from), GetGValue(to)),
               mix(GetBValue(from), GetBValue(to)));
}

void SetRowState(HWND lv, int row, UINT state) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = state;
    ::SendMessageW(lv, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

}  // namespace

ucCS::ucCS() : DialogPanel(IDD_SETTINGS_PANEL, L"ucCS.WindowProc") {}

ucCS::~ucCS() {
    // The window goes before the image list and the font that it shows.
    Destroy();
}

void ucCS::Create(HWND parent) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    CreateFromTemplate(IDD_SETTINGS_PANEL, parent, L"Cannot create the configuration settings panel");
}

void ucCS::OnInitDialog() {
    lv_ = ::GetDlgItem(hwnd_, IDC_CS_LV);
    ::SendMessageW(lv_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    InsertColumn(lv_, 0, L"Name");
    InsertColumn(lv_, 1, L"Current Value");
    listFont_ = reinterpret_cast<HFONT>(::SendMessageW(lv_, WM_GETFONT, 0, 0));
    if (!listFont_) listFont_ = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW font{};
    ::GetObjectW(listFont_, sizeof(font), &font);
    font.lfWeight = FW_BOLD;
    boldFont_.reset(::CreateFontIndirectW(&font));
    FitTextsToFont();
    Apply(placed_);
    // Last: a list without its icons still lists.
    il4lv_ = BuildStatusImageList();
    ::SendMessageW(lv_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(il4lv_.get()));
    // The main window decides where the focus goes.
}

INT_PTR ucCS::OnPanelMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_CS_CMDRESTORE && HIWORD(wParam) == BN_CLICKED) {
                cmdRestore_Click();
                return TRUE;
            }
            return FALSE;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->hwndFrom == lv_ && header->code == NM_CUSTOMDRAW) {
                SetResult(OnCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(lParam)));
                return TRUE;
            }
            return FALSE;
        }
        case WM_NCDESTROY:
            // The main window may destroy the panel's window before the object goes.
            lv_ = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

LRESULT ucCS::OnCustomDraw(NMLVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            // The row's icon is its status: only a value that needs attention is bold red.
            const int row = static_cast<int>(draw.nmcd.dwItemSpec);
            if (draw.iSubItem == 1 && RowIconKey(lv_, row) == kStatusAttention) {
                DrawAttentionValue(draw.nmcd.hdc, row);
                return CDRF_SKIPDEFAULT;
            }
            // A font chosen for one sub-item stays for the next unless it is put back.
            ::SelectObject(draw.nmcd.hdc, listFont_);
            return CDRF_NEWFONT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

void ucCS::DrawAttentionValue(HDC dc, int row) const {
    // The list gives a selected row the selection's colours over whatever the custom draw asks,
    // which would hide the red of the one value that most needs to be seen (the first row is
    // selected after every refresh). So this value is drawn here, bold red in every row. A
    // selected row keeps a tone of the selection behind it: the selection's full colour can be
    // too dark, or too near to red, to read the value on.
    RECT cell{LVIR_BOUNDS, 1, 0, 0};
    if (!::SendMessageW(lv_, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell))) return;
    COLORREF back = static_cast<COLORREF>(::SendMessageW(lv_, LVM_GETTEXTBKCOLOR, 0, 0));
    if (back == CLR_DEFAULT || back == CLR_NONE) back = ::GetSysColor(COLOR_WINDOW);
    if (::SendMessageW(lv_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED) {
        // As the list marks it: the highlight while the list has the focus, the face colour of
        // a list that keeps its selection shown without it.
        if (::GetFocus() == lv_)
            back = QuarterTowards(back, ::GetSysColor(COLOR_HIGHLIGHT));
        else if (::GetWindowLongPtrW(lv_, GWL_STYLE) & LVS_SHOWSELALWAYS)
            back = ::GetSysColor(COLOR_BTNFACE);
    }
    const std::wstring value = ListCellText(lv_, row, 1);
    if (const UniqueGdiObject brush(::CreateSolidBrush(back)); brush)
        ::FillRect(dc, &cell, static_cast<HBRUSH>(brush.get()));
    // The list draws on with the same device context: what is set here is put back.
    const SelectedObject font(dc, boldFont_ ? boldFont_.get() : listFont_);
    const COLORREF colour = ::SetTextColor(dc, kAttentionColour);
    const int mode = ::SetBkMode(dc, TRANSPARENT);
    RECT text = cell;
    text.left += kCellTextInset;
    text.right -= kCellTextInset;
    ::DrawTextW(dc, value.c_str(), static_cast<int>(value.size()), &text,
                DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    ::SetBkMode(dc, mode);
    ::SetTextColor(dc, colour);
}

void ucCS::Init(tessel::Logger& log) {
    log_ = &log;
    RefreshList();
}

void ucCS::RefreshList() {
    if (!lv_) throw tessel::Error(tessel::kUnspecifiedFailure, L"The settings panel has no list.");
    if (!log_) throw tessel::Error(tessel::kUnspecifiedFailure, L"The settings panel has not been given the log.");
    // The list is drawn once, when it is complete (or when a read stopped it).
    ::SendMessageW(lv_, WM_SETREDRAW, FALSE, 0);
    struct Redraw {
        HWND lv;
        ~Redraw() {
            ::SendMessageW(lv, WM_SETREDRAW, TRUE, 0);
            ::InvalidateRect(lv, nullptr, TRUE);
        }
    } redraw{lv_};
    ::SendMessageW(lv_, LVM_DELETEALLITEMS, 0, 0);
    tessel::RegistryAccessor registry;
    for (int row = 1; row <= kSettingRowCount; ++row) {
        const SettingRow setting = GetSettingRow(registry, *log_, row);
        if (setting.Show) AddRow(lv_, setting);
    }
    if (::SendMessageW(lv_, LVM_GETITEMCOUNT, 0, 0) > 0) {
        SetRowState(lv_, -1, 0);
        SetRowState(lv_, 0, LVIS_SELECTED | LVIS_FOCUSED);
    }
}

void ucCS::cmdRestore_Click() {
    if (!log_) throw tessel::Error(tessel::kUnspecifiedFailure, L"The settings panel has not been given the log.");
    tessel::Guard(*log_, L"ucCS.cmdRestore_Click", 0, [&] {
        if (!ConfirmChangeWithoutBackup(*log_, L"ucCS.cmdRestore_Click")) return;
        if (MsgBoxEx(app::LoadResString(IDS_CONFIRM_RESTORE_SETTINGS), kOkCancelExclamation) != IDOK) return;
        CZiRaraviz cleanup;
        cleanup.Init(*log_);
        const int failed = cleanup.RestoreConfigurationSettings();
        // The restore logs every setting it could not write and goes on with the next; the
        // user learns how many there were rather than a success that did not happen.
        if (failed == 0)
            MsgBoxEx(app::LoadResString(IDS_SETTINGS_RESTORED), kOkInformation);
        else
            MsgBoxEx(tessel::Format(app::LoadResString(IDS_CS_RESTORE_INCOMPLETE), failed), kOkExclamation);
        RefreshList();
    });
}

void ucCS::FitTextsToFont() {
    // The fixed captions follow the one rule of every window: the labels and the button grow to
    // show their whole text in the font the system gives them; the layout keeps the button's
    // right edge.
    using panel_layout::Grow;
    panel_layout::Geometry captions;
    captions.boxes[IDC_CS_LABEL4] = {15, 0, label4Width_, 195};
    captions.boxes[IDC_CS_LBLFILENAME] = {placed_.labelLeft, placed_.labelTop, filenameWidth_, 195};
    captions.boxes[IDC_CS_CMDRESTORE] = {placed_.buttonLeft, placed_.buttonTop, placed_.buttonWidth,
                                         placed_.buttonHeight};
    panel_common::FitCaptions(hwnd_, captions, {{IDC_CS_LABEL4}, {IDC_CS_LBLFILENAME}, {IDC_CS_CMDRESTORE, Grow::Left}});
    label4Width_ = captions.at(IDC_CS_LABEL4).width;
    filenameWidth_ = captions.at(IDC_CS_LBLFILENAME).width;
    placed_.buttonWidth = captions.at(IDC_CS_CMDRESTORE).width;
}

void ucCS::Resize(int widthTwips, int heightTwips) {
    placed_ = LayoutSettingsPanel(widthTwips, heightTwips, placed_).result;
    Apply(placed_);
}

void ucCS::Apply(const SettingsGeometry& g) {
    auto place = [&](int id, int left, int top, int width, int height) {
        ::SetWindowPos(::GetDlgItem(hwnd_, id), nullptr, TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                       TwipsToPixels(height), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(IDC_CS_LABEL4, 15, 0, label4Width_, 195);
    place(IDC_CS_LV, g.listLeft, g.listTop, g.listWidth, g.listHeight);
    place(IDC_CS_LBLFILENAME, g.labelLeft, g.labelTop, filenameWidth_, 195);
    place(IDC_CS_CMDRESTORE, g.buttonLeft, g.buttonTop, g.buttonWidth, g.buttonHeight);
    ::SendMessageW(lv_, LVM_SETCOLUMNWIDTH, 0, TwipsToPixels(g.nameColumn));
    ::SendMessageW(lv_, LVM_SETCOLUMNWIDTH, 1, TwipsToPixels(g.valueColumn));
}

}  // namespace velmora::ui
