// Marks the run of a handler that yields to the message loop (a renaming's two-second wait, the
// automatic cleanup). While one runs, the windows take no further commands: a command that ran
// inside it could destroy the window, or free a record, that the handler still uses.
#pragma once

namespace velmora::ui {

class BusyGuard {
public:
    BusyGuard() noexcept;
    ~BusyGuard();
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

    // True while at least one guarded handler runs anywhere in the process.
    static bool Busy() noexcept;
};

}  // namespace velmora::ui
