// Where the system calls into our code (window procedures, timers, hooks) no C++ exception may
// pass back into the system's frames: GCC's unwinding cannot cross them. Every entry goes through
// HandleAtBoundary, which logs an error with the window's source name and, for the seam's
// program end (ExitUnwind), records it and ends the loop it came from; our own message and modal
// loops then raise it again on our side of the boundary.
#pragma once
#include <windows.h>

#include <string_view>

#include "tessel/Api.h"
#include "tessel/Logger.h"

namespace velmora::ui {

// The run's Logger for errors stopped at a boundary; none until the start-up names it.
void SetBoundaryLog(tessel::Logger* log) noexcept;
tessel::Logger* BoundaryLog() noexcept;

// A program end caught at a boundary, waiting to be raised again by our own loop.
void RecordExit(unsigned code) noexcept;
bool ExitPending() noexcept;
// Raises the recorded ExitUnwind (clearing it) when there is one.
void RethrowPendingExit();

// Stops every exception of one handler at the boundary. `failed` is what the system gets when
// the handler did not complete.
template <class F>
auto HandleAtBoundary(std::wstring_view source, F&& handler, decltype(handler()) failed = {}) noexcept
    -> decltype(handler()) {
    try {
        return handler();
    } catch (const tessel::api::ExitUnwind& exit) {
        RecordExit(exit.code);
    } catch (...) {
        if (tessel::Logger* log = BoundaryLog()) tessel::LogException(*log, source, 4);
    }
    return failed;
}

// The same for handlers that return nothing.
template <class F>
void HandleAtBoundaryVoid(std::wstring_view source, F&& handler) noexcept {
    HandleAtBoundary(source, [&] {
        handler();
        return 0;
    });
}

// Sent to a top-level window for each key release aimed at it or at any of its controls, before
// the dialog manager and the control see it (the window's key preview). wParam and lParam are
// the release's own; the window returns non-zero when it consumed the release.
constexpr UINT kKeyPreviewMessage = WM_APP + 0x3F0;
// While kKeyPreviewMessage is being handled: the window the release is aimed at (the window
// itself or one of its controls); null at any other time.
HWND KeyPreviewTarget() noexcept;

// One pass over the pending messages with key preview and dialog navigation; false once
// WM_QUIT arrived (it is posted again for the outer loop). Raises a recorded program end.
bool PumpPending();

// The program's message loop: runs until WM_QUIT; returns its exit code. Raises a recorded
// program end.
int RunMessageLoop();

// Shows `dialog` modal over `owner` (which is disabled meanwhile) and pumps until the dialog is
// hidden or destroyed. Raises a recorded program end after the owner is enabled again.
void RunModal(HWND dialog, HWND owner);

}  // namespace velmora::ui
