// Helpers of the test programs: scratch folders, redirected registry hives, fixture files.
#pragma once
#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "tessel/Api.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/Unique.h"

namespace testing_support {

// A new folder under the temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// The host's path of a file of the test's prefix, as Wine maps it; empty outside Wine.
std::string UnixPath(const std::wstring& windowsPath);
// Waits until the file exists (true) or the time is up (false).
bool WaitForFile(const std::wstring& path, DWORD timeoutMs);
// Starts a host program by its command line through Wine's launching of host programs, which
// gives no process handle: such a program talks to the test through files.
bool StartHostProgram(std::wstring commandLine);

// Another route to a folder or a file of the test's own, as a hijacker may take one: a link (a
// Unix symbolic link, which Wine shows as a plain folder or file, as NTFS shows a junction or a
// file link, and opens as its target) or a drive letter
// (a link in the prefix's dosdevices folder; Wine's subst makes none that opens files). Made and
// removed by the system's own ln and rm; an entry that is there already is never replaced.
class FolderLink {
public:
    // A link at `link` (a Windows path whose folder exists) to the folder or file `target`.
    FolderLink(const std::wstring& target, const std::wstring& link);
    // The first drive letter from P on that is free, made for the folder `target`; Path() is "X:".
    static FolderLink Drive(const std::wstring& target);
    FolderLink(FolderLink&& other) noexcept
        : path_(std::move(other.path_)), unix_(std::move(other.unix_)), claim_(std::move(other.claim_)) {
        other.unix_.clear();
    }
    FolderLink& operator=(FolderLink&&) = delete;
    ~FolderLink();
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    FolderLink() = default;
    std::wstring path_;
    std::string unix_;           // the link's own Unix path; empty when there is none of ours
    tessel::UniqueHandle claim_;  // a drive letter's, held against the other test programs
};

// Every rename the program makes: through the handle a disabling holds (the native rename call)
// and by name (the restore's moves). Each is counted with the path of the file it moves, and
// refused with access denied where `refuse` says so of that path.
class RenameWatch {
public:
    explicit RenameWatch(std::function<bool(const std::wstring&)> refuse = nullptr);
    ~RenameWatch();
    RenameWatch(const RenameWatch&) = delete;
    RenameWatch& operator=(const RenameWatch&) = delete;

    std::vector<std::wstring> renamed, refused;  // the files, in the order their renames came

private:
    bool Pass(const std::wstring& file);
    std::function<bool(const std::wstring&)> refuse_;
};

// Redirects HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT of this process to
// fresh scratch keys, so that a test writes nothing into the prefix's real hives. Undone
// (and the scratch keys removed) at the end.
class ScratchHives {
public:
    ScratchHives();
    ~ScratchHives();
    ScratchHives(const ScratchHives&) = delete;
    ScratchHives& operator=(const ScratchHives&) = delete;
    // Where a redirected hive really lives, under the real HKEY_CURRENT_USER.
    std::wstring RealPath(HKEY hive) const;

private:
    std::wstring root_;
    tessel::UniqueKey cu_, lm_, cr_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
// The folder of the running test program (where the build puts every program and fixture).
std::wstring ProgramFolder();
// The folder of the files that ship (Velmora.exe), beside the test programs' own.
std::wstring DeliverableFolder();
std::string Narrow(const std::wstring& s);  // for failure messages
// A log's lines without their time stamp: "level|number|source|text".
std::vector<std::string> LogLines(const std::wstring& path);
// A registry value of text of the given type, with its terminating NUL.
tessel::RegistryValue TextValue(DWORD type, const std::wstring& text);
std::wstring Repeat(const std::wstring& piece, int times);
void DeleteTree(const std::wstring& path);
// Runs a command line and waits for it; returns its exit code.
DWORD RunAndWait(const std::wstring& commandLine, DWORD timeoutMs = 60000);

// An environment variable of this process set (or removed, for null) while this lives, then put
// back as it was, absent included.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const wchar_t* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::wstring name_, saved_;
    bool had_ = false;
};

// The program's end scripted through the seam: while this lives, ExitProcess keeps its code and
// raises the test-only unwinding instead of ending the test program.
struct ScriptedExit {
    std::vector<UINT> codes;
    tessel::api::ScopedPreset<decltype(tessel::api::kernel32().ExitProcess)> preset{
        tessel::api::kernel32().ExitProcess, [this](UINT code) {
            codes.push_back(code);
            ThrowExit(code);
        }};

private:
    [[noreturn]] static void ThrowExit(UINT code);
};

// Runs `step`; true when it ended the program through a ScriptedExit (the end stops here).
bool EndsProgram(const std::function<void()>& step);

// The system's own way of not making a window, for this thread while this lives: a CBT hook
// refuses every window of the class named (every window at all for null), and the call that
// fails gets no reason of its own from the system.
class RefusedWindows {
public:
    explicit RefusedWindows(const wchar_t* className);
    ~RefusedWindows();
    RefusedWindows(const RefusedWindows&) = delete;
    RefusedWindows& operator=(const RefusedWindows&) = delete;
    bool Installed() const noexcept { return static_cast<bool>(hook_); }

private:
    struct HookTraits {
        using Handle = HHOOK;
        static Handle invalid() noexcept { return nullptr; }
        static void close(Handle h) noexcept { ::UnhookWindowsHookEx(h); }
    };
    tessel::Unique<HookTraits> hook_;
};

// Message boxes answered from a script (Cancel once it runs out), their texts and styles kept.
struct ScriptedBoxes {
    struct Box {
        std::wstring text;
        UINT style;
    };
    std::vector<Box> shown;
    std::deque<int> answers;
    tessel::api::ScopedPreset<decltype(tessel::api::user32().MessageBoxW)> preset{
        tessel::api::user32().MessageBoxW, [this](HWND, LPCWSTR text, LPCWSTR, UINT style) {
            shown.push_back({text, style});
            if (answers.empty()) return IDCANCEL;
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }};
};

}  // namespace testing_support
