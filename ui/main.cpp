#include <windows.h>
#include <objbase.h>

#include "tessel/ComBoundary.h"
#include "tessel/Logger.h"
#include "ui/Boundary.h"
#include "ui/MainWindow.h"
#include "ui/Startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const HRESULT com = ::CoInitialize(nullptr);
    // A program end stopped at one of our COM objects' boundaries goes on from our own side.
    tessel::com::SetExitRecorder(&velmora::ui::RecordExit);
    {
        tessel::Logger log;
        velmora::ui::SetBoundaryLog(&log);
        velmora::ui::FormInitialize(log);
        // The loaded window is shown, and the message loop runs until it is unloaded.
        if (velmora::ui::FMain* window = velmora::ui::ProgramMainWindow(); window && window->Handle()) {
            window->Show();
            velmora::ui::RunMessageLoop();
        }
        velmora::ui::ReleaseProgramMainWindow();
        velmora::ui::SetBoundaryLog(nullptr);
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return 0;
}
