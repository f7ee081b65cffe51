// Zazi Dururuv: the modal window in which the user types or pastes a list of program files
// and disables them all in one sequence (renamed, their processes ended, the browser
// settings restored, Windows restarted), so that parasites cannot recover each other.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "tessel/Logger.h"

namespace velmora {
class DetectionSource;
}

namespace velmora::ui {

// Whether a full path names one of Windows' own files. A file it names is disabled only
// after the user confirms once more: ending every process that has it loaded, this one too,
// can leave Windows unable to start.
using WindowsFileTest = std::function<bool(const std::wstring&)>;
// The system module whitelist of the running Windows family.
WindowsFileTest SystemModuleWhitelist();

class FSafeRemover {
public:
    FSafeRemover();
    // Unloads the window.
    ~FSafeRemover();
    FSafeRemover(const FSafeRemover&) = delete;
    FSafeRemover& operator=(const FSafeRemover&) = delete;

    // Keeps the Logger; touches no control.
    void Init(tessel::Logger& Log);
    // Shows the window modal over `owner` until it is hidden (Close, Esc, the close box).
    // A program end inside it (the restart, or the program's own process ended) is raised
    // again here once the owner is enabled.
    void ShowModal(HWND owner);

    // Creates the window hidden over `owner` (once); ShowModal does it when needed.
    HWND Create(HWND owner);
    HWND Window() const { return hwnd_; }
    // Another test for Windows' own files than the system module whitelist.
    void UseWindowsFileTest(WindowsFileTest test) { isWindowsFile_ = std::move(test); }
    // Where Find Suspicious Files looks (tests); the live system when none is given.
    void UseDetectionSource(DetectionSource* source) { source_ = source; }

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

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
    HWND Control(int id) const { return ::GetDlgItem(hwnd_, id); }

    tessel::Logger* log_ = nullptr;
    HWND hwnd_ = nullptr;
    HWND owner_ = nullptr;
    WindowsFileTest isWindowsFile_;
    DetectionSource* source_ = nullptr;
};

// The Tools menu's "&Zazi Dururuv..." command: a new window, given the Logger, shown modal
// over `owner`, then unloaded. Errors are logged under FMain.mnuSafeRemover_Click.
void OpenSafeRemover(tessel::Logger& log, HWND owner);

}  // namespace velmora::ui
