// Prints the cost of a detection run over the live system next to the cost of its parts
// measured alone (listing the processes with their modules; reading the files whose size is
// listed) and how many files the run read. The start-up's figure is startup_bench.cpp's.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>

#include "detection/BHOManager.h"
#include "detection/RoDoraziva.h"
#include "detection/StartupManager.h"
#include "detection/ZiRaraviz.h"
#include "inspection/Globals.h"
#include "inspection/ProcessManager.h"
#include "tessel/Logger.h"
#include "tessel/SystemUtility.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

template <class F>
double Best(int runs, F&& f) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, Seconds(t0, Clock::now()));
    }
    return best;
}

}  // namespace

void BenchDetectionRun() {
    tessel::Logger log;  // never opened: the bench writes no log
    velmora::CRoDoraziva detector;
    detector.Init(log);
    const auto& paraSizes = detector.Fingerprints(velmora::FingerprintList::ParasiteSizes);
    const auto& goodSizes = detector.Fingerprints(velmora::FingerprintList::GoodSizes);

    // First, the processes and their modules.
    std::set<std::wstring> paths;
    const double enumerate = Best(3, [&] {
        velmora::CProcessManager manager;
        manager.Init(log);
        const tessel::NodeList tree = manager.EnumProcs();
        paths.clear();
        for (const auto& process : tree) {
            paths.insert(tessel::SystemUtility::Lower(process.Id));
            for (const auto& module : process.Nodes) paths.insert(tessel::SystemUtility::Lower(module.Id));
        }
    });
    // Then, reading every one of those files whose size either table lists.
    std::size_t listed = 0;
    const double read = Best(3, [&] {
        velmora::CHashier hashier;
        listed = 0;
        for (const auto& path : paths) {
            const std::wstring key = velmora::FingerprintKey(velmora::FileSizeFromFullFileName(path));
            if (!paraSizes.Exists(key) && !goodSizes.Exists(key)) continue;
            std::int32_t size = 0;
            hashier.HashFromFullFileName(path, size);
            ++listed;
        }
    });
    // The registrations and startup items, which the run lists too.
    const double registry = Best(3, [&] {
        velmora::CBHOManager bhos;
        bhos.Init(log);
        bhos.EnumBHOs();
        velmora::CStartupManager startup;
        startup.Init(log);
        startup.EnumItems();
    });
    // The run itself, each time with an empty fingerprint cache.
    std::size_t reads = 0, found = 0;
    bool complete = false;
    const double run = Best(3, [&] {
        velmora::GlobalHashier = std::make_unique<velmora::CHashier>();
        tessel::KeyedList<std::wstring> files, bhos;
        complete = detector.DetectParasites(files, bhos);
        reads = velmora::GlobalHashier->CachedCount();
        found = files.Count() + bhos.Count();
    });
    const double parts = enumerate + read;
    std::printf("detection run: %.1f ms (%s, %zu found); processes and modules %.1f ms (%zu paths) + reading the "
                "%zu files of a listed size %.1f ms = %.1f ms; ratio %.2f (target <= 1.2); registrations and startup "
                "items %.1f ms besides (within the run's own target)\n",
                run * 1e3, complete ? "complete" : "incomplete", found, enumerate * 1e3, paths.size(), listed,
                read * 1e3, parts * 1e3, run / parts, registry * 1e3);
    std::printf("files read by the run: %zu, of %zu distinct files of a listed size (target: none twice)\n", reads,
                listed);
}
