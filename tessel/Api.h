// The platform seam: every Win32 function that the engine's documented steps call is reached
// through one of these tables, bound by name at its first call. A test may preset an entry
// with its own function and reset it afterwards; the product never presets anything.
#pragma once
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <shellapi.h>
#include <functional>
#include <utility>

#include "tessel/Error.h"

namespace tessel::api {

class Library {
public:
    explicit Library(const wchar_t* name) : name_(name) {}
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    // Loads the library on first use; raises a clear error when it or the function is missing.
    FARPROC Proc(const char* function);
    // The same, but a function the library lacks (an older Windows) is nullptr, not an error.
    FARPROC Find(const char* function);
    const wchar_t* Name() const { return name_; }

private:
    const wchar_t* name_;
    HMODULE module_ = nullptr;
};

template <class R, class... A>
class Fn {
public:
    using Ptr = R(WINAPI*)(A...);
    using Fake = std::function<R(A...)>;

    Fn(Library& lib, const char* name) : lib_(lib), name_(name) {}
    // Where an older Windows lacks the function, calls go to the fallback instead.
    Fn(Library& lib, const char* name, Ptr fallback) : lib_(lib), name_(name), fallback_(fallback) {}
    Fn(const Fn&) = delete;
    Fn& operator=(const Fn&) = delete;

    R operator()(A... a) {
        if (fake_) return fake_(a...);
        return Real(a...);
    }
    // The bound platform function itself, for a preset that wants to pass a call through.
    R Real(A... a) {
        if (!ptr_) {
            const FARPROC proc = fallback_ ? lib_.Find(name_) : lib_.Proc(name_);
            ptr_ = proc ? reinterpret_cast<Ptr>(reinterpret_cast<void*>(proc)) : fallback_;
        }
        return ptr_(a...);
    }
    void Preset(Fake fake) { fake_ = std::move(fake); }
    void Reset() { fake_ = nullptr; }
    bool IsPreset() const { return static_cast<bool>(fake_); }
    const char* Name() const { return name_; }

private:
    Library& lib_;
    const char* name_;
    Ptr fallback_ = nullptr;
    Ptr ptr_ = nullptr;
    Fake fake_;
};

// A preset of a function that never returns (ExitProcess) throws ExitUnwind (tessel/Error.h)
// instead, so that a test sees the program end without ending.

// The 64-bit tick count from the 32-bit one, for Windows before Vista, which lacks
// GetTickCount64. `last` is the previous widened reading (0: none yet). A count that moved on
// by less than half the 32-bit range, across its wrap every 49.7 days or not, adds to `last`;
// one that seems to move further is a late reading of another thread and gives `last` again.
// Sound while the count is read at least every 24 days; laps before the first reading cannot
// be known.
ULONGLONG WidenTickCount(ULONGLONG last, DWORD now);
ULONGLONG WINAPI TickCount64BeforeVista();
BOOL WINAPI NoFsRedirectionToTurnOff(PVOID* previous);
BOOL WINAPI NoFsRedirectionToRevert(PVOID previous);
DWORD WINAPI NoFinalPathName(HANDLE file, LPWSTR buffer, DWORD size, DWORD flags);
HANDLE WINAPI NoReOpenFile(HANDLE file, DWORD access, DWORD share, DWORD flags);
BOOL WINAPI NoWow64Process(HANDLE process, PBOOL wow64);

struct Kernel32 {
    Library lib{L"kernel32.dll"};
    Fn<void, UINT> ExitProcess{lib, "ExitProcess"};
    Fn<DWORD> GetVersion{lib, "GetVersion"};
    Fn<BOOL, LPOSVERSIONINFOW> GetVersionExW{lib, "GetVersionExW"};
    Fn<DWORD> GetTickCount{lib, "GetTickCount"};
    Fn<void, DWORD> Sleep{lib, "Sleep"};
    Fn<ULONGLONG> GetTickCount64{lib, "GetTickCount64", &TickCount64BeforeVista};
    Fn<void, LPFILETIME> GetSystemTimeAsFileTime{lib, "GetSystemTimeAsFileTime"};
    Fn<void, LPSYSTEMTIME> GetLocalTime{lib, "GetLocalTime"};
    Fn<BOOL, const TIME_ZONE_INFORMATION*, const SYSTEMTIME*, LPSYSTEMTIME>
        SystemTimeToTzSpecificLocalTime{lib, "SystemTimeToTzSpecificLocalTime"};
    Fn<HANDLE, DWORD, BOOL, DWORD> OpenProcess{lib, "OpenProcess"};
    Fn<BOOL, HANDLE> CloseHandle{lib, "CloseHandle"};
    Fn<BOOL, HANDLE, UINT> TerminateProcess{lib, "TerminateProcess"};
    Fn<DWORD> GetCurrentProcessId{lib, "GetCurrentProcessId"};
    Fn<HANDLE> GetCurrentProcess{lib, "GetCurrentProcess"};
    Fn<HANDLE, DWORD, DWORD> CreateToolhelp32Snapshot{lib, "CreateToolhelp32Snapshot"};
    Fn<BOOL, HANDLE, LPPROCESSENTRY32> Process32First{lib, "Process32First"};
    Fn<BOOL, HANDLE, LPPROCESSENTRY32> Process32Next{lib, "Process32Next"};
    Fn<BOOL, HANDLE, LPMODULEENTRY32> Module32First{lib, "Module32First"};
    Fn<BOOL, HANDLE, LPMODULEENTRY32> Module32Next{lib, "Module32Next"};
    // The open of a file to be disabled: a test sees each attempt.
    Fn<HANDLE, LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE> CreateFileW{lib, "CreateFileW"};
    Fn<BOOL, LPCWSTR, DWORD> SetFileAttributesW{lib, "SetFileAttributesW"};
    Fn<BOOL, LPCSTR, DWORD> SetFileAttributesA{lib, "SetFileAttributesA"};
    Fn<BOOL, LPCWSTR> DeleteFileW{lib, "DeleteFileW"};
    Fn<BOOL, LPCSTR> DeleteFileA{lib, "DeleteFileA"};
    Fn<BOOL, LPCWSTR, LPCWSTR> MoveFileW{lib, "MoveFileW"};
    Fn<BOOL, LPCSTR, LPCSTR> MoveFileA{lib, "MoveFileA"};
    Fn<BOOL, LPCWSTR, LPCWSTR, DWORD> MoveFileExW{lib, "MoveFileExW"};
    Fn<BOOL, LPCWSTR, LPCWSTR, BOOL> CopyFileW{lib, "CopyFileW"};
    Fn<HANDLE, LPCSTR, LPWIN32_FIND_DATAA> FindFirstFileA{lib, "FindFirstFileA"};
    Fn<HANDLE, LPCWSTR, LPWIN32_FIND_DATAW> FindFirstFileW{lib, "FindFirstFileW"};
    Fn<BOOL, HANDLE> FindClose{lib, "FindClose"};
    Fn<BOOL, LPCWSTR, GET_FILEEX_INFO_LEVELS, LPVOID> GetFileAttributesExW{lib, "GetFileAttributesExW"};
    Fn<DWORD, LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPWSTR, LPWSTR*> SearchPathW{lib, "SearchPathW"};
    Fn<DWORD, LPCSTR, LPCSTR, LPCSTR, DWORD, LPSTR, LPSTR*> SearchPathA{lib, "SearchPathA"};
    Fn<DWORD, LPCWSTR, LPWSTR, DWORD> GetLongPathNameW{lib, "GetLongPathNameW"};
    // The file-system redirection of a 32-bit program on 64-bit Windows. 32-bit XP has neither
    // function nor any redirection: there the fallbacks say that nothing was turned off.
    Fn<BOOL, PVOID*> Wow64DisableWow64FsRedirection{lib, "Wow64DisableWow64FsRedirection", &NoFsRedirectionToTurnOff};
    Fn<BOOL, PVOID> Wow64RevertWow64FsRedirection{lib, "Wow64RevertWow64FsRedirection", &NoFsRedirectionToRevert};
    // The path of the file an open handle holds, every link resolved. Windows before Vista lacks
    // it: there the fallback says so, and the caller asks the native call instead.
    Fn<DWORD, HANDLE, LPWSTR, DWORD, DWORD> GetFinalPathNameByHandleW{lib, "GetFinalPathNameByHandleW", &NoFinalPathName};
    // A second handle to the file an open one holds, with other access, reaching it by no path.
    // XP lacks it: there the fallback opens nothing.
    Fn<HANDLE, HANDLE, DWORD, DWORD, DWORD> ReOpenFile{lib, "ReOpenFile", &NoReOpenFile};
    // Whether a 32-bit program runs on 64-bit Windows; XP before its second service pack lacks
    // it and runs none.
    Fn<BOOL, HANDLE, PBOOL> IsWow64Process{lib, "IsWow64Process", &NoWow64Process};
    // Starts a command line the way the Basic runtime's Shell does (the maker's home page).
    Fn<UINT, LPCSTR, UINT> WinExec{lib, "WinExec"};
};

// What a native file call reports besides its status.
struct IoStatusBlock {
    union {
        LONG Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
};

// The native file calls that every NT has, for what no Win32 function of NT 4 does: what an open
// handle holds, and a rename of exactly that file.
struct Ntdll {
    Library lib{L"ntdll.dll"};
    Fn<LONG, HANDLE, IoStatusBlock*, PVOID, ULONG, int> NtQueryInformationFile{lib, "NtQueryInformationFile"};
    Fn<LONG, HANDLE, IoStatusBlock*, PVOID, ULONG, int> NtSetInformationFile{lib, "NtSetInformationFile"};
    Fn<ULONG, LONG> RtlNtStatusToDosError{lib, "RtlNtStatusToDosError"};
};

struct Psapi {
    Library lib{L"psapi.dll"};
    Fn<BOOL, DWORD*, DWORD, DWORD*> EnumProcesses{lib, "EnumProcesses"};
    Fn<BOOL, HANDLE, HMODULE*, DWORD, LPDWORD> EnumProcessModules{lib, "EnumProcessModules"};
    Fn<DWORD, HANDLE, HMODULE, LPWSTR, DWORD> GetModuleFileNameExW{lib, "GetModuleFileNameExW"};
};

struct Advapi32 {
    Library lib{L"advapi32.dll"};
    Fn<BOOL, HANDLE, DWORD, PHANDLE> OpenProcessToken{lib, "OpenProcessToken"};
    Fn<BOOL, LPCSTR, LPCSTR, PLUID> LookupPrivilegeValueA{lib, "LookupPrivilegeValueA"};
    Fn<BOOL, HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD>
        AdjustTokenPrivileges{lib, "AdjustTokenPrivileges"};
};

struct User32 {
    Library lib{L"user32.dll"};
    Fn<BOOL, UINT, DWORD> ExitWindowsEx{lib, "ExitWindowsEx"};
    Fn<int, HWND, LPCWSTR, LPCWSTR, UINT> MessageBoxW{lib, "MessageBoxW"};
    // Context menus: a test picks the entry the user would have chosen.
    Fn<BOOL, HMENU, UINT, int, int, int, HWND, const RECT*> TrackPopupMenu{lib, "TrackPopupMenu"};
};

struct Shell32 {
    Library lib{L"shell32.dll"};
    Fn<BOOL, SHELLEXECUTEINFOA*> ShellExecuteExA{lib, "ShellExecuteExA"};
    Fn<HINSTANCE, HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT> ShellExecuteW{lib, "ShellExecuteW"};
};

Kernel32& kernel32();
Ntdll& ntdll();
Psapi& psapi();
Advapi32& advapi32();
User32& user32();
Shell32& shell32();

// Presets an entry for the life of the object (tests only).
template <class F>
class ScopedPreset {
public:
    ScopedPreset(F& fn, typename F::Fake fake) : fn_(fn) { fn_.Preset(std::move(fake)); }
    ~ScopedPreset() { fn_.Reset(); }
    ScopedPreset(const ScopedPreset&) = delete;
    ScopedPreset& operator=(const ScopedPreset&) = delete;
private:
    F& fn_;
};

}  // namespace tessel::api
