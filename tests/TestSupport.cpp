#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/SystemUtility.h"
#include "tessel/Text.h"

namespace testing_support {

void ScriptedExit::ThrowExit(UINT code) { throw tessel::api::ExitUnwind{code}; }

bool EndsProgram(const std::function<void()>& step) {
    try {
        step();
    } catch (const tessel::api::ExitUnwind&) {
        return true;
    }
    return false;
}

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const wchar_t* value) : name_(name) {
    const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    had_ = size > 0;
    if (had_) {
        saved_.resize(size);
        saved_.resize(::GetEnvironmentVariableW(name, saved_.data(), size));
    }
    ::SetEnvironmentVariableW(name, value);
}

ScopedEnvironment::~ScopedEnvironment() { ::SetEnvironmentVariableW(name_.c_str(), had_ ? saved_.c_str() : nullptr); }

namespace {
// The hook runs on the thread that installed it: one refusal at a time is all a test needs.
bool g_refusing = false;
std::wstring g_refusedClass;  // empty: every window

LRESULT CALLBACK RefuseWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && g_refusing) {
        const LPCWSTR cls = reinterpret_cast<const CBT_CREATEWNDW*>(lParam)->lpcs->lpszClass;
        if (g_refusedClass.empty() || (!IS_INTRESOURCE(cls) && ::lstrcmpiW(cls, g_refusedClass.c_str()) == 0))
            return 1;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

RefusedWindows::RefusedWindows(const wchar_t* className)
    : hook_(::SetWindowsHookExW(WH_CBT, &RefuseWindow, nullptr, ::GetCurrentThreadId())) {
    g_refusedClass = className ? className : L"";
    g_refusing = true;
}

RefusedWindows::~RefusedWindows() { g_refusing = false; }

TempDir::TempDir() {
    auto& su = tessel::SystemUtility::Instance();
    path_ = su.TempFolder() + L"vlmr-test-" + su.NewId();
    if (!::CreateDirectoryW(path_.c_str(), nullptr)) ADD_FAILURE() << "cannot create " << Narrow(path_);
}

TempDir::~TempDir() { DeleteTree(path_); }

void DeleteTree(const std::wstring& path) {
    WIN32_FIND_DATAW fd;
    tessel::UniqueFind find(::FindFirstFileW((path + L"\\*").c_str(), &fd));
    if (find) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            const std::wstring longChild = tessel::FileAccessor::ExtendedPath(child);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(child);
            } else {
                ::SetFileAttributesW(longChild.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(longChild.c_str());
            }
        } while (::FindNextFileW(find.get(), &fd));
    }
    find.reset();
    ::RemoveDirectoryW(tessel::FileAccessor::ExtendedPath(path).c_str());
}

std::string UnixPath(const std::wstring& windowsPath) {
    using Fn = char*(CDECL*)(LPCWSTR);
    static const auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!fn) return {};
    const tessel::UniqueHeapBlock p(fn(windowsPath.c_str()));
    if (!p) return {};
    return std::string(static_cast<const char*>(p.get()));
}

bool WaitForFile(const std::wstring& path, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(20);
    }
    return true;
}

bool StartHostProgram(std::wstring commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    // Wine gives none for a host program; should one come, it is closed.
    const tessel::UniqueHandle process(pi.hProcess), thread(pi.hThread);
    return true;
}

namespace {

// A Unix path as the shell reads it between single quotation marks.
std::string Quoted(const std::string& path) {
    std::string quoted = "'";
    for (const char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs one Unix command through the system's shell, started through Wine, which hands a Unix
// program no handle to wait on: the script says when it is done, and how it ended, in a file of
// its own. A command not done within half a minute fails the test, and may still run.
enum class Ran { Succeeded, Failed, NotDone };
Ran RunUnix(const std::string& command) {
    auto& su = tessel::SystemUtility::Instance();
    const std::wstring folder = su.TempFolder(), name = L"vlmr-unix-" + su.NewId();
    const std::string unixFolder = UnixPath(folder);
    if (unixFolder.empty()) {
        ADD_FAILURE() << "no Unix path for " << Narrow(folder);
        return Ran::Failed;
    }
    const std::string done = unixFolder + "/" + Narrow(name) + ".done";
    WriteBytes(folder + name + L".sh",
               command + "\necho $? >" + Quoted(done + ".t") + " && mv " + Quoted(done + ".t") + " " + Quoted(done) + "\n");
    const bool finished =
        StartHostProgram(L"/bin/sh \"" + tessel::text::FromUtf8(unixFolder + "/" + Narrow(name) + ".sh") + L"\"") &&
        WaitForFile(folder + name + L".done", 30000);
    EXPECT_TRUE(finished) << "the shell did not run: " << command;
    if (!finished) return Ran::NotDone;  // its script stays for it
    const bool ok = ReadBytes(folder + name + L".done").rfind("0\n", 0) == 0;
    ::DeleteFileW((folder + name + L".sh").c_str());
    ::DeleteFileW((folder + name + L".done").c_str());
    return ok ? Ran::Succeeded : Ran::Failed;
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    const auto first = tessel::FileAccessor::Identity(a), second = tessel::FileAccessor::Identity(b);
    return first && second && tessel::SameFile(*first, *second);
}

}  // namespace

FolderLink::FolderLink(const std::wstring& target, const std::wstring& link) : path_(link) {
    const std::size_t slash = link.find_last_of(L'\\');
    const std::string folder = UnixPath(link.substr(0, slash)), to = UnixPath(target);
    if (folder.empty() || to.empty()) {
        ADD_FAILURE() << "no Unix path for " << Narrow(link) << " or " << Narrow(target);
        return;
    }
    const std::string unix = folder + "/" + tessel::text::ToUtf8(link.substr(slash + 1));
    const Ran made = RunUnix("ln -sn " + Quoted(to) + " " + Quoted(unix));
    // One that may still come is removed at the end all the same.
    if (made != Ran::Failed) unix_ = unix;
    if (made != Ran::Succeeded) {
        ADD_FAILURE() << "no folder link " << Narrow(link);
        return;
    }
    EXPECT_TRUE(SameFolder(link, target)) << "the link " << Narrow(link) << " reaches another folder";
}

FolderLink FolderLink::Drive(const std::wstring& target) {
    FolderLink drive;
    std::string devices = UnixPath(L"C:\\");  // ".../dosdevices/c:/"
    const std::size_t cut = devices.rfind("c:");
    const std::string to = UnixPath(target);
    if (cut == std::string::npos || to.empty()) {
        ADD_FAILURE() << "no dosdevices folder in " << devices << " or no Unix path for " << Narrow(target);
        return drive;
    }
    devices.resize(cut);
    for (wchar_t letter = L'P'; letter <= L'Y'; ++letter) {
        // The test programs that run at once in the prefix take a letter each: its claim is held
        // for as long as the drive is there.
        tessel::UniqueHandle claim(::CreateMutexW(nullptr, FALSE, (L"vlmr-test-drive-" + std::wstring(1, letter)).c_str()));
        if (!claim || ::GetLastError() == ERROR_ALREADY_EXISTS) continue;
        // A letter that is there already, the prefix's own or one a test could not remove, is
        // never replaced: ln fails on it.
        const std::string unix = devices + static_cast<char>(letter - L'A' + 'a') + ":";
        const Ran made = RunUnix("ln -sn " + Quoted(to) + " " + Quoted(unix));
        if (made == Ran::Failed) continue;
        drive.path_ = std::wstring(1, letter) + L":";
        drive.unix_ = unix;
        drive.claim_ = std::move(claim);
        EXPECT_TRUE(SameFolder(drive.path_ + L"\\", target)) << "the drive " << Narrow(drive.path_) << " reaches another folder";
        return drive;
    }
    ADD_FAILURE() << "no free drive letter for " << Narrow(target);
    return drive;
}

FolderLink::~FolderLink() {
    if (unix_.empty()) return;
    EXPECT_EQ(RunUnix("rm -f " + Quoted(unix_)), Ran::Succeeded) << "the link " << Narrow(path_) << " stays";
}

namespace {

// The path of the file an open handle holds, without the "\\?\" prefix; empty where it has none.
std::wstring PathOfHandle(HANDLE file) {
    std::vector<wchar_t> buffer(32768, L'\0');
    const DWORD n = ::GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (n == 0 || n >= buffer.size()) return {};
    const std::wstring path(buffer.data(), n);
    return path.rfind(L"\\\\?\\", 0) == 0 ? path.substr(4) : path;
}

}  // namespace

RenameWatch::RenameWatch(std::function<bool(const std::wstring&)> refuse) : refuse_(std::move(refuse)) {
    auto& kernel32 = tessel::api::kernel32();
    tessel::api::ntdll().NtSetInformationFile.Preset(
        [this](HANDLE file, tessel::api::IoStatusBlock* io, PVOID info, ULONG length, int kind) -> LONG {
            constexpr int kFileRenameInformation = 10;
            constexpr LONG kAccessDenied = static_cast<LONG>(0xC0000022);
            if (kind == kFileRenameInformation && !Pass(PathOfHandle(file))) return kAccessDenied;
            return tessel::api::ntdll().NtSetInformationFile.Real(file, io, info, length, kind);
        });
    kernel32.MoveFileW.Preset([this](LPCWSTR from, LPCWSTR to) -> BOOL {
        if (!Pass(from)) return ::SetLastError(ERROR_ACCESS_DENIED), FALSE;
        return tessel::api::kernel32().MoveFileW.Real(from, to);
    });
    kernel32.MoveFileExW.Preset([this](LPCWSTR from, LPCWSTR to, DWORD flags) -> BOOL {
        if (!Pass(from)) return ::SetLastError(ERROR_ACCESS_DENIED), FALSE;
        return tessel::api::kernel32().MoveFileExW.Real(from, to, flags);
    });
}

RenameWatch::~RenameWatch() {
    tessel::api::ntdll().NtSetInformationFile.Reset();
    tessel::api::kernel32().MoveFileW.Reset();
    tessel::api::kernel32().MoveFileExW.Reset();
}

bool RenameWatch::Pass(const std::wstring& file) {
    renamed.push_back(file);
    if (!refuse_ || !refuse_(file)) return true;
    refused.push_back(file);
    return false;
}

ScratchHives::ScratchHives() {
    root_ = L"Software\\VelmoraTests\\" + tessel::SystemUtility::Instance().NewId();
    auto make = [&](const wchar_t* name, tessel::UniqueKey& key) {
        const std::wstring path = root_ + L"\\" + name;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.put(), nullptr) != ERROR_SUCCESS)
            ADD_FAILURE() << "cannot create scratch key";
        return path;
    };
    make(L"HKLM", lm_);
    make(L"HKCR", cr_);
    make(L"HKCU", cu_);
    // HKEY_CURRENT_USER last: the others were made under the real one.
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, lm_.get());
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, cr_.get());
    ::RegOverridePredefKey(HKEY_CURRENT_USER, cu_.get());
}

ScratchHives::~ScratchHives() {
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    cu_.reset();
    lm_.reset();
    cr_.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str());
}

std::wstring ScratchHives::RealPath(HKEY hive) const {
    return root_ + (hive == HKEY_LOCAL_MACHINE ? L"\\HKLM" : hive == HKEY_CLASSES_ROOT ? L"\\HKCR" : L"\\HKCU");
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    tessel::FileAccessor::Instance().WriteFile(path, bytes);
}

std::string ReadBytes(const std::wstring& path) { return tessel::FileAccessor::Instance().ReadFile(path); }

std::wstring ProgramFolder() {
    wchar_t buf[MAX_PATH * 4];
    const DWORD n = ::GetModuleFileNameW(nullptr, buf, MAX_PATH * 4);
    std::wstring p(buf, n);
    return p.substr(0, p.find_last_of(L'\\'));
}

std::wstring DeliverableFolder() { return ProgramFolder() + L"\\" VLMR_DIST_FROM_TESTS; }

std::string Narrow(const std::wstring& s) { return tessel::text::ToUtf8(s); }

std::vector<std::string> LogLines(const std::wstring& path) {
    const std::string text = ReadBytes(path);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find("\r\n", start);
        std::string line = text.substr(start, end - start);
        line = line.substr(line.find('\t') + 1);
        for (auto& c : line)
            if (c == '\t') c = '|';
        lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return lines;
}

tessel::RegistryValue TextValue(DWORD type, const std::wstring& text) {
    tessel::RegistryValue v{type, std::vector<std::uint8_t>((text.size() + 1) * 2, 0)};
    std::memcpy(v.data.data(), text.data(), text.size() * 2);
    return v;
}

std::wstring Repeat(const std::wstring& piece, int times) {
    std::wstring out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

DWORD RunAndWait(const std::wstring& commandLine, DWORD timeoutMs) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring cl = commandLine;
    if (!::CreateProcessW(nullptr, cl.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start: " << tessel::text::ToUtf8(commandLine);
        return 0xFFFFFFFF;
    }
    tessel::UniqueHandle process(pi.hProcess), thread(pi.hThread);
    DWORD code = 0xFFFFFFFF;
    if (::WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "timed out: " << tessel::text::ToUtf8(commandLine);
        ::TerminateProcess(pi.hProcess, 1);  // our own child
        return code;
    }
    ::GetExitCodeProcess(pi.hProcess, &code);
    return code;
}

}  // namespace testing_support
