// Prints the speed of the process list: EnumProcs over the running processes against the
// plainest listing of the same processes and modules through Toolhelp, in the same run.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "inspection/Globals.h"
#include "inspection/ProcessManager.h"
#include "tessel/Unique.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Listing {
    std::size_t processes = 0, modules = 0;
};

Listing PlainToolhelp(std::vector<std::wstring>& names) {
    Listing l;
    names.clear();
    tessel::UniqueFile processes(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!processes) return l;
    PROCESSENTRY32W p{};
    p.dwSize = sizeof(p);
    for (BOOL more = ::Process32FirstW(processes.get(), &p); more; more = ::Process32NextW(processes.get(), &p)) {
        ++l.processes;
        names.emplace_back(p.szExeFile);
        tessel::UniqueFile modules(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, p.th32ProcessID));
        if (!modules) continue;
        MODULEENTRY32W m{};
        m.dwSize = sizeof(m);
        for (BOOL next = ::Module32FirstW(modules.get(), &m); next; next = ::Module32NextW(modules.get(), &m)) {
            ++l.modules;
            names.emplace_back(m.szExePath);
        }
    }
    return l;
}

// The same processes and names through the process-status interface, with nothing around it.
Listing PlainProcessStatus(std::vector<std::wstring>& names) {
    Listing l;
    names.clear();
    std::vector<DWORD> ids(4096);
    DWORD got = 0;
    if (!::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &got)) return l;
    std::vector<HMODULE> modules(1024);
    wchar_t name[MAX_PATH];
    for (DWORD i = 0; i < got / sizeof(DWORD); ++i) {
        tessel::UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]));
        if (!process) continue;
        DWORD needed = 0;
        if (!::EnumProcessModules(process.get(), modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)),
                                  &needed))
            continue;
        ++l.processes;
        const DWORD n = std::min<DWORD>(needed / sizeof(HMODULE), static_cast<DWORD>(modules.size()));
        for (DWORD k = 0; k < n; ++k) {
            const DWORD length = ::GetModuleFileNameExW(process.get(), modules[k], name, MAX_PATH);
            names.emplace_back(name, length);
            if (k > 0) ++l.modules;
        }
    }
    return l;
}

}  // namespace

void BenchProcessList() {
    velmora::CProcessManager manager;
    std::vector<std::wstring> names;
    double product = 1e9, plain = 1e9, status = 1e9;
    Listing listed, seen, direct;
    for (int pass = 0; pass < 7; ++pass) {
        auto t0 = Clock::now();
        const tessel::NodeList list = manager.EnumProcs();
        const double p = std::chrono::duration<double>(Clock::now() - t0).count();
        listed = {};
        for (const tessel::Node& node : list) {
            ++listed.processes;
            listed.modules += node.Nodes.Count();
        }
        t0 = Clock::now();
        seen = PlainToolhelp(names);
        const double t = std::chrono::duration<double>(Clock::now() - t0).count();
        t0 = Clock::now();
        direct = PlainProcessStatus(names);
        const double d = std::chrono::duration<double>(Clock::now() - t0).count();
        if (pass == 0) continue;  // the first pass binds and warms up
        if (p < product) product = p;
        if (t < plain) plain = t;
        if (d < status) status = d;
    }
    std::printf("EnumProcs: %.2f ms (%zu processes, %zu modules); plain Toolhelp: %.2f ms (%zu processes, %zu modules); "
                "EnumProcs/plain %.3f (a plain figure: the list asks for each module's name on its own)\n",
                product * 1e3, listed.processes, listed.modules, plain * 1e3, seen.processes, seen.modules,
                product / plain);
    // The process-status calls themselves ask the system for each module's name separately: what
    // the list adds around them is what it is held to.
    std::printf("  the same through plain process-status calls: %.2f ms (%zu processes, %zu modules); "
                "EnumProcs/plain process-status %.3f (target <= 1.2)\n",
                status * 1e3, direct.processes, direct.modules, product / status);
}
