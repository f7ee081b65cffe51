#include "ui/SafeRemover.h"

#include <vector>

#include "detection/RoDoraziva.h"
#include "detection/ZiRaraviz.h"
#include "inspection/AppServices.h"
#include "inspection/BackupState.h"
#include "inspection/FileChecker.h"
#include "inspection/FileStanding.h"
#include "inspection/Globals.h"
#include "inspection/MAPI.h"
#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/KeyedList.h"
#include "tessel/SystemUtility.h"
#include "tessel/Text.h"
#include "tessel/Unique.h"
#include "ui/Boundary.h"
#include "ui/BusyGuard.h"
#include "ui/DisableConsent.h"
#include "ui/SafeRemoverText.h"
#include "ui/ToolsDialog.h"
#include "ui/ToolsDialogIds.h"

namespace velmora::ui {

namespace text = safe_remover;
namespace dlg = tools_dialog;

namespace {

constexpr long kOkExclamation = 48, kOkCancelExclamation = 49, kOkInformation = 64;
constexpr int kClientWidth = 7650, kClientHeight = 4230;
constexpr dlg::TwipsRect kControls[] = {
    {IDC_SR_IMAGE, 180, 165, 480, 480},      {IDC_SR_DESCRIPTION, 795, 180, 6735, 465},
    {IDC_SR_PROMPT, 795, 750, 2205, 195},    {IDC_SR_FILES, 810, 1005, 6735, 2520},
    {IDC_SR_PASTE, 810, 3750, 1164, 345},    {IDC_SR_FIND, 2610, 3750, 1920, 345},
    {IDC_SR_DISABLE, 4620, 3750, 1710, 345}, {IDC_SR_CLOSE, 6420, 3750, 1120, 345},
};

std::wstring Res(unsigned id) { return app::LoadResString(id); }

class ClipboardLock {
public:
    explicit ClipboardLock(HWND owner) : open_(::OpenClipboard(owner) != FALSE) {}
    ~ClipboardLock() {
        if (open_) ::CloseClipboard();
    }
    ClipboardLock(const ClipboardLock&) = delete;
    ClipboardLock& operator=(const ClipboardLock&) = delete;
    bool Open() const { return open_; }

private:
    bool open_;
};

}  // namespace

FSafeRemover::FSafeRemover() : ToolsDialog(IDD_SAFE_REMOVER, L"FSafeRemover", L"Zazi Dururuv") {}

void FSafeRemover::Init(tessel::Logger& Log) { log_ = &Log; }

INT_PTR FSafeRemover::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            Form_Load();
            return TRUE;
        case WM_COMMAND: {
            if (BusyGuard::Busy()) return TRUE;
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == IDC_SR_IMAGE) {
                if (code == STN_DBLCLK) Image1_DblClick();
                return TRUE;
            }
            if (code != BN_CLICKED) return FALSE;
            switch (id) {
                case IDC_SR_DISABLE: cmdDisableParasites_Click(); return TRUE;
                case IDC_SR_FIND: cmdFindSuspiciousFiles_Click(); return TRUE;
                case IDC_SR_PASTE: cmdPaste_Click(); return TRUE;
                case IDC_SR_CLOSE:
                case IDCANCEL: cmdCancel_Click(); return TRUE;
                default: return FALSE;
            }
        }
        case WM_CLOSE:
            // The close box and the system menu hide the window instead of unloading it.
            if (!BusyGuard::Busy()) cmdCancel_Click();
            return TRUE;
        case kKeyPreviewMessage: {
            // Each release reaches one handler: the file box's own, which hands on what it
            // does not use, or the window's. The release itself goes on to the control.
            if (BusyGuard::Busy()) return FALSE;
            const HWND target = KeyPreviewTarget();
            const HWND files = Control(IDC_SR_FILES);
            const int key = static_cast<int>(wParam), shift = ShiftState();
            if (target && (target == files || ::IsChild(files, target))) txtFiles_KeyUp(key, shift);
            else Form_KeyUp(key, shift);
            return FALSE;
        }
        case WM_SETCURSOR:
            if (app::MousePointer() == app::kHourglass) {
                ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514) /* IDC_WAIT */));
                ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

void FSafeRemover::Form_Load() {
    ::SetWindowTextW(Control(IDC_SR_DESCRIPTION), Res(IDS_SAFE_REMOVER_DESCRIPTION).c_str());
    ::SetWindowTextW(Control(IDC_SR_PROMPT), Res(IDS_SAFE_REMOVER_PROMPT).c_str());
    // The description grows down over the prompt and the file box; the buttons' row keeps its
    // right edge, level with the file box's.
    using panel_layout::Grow;
    dlg::Place(hwnd_, kClientWidth, kClientHeight, kControls, static_cast<int>(std::size(kControls)),
               {{IDC_SR_DESCRIPTION, Grow::Down, {IDC_SR_PROMPT, IDC_SR_FILES}},
                {IDC_SR_PROMPT},
                {IDC_SR_CLOSE, Grow::Left, {IDC_SR_DISABLE, IDC_SR_FIND, IDC_SR_PASTE}},
                {IDC_SR_DISABLE, Grow::Left, {IDC_SR_FIND, IDC_SR_PASTE}},
                {IDC_SR_FIND, Grow::Left, {IDC_SR_PASTE}},
                {IDC_SR_PASTE, Grow::Left}});
    dlg::ShowProgramIcon(Control(IDC_SR_IMAGE));
    dlg::CenterOver(hwnd_, owner_);
}

void FSafeRemover::cmdDisableParasites_Click() {
    const wchar_t* const kSource = L"FSafeRemover.cmdDisableParasites_Click";
    // The renaming's wait runs the message loop: meanwhile the windows take no command, so a
    // second press starts nothing and the window stays until the sequence ends.
    BusyGuard busy;
    tessel::Guard(
        *log_, kSource, 0,
        [&] {
            CFileChecker checker;
            checker.Init(*log_);
            const std::wstring boxText = WindowText(Control(IDC_SR_FILES));
            if (text::HoldsNoNames(boxText)) {
                MsgBoxEx(Res(IDS_TYPE_FILENAMES), kOkExclamation);
                return;
            }
            if (!ConfirmChangeWithoutBackup(*log_, kSource)) return;
            if (MsgBoxEx(Res(IDS_DISABLE_CONFIRM), kOkCancelExclamation) != IDOK) return;

            tessel::KeyedList<std::wstring> files, leftAlone;
            tessel::KeyedList<FileStanding> agreed;
            int notDone = 0;
            ReadKnownFilesAgain();
            for (const std::wstring& line : text::SplitLines(boxText)) {
                if (line.empty()) continue;
                // Asked about, checked and disabled under the one name the rename acts on; a prefix
                // or a stream goes before the search, which would take them for part of the name. A
                // fully qualified name is not searched for: the search would read a verbatim one as
                // a plain one, and lose its trailing dot.
                const std::wstring given = FileActedOn(tessel::text::TrimBlanks(line));
                const std::wstring typedName =
                    IsFullyQualifiedFile(given) ? given : checker.GetFullFileNameFromShortFilename(given);
                const std::wstring name = FileActedOn(typedName);
                // A device (CON, COM1, NUL) is no file on the disk: there is nothing to disable.
                if (tessel::FileAccessor::IsDevicePath(name) || !tessel::FileAccessor::Instance().FileExists(name)) {
                    if (MsgBoxEx(tessel::Format(Res(IDS_FILE_NOT_FOUND), typedName), kOkCancelExclamation) != IDOK)
                        return;
                    continue;
                }
                if (files.Exists(name) || leftAlone.Exists(name)) continue;
                const std::optional<FileStanding> standing = MayDisableFile(*log_, name, kSource);
                if (!standing) {
                    leftAlone.Add(name, name);
                    ++notDone;
                    continue;
                }
                files.Add(name, name);
                agreed.Add(*standing, name);
            }
            for (const std::wstring& name : files) log_->Log(0, L"Disabling " + name, 5, kSource);

            CZiRaraviz cleanup;
            cleanup.Init(*log_);
            cleanup.FinishDisabling(files, notDone, {IDS_DISABLE_COMPLETE, IDS_DISABLE_NOT_ALL, kSource, false}, agreed);
        },
        [&](const tessel::ErrorDescription& error) { MsgBoxEx(Res(IDS_CANNOT_DISABLE) + error.text, kOkExclamation); });
}

void FSafeRemover::cmdFindSuspiciousFiles_Click() {
    app::SetMousePointer(app::kHourglass);
    tessel::Guard(
        *log_, L"FSafeRemover.cmdFindSuspiciousFiles_Click", 0,
        [&] {
            CRoDoraziva detector;
            detector.Init(*log_);
            tessel::KeyedList<std::wstring> found;
            detector.DetectSuspiciousFiles(found, source_);
            SortKeyedList(found);
            std::vector<std::wstring> names(found.begin(), found.end());
            ::SetWindowTextW(Control(IDC_SR_FILES), text::NamesText(names).c_str());
            app::SetMousePointer(app::kDefaultPointer);
            MsgBoxEx(Res(names.empty() ? IDS_SEARCH_NOTHING_FOUND : IDS_SEARCH_COMPLETE), kOkInformation);
        },
        [] { app::SetMousePointer(app::kDefaultPointer); });
}

std::wstring FSafeRemover::ClipboardText() {
    ClipboardLock lock(hwnd_);
    if (!lock.Open()) tessel::ThrowLastError("OpenClipboard", L"Cannot open the clipboard");
    HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
    if (!data) return {};
    const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data));
    if (!chars) return {};
    const tessel::UniqueGlobalLock unlock(data);
    // The text ends at its first NUL, or at the end of the block should it hold none.
    const std::size_t limit = ::GlobalSize(data) / sizeof(wchar_t);
    std::size_t n = 0;
    while (n < limit && chars[n]) ++n;
    return std::wstring(chars, n);
}

void FSafeRemover::cmdPaste_Click() {
    tessel::Guard(*log_, L"FSafeRemover.cmdPaste_Click", 0, [&] {
        const HWND box = Control(IDC_SR_FILES);
        const text::PasteResult pasted = text::Paste(WindowText(box), ClipboardText());
        if (pasted.clipboardEmpty) {
            MsgBoxEx(Res(IDS_PASTE_EMPTY), kOkInformation);
            return;
        }
        ::SetWindowTextW(box, pasted.boxText.c_str());
    });
}

void FSafeRemover::cmdCancel_Click() { ::ShowWindow(hwnd_, SW_HIDE); }

void FSafeRemover::Form_KeyUp(int KeyCode, int /*Shift*/) {
    if (text::IsFindButtonKey(KeyCode)) ToggleFindButton(L"FSafeRemover.Form_KeyUp");
}

void FSafeRemover::txtFiles_KeyUp(int KeyCode, int Shift) {
    if (text::IsPasteKey(KeyCode, Shift)) cmdPaste_Click();
    else Form_KeyUp(KeyCode, Shift);
}

void FSafeRemover::Image1_DblClick() { ToggleFindButton(L"FSafeRemover.Image1_DblClick"); }

void FSafeRemover::ToggleFindButton(const wchar_t* source) {
    const HWND button = Control(IDC_SR_FIND);
    // The button's own flag: the window itself may not be showing yet.
    const bool show = (::GetWindowLongPtrW(button, GWL_STYLE) & WS_VISIBLE) == 0;
    ::ShowWindow(button, show ? SW_SHOW : SW_HIDE);
    if (show) log_->Log(0, L"Enabling FindSuspiciousFiles button", 5, source);
}

void OpenSafeRemover(tessel::Logger& log, HWND owner) {
    tessel::Guard(log, L"FMain.mnuSafeRemover_Click", 0, [&] {
        FSafeRemover window;
        window.Init(log);
        window.ShowModal(owner);
    });
}

}  // namespace velmora::ui
