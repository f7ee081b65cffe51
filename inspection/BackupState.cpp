#include "inspection/BackupState.h"

#include <windows.h>

#include "inspection/AppServices.h"
#include "inspection/MAPI.h"
#include "tessel/SystemUtility.h"

namespace velmora {

SettingsBackupState& SettingsBackups() {
    static SettingsBackupState state;
    return state;
}

void RecordBackupWritten(const std::wstring& file) { SettingsBackups().lastFile = file; }

void RecordBackupFailed(const std::wstring& reason) { SettingsBackups().lastFailure = reason; }

bool ConfirmChangeWithoutBackup(tessel::Logger& log, std::wstring_view source) {
    const SettingsBackupState& state = SettingsBackups();
    if (!state.lastFile.empty()) return true;
    const std::wstring reason = state.lastFailure.empty()
                                    ? app::LoadResString(IDS_NO_BACKUP_MADE)
                                    : tessel::Format(app::LoadResString(IDS_BACKUP_FAILED), state.lastFailure);
    // Cancel is the default button: what cannot be undone is not done by a stray Enter.
    const int answer = MsgBoxEx(tessel::Format(app::LoadResString(IDS_NO_BACKUP_WARNING), reason),
                                MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
    if (answer == 0) {
        // No box came up, so nobody answered: the log says so rather than record a Cancel.
        log.Log(0, L"Nothing changed, the warning that there is no settings backup could not be shown: " + reason, 0,
                source);
        return false;
    }
    const bool goOn = answer == IDOK;
    log.Log(0, (goOn ? L"Going on without a settings backup: " : L"Nothing changed, no settings backup: ") + reason,
            goOn ? 4 : 5, source);
    return goOn;
}

}  // namespace velmora
