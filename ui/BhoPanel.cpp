#include "ui/BhoPanel.h"

#include <commctrl.h>

#include "detection/BHOManager.h"
#include "detection/RoDoraziva.h"
#include "inspection/AppServices.h"
#include "inspection/BackupState.h"
#include "inspection/FileChecker.h"
#include "inspection/FileStanding.h"
#include "inspection/MAPI.h"
#include "inspection/ProcessManager.h"
#include "tessel/Api.h"
#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"
#include "ui/Boundary.h"
#include "ui/BusyGuard.h"
#include "ui/DisableConsent.h"
#include "ui/PanelCommon.h"
#include "ui/PanelIds.h"

namespace velmora::ui {

namespace {

using namespace panel_common;

constexpr wchar_t kListProperty[] = L"Velmora.BhoPanel";
constexpr int kRowIcon = 0;  // the image keyed "li"
constexpr int kRightButton = 2;

std::wstring Text(unsigned id) { return app::LoadResString(id); }

}  // namespace

BhoPanel::BhoPanel() : DialogPanel(IDD_BHO_PANEL, L"ucBHO", panel_layout::BhoDesign(), &panel_layout::BhoLayout) {}

BhoPanel::~BhoPanel() {
    // The list's own procedure still needs this object while the window goes.
    Destroy();
}

void BhoPanel::Create(HWND parent) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    DialogPanel::Create(parent);
}

HWND BhoPanel::ListViewObject() const { return hwnd_ ? Item(IDC_BHO_LV) : nullptr; }

// The list's own key releases (the dialog manager hands them on to the list, not to the panel).
LRESULT CALLBACK BhoPanel::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<BhoPanel*>(::GetPropW(list, kListProperty));
    if (!self) return ::DefWindowProcW(list, message, wParam, lParam);
    const WNDPROC next = self->listProc_;
    if (message == WM_KEYUP || message == WM_SYSKEYUP) {
        const int shift = ShiftState();
        HandleAtBoundaryVoid(L"ucBHO.lv_KeyUp", [&] { self->lv_KeyUp(static_cast<int>(wParam), shift); });
        // The Apps key's release has been answered with the menu; the list must not answer it again.
        if (wParam == VK_APPS) return 0;
    } else if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(next));
        ::RemovePropW(list, kListProperty);
    }
    return ::CallWindowProcW(next, list, message, wParam, lParam);
}

INT_PTR BhoPanel::OnPanelMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_BHO_CMDDELETE && HIWORD(wParam) == BN_CLICKED) {
                cmdDelete_Click();
                return TRUE;
            }
            return FALSE;
        case WM_NOTIFY:
            OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
            return FALSE;  // every answer stays the default one
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
            if (reinterpret_cast<HWND>(lParam) == Item(IDC_BHO_TXTFILENAME)) {
                // The related-file box wears the scroll-bar colour.
                ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_SCROLLBAR));
                return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_SCROLLBAR));
            }
            return FALSE;
        default:
            return FALSE;
    }
}

void BhoPanel::OnInitDialog() {
    const HWND list = Item(IDC_BHO_LV);
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    il_.reset(::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1));
    // The list keeps its own copy of the picture.
    if (const UniqueIcon icon(static_cast<HICON>(
            ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_BHO_ROW), IMAGE_ICON, 16, 16, 0)));
        icon)
        ::ImageList_AddIcon(il_.get(), icon.get());
    ::SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(il_.get()));
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    wchar_t name[] = L"Name";
    column.pszText = name;
    column.cx = panel_layout::TwipsToPixels(geometry_.columnWidth);
    ::SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    ::SetPropW(list, kListProperty, this);
    listProc_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BhoPanel::ListProc)));
    using panel_layout::Grow;
    FitCaptions(hwnd_, geometry_,
                {{IDC_BHO_LABEL4}, {IDC_BHO_LBLFILENAME, Grow::Right, {IDC_BHO_TXTFILENAME}}, {IDC_BHO_CMDDELETE, Grow::Left}});
}

void BhoPanel::OnNotify(const NMHDR& header) {
    if (header.idFrom != IDC_BHO_LV || filling_) return;
    if (header.code == LVN_ITEMCHANGED) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if ((change.uChanged & LVIF_STATE) && ((change.uOldState ^ change.uNewState) & LVIS_SELECTED)) lv_ItemClick();
    } else if (header.code == NM_RCLICK) {
        lv_MouseUp(kRightButton);
    }
}

void BhoPanel::Init(tessel::Logger& log) {
    mLog = &log;
    RefreshList();
}

const tessel::Node* BhoPanel::RowRecord(HWND listView, int row) {
    if (!listView || row < 0) return nullptr;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!::SendMessageW(listView, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<const tessel::Node*>(item.lParam);
}

std::optional<BhoPanel::RowCopy> BhoPanel::SelectedRow() const {
    const HWND list = Item(IDC_BHO_LV);
    const int row = static_cast<int>(::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    const tessel::Node* record = RowRecord(list, row);
    if (!record) return std::nullopt;
    return RowCopy{record->Id, ListCellText(list, row, 0), record->params.Item(L"DLL").Value()};
}

void BhoPanel::RefreshList() {
    tessel::Guard(*mLog, L"ucBHO.RefreshList", 4, [&] {
        const HWND list = Item(IDC_BHO_LV);
        // Rows that come and go while the list is rebuilt are no clicks.
        filling_ = true;
        struct EndFilling {
            bool& flag;
            ~EndFilling() { flag = false; }
        } endFilling{filling_};
        ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        ::SetWindowTextW(Item(IDC_BHO_TXTFILENAME), L"");
        // The rows that held them are gone; the handlers keep copies of their own.
        records_.reset();
        std::unique_ptr<tessel::NodeList> found = EnumBHOs();
        if (!found) throw tessel::Error(91, L"Object variable or With block variable not set");
        records_ = std::move(found);
        int row = 0;
        for (tessel::Node& record : *records_) {
            std::wstring name = record.params.Item(L"Name").Value();
            LVITEMW item{};
            item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
            item.iItem = row++;
            item.pszText = name.data();
            item.iImage = kRowIcon;
            item.lParam = reinterpret_cast<LPARAM>(&record);
            ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
        filling_ = false;
        if (::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0) {
            LVITEMW state{};
            state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            state.state = LVIS_SELECTED | LVIS_FOCUSED;
            filling_ = true;
            ::SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
            filling_ = false;
            lv_ItemClick();
        }
        ::InvalidateRect(list, nullptr, TRUE);
        ::UpdateWindow(list);
    });
}

std::unique_ptr<tessel::NodeList> BhoPanel::EnumBHOs() {
    std::unique_ptr<tessel::NodeList> result;
    tessel::Guard(*mLog, L"ucBHO.EnumBHOs", 4, [&] {
        mFileChecker = std::make_unique<CFileChecker>();
        auto list = std::make_unique<tessel::NodeList>();
        tessel::RegistryAccessor reg;
        const tessel::KeyedList<std::wstring> names = reg.EnumKeys(HKEY_LOCAL_MACHINE, kBHOKey);
        FillBHOInfo(names, *list);
        result = std::move(list);
    });
    return result;
}

void BhoPanel::FillBHOInfo(const tessel::KeyedList<std::wstring>& names, tessel::NodeList& list) {
    const wchar_t* const kSource = L"ucBHO.FillBHOInfo";
    tessel::RegistryAccessor reg;
    for (const std::wstring& id : names) {
        if (id.size() != 38) continue;
        // One registration that cannot be read is logged and left out; the others are listed.
        // A record is made whole or not at all.
        tessel::Guard(*mLog, kSource, 4, [&] {
            // The same resolution as the detection's, so that the file shown is the file tested.
            const BHOFacts facts = ReadBHOFacts(reg, *mFileChecker, *mLog, kSource, id, Text(IDS_NONAME));
            tessel::Node& record = list.Add();
            record.Id = id;
            record.params.Add(L"Name", facts.name);
            record.params.Add(L"DLL", facts.dll);
        });
    }
}

void BhoPanel::lv_ItemClick() {
    tessel::Guard(*mLog, L"ucBHO.lv_ItemClick", 4, [&] {
        const std::optional<RowCopy> row = SelectedRow();
        std::wstring text;
        if (row) text = row->dll.empty() ? Text(IDS_BHO_IMPROPER) : row->dll;
        ::SetWindowTextW(Item(IDC_BHO_TXTFILENAME), text.c_str());
    });
}

void BhoPanel::cmdDelete_Click() {
    if (BusyGuard::Busy()) return;
    // The renaming may wait while it yields; until the deletion is over no command may run.
    BusyGuard busy;
    tessel::Guard(*mLog, L"ucBHO.cmdDelete_Click", 4, [&] {
        const std::optional<RowCopy> selected = SelectedRow();
        if (!selected) return;
        const RowCopy record = *selected;
        if (!ConfirmChangeWithoutBackup(*mLog, L"ucBHO.cmdDelete_Click")) return;
        if (MsgBoxEx(tessel::Format(Text(IDS_BHO_DELETE_QUESTION), record.text), MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK)
            return;
        mLog->Log(0, tessel::Format(L"Deleting BHO(%1, '%2', '%3')", record.id, record.text, record.dll), 5,
                  L"ucBHO.cmdDelete_Click");
        CRoDoraziva detector;
        detector.Init(*mLog);
        // The registration may spell its file as it likes: it is judged, asked about and disabled
        // under the one name the rename acts on. A device or a folder is no file to disable:
        // nobody is asked about it, and it keeps its name.
        const std::wstring file = record.dll.empty() ? std::wstring() : FileActedOn(record.dll);
        bool fileKept = false;
        ReadKnownFilesAgain();
        if (!file.empty() && !NamesNoFile(file) && detector.IsParasiteBHO(file)) {
            const std::optional<FileStanding> agreed = MayDisableFile(*mLog, file, L"ucBHO.cmdDelete_Click");
            fileKept = !agreed;
            if (agreed) {
                CProcessManager processes;
                processes.Init(*mLog);
                // A file that could not be disabled (its record refused, its rename failed, or it
                // read as more than the user agreed to when it came to the rename) is left in
                // place as surely as one the user chose to keep.
                fileKept = processes.RenameParasiteFileEx(file, *agreed).Count() > 0;
            }
        }
        bool deleted = false;
        try {
            tessel::RegistryAccessor reg;
            deleted = reg.DeleteKey(HKEY_LOCAL_MACHINE, std::wstring(kBHOKey) + L"\\" + record.id);
        } catch (const tessel::Error&) {
            deleted = false;  // reported as a refusal, whatever the cause
        }
        if (deleted && fileKept)
            MsgBoxEx(tessel::Format(Text(IDS_BHO_DELETED_FILE_KEPT), record.text, file), MB_OK | MB_ICONINFORMATION);
        else if (deleted)
            MsgBoxEx(tessel::Format(Text(IDS_BHO_DELETED), record.text), MB_OK | MB_ICONINFORMATION);
        else
            MsgBoxEx(tessel::Format(Text(IDS_BHO_DELETE_DENIED), record.text), MB_OK | MB_ICONEXCLAMATION);
        RefreshList();
    });
}

void BhoPanel::lv_KeyUp(int keyCode, int shift) {
    if (BusyGuard::Busy()) return;
    tessel::Guard(*mLog, L"ucBHO.lv_KeyUp", 4, [&] {
        if (keyCode == VK_APPS) {
            lv_MouseUp(kRightButton);
        } else if (keyCode == VK_RETURN && shift == 4) {
            mContextItem = SelectedRow();
            if (mContextItem && !mContextItem->dll.empty()) mnuProperties_Click();
        }
    });
}

void BhoPanel::lv_MouseUp(int button) {
    if (BusyGuard::Busy() || button != kRightButton) return;
    UINT chosen = 0;
    tessel::Guard(*mLog, L"ucBHO.lv_MouseUp", 4, [&] {
        mContextItem = SelectedRow();
        if (!mContextItem) return;
        const UniqueMenu menu(::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_BHO_CONTEXT)));
        if (!menu) tessel::ThrowLastError("LoadMenuW", L"The context menu is missing");
        const HMENU popup = ::GetSubMenu(menu.get(), 0);
        if (mContextItem->dll.empty()) {
            ::DeleteMenu(popup, IDM_BHO_PROPERTIES, MF_BYCOMMAND);
            ::DeleteMenu(popup, 1, MF_BYPOSITION);  // the separator above it
        }
        POINT at{};
        ::GetCursorPos(&at);
        chosen = static_cast<UINT>(tessel::api::user32().TrackPopupMenu(
            popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD, at.x, at.y, 0, hwnd_, nullptr));
    });
    // The chosen entry's own handler runs once the menu is gone.
    if (chosen == IDM_BHO_DELETE) cmdDelete_Click();
    if (chosen == IDM_BHO_PROPERTIES) mnuProperties_Click();
}

void BhoPanel::mnuProperties_Click() {
    if (BusyGuard::Busy()) return;
    tessel::Guard(*mLog, L"ucBHO.mnuProperties_Click", 4, [&] {
        if (!mContextItem) return;
        const std::wstring file = mContextItem->dll;
        if (tessel::FileAccessor::Instance().FileExists(file))
            ShowFileProperties(file, ::GetAncestor(hwnd_, GA_ROOT));
        else
            MsgBoxEx(tessel::Format(Text(IDS_PROPERTIES_FILE_NOT_FOUND), file), MB_OK | MB_ICONEXCLAMATION);
    });
}

}  // namespace velmora::ui
