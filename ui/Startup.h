// The start-up of the program: everything that runs before the main window is shown.
#pragma once
#include <string>

#include "tessel/Logger.h"

namespace velmora::ui {

// The folder of the running program file, without a trailing backslash.
std::wstring ProgramFolder();

// Runs the start-up with the program's one Logger.
void FormInitialize(tessel::Logger& log);

}  // namespace velmora::ui
