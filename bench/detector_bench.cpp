// Prints the cost of the parasite detector: building one (its four fingerprint lists), and
// the parasite test over every module of the running processes.
#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "detection/RoDoraziva.h"
#include "tessel/Logger.h"
#include "tessel/Unique.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Every module of every running process, by a plain Toolhelp walk of the bench's own.
std::vector<std::wstring> RunningModules(std::size_t& processes) {
    std::vector<std::wstring> modules;
    processes = 0;
    tessel::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return modules;
    PROCESSENTRY32W process{};
    process.dwSize = sizeof(process);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &process); more;
         more = ::Process32NextW(snapshot.get(), &process)) {
        if (process.th32ProcessID == 0) continue;
        tessel::UniqueFile list(
            ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, process.th32ProcessID));
        if (!list) continue;
        ++processes;
        MODULEENTRY32W module{};
        module.dwSize = sizeof(module);
        for (BOOL m = ::Module32FirstW(list.get(), &module); m; m = ::Module32NextW(list.get(), &module))
            modules.push_back(module.szExePath);
    }
    return modules;
}

}  // namespace

void BenchDetector() {
    constexpr int kBuilds = 200;
    std::size_t entries = 0;
    const auto t0 = Clock::now();
    for (int i = 0; i < kBuilds; ++i) {
        velmora::CRoDoraziva detector;
        entries = 0;
        for (const auto which : {velmora::FingerprintList::ParasiteSizes, velmora::FingerprintList::ParasiteChecksums,
                                 velmora::FingerprintList::GoodSizes, velmora::FingerprintList::GoodChecksums})
            entries += detector.Fingerprints(which).Count();
    }
    std::printf("CRoDoraziva construction: %.3f ms each (%zu list entries; mean of %d; target <= 5 ms, a small part "
                "of the start-up, which builds one)\n",
                Seconds(t0, Clock::now()) * 1000.0 / kBuilds, entries, kBuilds);

    std::size_t processes = 0;
    const std::vector<std::wstring> modules = RunningModules(processes);
    tessel::Logger log;  // never opened: the bench keeps no log
    velmora::CRoDoraziva detector;
    detector.Init(log);
    for (int pass = 1; pass <= 2; ++pass) {
        int parasites = 0;
        const auto t1 = Clock::now();
        for (const auto& m : modules) parasites += detector.IsParasiteRunningModule(m) ? 1 : 0;
        const double s = Seconds(t1, Clock::now());
        std::printf("IsParasiteRunningModule, %s: %zu modules of %zu processes in %.3f ms (%.1f us each; target "
                    "<= 100 us each), %d parasites\n",
                    pass == 1 ? "first pass" : "second pass, caches warm", modules.size(), processes, s * 1000.0,
                    modules.empty() ? 0.0 : s * 1e6 / static_cast<double>(modules.size()), parasites);
    }
}
