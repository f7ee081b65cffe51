// Prints a detection run over 2,000 Run values of odd kinds (data that is no text, numbers of
// the wrong size, text that expands past the limit, names of 16,000 characters with tabs,
// devices that answer at once, a pipe) next to the same run over 2,000 plain command lines,
// in scratch keys that stand in for the machine's hives, and the slowest single odd value.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "detection/RoDoraziva.h"
#include "detection/StartupManager.h"
#include "inspection/Globals.h"
#include "tessel/Logger.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"
#include "tessel/Unique.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

constexpr int kValues = 2000;
const wchar_t kRun[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT of this process point at fresh
// keys under the real HKEY_CURRENT_USER for the life of the object, as in the tests.
class ScratchHives {
public:
    ScratchHives() : root_(L"Software\\VelmoraBench\\" + tessel::SystemUtility::Instance().NewId()) {
        Make(L"HKLM", lm_);
        Make(L"HKCR", cr_);
        Make(L"HKCU", cu_);
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, lm_.get());
        ::RegOverridePredefKey(HKEY_CLASSES_ROOT, cr_.get());
        ::RegOverridePredefKey(HKEY_CURRENT_USER, cu_.get());
    }
    ~ScratchHives() {
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        lm_.reset();
        cr_.reset();
        cu_.reset();
        tessel::RegistryAccessor().DeleteKey(HKEY_CURRENT_USER, root_);
    }
    ScratchHives(const ScratchHives&) = delete;
    ScratchHives& operator=(const ScratchHives&) = delete;

private:
    void Make(const wchar_t* name, tessel::UniqueKey& key) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, (root_ + L"\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          key.put(), nullptr);
    }
    std::wstring root_;
    tessel::UniqueKey lm_, cr_, cu_;
};

tessel::RegistryValue Text(DWORD type, const std::wstring& text) {
    tessel::RegistryValue v{type, std::vector<std::uint8_t>((text.size() + 1) * 2, 0)};
    std::memcpy(v.data.data(), text.data(), text.size() * 2);
    return v;
}

std::wstring Repeat(const wchar_t* piece, int times) {
    std::wstring out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

struct Odd {
    const char* kind;
    std::wstring name;  // the value's name; a number is appended to make it unique
    tessel::RegistryValue value;
};

// The odd kinds of the hostile-registry report, without the devices that block. The text
// that expands past the limit stays under 64 KB itself: a larger registry write can fail in a
// busy Wine ("partial write").
std::vector<Odd> OddKinds() {
    std::wstring longName;
    for (int i = 0; i < 1600; ++i) longName += L"long\tname";
    return {
        {"binary", L"binary", {REG_BINARY, {1, 2}}},
        {"qword", L"qword", {REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}}},
        {"none", L"none", {REG_NONE, {}}},
        {"dword of 2 bytes", L"dword2", {REG_DWORD, {1, 2}}},
        {"dword of 9 bytes", L"dword9", {REG_DWORD, {1, 2, 3, 4, 5, 6, 7, 8, 9}}},
        {"expansion past the limit", L"expands", Text(REG_EXPAND_SZ, Repeat(L"%CommonProgramFiles%", 1500))},
        {"16,000-character name", longName, {REG_BINARY, {1}}},
        {"CON", L"con", Text(REG_SZ, L"CON")},
        {"NUL /x", L"nul", Text(REG_SZ, L"NUL /x")},
        {"\"PRN\"", L"prn", Text(REG_SZ, L"\"PRN\"")},
        {"CONIN$", L"conin", Text(REG_SZ, L"CONIN$")},
        {"\\\\.\\pipe\\...", L"pipe", Text(REG_SZ, L"\\\\.\\pipe\\vlmr-bench-no-such-pipe")},
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
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"vlm-bench-" + tessel::SystemUtility::Instance().NewId();
    ::CreateDirectoryW(folder.c_str(), nullptr);
    wchar_t sys[MAX_PATH];
    ::GetSystemDirectoryW(sys, MAX_PATH);
    const std::wstring plainCommand = L"\"" + std::wstring(sys) + L"\\notepad.exe\" /background";
    const std::vector<Odd> kinds = OddKinds();
    RunFigures plain, odd;
    std::uint64_t logBytes = 0;
    double slowest = 0, emptyListing = 0;
    const char* slowestKind = "";
    {
        ScratchHives hives;
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
    for (const wchar_t* name : {L"plain", L"plain-short", L"odd", L"odd-short", L"one", L"one-short"})
        ::DeleteFileW((folder + L"\\" + name + L".log").c_str());
    ::RemoveDirectoryW(folder.c_str());
}
