// Zazi Dururuv: the modal window in which the user types or pastes a list of program files
// and disables them all in one sequence (renamed, the browser settings restored, their
// processes ended, Windows restarted), so that parasites cannot recover each other.
#pragma once
#include <windows.h>

#include <string>

#include "tessel/Logger.h"
#include "ui/ToolsDialog.h"

namespace velmora {
class DetectionSource;
}

namespace velmora::ui {

// Shown modal (ShowModal) until it is hidden: Close, Esc, the close box. A program end inside
// it (the restart, or the program's own process ended) is raised again once the owner is
// enabled. Its object unloads the window.
class FSafeRemover : public ToolsDialog {
public:
    FSafeRemover();

    // Keeps the Logger; touches no control.
    void Init(tessel::Logger& Log);

    // Where Find Suspicious Files looks (tests); the live system when none is given.
    void UseDetectionSource(DetectionSource* source) { source_ = source; }

private:
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void Form_Load();
    void cmdDisableParasites_Click();
    void cmdFindSuspiciousFiles_Click();
    void cmdPaste_Click();
    void cmdCancel_Click();
    void Form_KeyUp(int KeyCode, int Shift);
    void txtFiles_KeyUp(int KeyCode, int Shift);
    void Image1_DblClick();
    void ToggleFindButton(const wchar_t* source);
    std::wstring ClipboardText();

    DetectionSource* source_ = nullptr;
};

// The Tools menu's "&Zazi Dururuv..." command: a new window, given the Logger, shown modal
// over `owner`, then unloaded. Errors are logged under FMain.mnuSafeRemover_Click.
void OpenSafeRemover(tessel::Logger& log, HWND owner);

}  // namespace velmora::ui
