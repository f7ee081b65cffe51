// Restore Removed Programs: the modal window that lists every recorded file whose disabled
// copy still exists and moves one of them back to where it was, one at a time.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tessel/Logger.h"
#include "ui/ToolsDialog.h"

namespace velmora {
class CProcessManager;
}

namespace velmora::ui {

// Shown modal (ShowModal) until it is hidden: Close, Esc, the close box, or the last file
// restored. Its object unloads the window.
class FRestoreFiles : public ToolsDialog {
public:
    FRestoreFiles();
    ~FRestoreFiles() override;

    // Keeps the Logger, makes the renaming service and reads the record. True when at least
    // one recorded file can be restored; False (the error logged) when none or on an error.
    bool Init(tessel::Logger& Log);

    // The paths listed now, in list order.
    const std::vector<std::wstring>& Rows() const { return rows_; }

private:
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void Form_Load();
    void RefreshList();
    void ShowRows();
    void cmdRestoreFile_Click();
    void cmdClose_Click();
    std::wstring SelectedPath() const;

    std::unique_ptr<CProcessManager> processManager_;
    std::vector<std::wstring> rows_;
};

// The Tools menu's "Restore Removed &Programs..." command: a new window given the Logger,
// shown modal over `owner` when there is something to restore, else the message that there
// is nothing to restore; then unloaded.
// Errors are logged under FMain.mnuRestoreDisabledFiles_Click.
void OpenRestoreRemovedPrograms(tessel::Logger& log, HWND owner);

}  // namespace velmora::ui
