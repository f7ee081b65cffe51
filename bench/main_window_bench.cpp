// Prints the main window's load (settings backup, the four panels with their lists, the
// tab-state log) next to the same work without windows (the backup, the Browser Helper Object
// listing and the 26-row settings table read), in one run over this prefix's registry. The ratio
// is a plain figure: the difference is the system making the windows; the load's own target is
// the start-up's, to a usable window.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "TestSupport.h"
#include "detection/BHOManager.h"
#include "inspection/Globals.h"
#include "tessel/Logger.h"
#include "tessel/RegistryAccessor.h"
#include "ui/MainWindow.h"
#include "ui/SettingsBackup.h"
#include "ui/SettingsTable.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

}  // namespace

void BenchMainWindow() {
    tessel::PendingError pending;
    velmora::SetProcessWideValues(pending);
    const testing_support::TempDir dir;
    const std::wstring& folder = dir.Path();
    const std::wstring backups = dir / L"Backup";
    tessel::Logger log;
    log.Open(folder + L"\\VLMR.log", folder + L"\\short.log");

    double windowed = 1e12, plain = 1e12;
    std::size_t bhos = 0, rows = 0;
    // Alternating, best of five each, so that both see the same caches.
    for (int pass = 0; pass < 5; ++pass) {
        auto t0 = Clock::now();
        {
            velmora::ui::FMain window(log, folder, velmora::ui::MakeTabPanels());
            window.Load();
        }
        windowed = std::min(windowed, Ms(t0, Clock::now()));
        testing_support::DeleteTree(backups);

        t0 = Clock::now();
        velmora::ui::BackupRegistry(log, folder);
        velmora::CBHOManager manager;
        manager.Init(log);
        const auto list = manager.EnumBHOs();
        tessel::RegistryAccessor reg;
        const auto settings = velmora::ui::ReadSettingRows(reg, log);
        plain = std::min(plain, Ms(t0, Clock::now()));
        bhos = list ? list->Count() : 0;
        rows = settings.size();
        testing_support::DeleteTree(backups);
    }
    std::printf("main window load: %.1f ms; the same work without windows (backup, %zu BHOs, %zu settings rows): "
                "%.1f ms; ratio %.2f\n",
                windowed, bhos, rows, plain, windowed / plain);
}
