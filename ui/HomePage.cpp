#include "ui/HomePage.h"

#include <windows.h>

#include <string>

#include "tessel/Api.h"
#include "tessel/Error.h"

namespace velmora::ui {

void OpenMakerHomePage() {
    std::string commandLine = "explorer ";
    for (const wchar_t* c = kMakerHomePage; *c; ++c) commandLine += static_cast<char>(*c);  // ASCII
    // The shell program may be missing: the command shows nothing then.
    tessel::PassOver([&] { tessel::api::kernel32().WinExec(commandLine.c_str(), SW_SHOWNORMAL); });
}

}  // namespace velmora::ui
