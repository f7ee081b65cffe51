#include <windows.h>

#include "tessel/ComBoundary.h"
#include "tessel/Logger.h"
#include "tessel/Unique.h"
#include "ui/Boundary.h"
#include "ui/MainWindow.h"
#include "ui/Startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const tessel::ComApartment com;
    // A program end stopped at one of our COM objects' boundaries goes on from our own side.
    tessel::com::SetExitRecorder(&velmora::ui::RecordExit);
    int status = 0;
    {
        tessel::Logger log;
        velmora::ui::SetBoundaryLog(&log);
        // The loaded window is shown, and the message loop runs until it is unloaded. A start
        // whose window could not be made (the user has been told) ends with a failure status.
        if (!velmora::ui::FormInitialize(log)) {
            status = 1;
        } else if (velmora::ui::FMain* window = velmora::ui::ProgramMainWindow(); window && window->Handle()) {
            window->Show();
            velmora::ui::RunMessageLoop();
        }
        velmora::ui::ReleaseProgramMainWindow();
        velmora::ui::SetBoundaryLog(nullptr);
    }
    return status;
}
