#include "ui/Startup.h"

#include <windows.h>

#include "detection/ZiRaraviz.h"
#include "inspection/AppServices.h"
#include "inspection/EndProgram.h"
#include "inspection/Globals.h"
#include "inspection/MAPI.h"
#include "tessel/ComObject.h"
#include "tessel/Error.h"
#include "tessel/SystemUtility.h"
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

// A program without its main window can do nothing the user could follow: the user hears why,
// as the component check tells its failure, and the log keeps the message. A box the system
// cannot show either is logged as such, so that nobody reads the log as a box left unanswered.
void TellNoMainWindow(tessel::Logger& log, const std::wstring& failure) {
    const std::wstring message = tessel::Format(app::LoadResString(IDS_MAIN_WINDOW_FAILED),
                                                failure.empty() ? L"The main window cannot be created." : failure);
    int answer = 0;
    tessel::PassOver([&] { answer = MsgBoxEx(message, MB_OK | MB_ICONHAND); });
    if (answer != 0) log.Log(0, message, 4, kSource);
    else log.Log(0, L"The message could not be shown: " + message, 0, kSource);
}
}  // namespace

std::wstring ProgramFolder() {
    std::wstring path;
    if (!tessel::PassOver([&] { path = tessel::com::ModulePath(nullptr); })) return L".";
    const auto slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

void LoadMainWindow(tessel::Logger& log, const std::wstring& folder) { LoadProgramMainWindow(log, folder); }

std::wstring StartupUntilWindowLoaded(tessel::Logger& log, const std::wstring& folder, CZiRaraviz& cleanup,
                                      Splash& splash) {
    // A registration or a startup entry may name a file on a drive without its disk (a floppy,
    // a CD, a removed USB drive): its first look would otherwise stop at the system's own box,
    // during the splash and again at every later look. The error comes back as an error instead.
    // The flags the program was started with stay.
    ::SetErrorMode(::SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
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
    std::wstring windowFailure;
    tessel::Guard([&] { LoadMainWindow(log, folder); },
                  [&](tessel::ErrorDescription error) {
                      windowFailure = error.text;
                      pending.Keep(std::move(error));
                  });
    pending.LogAndClear(log, 0, kSource);
    return windowFailure;
}

bool StartupAfterWindowLoaded(tessel::Logger& log, const std::wstring& windowFailure, CZiRaraviz& cleanup,
                              Splash& splash) {
    WaitForSplash(splash);
    app::SetMousePointer(app::kDefaultPointer);
    splash.Destroy();
    const FMain* window = ProgramMainWindow();
    if (!window || !window->Handle()) {
        TellNoMainWindow(log, windowFailure);
        return false;
    }
    // The decision logs its own errors; the start-up logs none of it.
    tessel::PendingError ignored;
    ignored.Run([&] { cleanup.Perform(); });
    return true;
}

bool FormInitialize(tessel::Logger& log) {
    Splash splash;
    CZiRaraviz cleanup;
    const std::wstring windowFailure = StartupUntilWindowLoaded(log, ProgramFolder(), cleanup, splash);
    return StartupAfterWindowLoaded(log, windowFailure, cleanup, splash);
}

}  // namespace velmora::ui
