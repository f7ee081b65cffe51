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
// True when the main window is there to be shown; false when it could not be made (the user
// has been told).
bool FormInitialize(tessel::Logger& log);

// The start-up up to the main window loaded, before the wait for the splash: the logs opened in
// the folder given, the start lines, the custom component, the component check, the splash, the
// process-wide values, the detection check and the window's load; then the last pending error
// is logged once. Returns why the main window could not be made, empty when it was.
std::wstring StartupUntilWindowLoaded(tessel::Logger& log, const std::wstring& folder, CZiRaraviz& cleanup,
                                      Splash& splash);

// The rest of the start-up: waits until the splash has closed, then lets the cleanup controller
// decide. A start whose main window could not be made decides nothing: with no window and no
// settings backup of this start, the user is told why (`windowFailure`, the load step's error)
// and the message is logged. True when the main window is there to be shown.
bool StartupAfterWindowLoaded(tessel::Logger& log, const std::wstring& windowFailure, CZiRaraviz& cleanup,
                              Splash& splash);

// Loads the main window, still hidden: its load steps run now.
void LoadMainWindow(tessel::Logger& log, const std::wstring& folder);

}  // namespace velmora::ui
