// Terminating the processes that hold given files: real holder processes started by the test
// (the only processes any of these tests may end), and scripted failures.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "ProcessTestSupport.h"
#include "TestSupport.h"
#include "inspection/EndProgram.h"
#include "inspection/Globals.h"
#include "inspection/ProcessManager.h"
#include "tessel/Api.h"
#include "tessel/FileAccessor.h"
#include "tessel/SystemUtility.h"
#include "tessel/Unique.h"

using namespace velmora;
using namespace process_testing;
using tessel::api::kernel32;
using tessel::api::psapi;
using tessel::api::ScopedPreset;
using testing_support::TempDir;

namespace {

const std::wstring kTerminator = L"CProcessManager.MyTerminateProcess";
const std::wstring kOwnMessage =
    L"Operation complete; terminating. Please reboot Windows and restart Velmora to see whether no more parasites "
    L"found. ";

std::string Terminated(DWORD pid) {
    return Entry(5, 0, kTerminator, L"Process for file '" + std::to_wstring(pid) + L"' terminated successfully. ");
}

tessel::KeyedList<std::wstring> ListOf(std::initializer_list<std::wstring> paths) {
    tessel::KeyedList<std::wstring> list;
    for (const auto& p : paths) list.Add(p, p);
    return list;
}

class Termination : public testing::Test {
protected:
    void SetUp() override {
        savedNT_ = RunningOnNT;
        RunningOnNT = true;
        manager.Init(log.Logger());
    }
    void TearDown() override { RunningOnNT = savedNT_; }

    std::wstring NewDll(const std::wstring& stem = L"vlm_held") {
        return CopyFixture(FixtureDllPath(), dir.Path(), stem, L".dll");
    }

    TempDir dir;
    TestLog log;
    CProcessManager manager;

private:
    bool savedNT_ = false;
};

// Records every OpenProcess, passing it through.
struct OpenRecorder {
    std::vector<std::pair<DWORD, DWORD>> calls;  // access, id
    ScopedPreset<decltype(kernel32().OpenProcess)> preset{kernel32().OpenProcess, [this](DWORD a, BOOL i, DWORD id) {
        calls.emplace_back(a, id);
        return kernel32().OpenProcess.Real(a, i, id);
    }};
    std::vector<DWORD> AccessFor(DWORD id) const {
        std::vector<DWORD> out;
        for (const auto& c : calls)
            if (c.second == id) out.push_back(c.first);
        return out;
    }
};

}  // namespace

TEST_F(Termination, AHolderOfTheFileEndsWhateverTheLetterCaseOfThePath) {
    const std::wstring dll = NewDll();
    Child holder = StartHolder(L"load", dll);
    Child bystander = StartHolder(L"load", NewDll(L"vlm_other"));
    OnlyOwnChildren guard({holder.Pid()});
    OpenRecorder opens;
    manager.TerminateProcessesByModule(Upper(dll), false);
    EXPECT_EQ(holder.Wait(10000), 0u);
    EXPECT_TRUE(bystander.Running());
    EXPECT_EQ(guard.Terminated, std::vector<DWORD>{holder.Pid()});
    const std::string text = log.Text();
    EXPECT_EQ(CountOf(text, "\r\n"), 1u) << text;
    EXPECT_NE(text.find(Terminated(holder.Pid())), std::string::npos) << text;
    // The holder is terminated through the handle of the walk: it is never opened again by its id.
    EXPECT_EQ(opens.AccessFor(holder.Pid()), std::vector<DWORD>{0x1F0FFF});
}

TEST_F(Termination, AProcessHoldingSeveralListedFilesEndsOnceAndItsExecutableCounts) {
    const std::wstring exeA = CopyFixture(HolderPath(), dir.Path(), L"vlm_holder", L".exe");
    const std::wstring exeB = CopyFixture(HolderPath(), dir.Path(), L"vlm_holder", L".exe");
    const std::wstring dllA = NewDll(), dllB = NewDll();
    Child a = StartHolder(L"load", dllA, exeA);
    Child b = StartHolder(L"load", dllB, exeB);  // holds only its listed executable
    OnlyOwnChildren guard({a.Pid(), b.Pid()});
    manager.TerminateProcessesByModules(ListOf({dllA, exeA, exeB}), false);
    EXPECT_EQ(a.Wait(10000), 0u);
    EXPECT_EQ(b.Wait(10000), 0u);
    const std::string text = log.Text();
    EXPECT_EQ(CountOf(text, Terminated(a.Pid())), 1u) << text;
    EXPECT_EQ(CountOf(text, Terminated(b.Pid())), 1u) << text;
    EXPECT_EQ(CountOf(text, "\r\n"), 2u) << text;
    EXPECT_TRUE(guard.Refused.empty());
}

TEST_F(Termination, AFailedTerminationIsLoggedAndTheWalkGoesOn) {
    const std::wstring dll = NewDll();
    Child first = StartHolder(L"load", dll);
    Child second = StartHolder(L"load", dll);
    std::vector<DWORD> asked;
    ScopedPreset refuse(kernel32().TerminateProcess, [&](HANDLE process, UINT) -> BOOL {
        asked.push_back(::GetProcessId(process));
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    });
    manager.TerminateProcessesByModules(ListOf({dll}), false);
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(second.Running());
    ASSERT_EQ(asked.size(), 2u);
    const std::string text = log.Text();
    for (DWORD pid : {first.Pid(), second.Pid()})
        EXPECT_NE(text.find(Entry(0, -2147467259, kTerminator,
                                  L"Cannot terminate process for file '" + std::to_wstring(pid) + L"'. 5")),
                  std::string::npos)
            << text;
    EXPECT_EQ(CountOf(text, "\r\n"), 2u) << text;
}

TEST_F(Termination, AnEmptyListExaminesNoProcess) {
    int opened = 0, listed = 0;
    ScopedPreset open(kernel32().OpenProcess, [&](DWORD, BOOL, DWORD) -> HANDLE {
        ++opened;
        return nullptr;
    });
    ScopedPreset ids(psapi().EnumProcesses, [&](DWORD*, DWORD, DWORD*) {
        ++listed;
        return FALSE;
    });
    manager.TerminateProcessesByModules(tessel::KeyedList<std::wstring>(), true);
    RunningOnNT = false;
    manager.TerminateProcessesByModules(tessel::KeyedList<std::wstring>(), true);
    EXPECT_EQ(opened + listed, 0);
    EXPECT_EQ(log.Text(), "");
}

TEST_F(Termination, TheOwnProcessIsSparedUnlessAsked) {
    const std::wstring dll = NewDll();
    const tessel::UniqueModule mine(::LoadLibraryW(dll.c_str()));  // this process holds the module too
    ASSERT_TRUE(mine);
    Child holder = StartHolder(L"load", dll);
    OnlyOwnChildren guard({holder.Pid()});
    int messages = 0;
    ScopedPreset box(tessel::api::user32().MessageBoxW, [&](HWND, LPCWSTR, LPCWSTR, UINT) {
        ++messages;
        return IDOK;
    });
    manager.TerminateProcessesByModules(ListOf({dll}), false);
    EXPECT_EQ(holder.Wait(10000), 0u);
    EXPECT_EQ(messages, 0);
    EXPECT_EQ(guard.Terminated, std::vector<DWORD>{holder.Pid()});
    const std::string text = log.Text();
    EXPECT_EQ(text.find("my:"), std::string::npos) << text;
    const std::string ownLabel = std::string("'") + std::to_string(::GetCurrentProcessId()) + "'";
    EXPECT_EQ(text.find(ownLabel), std::string::npos) << text;
}

TEST_F(Termination, WhenAskedTheOwnProcessComesLastAfterTheMessage) {
    const std::wstring dll = NewDll();
    const tessel::UniqueModule mine(::LoadLibraryW(dll.c_str()));  // this process holds the module too
    ASSERT_TRUE(mine);
    Child holder = StartHolder(L"load", dll);
    const DWORD own = ::GetCurrentProcessId();
    // The test process refuses its own termination (error 5), so that the call comes back.
    OnlyOwnChildren guard({holder.Pid()});
    std::vector<std::wstring> events;
    ScopedPreset box(tessel::api::user32().MessageBoxW, [&](HWND, LPCWSTR text, LPCWSTR title, UINT style) {
        events.push_back(L"message " + std::to_wstring(style) + L" " + title + L"|" + text);
        EXPECT_EQ(guard.Terminated, std::vector<DWORD>{holder.Pid()}) << "the others end first";
        return IDCANCEL;  // the answer is not used
    });
    manager.TerminateProcessesByModules(ListOf({Upper(dll)}), true);
    EXPECT_EQ(holder.Wait(10000), 0u);
    EXPECT_EQ(events, std::vector<std::wstring>{L"message 64 Velmora|" + kOwnMessage});
    EXPECT_EQ(guard.Terminated, (std::vector<DWORD>{holder.Pid(), own}));
    const std::string text = log.Text();
    EXPECT_NE(text.find(Terminated(holder.Pid())), std::string::npos) << text;
    EXPECT_NE(text.find(Entry(0, -2147467259, kTerminator,
                              L"Cannot terminate process for file 'my:" + std::to_wstring(own) + L"'. 5")),
              std::string::npos)
        << text;
    EXPECT_LT(text.find(Terminated(holder.Pid())), text.find("my:"));
}

TEST_F(Termination, TheOwnProcessThatCannotBeOpenedGetsNoMessage) {
    const std::wstring dll = NewDll();
    const tessel::UniqueModule mine(::LoadLibraryW(dll.c_str()));  // this process holds the module too
    ASSERT_TRUE(mine);
    const DWORD own = ::GetCurrentProcessId();
    int ownOpens = 0, messages = 0;
    ScopedPreset open(kernel32().OpenProcess, [&](DWORD a, BOOL i, DWORD id) -> HANDLE {
        if (id == own && ++ownOpens == 2) return nullptr;  // the walk sees it, the termination cannot
        return kernel32().OpenProcess.Real(a, i, id);
    });
    ScopedPreset box(tessel::api::user32().MessageBoxW, [&](HWND, LPCWSTR, LPCWSTR, UINT) {
        ++messages;
        return IDOK;
    });
    OnlyOwnChildren guard({});
    manager.TerminateProcessesByModules(ListOf({dll}), true);
    EXPECT_EQ(ownOpens, 2);
    EXPECT_EQ(messages, 0);
    EXPECT_TRUE(guard.Terminated.empty());
    EXPECT_EQ(log.Text(), "");
}

TEST_F(Termination, AChildThatAsksForItsOwnTerminationEndsWithoutGoingOn) {
    const std::wstring dll = NewDll();
    Child other = StartHolder(L"load", dll);
    const std::wstring childLog = dir / L"child.log", marker = dir / L"marker.txt";
    Child self(L"\"" + HolderPath() + L"\" self \"" + dll + L"\" \"" + childLog + L"\" \"" + marker + L"\"");
    ASSERT_TRUE(self.Started());
    EXPECT_EQ(self.Wait(30000), 0u);  // ended by its own termination, exit code 0
    EXPECT_EQ(other.Wait(10000), 0u);
    const std::string written = testing_support::ReadBytes(marker);
    EXPECT_EQ(written, testing_support::Narrow(L"message 64 Velmora|" + kOwnMessage) + "\n");  // and never "returned"
    const std::string text = tessel::FileAccessor::Instance().ReadFile(childLog);
    EXPECT_NE(text.find(Terminated(other.Pid())), std::string::npos) << text;
    EXPECT_EQ(text.find("my:"), std::string::npos) << text;
    EXPECT_EQ(CountOf(text, "\r\n"), 1u) << text;
}

TEST_F(Termination, OnThe9xFamilyHoldersAreFoundInTheSnapshots) {
    RunningOnNT = false;
    const std::wstring dll = NewDll();
    Child holder = StartHolder(L"load", dll);
    Child bystander = StartHolder(L"load", NewDll(L"vlm_other"));
    OnlyOwnChildren guard({holder.Pid()});
    int psapiCalls = 0;
    ScopedPreset ids(psapi().EnumProcesses, [&](DWORD* b, DWORD cb, DWORD* r) {
        ++psapiCalls;
        return psapi().EnumProcesses.Real(b, cb, r);
    });
    manager.TerminateProcessesByModules(ListOf({Upper(dll)}), false);
    EXPECT_EQ(holder.Wait(10000), 0u);
    EXPECT_TRUE(bystander.Running());
    EXPECT_EQ(psapiCalls, 0);
    EXPECT_EQ(guard.Terminated, std::vector<DWORD>{holder.Pid()});
    EXPECT_NE(log.Text().find(Terminated(holder.Pid())), std::string::npos) << log.Text();
}

TEST_F(Termination, OnThe9xFamilyAnIdThatNoLongerShowsTheSameImageIsLeftAlone) {
    RunningOnNT = false;
    const std::wstring dll = NewDll();
    Child holder = StartHolder(L"load", dll);
    OnlyOwnChildren guard({holder.Pid()});
    // The second process snapshot (the check before terminating) shows another program under the id.
    int processSnapshots = 0;
    ScopedPreset snap(kernel32().CreateToolhelp32Snapshot, [&](DWORD flags, DWORD id) {
        if (flags & TH32CS_SNAPPROCESS) ++processSnapshots;
        return kernel32().CreateToolhelp32Snapshot.Real(flags, id);
    });
    auto disguise = [&](LPPROCESSENTRY32 e, BOOL ok) {
        if (ok && processSnapshots == 2 && e->th32ProcessID == holder.Pid()) lstrcpyA(e->szExeFile, "impostor.exe");
        return ok;
    };
    ScopedPreset first(kernel32().Process32First,
                       [&](HANDLE s, LPPROCESSENTRY32 e) { return disguise(e, kernel32().Process32First.Real(s, e)); });
    ScopedPreset next(kernel32().Process32Next,
                      [&](HANDLE s, LPPROCESSENTRY32 e) { return disguise(e, kernel32().Process32Next.Real(s, e)); });
    manager.TerminateProcessesByModules(ListOf({dll}), false);
    EXPECT_EQ(processSnapshots, 2);
    EXPECT_TRUE(holder.Running());
    EXPECT_TRUE(guard.Terminated.empty());
    EXPECT_EQ(log.Text(), "");
}

TEST_F(Termination, AProcessListThatCannotBeTakenEndsNothingAndIsAnErrorOnBothFamilies) {
    const std::wstring dll = NewDll();
    Child holder = StartHolder(L"load", dll);
    OnlyOwnChildren guard({holder.Pid()});
    for (const bool nt : {true, false}) {
        SCOPED_TRACE(nt);
        RunningOnNT = nt;
        // What the systems answer: no list, and the reason in the last error.
        ScopedPreset ids(psapi().EnumProcesses, [](DWORD*, DWORD, DWORD*) -> BOOL {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        });
        ScopedPreset none(kernel32().CreateToolhelp32Snapshot, [](DWORD, DWORD) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        });
        // An empty list would pass for "nothing holds the files".
        EXPECT_THROW(manager.TerminateProcessesByModules(ListOf({dll}), true), tessel::Error);
        EXPECT_TRUE(holder.Running());
        EXPECT_TRUE(guard.Terminated.empty());
    }
}

TEST(EndProgram, EndsTheProcessThroughExitProcess) {
    testing_support::ScriptedExit exit;
    EXPECT_TRUE(testing_support::EndsProgram([] { EndProgram(); }));
    EXPECT_EQ(exit.codes, std::vector<UINT>{0});
}

TEST(EndProgram, ARealProgramEndsAtOnce) {
    TempDir dir;
    const std::wstring marker = dir / L"marker.txt";
    Child child(L"\"" + HolderPath() + L"\" end \"" + marker + L"\"");
    ASSERT_TRUE(child.Started());
    EXPECT_EQ(child.Wait(30000), 0u);
    EXPECT_EQ(testing_support::ReadBytes(marker), "before\n");
}
