// System helpers and the process-wide values, on the real platform and with scripted answers.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstring>

#include "FileFactsSupport.h"
#include "TestSupport.h"
#include "inspection/AppServices.h"
#include "inspection/Globals.h"
#include "inspection/MAPI.h"
#include "tessel/Api.h"
#include "tessel/Error.h"
#include "tessel/Logger.h"
#include "tessel/Text.h"

using namespace velmora;
using tessel::api::kernel32;
using tessel::api::ScopedPreset;

namespace {

constexpr DWORD kWin98 = 0xC0000A04;   // 4.10, high bit set
constexpr DWORD kNT4 = 0x05650004;     // 4.0 build 1381
constexpr DWORD kWin2000 = 0x08930005; // 5.0 build 2195

// Keeps the process-wide values of the test program as they were (and sets them as the
// start-up does).
using SavedValues = filefacts::ProcessWideValues;

FILETIME Utc(int y, int mo, int d, int h, int mi, int s) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(s);
    FILETIME ft;
    ::SystemTimeToFileTime(&st, &ft);
    return ft;
}

}  // namespace

TEST(WindowsFamily, IsNTFromTheHighBitAndIsNT4FromTheMajorVersion) {
    EXPECT_TRUE(IsNT());
    EXPECT_FALSE(IsNT4());
    int calls = 0;
    DWORD version = kWin98;
    ScopedPreset preset(kernel32().GetVersion, [&] {
        ++calls;
        return version;
    });
    EXPECT_FALSE(IsNT());
    calls = 0;
    EXPECT_FALSE(IsNT4());
    EXPECT_EQ(calls, 1);  // on the 9x family only inside IsNT
    version = kNT4;
    EXPECT_TRUE(IsNT());
    EXPECT_TRUE(IsNT4());
    version = kWin2000;
    EXPECT_FALSE(IsNT4());
}

TEST(ProcessWideValues, AreSetInOrderOnTheRealPlatform) {
    SavedValues saved;
    tessel::PendingError pending;
    GlobalHashier.reset();
    SetProcessWideValues(pending);
    EXPECT_FALSE(pending.Has());
    EXPECT_TRUE(GlobalHashier != nullptr);
    EXPECT_TRUE(RunningOnNT);
    EXPECT_FALSE(RunningOnNT4);
    EXPECT_EQ(WinDir, L"c:\\windows\\");
    EXPECT_EQ(SysDir, L"c:\\windows\\system32\\");
}

TEST(ProcessWideValues, FollowThe9xFamily) {
    SavedValues saved;
    ScopedPreset preset(kernel32().GetVersion, [] { return kWin98; });
    tessel::PendingError pending;
    SetProcessWideValues(pending);
    EXPECT_FALSE(RunningOnNT);
    EXPECT_FALSE(RunningOnNT4);
    EXPECT_EQ(SysDir, L"c:\\windows\\system\\");
}

TEST(ProcessWideValues, ATrailingBackslashIsNotDoubledAndAFailedStepDoesNotStopTheRest) {
    SavedValues saved;
    wchar_t old[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableW(L"windir", old, MAX_PATH);
    ::SetEnvironmentVariableW(L"windir", L"C:\\WINDOWS\\");
    tessel::PendingError pending;
    SetProcessWideValues(pending);
    EXPECT_EQ(WinDir, L"c:\\windows\\");
    EXPECT_EQ(GetHostsFilePath(), L"C:\\WINDOWS\\system32\\drivers\\etc\\hosts");
    ::SetEnvironmentVariableW(L"windir", n ? old : nullptr);
    {
        ScopedPreset fail(kernel32().GetVersion, []() -> DWORD { throw tessel::Error(127, L"no GetVersion"); });
        RunningOnNT = true;
        SetProcessWideValues(pending);
        EXPECT_TRUE(pending.Has());
        EXPECT_EQ(pending.Number(), 127);
        EXPECT_TRUE(RunningOnNT);  // kept what it held
        EXPECT_EQ(WinDir, L"c:\\windows\\");
    }
}

TEST(HostsFile, DependsOnThePlatformId) {
    DWORD platform = 2;
    ScopedPreset preset(kernel32().GetVersionExW, [&](LPOSVERSIONINFOW info) {
        info->dwMajorVersion = 4;
        info->dwMinorVersion = 10;
        info->dwBuildNumber = 2222;
        info->dwPlatformId = platform;
        info->szCSDVersion[0] = 0;
        return TRUE;
    });
    EXPECT_EQ(GetHostsFilePath(), L"C:\\windows\\system32\\drivers\\etc\\hosts");
    platform = 1;
    EXPECT_EQ(GetHostsFilePath(), L"C:\\windows\\hosts");
    platform = 0;
    EXPECT_EQ(GetHostsFilePath(), L"C:\\windows\\");
}

TEST(EightBytes, RoundTripsADateBitForBit) {
    for (double d : {0.0, 46364.9211921296, -1.5, 1e300, 2958465.99998843}) {
        const double back = StringToEightBytes(EightBytesToString(d));
        EXPECT_EQ(std::memcmp(&back, &d, 8), 0);
    }
    double nan;
    const std::uint64_t bits = 0x7FF8000000ABCDEFull;
    std::memcpy(&nan, &bits, 8);
    const double back = StringToEightBytes(EightBytesToString(nan));
    EXPECT_EQ(std::memcmp(&back, &bits, 8), 0);
    // Bytes beyond the eighth are ignored; fewer than eight are an error.
    EXPECT_EQ(StringToEightBytes(tessel::text::EncodeString(std::string("\0\0\0\0\0\0\xf0\x3f" "extra", 13))), 1.0);
    EXPECT_THROW(StringToEightBytes(tessel::text::EncodeString("1234567")), tessel::Error);
    EXPECT_THROW(StringToEightBytes(L""), tessel::Error);
}

TEST(BootTime, IsUtcNowLessTheUptimeInLocalTime) {
    FILETIME now = Utc(2026, 12, 8, 22, 0, 30);
    ULONGLONG ticks = 3600ull * 1000 + 999;  // an hour and 999 ms
    ScopedPreset clock(kernel32().GetSystemTimeAsFileTime, [&](LPFILETIME ft) { *ft = now; });
    ScopedPreset tick(kernel32().GetTickCount64, [&] { return ticks; });
    // A zone two hours east with no daylight saving.
    ScopedPreset zone(kernel32().SystemTimeToTzSpecificLocalTime,
                      [](const TIME_ZONE_INFORMATION*, const SYSTEMTIME* utc, LPSYSTEMTIME local) {
                          FILETIME ft;
                          ::SystemTimeToFileTime(utc, &ft);
                          ULARGE_INTEGER u{{ft.dwLowDateTime, ft.dwHighDateTime}};
                          u.QuadPart += 2ull * 3600 * 10000000;
                          ft = {u.LowPart, u.HighPart};
                          return ::FileTimeToSystemTime(&ft, local);
                      });
    EXPECT_EQ(tessel::text::DateToText(GetBootTime()), L"12/8/2026 11:00:30 PM");
    // 30 days of uptime (past the 24.8 days where a signed 32-bit count turns negative).
    ticks = 30ull * 86400 * 1000;
    EXPECT_EQ(tessel::text::DateToText(GetBootTime()), L"11/9/2026 12:00:30 AM");
    // 60 days, past the wrap of the 32-bit count.
    ticks = 60ull * 86400 * 1000;
    EXPECT_EQ(tessel::text::DateToText(GetBootTime()), L"10/10/2026 12:00:30 AM");
}

TEST(BootTime, StaysPutAcrossADaylightSavingSwitch) {
    // Local time is UTC+1 before 2026-03-29 01:00 UTC and UTC+2 from then on.
    ScopedPreset zone(kernel32().SystemTimeToTzSpecificLocalTime,
                      [](const TIME_ZONE_INFORMATION*, const SYSTEMTIME* utc, LPSYSTEMTIME local) {
                          FILETIME ft;
                          ::SystemTimeToFileTime(utc, &ft);
                          const FILETIME sw = Utc(2026, 3, 29, 1, 0, 0);
                          ULARGE_INTEGER u{{ft.dwLowDateTime, ft.dwHighDateTime}};
                          const ULARGE_INTEGER s{{sw.dwLowDateTime, sw.dwHighDateTime}};
                          u.QuadPart += (u.QuadPart >= s.QuadPart ? 2ull : 1ull) * 3600 * 10000000;
                          ft = {u.LowPart, u.HighPart};
                          return ::FileTimeToSystemTime(&ft, local);
                      });
    FILETIME now = Utc(2026, 3, 29, 0, 30, 0);
    ULONGLONG ticks = 600ull * 1000;  // booted at 00:20 UTC
    ScopedPreset clock(kernel32().GetSystemTimeAsFileTime, [&](LPFILETIME ft) { *ft = now; });
    ScopedPreset tick(kernel32().GetTickCount64, [&] { return ticks; });
    const double before = GetBootTime();
    now = Utc(2026, 3, 29, 2, 30, 0);  // the clocks went forward meanwhile
    ticks += 2ull * 3600 * 1000;
    const double after = GetBootTime();
    EXPECT_EQ(before, after);
    EXPECT_EQ(tessel::text::DateToText(after), L"3/29/2026 1:20:00 AM");
}

TEST(BootTime, TwoRealReadingsAgree) {
    const double a = GetBootTime();
    ::Sleep(1100);
    const double b = GetBootTime();
    EXPECT_LE(std::fabs(a - b) * 86400.0, 2.0);
}

TEST(SortKeyedList, SortsAsTextWithoutRegardToCaseAndDropsKeys) {
    tessel::KeyedList<std::wstring> list;
    list.Add(L"b", L"k1");
    list.Add(L"B");
    list.Add(L"a", L"k3");
    SortKeyedList(list);
    std::vector<std::wstring> seen(list.begin(), list.end());
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"a", L"B", L"b"}));
    EXPECT_FALSE(list.Exists(L"k1"));
    tessel::KeyedList<std::wstring> numbers;
    numbers.Add(L"10");
    numbers.Add(L"9");
    SortKeyedList(numbers);
    EXPECT_EQ(numbers.Item(1), L"10");
    tessel::KeyedList<std::wstring> one;
    one.Add(L"x", L"key");
    SortKeyedList(one);
    EXPECT_EQ(one.Item(1), L"x");
    EXPECT_FALSE(one.Exists(L"key"));
    tessel::KeyedList<std::wstring> empty;
    SortKeyedList(empty);
    EXPECT_EQ(empty.Count(), 0u);
}

TEST(MsgBoxEx, ShowsTheProductTitleWithTheDefaultPointerAndRestoresIt) {
    std::wstring seenTitle, seenText;
    UINT seenStyle = 0;
    int pointerWhileShown = -1;
    ScopedPreset box(tessel::api::user32().MessageBoxW, [&](HWND, LPCWSTR text, LPCWSTR title, UINT style) {
        seenText = text;
        seenTitle = title;
        seenStyle = style;
        pointerWhileShown = app::MousePointer();
        return IDCANCEL;
    });
    app::SetMousePointer(app::kHourglass);
    EXPECT_EQ(MsgBoxEx(L"Press OK to clean up.", 49), IDCANCEL);
    EXPECT_EQ(seenTitle, L"Velmora");
    EXPECT_EQ(seenText, L"Press OK to clean up.");
    EXPECT_EQ(seenStyle, 49u);
    EXPECT_EQ(pointerWhileShown, app::kDefaultPointer);
    EXPECT_EQ(app::MousePointer(), app::kHourglass);
    EXPECT_EQ(MsgBoxEx(L"x", 64, L"Other title"), IDCANCEL);
    EXPECT_EQ(seenTitle, L"Other title");
    app::SetMousePointer(app::kDefaultPointer);
}

// A box the system cannot make asked nobody: the real call's answer for it, whatever the system
// gives, comes back as 0, never as a button.
TEST(MsgBoxEx, ABoxTheSystemCannotMakeAnswersNothing) {
    const testing_support::RefusedWindows refuse(nullptr);
    ASSERT_TRUE(refuse.Installed());
    EXPECT_EQ(MsgBoxEx(L"Nobody sees this.", MB_OKCANCEL | MB_ICONEXCLAMATION), 0);
    ScopedPreset box(tessel::api::user32().MessageBoxW, [](HWND, LPCWSTR, LPCWSTR, UINT) { return -1; });
    EXPECT_EQ(MsgBoxEx(L"Nobody sees this either.", MB_OK), 0);
}

TEST(StringTable, HoldsTheProgramTexts) {
    EXPECT_EQ(app::LoadResString(IDS_PRODUCT_NAME), L"Velmora");
    EXPECT_EQ(app::LoadResString(IDS_DESCRIPTION_PLACEHOLDER), L"Your description here...");
    EXPECT_EQ(app::LoadResString(IDS_CLEANUP_OFFER), app::LoadResString(IDS_CLEANUP_OFFER_149));
    EXPECT_EQ(app::LoadResString(IDS_RESTART_REQUIRED).back(), L' ');
    EXPECT_EQ(app::LoadResString(IDS_OPERATION_COMPLETE),
              L"Operation complete successfully. Close all opened documents then press OK button to restart Windows. ");
    EXPECT_EQ(app::LoadResString(IDS_RESTART_MANUALLY), L"%1 Please restart Windows manually.");
    EXPECT_THROW(app::LoadResString(4321), tessel::Error);
}

TEST(ShowFileProperties, AsksTheShellForThePropertiesVerb) {
    SHELLEXECUTEINFOA seen{};
    std::string file, verb;
    BOOL answer = TRUE;
    ScopedPreset shell(tessel::api::shell32().ShellExecuteExA, [&](SHELLEXECUTEINFOA* info) {
        seen = *info;
        file = info->lpFile;
        verb = info->lpVerb;
        return answer;
    });
    EXPECT_TRUE(ShowFileProperties(L"c:\\windows\\notepad.exe", reinterpret_cast<HWND>(0x1234)));
    EXPECT_EQ(seen.cbSize, sizeof(SHELLEXECUTEINFOA));
    if (sizeof(void*) == 4) {
        EXPECT_EQ(seen.cbSize, 60u);
    }
    EXPECT_EQ(seen.fMask, 0x44Cu);
    EXPECT_EQ(seen.hwnd, reinterpret_cast<HWND>(0x1234));
    EXPECT_EQ(verb, "properties");
    EXPECT_EQ(file, "c:\\windows\\notepad.exe");
    EXPECT_EQ(seen.nShow, 0);
    answer = FALSE;
    EXPECT_FALSE(ShowFileProperties(L"c:\\missing.dll", nullptr));
}
