// The cleanup object: the start-up decision, table row by row, and the cleanup sequence,
// with the clock, the message boxes, the restart request and the end of the program
// scripted through the seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>

#include "BackupTestSupport.h"
#include "DetectionTestSupport.h"
#include "ProcessTestSupport.h"
#include "ProtectedFilesSupport.h"
#include "TestSupport.h"
#include "detection/ZiRaraviz.h"
#include "inspection/Globals.h"
#include "inspection/MAPI.h"
#include "inspection/MMain.h"
#include "tessel/Api.h"
#include "tessel/FileAccessor.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/Text.h"

using detection_support::FakeSource;
using detection_support::TestLog;
using testing_support::ScratchHives;
using testing_support::TempDir;
using tessel::api::ScopedPreset;
using velmora::CZiRaraviz;

namespace {

const std::wstring kProduct = L"Software\\Ardentis Software\\Velmora\\Current Version\\";
const std::wstring kBHOKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\";
const std::wstring kOffer =
    L"Velmora detected about:blank parasites which can be deleted automatically. Press OK to clean up.";
const std::wstring kRestart =
    L"Windows restart is required to complete cleanup. Close all opened documents then press OK button to restart Windows. ";
const std::wstring kComplete =
    L"Operation complete successfully. Close all opened documents then press OK button to restart Windows. ";

// Everything the cleanup touches outside the registry, scripted.
class Scripted {
public:
    Scripted()
        // The clock and the tick move on together from a fixed moment, an hour after the boot,
        // so that the boot time stays put while waits still end.
        : start_(tessel::api::kernel32().GetTickCount64.Real()),
          clock_(tessel::api::kernel32().GetSystemTimeAsFileTime,
                 [this](LPFILETIME ft) {
                     ULARGE_INTEGER u{{now_.dwLowDateTime, now_.dwHighDateTime}};
                     u.QuadPart += Elapsed() * 10000;
                     *ft = {u.LowPart, u.HighPart};
                 }),
          tick_(tessel::api::kernel32().GetTickCount64, [this] { return ULONGLONG(3600) * 1000 + Elapsed(); }),
          box_(tessel::api::user32().MessageBoxW,
               [this](HWND, LPCWSTR text, LPCWSTR title, UINT style) {
                   boxes.push_back(text);
                   titles.push_back(title);
                   styles.push_back(style);
                   if (answers.empty()) return IDCANCEL;
                   const int a = answers.front();
                   answers.pop_front();
                   return a;
               }),
          restart_(tessel::api::user32().ExitWindowsEx,
                   [this](UINT flags, DWORD reason) {
                       restartFlags = flags;
                       restartReason = reason;
                       ++restarts;
                       if (restartFails) ::SetLastError(1314);
                       return restartFails ? FALSE : TRUE;
                   }) {
        SYSTEMTIME st{2026, 12, 2, 8, 12, 0, 0, 0};
        ::SystemTimeToFileTime(&st, &now_);
        tessel::PendingError pending;
        velmora::SetProcessWideValues(pending);
    }
    // The boot time the scripted clock gives, less the seconds given.
    std::wstring StoredBoot(double secondsEarlier) const {
        return velmora::EightBytesToString(velmora::GetBootTime() - secondsEarlier / 86400.0);
    }

    std::deque<int> answers;
    std::vector<std::wstring> boxes, titles;
    std::vector<UINT> styles;
    bool restartFails = false;
    int restarts = 0;
    UINT restartFlags = 0;
    DWORD restartReason = 0;

private:
    ULONGLONG Elapsed() const { return tessel::api::kernel32().GetTickCount64.Real() - start_; }

    ULONGLONG start_;
    FILETIME now_{};
    ScopedPreset<decltype(tessel::api::kernel32().GetSystemTimeAsFileTime)> clock_;
    ScopedPreset<decltype(tessel::api::kernel32().GetTickCount64)> tick_;
    ScopedPreset<decltype(tessel::api::user32().MessageBoxW)> box_;
    ScopedPreset<decltype(tessel::api::user32().ExitWindowsEx)> restart_;
    testing_support::ScriptedExit exit_;
};

struct Machine {
    ScratchHives hives;
    tessel::RegistryAccessor reg;
    testing_support::BackupRecord backup;
    Scripted scripted;
    TestLog t;
    FakeSource source;
    void Infect() {
        // A registration without a server: found, and deletable.
        reg.WriteString(HKEY_LOCAL_MACHINE, kBHOKey + L"{00000000-0000-0000-0000-0000000000AA}", L"", L"stub");
        source.bhos = {{L"{00000000-0000-0000-0000-0000000000AA}", L"", true}};
    }
    // A parasite without a maker, found through its registration: a copy of the bare fixture.
    std::wstring Plant(const TempDir& dir, const std::wstring& name, const std::wstring& id) {
        const std::wstring file = dir / name;
        testing_support::WriteBytes(file, testing_support::ReadBytes(testing_support::ProgramFolder() + L"\\fixture_bare.dll"));
        reg.WriteString(HKEY_LOCAL_MACHINE, kBHOKey + id, L"", name);
        source.bhos = {{id, file}};
        return file;
    }
    void Store(const std::wstring& text) { reg.WriteString(HKEY_CURRENT_USER, kProduct, L"ZiRaraviz Cleanup Time", text); }
    bool Stored() { return reg.ReadValue(HKEY_CURRENT_USER, kProduct, L"ZiRaraviz Cleanup Time").has_value(); }
    // Check, then Perform; true when the program ended.
    bool Start() {
        CZiRaraviz z;
        z.Init(t.log);
        z.UseDetectionSource(&source);
        z.Check();
        return testing_support::EndsProgram([&] { z.Perform(); });
    }
    // CleanUp with the test's lists; true when the program ended.
    bool RunCleanUp() {
        CZiRaraviz z;
        z.Init(t.log);
        z.UseDetectionSource(&source);
        return testing_support::EndsProgram([&] { z.CleanUp(); });
    }
    bool CleanedUp() {
        for (const auto& l : t.Lines())
            if (l == "5|0|CZiRaraviz.CleanUp|CleanUp started") return true;
        return false;
    }
};

}  // namespace

TEST(Perform, ParasitesAndNothingStoredOffersTheCleanup) {
    Machine m;
    m.Infect();
    m.scripted.answers = {IDOK, IDCANCEL};  // clean up; then decline the restart
    EXPECT_FALSE(m.Start());
    ASSERT_EQ(m.scripted.boxes.size(), 2u);
    EXPECT_EQ(m.scripted.boxes[0], kOffer);
    EXPECT_EQ(m.scripted.styles[0], 49u);
    EXPECT_EQ(m.scripted.titles[0], L"Velmora");
    EXPECT_EQ(m.scripted.boxes[1], kComplete);
    EXPECT_EQ(m.scripted.styles[1], 65u);
    EXPECT_TRUE(m.CleanedUp());
    EXPECT_FALSE(m.reg.KeyExists(HKEY_LOCAL_MACHINE, kBHOKey + L"{00000000-0000-0000-0000-0000000000AA}"));
    EXPECT_FALSE(m.Stored());  // declined: nothing stored, nothing restarted
    EXPECT_EQ(m.scripted.restarts, 0);
    EXPECT_TRUE(m.t.Has("5|0|CZiRaraviz.Check|True"));
}

TEST(Perform, ParasitesAndNothingStoredCancelledChangesNothing) {
    Machine m;
    m.Infect();
    EXPECT_FALSE(m.Start());
    ASSERT_EQ(m.scripted.boxes.size(), 1u);
    EXPECT_FALSE(m.CleanedUp());
    EXPECT_TRUE(m.reg.KeyExists(HKEY_LOCAL_MACHINE, kBHOKey + L"{00000000-0000-0000-0000-0000000000AA}"));
}

TEST(Perform, ParasitesAndAValueOfThisBootOffersAgainOrForgets) {
    Machine ok;
    ok.Infect();
    ok.Store(ok.scripted.StoredBoot(119));  // 119 s apart: the same start of Windows
    ok.scripted.answers = {IDOK, IDCANCEL};
    ok.Start();
    ASSERT_GE(ok.scripted.boxes.size(), 1u);
    EXPECT_EQ(ok.scripted.boxes[0], kOffer);
    EXPECT_TRUE(ok.CleanedUp());
    EXPECT_TRUE(ok.Stored());

    Machine cancel;
    cancel.Infect();
    cancel.Store(cancel.scripted.StoredBoot(0));
    cancel.Start();
    EXPECT_EQ(cancel.scripted.boxes.size(), 1u);
    EXPECT_FALSE(cancel.CleanedUp());
    EXPECT_FALSE(cancel.Stored());
}

TEST(Perform, ParasitesAndAValueOfAnEarlierBootSayNothingAndKeepIt) {
    Machine m;
    m.Infect();
    m.Store(m.scripted.StoredBoot(120));  // 120 s apart: another start of Windows
    m.Start();
    EXPECT_TRUE(m.scripted.boxes.empty());
    EXPECT_TRUE(m.Stored());
}

TEST(Perform, ACleanMachineForgetsAValueOfAnEarlierBootSilently) {
    Machine nothing;
    nothing.Start();
    EXPECT_TRUE(nothing.scripted.boxes.empty());
    EXPECT_FALSE(nothing.Stored());
    EXPECT_TRUE(nothing.t.Has("5|0|CZiRaraviz.Check|False"));

    Machine earlier;
    earlier.Store(earlier.scripted.StoredBoot(3600));
    earlier.Start();
    EXPECT_TRUE(earlier.scripted.boxes.empty());
    EXPECT_FALSE(earlier.Stored());
}

TEST(Perform, ACleanMachineOfTheSameBootAsksForTheRestart) {
    Machine ok;
    ok.Store(ok.scripted.StoredBoot(60));
    ok.scripted.answers = {IDOK};
    EXPECT_TRUE(ok.Start());  // the program ends after the request
    ASSERT_EQ(ok.scripted.boxes.size(), 1u);
    EXPECT_EQ(ok.scripted.boxes[0], kRestart);
    EXPECT_EQ(ok.scripted.restarts, 1);
    EXPECT_EQ(ok.scripted.restartFlags, 3u);
    EXPECT_EQ(ok.scripted.restartReason, 0xFFFFFFFFu);
    EXPECT_TRUE(ok.Stored());

    Machine refused;
    refused.Store(refused.scripted.StoredBoot(60));
    refused.scripted.answers = {IDOK, IDOK};
    refused.scripted.restartFails = true;
    EXPECT_TRUE(refused.Start());
    ASSERT_EQ(refused.scripted.boxes.size(), 2u);
    const std::wstring expected = tessel::SystemUtility::Instance().SystemErrorText(1314) + L" Please restart Windows manually.";
    EXPECT_EQ(refused.scripted.boxes[1], expected);
    EXPECT_EQ(refused.scripted.styles[1], 48u);
    EXPECT_TRUE(refused.t.Has("0|0|CZiRaraviz.Perform|" + testing_support::Narrow(expected)));

    Machine cancel;
    cancel.Store(cancel.scripted.StoredBoot(60));
    EXPECT_FALSE(cancel.Start());
    EXPECT_EQ(cancel.scripted.restarts, 0);
    EXPECT_FALSE(cancel.Stored());
}

TEST(Perform, AnEmptyValueIsNoValueAndStays) {
    Machine clean;
    clean.Store(L"");
    clean.Start();
    EXPECT_TRUE(clean.scripted.boxes.empty());
    EXPECT_TRUE(clean.Stored());
    Machine infected;
    infected.Infect();
    infected.Store(L"");
    infected.Start();
    ASSERT_EQ(infected.scripted.boxes.size(), 1u);
    EXPECT_EQ(infected.scripted.boxes[0], kOffer);
}

TEST(Perform, AValueThatIsNoDateIsLoggedAndRemoved) {
    const std::wstring notANumber = tessel::text::EncodeBytes(std::vector<std::uint8_t>(8, 0xFF));
    for (const std::wstring& bad : {std::wstring(L"AAAA"), notANumber}) {
        Machine m;
        m.Store(bad);
        m.Start();
        EXPECT_TRUE(m.scripted.boxes.empty()) << "no 'Unexpected error' at every start";
        EXPECT_FALSE(m.Stored());
        bool logged = false;
        for (const auto& l : m.t.Lines()) logged |= l.rfind("0|0|CZiRaraviz.Perform|The stored cleanup time is not a date", 0) == 0;
        EXPECT_TRUE(logged);
    }
}

TEST(Perform, AValueThatIsNoTextIsLoggedAndRemoved) {
    Machine m;
    m.reg.WriteValue(HKEY_CURRENT_USER, kProduct, L"ZiRaraviz Cleanup Time", {REG_BINARY, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}});
    m.Infect();
    m.Start();
    EXPECT_FALSE(m.Stored());
    ASSERT_EQ(m.scripted.boxes.size(), 1u);  // the offer, as with no value, and no "Unexpected error"
    EXPECT_EQ(m.scripted.boxes[0], kOffer);
}

TEST(Perform, AnUnfinishedDetectionNeitherForgetsNorClaims) {
    Machine m;
    m.source.startupListFails = true;
    m.Store(m.scripted.StoredBoot(3600));
    m.Start();
    EXPECT_TRUE(m.Stored());
    EXPECT_TRUE(m.scripted.boxes.empty());
    Machine same;
    same.source.startupListFails = true;
    same.Store(same.scripted.StoredBoot(0));
    same.Start();
    EXPECT_TRUE(same.scripted.boxes.empty()) << "no restart asked for on a run that did not finish";
}

TEST(CleanUp, DisablesTheParasiteStoresTheBootAndRestarts) {
    Machine m;
    TempDir dir;
    const std::wstring evil = m.Plant(dir, L"evil.dll", L"{00000000-0000-0000-0000-0000000000BB}");
    m.reg.WriteString(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Main", L"Start Page", L"http://hijack/");
    m.scripted.answers = {IDOK};
    const bool ended = m.RunCleanUp();
    EXPECT_TRUE(ended);
    ASSERT_EQ(m.scripted.boxes.size(), 1u);
    EXPECT_EQ(m.scripted.boxes[0], kComplete);
    EXPECT_FALSE(tessel::FileAccessor::Instance().FileExists(evil));
    EXPECT_TRUE(tessel::FileAccessor::Instance().FileExists(dir / L"parasite_evil.dll.parasite"));
    EXPECT_FALSE(m.reg.KeyExists(HKEY_LOCAL_MACHINE, kBHOKey + L"{00000000-0000-0000-0000-0000000000BB}"));
    EXPECT_EQ(m.reg.ReadString(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Main", L"Start Page"),
              L"about:blank");
    EXPECT_EQ(m.reg.ReadString(HKEY_CURRENT_USER, kProduct, L"ZiRaraviz Cleanup Time"), m.scripted.StoredBoot(0));
    EXPECT_EQ(m.scripted.restarts, 1);
    const auto lines = m.t.Lines();
    std::vector<std::string> order;
    for (const auto& l : lines) {
        if (l.find("CleanUp started") != std::string::npos || l.find("Deleting BHO(") != std::string::npos ||
            l.find("File renamed sucessfullly") != std::string::npos ||
            l.find("Restoring all configuration settings") != std::string::npos)
            order.push_back(l.substr(l.rfind('|') + 1, 12));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"CleanUp star", "Deleting BHO", "File renamed", "Restoring al"}));
}

TEST(CleanUp, SaysHowManyStepsCouldNotBeDone) {
    Machine m;
    m.source.bhos = {{L"{00000000-0000-0000-0000-0000000000CC}", L"", true}};  // not registered: cannot be deleted
    m.RunCleanUp();
    ASSERT_EQ(m.scripted.boxes.size(), 1u);
    EXPECT_EQ(m.scripted.boxes[0],
              L"Cleanup finished, but 1 of its steps could not be done; the log lists them. Close all opened documents "
              L"then press OK button to restart Windows. ");
    EXPECT_TRUE(m.t.Has("0|0|CZiRaraviz.CleanUp|Could not delete BHO({00000000-0000-0000-0000-0000000000CC})"));
}

TEST(CleanUp, AnOrphanedRegistrationWhoseServerIsGoneIsNoStepThatCouldNotBeDone) {
    Machine m;
    TempDir dir;
    const std::wstring gone = dir / L"uninstalled.dll";  // never written: its uninstaller took it
    m.reg.WriteString(HKEY_LOCAL_MACHINE, kBHOKey + L"{00000000-0000-0000-0000-0000000000DD}", L"", L"Orphan");
    m.source.bhos = {{L"{00000000-0000-0000-0000-0000000000DD}", gone}};
    m.RunCleanUp();
    ASSERT_EQ(m.scripted.boxes.size(), 1u);
    EXPECT_EQ(m.scripted.boxes[0], kComplete);
    EXPECT_FALSE(m.reg.KeyExists(HKEY_LOCAL_MACHINE, kBHOKey + L"{00000000-0000-0000-0000-0000000000DD}"));
    EXPECT_TRUE(m.t.Has("5|0|CProcessManager.RenameParasiteFilesEx|The file '" + testing_support::Narrow(gone) +
                        "' does not exist: there is nothing to disable."));
}

TEST(CleanUp, CountsEveryKindOfStepThatCouldNotBeDone) {
    Machine m;
    TempDir dir;
    const std::wstring locked = dir / L"locked.dll";
    testing_support::WriteBytes(locked, "held open");
    // Held without FILE_SHARE_DELETE: neither rename nor its retry can move it.
    tessel::UniqueFile hold(::CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(hold);
    m.reg.WriteString(HKEY_LOCAL_MACHINE, kBHOKey + L"{L}", L"", L"Locked");
    m.source.bhos = {{L"{L}", locked}};
    m.source.complete = false;  // a listing left something out
    m.reg.WriteValue(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"AppInit_DLLs",
                     {REG_BINARY, {1}});  // one restore row fails
    m.RunCleanUp();
    ASSERT_EQ(m.scripted.boxes.size(), 1u);
    EXPECT_EQ(m.scripted.boxes[0],
              L"Cleanup finished, but 3 of its steps could not be done; the log lists them. Close all opened documents "
              L"then press OK button to restart Windows. ");
    EXPECT_TRUE(tessel::FileAccessor::Instance().FileExists(locked));
}

TEST(CleanUp, RemovesStartupEntriesOfPathsTheAnsiCodePageCannotCarry) {
    Machine m;
    TempDir dir;
    const std::wstring odd = dir / L"\x4e2d\x6587.exe", plain = dir / L"plain.exe";
    testing_support::WriteBytes(odd, "x");
    testing_support::WriteBytes(plain, "y");
    const std::wstring run = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    m.reg.WriteString(HKEY_LOCAL_MACHINE, run, L"odd", odd);
    m.reg.WriteString(HKEY_LOCAL_MACHINE, run, L"plain", plain);
    m.source.bhos = {{L"{O}", odd}, {L"{P}", plain}};  // both files are parasites without a maker
    m.RunCleanUp();
    EXPECT_FALSE(m.reg.EnumValues(HKEY_LOCAL_MACHINE, run).Exists(L"odd"));
    EXPECT_TRUE(m.reg.EnumValues(HKEY_LOCAL_MACHINE, run).Exists(L"plain"));
    EXPECT_TRUE(tessel::FileAccessor::Instance().FileExists(dir / L"parasite_plain.exe.parasite"));
}

TEST(CleanUp, AnErrorIsReportedAndThePointerComesBack) {
    Machine m;
    m.scripted.answers = {};
    int calls = 0;
    ScopedPreset box(tessel::api::user32().MessageBoxW, [&](HWND, LPCWSTR text, LPCWSTR, UINT style) -> int {
        if (++calls == 1) throw tessel::Error(91, L"Object variable not set");
        m.scripted.boxes.push_back(text);
        m.scripted.styles.push_back(style);
        return IDOK;
    });
    m.RunCleanUp();
    ASSERT_EQ(m.scripted.boxes.size(), 1u);
    EXPECT_EQ(m.scripted.boxes[0], L"Unexpected error. Please use 'Contact Support' tab to report. Object variable not set");
    EXPECT_EQ(m.scripted.styles[0], 48u);
    EXPECT_TRUE(m.t.Has("0|91|CZiRaraviz.CleanUp|Object variable not set"));
    EXPECT_EQ(velmora::app::MousePointer(), velmora::app::kDefaultPointer);
}

namespace {

// Refuses (error 5) and records every termination the cleanup asks for.
struct RefusedTerminations {
    std::vector<DWORD> asked;
    ScopedPreset<decltype(tessel::api::kernel32().TerminateProcess)> preset{
        tessel::api::kernel32().TerminateProcess, [this](HANDLE process, UINT) {
            asked.push_back(::GetProcessId(process));
            ::SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }};
};

std::size_t LineOf(const std::vector<std::string>& lines, const std::string& piece) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find(piece) != std::string::npos) return i;
    return lines.size();
}

}  // namespace

TEST(CleanUp, TheOwnProcessHoldingAParasiteGoesLastAndOnlyWhenTheRestartIsDeclined) {
    const std::wstring terminating =
        L"Operation complete; terminating. Please reboot Windows and restart Velmora to see whether no more parasites "
        L"found. ";
    for (const int answer : {IDCANCEL, IDOK}) {
        Machine m;
        TempDir dir;
        const std::wstring own = m.Plant(dir, L"own.dll", L"{O}");
        tessel::UniqueModule held(::LoadLibraryW(own.c_str()));
        ASSERT_TRUE(held);
        m.scripted.answers = {answer, IDOK};
        RefusedTerminations terminations;
        const bool ended = m.RunCleanUp();
        held.reset();
        const auto lines = m.t.Lines();
        ASSERT_GE(m.scripted.boxes.size(), 1u);
        EXPECT_EQ(m.scripted.boxes[0], kComplete);
        if (answer == IDOK) {
            // The restart is asked for and the program ends with it: its own process is never terminated.
            EXPECT_TRUE(ended);
            EXPECT_EQ(m.scripted.boxes.size(), 1u);
            EXPECT_TRUE(terminations.asked.empty());
            EXPECT_TRUE(m.Stored());
        } else {
            // Declined: the configuration was restored first, then the program ends itself.
            EXPECT_FALSE(ended);
            ASSERT_EQ(m.scripted.boxes.size(), 2u);
            EXPECT_EQ(m.scripted.boxes[1], terminating);
            EXPECT_EQ(terminations.asked, std::vector<DWORD>{::GetCurrentProcessId()});
            const std::string own = "Cannot terminate process for file 'my:" + std::to_string(::GetCurrentProcessId()) + "'. 5";
            EXPECT_LT(LineOf(lines, "Restoring all configuration settings"), LineOf(lines, own));
            EXPECT_LT(LineOf(lines, own), lines.size());
            EXPECT_FALSE(m.Stored());
        }
    }
}

TEST(CleanUp, AParasiteThatStillRunsIsEndedAndGoneBeforeTheSettingsAreRestoredSoItCannotWriteItsPageBack) {
    // Ended at once, and still writing for a moment after it was told to end.
    for (const DWORD lateMs : {0u, 200u}) {
        SCOPED_TRACE(lateMs);
        Machine m;
        TempDir dir;
        const std::wstring dll = m.Plant(dir, L"watchdog.dll", L"{W}");
        process_testing::Child rewriter = process_testing::StartStartPageRewriter(dll, m.hives, L"http://hijack.example/");
        ASSERT_TRUE(rewriter.Running());
        process_testing::OnlyOwnChildren only({rewriter.Pid()});
        only.EndLate(lateMs);
        m.scripted.answers = {IDCANCEL};
        EXPECT_FALSE(m.RunCleanUp());
        EXPECT_NE(rewriter.Wait(10000), 0xFFFFFFFFu) << "the parasite's process was not ended";
        EXPECT_EQ(only.Terminated, std::vector<DWORD>{rewriter.Pid()});
        EXPECT_EQ(m.reg.ReadString(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Main", L"Start Page"),
                  L"about:blank");
    }
}

TEST(CleanUp, HoldersThatCannotBeLookedForAreCountedAndStillLeaveTheSettingsRestoredAndTheRestartAsked) {
    // The process list fails as the system fails it (no list, the reason in the last error), and
    // with an error raised on the way.
    const std::function<BOOL()> failures[] = {
        [] {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        },
        []() -> BOOL { throw tessel::Error(126, L"The process list cannot be taken."); },
    };
    for (const auto& fail : failures) {
        Machine m;
        TempDir dir;
        const std::wstring evil = m.Plant(dir, L"evil.dll", L"{E}");
        m.reg.WriteString(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Main", L"Start Page", L"http://hijack/");
        ScopedPreset walk(tessel::api::psapi().EnumProcesses, [&](DWORD*, DWORD, DWORD*) { return fail(); });
        m.RunCleanUp();
        EXPECT_EQ(m.scripted.boxes, std::vector<std::wstring>{L"Cleanup finished, but 1 of its steps could not be done; the "
                                                              L"log lists them. Close all opened documents then press OK "
                                                              L"button to restart Windows. "});
        // Logged by the search before the question and by the one after it.
        const auto lines = m.t.Lines();
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& l) {
                                    return l.rfind("0|", 0) == 0 && l.find("|CZiRaraviz.CleanUp|") != std::string::npos &&
                                           (l.find("The process list cannot be taken.") != std::string::npos ||
                                            l.find("The running processes cannot be listed") != std::string::npos);
                                }),
                  2);
        EXPECT_TRUE(tessel::FileAccessor::Instance().FileExists(dir / L"parasite_evil.dll.parasite"));
        EXPECT_EQ(m.reg.ReadString(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Main", L"Start Page"),
                  L"about:blank");
    }
}

TEST(CleanUp, AFolderNamedAsAServerHasNothingToDisableAndKeepsItsNameAndItsFiles) {
    Machine m;
    TempDir dir;
    protected_files::UserFolders folders(dir);
    process_testing::OnlyOwnChildren only({});
    for (std::size_t n = 0; n < folders.spellings.size(); ++n) {
        const std::wstring id = L"{F" + std::to_wstring(n) + L"}";
        m.reg.WriteString(HKEY_LOCAL_MACHINE, kBHOKey + id, L"", L"Folder");
        m.source.bhos.push_back({id, folders.spellings[n]});
    }
    m.RunCleanUp();
    EXPECT_EQ(m.scripted.boxes, std::vector<std::wstring>{kComplete});  // no step that could not be done
    EXPECT_TRUE(folders.AsTheyWere());
    EXPECT_TRUE(only.Terminated.empty());
    for (const wchar_t* folder : {L"\\Notes", L"\\Letters"})
        EXPECT_FALSE(m.reg.ReadValue(HKEY_CURRENT_USER, velmora::kRemovedFilesKey, folders.data + folder).has_value());
}

TEST(FileActedOn, EverySpellingIsReadAsTheFileItNamesAndASecondReadingChangesNothing) {
    protected_files::ScratchMachine machine;
    for (const auto& [kind, path, file] : machine.cases) {
        SCOPED_TRACE(testing_support::Narrow(path));
        const std::wstring once = velmora::FileActedOn(path);
        EXPECT_EQ(velmora::FileActedOn(once), once);
        EXPECT_EQ(tessel::SystemUtility::Lower(once), tessel::SystemUtility::Lower(file));
    }
    // A name made with a trailing dot through "\\?\\" is read from its short name as its verbatim
    // long one: the plain long one Windows reads as the name without the dot.
    const std::wstring dotted = L"\\\\?\\" + machine.dir / L"dotted.dll.";
    testing_support::WriteBytes(dotted, "x");
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameW(dotted.c_str(), shortName, MAX_PATH), 0u);
    const std::wstring once = velmora::FileActedOn(shortName);
    EXPECT_EQ(velmora::FileActedOn(once), once);
    EXPECT_TRUE(::DeleteFileW(tessel::FileAccessor::VerbatimPath(once).c_str())) << testing_support::Narrow(once);
    // Prefixes that only look like the verbatim one, folder names with more than one trailing dot,
    // ".." that climbs out of its drive and a reserved name that a reading brings up read the same
    // the second time; a server named "?" or "." is no drive.
    const struct {
        std::wstring given;
        std::vector<std::wstring> readings;  // each reading a system may give it
    } odd[] = {
        // "//?/" is the device namespace: the full-path function drops the trailing dot.
        {L"//?/c:/x/a.dll.", {L"c:\\x\\a.dll"}},
        // A native prefix in slashes is a folder "??" of the current drive: not resolved.
        {L"/?" L"?/c:/x/a.dll", {L"/?" L"?/c:/x/a.dll"}},
        // Verbatim, server "?" or "." and share "c:": only that spelling reaches it.
        {L"\\\\?\\UNC\\?\\c:\\x\\a.dll", {L"\\\\?\\UNC\\?\\c:\\x\\a.dll"}},
        {L"\\\\?\\UNC\\.\\c:\\x\\a.dll", {L"\\\\?\\UNC\\.\\c:\\x\\a.dll"}},
        // ".." climbs out of the drive into the device namespace and back into the drive.
        {L"\\\\.\\c:\\..\\c:\\x\\a.dll", {L"c:\\x\\a.dll"}},
        // Folder "x..": where the full-path function drops one of its dots, "x." would lose the
        // other at a second reading, so only the verbatim spelling names it; where it drops none,
        // the plain path does.
        {L"c:\\x..\\a.dll", {L"\\\\?\\c:\\x.\\a.dll", L"c:\\x..\\a.dll"}},
        // Read without its "\.", "com1.dll" is a file in a folder, not the device: only the
        // verbatim spelling reaches it.
        {L"c:\\x\\com1.dll\\.", {L"\\\\?\\c:\\x\\com1.dll"}},
    };
    for (const auto& [given, readings] : odd) {
        SCOPED_TRACE(testing_support::Narrow(given));
        const std::wstring read = velmora::FileActedOn(given);
        EXPECT_EQ(velmora::FileActedOn(read), read);
        EXPECT_NE(std::find(readings.begin(), readings.end(), read), readings.end()) << testing_support::Narrow(read);
    }
}

TEST(FileStanding, TheProtectedFilesAreReadOnceMoreWithTheRedirectionOffWhichIsThenPutBack) {
    using velmora::FileStanding;
    auto& kernel32 = tessel::api::kernel32();
    for (const bool turnsOff : {true, false}) {
        SCOPED_TRACE(turnsOff);
        protected_files::ScratchMachine machine;
        const std::wstring listed = machine.dir / L"windows\\system32\\lz32.dll";
        const std::wstring aside = machine.dir / L"lz32.dll.seen-redirected";
        const std::wstring sixtyFour = machine.dir / L"sixty-four.dll";
        testing_support::WriteBytes(sixtyFour, "the file the 64-bit system folder holds under the listed name");
        PVOID const handedOut = reinterpret_cast<PVOID>(0x5eed);
        int disabled = 0;
        std::vector<PVOID> reverted;
        // With the redirection off, the listed path reaches another file, as the 64-bit system
        // folder holds one under the same name; put back, that file is reached by another name.
        ScopedPreset disable(kernel32.Wow64DisableWow64FsRedirection, [&](PVOID* previous) -> BOOL {
            ++disabled;
            if (!turnsOff) return FALSE;
            *previous = handedOut;
            EXPECT_TRUE(::MoveFileW(listed.c_str(), aside.c_str()));
            EXPECT_TRUE(::MoveFileW(sixtyFour.c_str(), listed.c_str()));
            return TRUE;
        });
        ScopedPreset revert(kernel32.Wow64RevertWow64FsRedirection, [&](PVOID previous) -> BOOL {
            reverted.push_back(previous);
            EXPECT_TRUE(::MoveFileW(listed.c_str(), sixtyFour.c_str()));
            EXPECT_TRUE(::MoveFileW(aside.c_str(), listed.c_str()));
            return TRUE;
        });
        // Read anew, as at the start of a disabling sequence.
        velmora::ReadKnownFilesAgain();
        EXPECT_EQ(velmora::StandingOf(sixtyFour) == FileStanding::SystemWhitelist, turnsOff);
        EXPECT_EQ(velmora::StandingOf(listed), FileStanding::SystemWhitelist);
        EXPECT_EQ(disabled, 1);
        EXPECT_EQ(reverted, turnsOff ? std::vector<PVOID>{handedOut} : std::vector<PVOID>{});
    }
}

TEST(CleanUp, NeverTakesAFileTheWhitelistsOrTheProgramItselfNameWhileOtherWindowsFilesGo) {
    using protected_files::Kind;
    Machine m;
    protected_files::ScratchMachine machine;
    // Each time what the protected files are has been read, a whitelisted file is replaced: it is
    // another file then, and still the one the whitelist names.
    auto& kernel32 = tessel::api::kernel32();
    ScopedPreset replace(kernel32.Wow64DisableWow64FsRedirection, [&](PVOID* previous) {
        machine.ReplaceWhitelisted();
        return kernel32.Wow64DisableWow64FsRedirection.Real(previous);
    });
    int n = 0;
    for (const auto& c : machine.cases) {
        const std::wstring id = L"{00000000-0000-0000-0000-0000000001" + std::to_wstring(10 + n++) + L"}";
        m.reg.WriteString(HKEY_LOCAL_MACHINE, kBHOKey + id, L"", L"Case");
        m.source.bhos.push_back({id, c.path});
    }
    m.RunCleanUp();
    // Leaving a file alone is no step that could not be done.
    EXPECT_EQ(m.scripted.boxes, std::vector<std::wstring>{kComplete});
    std::vector<std::string> lines;
    for (const auto& l : m.t.Lines()) lines.push_back(testing_support::Narrow(tessel::SystemUtility::Lower(tessel::text::FromUtf8(l))));
    auto logged = [&](const std::string& what, const std::wstring& path) {
        const std::string line = "5|0|cziraraviz.cleanup|not disabled, part of " + what + ": " +
                                 testing_support::Narrow(tessel::SystemUtility::Lower(path));
        return std::count(lines.begin(), lines.end(), line);
    };
    for (const auto& [kind, path, file] : machine.cases) {
        SCOPED_TRACE(testing_support::Narrow(path));
        const bool kept = kind == Kind::Whitelisted || kind == Kind::ProgramFile;
        const std::wstring own = machine.RecordOf(file);
        if (kind == Kind::WindowsFolder || kind == Kind::Ordinary) {
            EXPECT_FALSE(machine.Exists(own));
        } else if (kind != Kind::Device) {
            EXPECT_TRUE(machine.Untouched(own));
        }
        EXPECT_EQ(logged("windows", path), kind == Kind::Whitelisted ? 1 : 0);
        EXPECT_EQ(logged("velmora", path), kind == Kind::ProgramFile ? 1 : 0);
        EXPECT_EQ(m.reg.ReadValue(HKEY_CURRENT_USER, velmora::kRemovedFilesKey, own).has_value(),
                  !kept && kind != Kind::Device);
    }
}

TEST(CleanUp, ALinkTurnedToTheSystemFolderBeforeTheRetryGetsNoWindowsFileRenamed) {
    Machine m;
    protected_files::ScratchMachine machine;
    process_testing::OnlyOwnChildren only({});
    const std::string bare = testing_support::ReadBytes(testing_support::ProgramFolder() + L"\\fixture_bare.dll");
    const std::wstring system = machine.dir / L"windows\\system32", real = machine.dir / L"Data\\TurnReal";
    const std::wstring windowsFile = system + L"\\alrsvc.dll", parasite = real + L"\\alrsvc.dll";
    ::CreateDirectoryW(real.c_str(), nullptr);
    testing_support::WriteBytes(windowsFile, "Windows' own alrsvc.dll");
    testing_support::WriteBytes(parasite, bare);
    const std::wstring turn = machine.dir / L"Data\\Turn", server = turn + L"\\alrsvc.dll";
    std::optional<testing_support::FolderLink> link;
    link.emplace(real, turn);
    // The hijacker holds its file so that the first rename fails, then turns its link to the system
    // folder and lets the file go before the retry.
    tessel::UniqueFile hold(::CreateFileW(parasite.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(static_cast<bool>(hold));
    int attempts = 0;
    ScopedPreset open(tessel::api::kernel32().CreateFileW,
                      [&](LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                          DWORD flags, HANDLE copyFrom) {
                          if ((access & DELETE) && velmora::FileActedOn(name) == server && ++attempts == 2) {
                              hold.reset();
                              link.reset();
                              link.emplace(system, turn);
                          }
                          return tessel::api::kernel32().CreateFileW.Real(name, access, share, security, disposition,
                                                                          flags, copyFrom);
                      });
    m.reg.WriteString(HKEY_LOCAL_MACHINE, kBHOKey + L"{7}", L"", L"Turn");
    m.source.bhos = {{L"{7}", server}};
    m.RunCleanUp();
    EXPECT_EQ(attempts, 2);
    EXPECT_TRUE(machine.Untouched(windowsFile));
    EXPECT_EQ(testing_support::ReadBytes(windowsFile), "Windows' own alrsvc.dll");
    EXPECT_TRUE(machine.Untouched(parasite));
    EXPECT_FALSE(m.reg.ReadValue(HKEY_CURRENT_USER, velmora::kRemovedFilesKey, server).has_value());
    EXPECT_TRUE(m.t.Has("0|0|CProcessManager.RenameParasiteFile|Not disabled, part of Windows: " + testing_support::Narrow(server)));
    EXPECT_EQ(m.scripted.boxes, std::vector<std::wstring>{L"Cleanup finished, but 1 of its steps could not be done; the "
                                                          L"log lists them. Close all opened documents then press OK "
                                                          L"button to restart Windows. "});
}

// A path through a volume's own name or the root of the system's namespace is a file: disabled
// where the system opens it, and otherwise a step not done, never one with nothing to disable.
TEST(CleanUp, APathThroughAVolumesOwnNameOrTheGlobalRootIsAFileAndOneThatCannotBeDisabledIsCounted) {
    Machine m;
    process_testing::OnlyOwnChildren only({});
    TempDir dir;
    const std::wstring parasite = dir / L"root.dll";
    testing_support::WriteBytes(parasite, testing_support::ReadBytes(testing_support::ProgramFolder() + L"\\fixture_bare.dll"));
    const std::vector<std::wstring> paths = {
        L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\Tools\\p.dll",
        L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume9\\Tools\\p.dll",
        L"\\\\?\\GLOBALROOT\\??\\" + parasite,
        L"\\\\?\\GLOBALROOT\\SystemRoot\\Tools\\p.dll",
        L"\\\\?\\GLOBALROOT\\Device\\Mup\\server\\share\\p.dll",
    };
    // Read as the file they name, in the spelling that reaches it; the native prefix is the same.
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(testing_support::Narrow(path));
        EXPECT_FALSE(tessel::FileAccessor::IsDevicePath(path));
        EXPECT_TRUE(velmora::IsFullyQualifiedFile(path));
        EXPECT_EQ(velmora::FileActedOn(path), path);
        EXPECT_EQ(velmora::FileActedOn(L"\\??\\" + path.substr(4) + L":stream"), path);
        EXPECT_FALSE(velmora::NamesNoFile(path));
        const std::wstring id = L"{G" + std::to_wstring(m.source.bhos.size()) + L"}";
        m.reg.WriteString(HKEY_LOCAL_MACHINE, kBHOKey + id, L"", L"Rooted");
        m.source.bhos.push_back({id, path});
    }
    // What opens as a device is no file.
    EXPECT_TRUE(velmora::NamesNoFile(L"\\\\?\\GLOBALROOT\\Device\\Null"));
    // The parasite reached through the global root is disabled where the system opens that path
    // (Wine 8 does not).
    const bool rootOpens = static_cast<bool>(tessel::UniqueFile(::CreateFileW(
        paths[2].c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr)));
    m.RunCleanUp();
    EXPECT_EQ(tessel::FileAccessor::Instance().FileExists(parasite), !rootOpens);
    EXPECT_EQ(tessel::FileAccessor::Instance().FileExists(velmora::GetParasiteFileName(parasite)), rootOpens);
    const int notDone = static_cast<int>(paths.size()) - (rootOpens ? 1 : 0);
    EXPECT_EQ(m.scripted.boxes, std::vector<std::wstring>{L"Cleanup finished, but " + std::to_wstring(notDone) +
                                                          L" of its steps could not be done; the log lists them. Close all "
                                                          L"opened documents then press OK button to restart Windows. "});
    for (const std::wstring& path : paths) {
        const std::string name = testing_support::Narrow(path);
        EXPECT_EQ(m.t.Has("0|0|CZiRaraviz.CleanUp|Not disabled: " + name), !(rootOpens && path == paths[2])) << name;
        EXPECT_FALSE(m.t.Has("5|0|CProcessManager.RenameParasiteFile|'" + name + "' is not a file: there is nothing to disable."));
    }
}
