#include <windows.h>
#include <objbase.h>

#include "tessel/Logger.h"
#include "ui/Startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const HRESULT com = ::CoInitialize(nullptr);
    {
        tessel::Logger log;
        velmora::ui::FormInitialize(log);
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return 0;
}
