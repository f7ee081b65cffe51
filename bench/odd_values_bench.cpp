// Prints a detection run over 2,000 Run values of odd kinds (data that is no text, numbers of
// the wrong size, text that expands past the limit, names of 16,000 characters with tabs,
// devices that answer at once, a pipe) next to the same run over 2,000 plain command lines,
// in scratch keys that stand in for the machine's hives, and the slowest single odd value.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "detection/RoDoraziva.h"
#include "detection/StartupManager.h"
#include "inspection/Globals.h"
#include "tessel/Logger.h"
#include "tessel/RegistryAccessor.h"

namespace {

using testing_support::Repeat;
using testing_support::TextValue;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

constexpr int kValues = 2000;
const wchar_t kRun[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

struct Odd {
    const char* kind;
    std::wstring name;  // the value's name; a number is appended to make it unique
    tessel::RegistryValue value;
};

// The odd kinds of the hostile-registry report, without the devices that block. The text
// that expands past the limit stays under 64 KB itself: a larger registry write can fail in a
// busy Wine ("partial write").
std::vector<Odd> OddKinds() {
    const std::wstring longName = Repeat(L"long\tname", 1600);
    return {
        {"binary", L"binary", {REG_BINARY, {1, 2}}},
        {"qword", L"qword", {REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}}},
        {"none", L"none", {REG_NONE, {}}},
        {"dword of 2 bytes", L"dword2", {REG_DWORD, {1, 2}}},
        {"dword of 9 bytes", L"dword9", {REG_DWORD, {1, 2, 3, 4, 5, 6, 7, 8, 9}}},
        {"expansion past the limit", L"expands", TextValue(REG_EXPAND_SZ, Repeat(L"%CommonProgramFiles%", 1500))},
        {"16,000-character name", longName, {REG_BINARY, {1}}},
        {"CON", L"con", TextValue(REG_SZ, L"CON")},
        {"NUL /x", L"nul", TextValue(REG_SZ, L"NUL /x")},
        {"\"PRN\"", L"prn", TextValue(REG_SZ, L"\"PRN\"")},
        {"CONIN$", L"conin", TextValue(REG_SZ, L"CONIN$")},
        {"\\\\.\\pipe\\...", L"pipe", TextValue(REG_SZ, L"\\\\.\\pipe\\vlmr-bench-no-such-pipe")},
    };
}

struct RunFigures {
    double seconds = 0;
    bool complete = false;
};

// One detection run over the live system, whose Run key is the scratch one; best of three.
RunFigures DetectionRun(tessel::Logger& log) {
    RunFigures best{1e9, false};
    for (int i = 0; i < 3; ++i) {
        velmora::GlobalHashier = std::make_unique<velmora::CHashier>();
        velmora::CRoDoraziva detector;
        detector.Init(log);
        tessel::KeyedList<std::wstring> files, bhos;
        const auto t0 = Clock::now();
        const bool complete = detector.DetectParasites(files, bhos);
        const double s = Seconds(t0, Clock::now());
        if (s < best.seconds) best = {s, complete};
    }
    return best;
}

// A listing of the startup keys that hold one value alone; best of three.
double OneValueListing(tessel::Logger& log) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        velmora::CStartupManager startup;
        startup.Init(log);
        const auto t0 = Clock::now();
        startup.EnumItems();
        best = std::min(best, Seconds(t0, Clock::now()));
    }
    return best;
}

std::uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

void BenchOddRunValues() {
    const testing_support::TempDir dir;
    const std::wstring& folder = dir.Path();
    wchar_t sys[MAX_PATH];
    ::GetSystemDirectoryW(sys, MAX_PATH);
    const std::wstring plainCommand = L"\"" + std::wstring(sys) + L"\\notepad.exe\" /background";
    const std::vector<Odd> kinds = OddKinds();
    RunFigures plain, odd;
    std::uint64_t logBytes = 0;
    double slowest = 0, emptyListing = 0;
    const char* slowestKind = "";
    {
        // The machine's hives stand in scratch keys, as in the tests.
        const testing_support::ScratchHives hives;
        tessel::RegistryAccessor reg;
        // The product logs; each run into a log of its own, so that the bytes written show.
        tessel::Logger plainLog, oddLog, oneLog;
        plainLog.Open(folder + L"\\plain.log", folder + L"\\plain-short.log");
        oddLog.Open(folder + L"\\odd.log", folder + L"\\odd-short.log");
        oneLog.Open(folder + L"\\one.log", folder + L"\\one-short.log");

        emptyListing = OneValueListing(oneLog);
        for (const Odd& kind : kinds) {
            reg.WriteValue(HKEY_LOCAL_MACHINE, kRun, kind.name, kind.value);
            const double s = OneValueListing(oneLog);
            if (s > slowest) {
                slowest = s;
                slowestKind = kind.kind;
            }
            reg.DeleteValue(HKEY_LOCAL_MACHINE, kRun, kind.name);
        }

        for (int i = 0; i < kValues; ++i) reg.WriteString(HKEY_LOCAL_MACHINE, kRun, L"plain " + std::to_wstring(i), plainCommand);
        plain = DetectionRun(plainLog);
        reg.DeleteKey(HKEY_LOCAL_MACHINE, kRun);

        for (int i = 0; i < kValues; ++i) {
            const Odd& kind = kinds[static_cast<std::size_t>(i) % kinds.size()];
            reg.WriteValue(HKEY_LOCAL_MACHINE, kRun, kind.name + L" " + std::to_wstring(i), kind.value);
        }
        const std::uint64_t before = FileSize(folder + L"\\odd.log");
        odd = DetectionRun(oddLog);
        logBytes = (FileSize(folder + L"\\odd.log") - before) / 3;
    }
    std::printf("detection run over %d odd Run values: %.1f ms (%s); over %d plain ones: %.1f ms (%s); ratio %.2f "
                "(target <= 1.5); slowest single odd value: %.2f ms for a listing of it alone, %.2f ms with none "
                "(%s; target: a few ms); log written per odd run: %.0f KB\n",
                kValues, odd.seconds * 1e3, odd.complete ? "complete" : "INCOMPLETE", kValues, plain.seconds * 1e3,
                plain.complete ? "complete" : "INCOMPLETE", odd.seconds / plain.seconds, slowest * 1e3,
                emptyListing * 1e3, slowestKind, logBytes / 1e3);
}
