#include "ui/Startup.h"

#include <windows.h>

#include "detection/ZiRaraviz.h"
#include "inspection/AppServices.h"
#include "inspection/EndProgram.h"
#include "inspection/Globals.h"
#include "inspection/MAPI.h"
#include "tessel/ComObject.h"
#include "tessel/Error.h"
#include "tessel/Text.h"
#include "ui/Boundary.h"
#include "ui/CheckComponents.h"
#include "ui/MainWindow.h"
#include "ui/Splash.h"
#include "ui/Version.h"

namespace velmora::ui {

namespace {
const wchar_t kSource[] = L"FMain.Form_Initialize";

// The component check: on failure its message is shown and logged and the program ends here.
void RequireComponents(tessel::Logger& log, tessel::PendingError& pending) {
    std::wstring message;
    if (CheckComponents(message)) return;
    pending.Run([&] { MsgBoxEx(message, MB_OK | MB_ICONHAND); });
    log.Log(0, message, 4, kSource);
    EndProgram();
}

// Until the splash has closed itself, window events are handled; the thread sleeps until the
// next one arrives instead of spinning, which changes nothing of the order of events.
void WaitForSplash(const Splash& splash) {
    while (splash.Visible()) {
        if (!PumpPending()) return;  // the program is ending
        if (!splash.Visible()) return;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 100, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}
}  // namespace

std::wstring ProgramFolder() {
    std::wstring path;
    if (!tessel::PassOver([&] { path = tessel::com::ModulePath(nullptr); })) return L".";
    const auto slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

void LoadMainWindow(tessel::Logger& log, const std::wstring& folder) { LoadProgramMainWindow(log, folder); }

void StartupUntilWindowLoaded(tessel::Logger& log, const std::wstring& folder, CZiRaraviz& cleanup, Splash& splash) {
    // Every step runs whatever the one before it did; the last error is logged once.
    tessel::PendingError pending;
    pending.Run([&] { log.Open(folder + L"\\VLMR.log", folder + L"\\short.log"); });
    pending.Run([&] { log.Log(0, L"********** start app", 5, kSource); });
    pending.Run([&] {
        log.Log(0,
                app::LoadResString(IDS_PRODUCT_NAME) + L" ver." + std::to_wstring(VLMR_VER_MAJOR) + L"." +
                    std::to_wstring(VLMR_VER_MINOR) + L"." + std::to_wstring(VLMR_VER_REVISION),
                5, kSource);
    });
    pending.Run([&] { log.Log(0, L"Startup: " + tessel::text::DateToText(GetBootTime()), 5, kSource); });
    pending.Run([&] { InitCustomComponent(log); });
    RequireComponents(log, pending);
    pending.Run([&] { splash.Show(); });
    pending.Run([] { app::SetMousePointer(app::kHourglass); });
    // Twice, so that the splash window paints.
    pending.Run([] { PumpPending(); });
    pending.Run([] { PumpPending(); });
    SetProcessWideValues(pending);
    // The detection check runs before anything is changed, without yielding.
    pending.Run([&] {
        cleanup.Init(log);
        cleanup.Check();
    });
    // Every start that passed the component check writes its settings backup before any
    // automatic cleanup runs.
    pending.Run([&] { LoadMainWindow(log, folder); });
    pending.LogAndClear(log, 0, kSource);
}

void FormInitialize(tessel::Logger& log) {
    Splash splash;
    CZiRaraviz cleanup;
    StartupUntilWindowLoaded(log, ProgramFolder(), cleanup, splash);
    WaitForSplash(splash);
    app::SetMousePointer(app::kDefaultPointer);
    splash.Destroy();
    // The decision logs its own errors; the start-up logs none of it.
    tessel::PendingError ignored;
    ignored.Run([&] { cleanup.Perform(); });
}

}  // namespace velmora::ui
