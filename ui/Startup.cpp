#include "ui/Startup.h"

#include <windows.h>

#include "detection/ZiRaraviz.h"
#include "inspection/AppServices.h"
#include "inspection/Globals.h"
#include "inspection/MAPI.h"
#include "tessel/Text.h"
#include "ui/SettingsBackup.h"
#include "ui/Version.h"

namespace velmora::ui {

namespace {
const wchar_t kSource[] = L"FMain.Form_Initialize";
}

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

void StartupUntilCheck(tessel::Logger& log, const std::wstring& folder, CZiRaraviz& cleanup,
                       tessel::PendingError& pending) {
    pending.Run([&] { log.Open(folder + L"\\VLMR.log", folder + L"\\short.log"); });
    pending.Run([&] { log.Log(0, L"********** start app", 5, kSource); });
    pending.Run([&] {
        log.Log(0,
                app::LoadResString(IDS_PRODUCT_NAME) + L" ver." + std::to_wstring(VLMR_VER_MAJOR) + L"." +
                    std::to_wstring(VLMR_VER_MINOR) + L"." + std::to_wstring(VLMR_VER_REVISION),
                5, kSource);
    });
    pending.Run([&] { log.Log(0, L"Startup: " + tessel::text::DateToText(GetBootTime()), 5, kSource); });
    pending.Run([] { app::SetMousePointer(app::kHourglass); });
    SetProcessWideValues(pending);
    // The detection check runs before anything is changed.
    pending.Run([&] {
        cleanup.Init(log);
        cleanup.Check();
    });
}

void FormInitialize(tessel::Logger& log) {
    // Every step runs whatever the one before it did; the last error is logged once.
    tessel::PendingError pending;
    CZiRaraviz cleanup;
    StartupUntilCheck(log, ProgramFolder(), cleanup, pending);
    // The settings backup comes before the decision, so that every start that may clean up
    // has saved what the cleanup changes.
    pending.Run([&] { BackupRegistry(log, ProgramFolder()); });
    pending.LogAndClear(log, 0, kSource);
    app::SetMousePointer(app::kDefaultPointer);
    pending.Run([&] { cleanup.Perform(); });
}

}  // namespace velmora::ui
