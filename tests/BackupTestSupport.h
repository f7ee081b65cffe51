// The run's record of its settings backups as a test needs it, put back at the end: one backup
// written, as the start-up writes it before anything changes; Forget() makes it a run that has
// written none yet.
#pragma once
#include "inspection/BackupState.h"

namespace testing_support {

class BackupRecord {
public:
    BackupRecord() : saved_(velmora::SettingsBackups()) { velmora::RecordBackupWritten(L"the test's backup"); }
    ~BackupRecord() { velmora::SettingsBackups() = saved_; }
    BackupRecord(const BackupRecord&) = delete;
    BackupRecord& operator=(const BackupRecord&) = delete;
    void Forget() { velmora::SettingsBackups() = {}; }

private:
    velmora::SettingsBackupState saved_;
};

}  // namespace testing_support
