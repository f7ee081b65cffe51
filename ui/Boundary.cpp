#include "ui/Boundary.h"

namespace velmora::ui {

namespace {
tessel::Logger* g_log = nullptr;
bool g_exitPending = false;
unsigned g_exitCode = 0;
HWND g_previewTarget = nullptr;

// Key preview, then the dialog manager's navigation, then the control itself.
void Deliver(MSG& msg) {
    if ((msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP) && msg.hwnd) {
        const HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
        const HWND outer = g_previewTarget;
        g_previewTarget = msg.hwnd;
        const LRESULT consumed = root ? ::SendMessageW(root, kKeyPreviewMessage, msg.wParam, msg.lParam) : 0;
        g_previewTarget = outer;
        if (consumed) return;
    }
    const HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && ::IsDialogMessageW(root, &msg)) return;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}
}  // namespace

void SetBoundaryLog(tessel::Logger* log) noexcept { g_log = log; }
tessel::Logger* BoundaryLog() noexcept { return g_log; }

void RecordExit(unsigned code) noexcept {
    g_exitPending = true;
    g_exitCode = code;
    // Whatever loop is running (ours, a message box's, a menu's) ends at its next message.
    ::PostQuitMessage(static_cast<int>(code));
}

bool ExitPending() noexcept { return g_exitPending; }

HWND KeyPreviewTarget() noexcept { return g_previewTarget; }

void RethrowPendingExit() {
    if (!g_exitPending) return;
    g_exitPending = false;
    // The quit posted for the system's loops is ours; it must not end a later loop.
    MSG quit;
    while (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    throw tessel::api::ExitUnwind{g_exitCode};
}

bool PumpPending() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            RethrowPendingExit();
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        Deliver(msg);
        RethrowPendingExit();
    }
    return true;
}

int RunMessageLoop() {
    MSG msg;
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            RethrowPendingExit();
            return got == 0 ? static_cast<int>(msg.wParam) : -1;
        }
        Deliver(msg);
        RethrowPendingExit();
    }
}

void RunModal(HWND dialog, HWND owner) {
    const bool ownerWasEnabled = owner && ::IsWindowEnabled(owner);
    if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
    ::ShowWindow(dialog, SW_SHOW);
    bool quit = false;
    MSG msg;
    while (!g_exitPending && ::IsWindow(dialog) && ::IsWindowVisible(dialog)) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            quit = got == 0;
            break;
        }
        Deliver(msg);
    }
    // The owner comes back before the dialog goes, so that activation returns to it.
    if (ownerWasEnabled) ::EnableWindow(owner, TRUE);
    if (::IsWindow(dialog)) ::ShowWindow(dialog, SW_HIDE);
    RethrowPendingExit();
    if (quit) ::PostQuitMessage(static_cast<int>(msg.wParam));
}

}  // namespace velmora::ui
