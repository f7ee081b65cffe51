// Restore Removed Programs: the modal window that lists every recorded file whose disabled
// copy still exists and moves one of them back to where it was, one at a time.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tessel/Logger.h"

namespace velmora {
class CProcessManager;
}

namespace velmora::ui {

class FRestoreFiles {
public:
    FRestoreFiles();
    // Unloads the window.
    ~FRestoreFiles();
    FRestoreFiles(const FRestoreFiles&) = delete;
    FRestoreFiles& operator=(const FRestoreFiles&) = delete;

    // Keeps the Logger, makes the renaming service and reads the record. True when at least
    // one recorded file can be restored; False (the error logged) when none or on an error.
    bool Init(tessel::Logger& Log);
    // Shows the window modal over `owner` until it is hidden (Close, Esc, the close box, or
    // the last file restored).
    void ShowModal(HWND owner);

    // Creates the window hidden over `owner` (once); ShowModal does it when needed.
    HWND Create(HWND owner);
    HWND Window() const { return hwnd_; }
    // The paths listed now, in list order.
    const std::vector<std::wstring>& Rows() const { return rows_; }

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void Form_Load();
    void RefreshList();
    void ShowRows();
    void cmdRestoreFile_Click();
    void cmdClose_Click();
    bool MoveBack(const std::wstring& path);
    std::wstring SelectedPath() const;
    HWND Control(int id) const { return ::GetDlgItem(hwnd_, id); }

    tessel::Logger* log_;
    std::unique_ptr<CProcessManager> processManager_;
    std::vector<std::wstring> rows_;
    HWND hwnd_ = nullptr;
    HWND owner_ = nullptr;
};

// The Tools menu's "Restore Removed &Programs..." command: a new window given the Logger,
// shown modal over `owner` when there is something to restore, else the message that there
// is nothing to restore; then unloaded.
// Errors are logged under FMain.mnuRestoreDisabledFiles_Click.
void OpenRestoreRemovedPrograms(tessel::Logger& log, HWND owner);

}  // namespace velmora::ui
