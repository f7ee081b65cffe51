// The start-up of the program: everything that runs before the main window is shown.
#pragma once
#include <string>

#include "tessel/Logger.h"

namespace velmora {
class CZiRaraviz;
}

namespace velmora::ui {

class Splash;

// The folder of the running program file, without a trailing backslash.
std::wstring ProgramFolder();

// Runs the start-up with the program's one Logger. Ends the program at once when a COM
// library it needs is missing or not registered, and may end it inside the cleanup decision.
void FormInitialize(tessel::Logger& log);

// The start-up up to the main window loaded, before the wait for the splash: the logs opened in
// the folder given, the start lines, the custom component, the component check, the splash, the
// process-wide values, the detection check and the window's load; then the last pending error
// is logged once.
void StartupUntilWindowLoaded(tessel::Logger& log, const std::wstring& folder, CZiRaraviz& cleanup, Splash& splash);

// Loads the main window, still hidden: its load steps run now.
void LoadMainWindow(tessel::Logger& log, const std::wstring& folder);

}  // namespace velmora::ui
