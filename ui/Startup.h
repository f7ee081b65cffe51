// The start-up of the program: everything that runs before the main window is shown.
#pragma once
#include <string>

#include "tessel/Logger.h"

namespace velmora {
class CZiRaraviz;
}

namespace velmora::ui {

// The folder of the running program file, without a trailing backslash.
std::wstring ProgramFolder();

// Runs the start-up with the program's one Logger.
void FormInitialize(tessel::Logger& log);

// The start-up up to the end of the detection check: the logs opened in the folder given,
// the start lines, the process-wide values and the check. Errors are left pending.
void StartupUntilCheck(tessel::Logger& log, const std::wstring& folder, CZiRaraviz& cleanup,
                       tessel::PendingError& pending);

}  // namespace velmora::ui
