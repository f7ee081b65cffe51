#include "ui/RestoreFiles.h"

#include <algorithm>

#include "inspection/AppServices.h"
#include "inspection/Globals.h"
#include "inspection/MAPI.h"
#include "inspection/MMain.h"
#include "inspection/ProcessManager.h"
#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"
#include "ui/Boundary.h"
#include "ui/ToolsDialog.h"
#include "ui/ToolsDialogIds.h"

namespace velmora::ui {

namespace dlg = tools_dialog;

namespace {

constexpr long kOkCancelExclamation = 49, kOkInformation = 64;
constexpr int kClientWidth = 7650, kClientHeight = 4230;
constexpr dlg::TwipsRect kControls[] = {
    {IDC_RF_IMAGE, 180, 165, 480, 480},      {IDC_RF_LABEL1, 795, 180, 4845, 465},
    {IDC_RF_LABEL2, 795, 750, 1815, 195},    {IDC_RF_LIST, 810, 1005, 6735, 2520},
    {IDC_RF_RESTORE, 4140, 3750, 2190, 345}, {IDC_RF_CLOSE, 6420, 3750, 1120, 345},
};

std::wstring Res(unsigned id) { return app::LoadResString(id); }

}  // namespace

FRestoreFiles::FRestoreFiles() : ToolsDialog(IDD_RESTORE_FILES, L"FRestoreFiles", L"Restore Removed Programs") {}

// Where the renaming service is a whole type.
FRestoreFiles::~FRestoreFiles() = default;

bool FRestoreFiles::Init(tessel::Logger& Log) {
    log_ = &Log;
    bool any = false;
    tessel::Guard(*log_, L"FRestoreFiles.Init", 0, [&] {
        processManager_ = std::make_unique<CProcessManager>();
        processManager_->Init(Log);
        RefreshList();
        any = !rows_.empty();
    });
    return any;
}

INT_PTR FRestoreFiles::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            Form_Load();
            return TRUE;
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) return FALSE;
            switch (LOWORD(wParam)) {
                case IDC_RF_RESTORE: cmdRestoreFile_Click(); return TRUE;
                case IDC_RF_CLOSE:
                case IDCANCEL: cmdClose_Click(); return TRUE;
                default: return FALSE;
            }
        case WM_CLOSE:
            // The close box and the system menu hide the window instead of unloading it.
            cmdClose_Click();
            return TRUE;
        default:
            return FALSE;
    }
}

void FRestoreFiles::Form_Load() {
    // As in Zazi Dururuv: the text grows down over the prompt and the list; the buttons' row keeps
    // its right edge.
    using panel_layout::Grow;
    dlg::Place(hwnd_, kClientWidth, kClientHeight, kControls, static_cast<int>(std::size(kControls)),
               {{IDC_RF_LABEL1, Grow::Down, {IDC_RF_LABEL2, IDC_RF_LIST}},
                {IDC_RF_LABEL2},
                {IDC_RF_CLOSE, Grow::Left, {IDC_RF_RESTORE}},
                {IDC_RF_RESTORE, Grow::Left}});
    dlg::ShowProgramIcon(Control(IDC_RF_IMAGE));
    dlg::CenterOver(hwnd_, owner_);
    ShowRows();
}

void FRestoreFiles::RefreshList() {
    rows_.clear();
    tessel::Guard(*log_, L"FRestoreFiles.RefreshList", 0, [&] {
        tessel::RegistryAccessor registry;
        const tessel::KeyedList<std::wstring> recorded = registry.EnumValues(HKEY_CURRENT_USER, kRemovedFilesKey);
        for (const std::wstring& path : recorded)
            if (tessel::FileAccessor::Instance().FileExists(GetParasiteFileName(path))) rows_.push_back(path);
    });
    ShowRows();
}

void FRestoreFiles::ShowRows() {
    if (!hwnd_) return;
    const HWND list = Control(IDC_RF_LIST);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    int widest = 0;
    {
        const ControlFontDC dc(list);
        for (const std::wstring& row : rows_) {
            ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
            SIZE size{};
            if (dc.Extent(row, size)) widest = std::max(widest, static_cast<int>(size.cx));
        }
    }
    // A long path can be scrolled into view.
    ::SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
    if (!rows_.empty()) ::SendMessageW(list, LB_SETCURSEL, 0, 0);
}

std::wstring FRestoreFiles::SelectedPath() const {
    const HWND list = Control(IDC_RF_LIST);
    const LRESULT at = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (at == LB_ERR) return {};
    const LRESULT n = ::SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(at), 0);
    if (n == LB_ERR || n <= 0) return {};
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    const LRESULT got = ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == LB_ERR ? 0 : static_cast<std::size_t>(got));
    return text;
}

void FRestoreFiles::cmdRestoreFile_Click() {
    const wchar_t* const kSource = L"FRestoreFiles.cmdRestoreFile_Click";
    const std::wstring path = SelectedPath();
    if (path.empty()) return;
    tessel::Guard(
        *log_, kSource, 0,
        [&] {
            // A file that stands at the path again is not lost: the user is told where it is kept.
            const std::wstring prompt =
                tessel::FileAccessor::Instance().FileExists(path)
                    ? tessel::Format(Res(IDS_RESTORE_CONFIRM_REPLACING), path, FreeReplacedName(path))
                    : tessel::Format(Res(IDS_RESTORE_CONFIRM), path);
            if (MsgBoxEx(prompt, kOkCancelExclamation) != IDOK) return;
            if (processManager_->RestoreRenamedFile(GetParasiteFileName(path), path)) {
                // The file is back either way; a record that stays only lists it while a disabled
                // copy exists again.
                tessel::Guard(*log_, kSource, 0, [&] {
                    tessel::RegistryAccessor().DeleteValue(HKEY_CURRENT_USER, kRemovedFilesKey, path);
                });
                MsgBoxEx(tessel::Format(Res(IDS_RESTORE_DONE), path), kOkInformation);
            } else {
                MsgBoxEx(tessel::Format(Res(IDS_RESTORE_FAILED), path), kOkInformation);
            }
            RefreshList();
            if (rows_.empty()) {
                MsgBoxEx(Res(IDS_RESTORE_NO_MORE), kOkInformation);
                cmdClose_Click();
            }
        },
        [&](const tessel::ErrorDescription& error) {
            MsgBoxEx(tessel::Format(Res(IDS_RESTORE_FAILED), path) + error.text, kOkInformation);
        });
}

void FRestoreFiles::cmdClose_Click() { ::ShowWindow(hwnd_, SW_HIDE); }

void OpenRestoreRemovedPrograms(tessel::Logger& log, HWND owner) {
    tessel::Guard(log, L"FMain.mnuRestoreDisabledFiles_Click", 0, [&] {
        FRestoreFiles window;
        if (window.Init(log)) window.ShowModal(owner);
        else MsgBoxEx(app::LoadResString(IDS_NOTHING_TO_RESTORE), kOkInformation);
    });
}

}  // namespace velmora::ui
