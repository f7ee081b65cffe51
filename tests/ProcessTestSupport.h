// Helpers of the process-control tests: fixture processes that the test starts (and is the
// only one to end), fixture libraries under unique names, and the test's log.
#pragma once
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "tessel/Api.h"
#include "tessel/Logger.h"
#include "tessel/Unique.h"

namespace process_testing {

// A process that the test started. Ended (by the test, through its own handle) if it still
// runs when the object goes.
class Child {
public:
    Child() = default;
    explicit Child(const std::wstring& commandLine);
    Child(Child&&) = default;
    Child& operator=(Child&&) = default;
    ~Child();

    bool Started() const { return static_cast<bool>(process_); }
    DWORD Pid() const { return pid_; }
    HANDLE Handle() const { return process_.get(); }
    bool Running() const;
    // Waits for the end; the exit code, or 0xFFFFFFFF when it did not end in time.
    DWORD Wait(DWORD timeoutMs = 30000) const;
    void Kill();

private:
    tessel::UniqueHandle process_;
    DWORD pid_ = 0;
};

std::wstring HolderPath();  // vlm_holder.exe of the build
std::wstring FixtureDllPath();  // vlm_fixture.dll of the build

// Copies the fixture library (or the holder) into the folder under a name no other test uses.
std::wstring CopyFixture(const std::wstring& from, const std::wstring& folder, const std::wstring& stem,
                         const std::wstring& extension);

// Starts the holder in a mode that signals readiness ("load", "lock" or "rewrite") with the
// path (and the mode's further arguments, as they stand on the command line) and waits until it
// is ready; a failure to get ready fails the test.
Child StartHolder(const std::wstring& mode, const std::wstring& path, const std::wstring& holderExe = HolderPath(),
                  const std::wstring& further = L"");

// A running hijacker: a holder of the DLL whose watchdog writes the URL back as the start page of
// the scratch hives' current user every millisecond or so.
Child StartStartPageRewriter(const std::wstring& dll, const testing_support::ScratchHives& hives, const std::wstring& url);

// For the life of the object, TerminateProcess ends only the processes listed in it (the test's
// own children); any other process is refused with error 5 and noted.
class OnlyOwnChildren {
public:
    explicit OnlyOwnChildren(std::set<DWORD> allowed);
    ~OnlyOwnChildren();  // once every late end has come
    OnlyOwnChildren(const OnlyOwnChildren&) = delete;
    OnlyOwnChildren& operator=(const OnlyOwnChildren&) = delete;
    std::vector<DWORD> Terminated;        // every process asked for, in order
    std::vector<ULONGLONG> TerminatedAt;  // the system's tick at each of those requests
    std::vector<DWORD> Refused;
    void Allow(DWORD pid) { allowed_.insert(pid); }
    // From now on a termination succeeds at once and the process ends this much later, as
    // Windows may leave a process running for a while after TerminateProcess has returned.
    void EndLate(DWORD delayMs) { lateMs_ = delayMs; }

private:
    std::set<DWORD> allowed_;
    DWORD lateMs_ = 0;
    std::vector<tessel::UniqueHandle> lateEnds_;
    tessel::api::ScopedPreset<decltype(tessel::api::kernel32().TerminateProcess)> preset_;
};

// The test's log in a folder of its own.
class TestLog {
public:
    TestLog();
    tessel::Logger& Logger() { return log_; }
    std::string Text() const;  // the full log, UTF-8
    const std::wstring& Path() const { return path_; }

private:
    testing_support::TempDir dir_;
    std::wstring path_;
    tessel::Logger log_;
};

// One entry of the full log as it ends a line: level, number, source and text.
std::string Entry(int level, long number, const std::wstring& source, const std::wstring& text);
std::size_t CountOf(const std::string& text, const std::string& piece);

std::wstring Upper(const std::wstring& s);
std::wstring OwnProgramPath();

}  // namespace process_testing
