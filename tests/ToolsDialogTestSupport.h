// Helpers of the Zazi Dururuv and Restore Removed Programs tests: message boxes, the restart
// request and the program's end scripted through the seam, termination only of the test's own
// children, and clicks on the windows' controls.
#pragma once
#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "BackupTestSupport.h"
#include "ProcessTestSupport.h"
#include "TestSupport.h"
#include "inspection/Globals.h"
#include "ui/Boundary.h"

namespace tools_testing {

struct Box {
    std::wstring text;
    UINT style;
    bool operator==(const Box& o) const { return text == o.text && style == o.style; }
    friend std::ostream& operator<<(std::ostream& os, const Box& b) {
        return os << "[" << b.style << "] " << testing_support::Narrow(b.text);
    }
};

class Scripted {
    using Api = tessel::api::ScopedPreset<decltype(tessel::api::user32().MessageBoxW)>;
    using Restart = tessel::api::ScopedPreset<decltype(tessel::api::user32().ExitWindowsEx)>;

public:
    Scripted() {
        tessel::PendingError pending;
        velmora::SetProcessWideValues(pending);
        velmora::RunningOnNT = true;
    }
    ~Scripted() { Ended(); }
    // True when the program ended inside a window's handler (the end is then cleared).
    bool Ended() {
        return velmora::ui::ExitPending() && testing_support::EndsProgram([] { velmora::ui::RethrowPendingExit(); });
    }

    std::deque<int> answers;  // IDCANCEL once they run out
    std::vector<Box> boxes;
    int restarts = 0;
    bool restartFails = false;
    process_testing::OnlyOwnChildren children{{}};
    testing_support::BackupRecord backup;

private:
    Api box_{tessel::api::user32().MessageBoxW, [this](HWND, LPCWSTR text, LPCWSTR, UINT style) {
                 boxes.push_back({text, style});
                 const int a = answers.empty() ? IDCANCEL : answers.front();
                 if (!answers.empty()) answers.pop_front();
                 return a;
             }};
    Restart restart_{tessel::api::user32().ExitWindowsEx, [this](UINT, DWORD) {
                         ++restarts;
                         ::SetLastError(ERROR_PRIVILEGE_NOT_HELD);
                         return restartFails ? FALSE : TRUE;
                     }};
    testing_support::ScriptedExit exit_;
};

inline void Click(HWND dialog, int id) {
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

inline bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace tools_testing
