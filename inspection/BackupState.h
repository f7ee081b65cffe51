// Whether this run of the program has a settings backup with which the user can undo what a
// cleanup, a settings restore, a BHO deletion or Zazi Dururuv changes.
#pragma once
#include <string>
#include <string_view>

#include "tessel/Logger.h"

namespace velmora {

// The run's one record of its settings backups.
struct SettingsBackupState {
    std::wstring lastFile;     // the last backup file written since the program started
    std::wstring lastFailure;  // why the last backup that could not be written failed
};

SettingsBackupState& SettingsBackups();
void RecordBackupWritten(const std::wstring& file);
void RecordBackupFailed(const std::wstring& reason);

// Asked before a change that the backup would undo. When no backup file has been written since
// the program started, tells the user why and that the change cannot be undone, and logs the
// answer under `source`: True to go on (OK), False to change nothing (Cancel or the box closed;
// a box the system could not show is logged as an error). True at once when a backup was written.
bool ConfirmChangeWithoutBackup(tessel::Logger& log, std::wstring_view source);

}  // namespace velmora
