#include "tessel/Api.h"

#include <atomic>
#include <string>

#include "tessel/Error.h"

namespace tessel::api {

FARPROC Library::Proc(const char* function) {
    FARPROC proc = Find(function);
    if (!proc) {
        const std::wstring wide(function, function + std::char_traits<char>::length(function));
        ThrowLastError("GetProcAddress", L"The function '" + wide + L"' was not found in '" + name_ + L"'");
    }
    return proc;
}

FARPROC Library::Find(const char* function) {
    if (!module_) {
        module_ = ::GetModuleHandleW(name_);
        if (!module_) module_ = ::LoadLibraryW(name_);
        if (!module_) ThrowLastError("LoadLibraryW", L"The library '" + std::wstring(name_) + L"' could not be loaded");
    }
    return ::GetProcAddress(module_, function);
}

ULONGLONG WidenTickCount(ULONGLONG last, DWORD now) {
    if (last == 0) return now;
    // How far the count moved on, modulo its wrap.
    const DWORD ahead = now - static_cast<DWORD>(last);
    return ahead < 0x80000000u ? last + ahead : last;
}

ULONGLONG WINAPI TickCount64BeforeVista() {
    static std::atomic<ULONGLONG> last{0};
    const DWORD now = kernel32().GetTickCount();
    ULONGLONG seen = last.load();
    for (;;) {
        const ULONGLONG widened = WidenTickCount(seen, now);
        if (widened == seen || last.compare_exchange_weak(seen, widened)) return widened;
    }
}

BOOL WINAPI NoFsRedirectionToTurnOff(PVOID* previous) {
    if (previous) *previous = nullptr;
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}

BOOL WINAPI NoFsRedirectionToRevert(PVOID) {
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}

DWORD WINAPI NoFinalPathName(HANDLE, LPWSTR, DWORD, DWORD) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
}

HANDLE WINAPI NoReOpenFile(HANDLE, DWORD, DWORD, DWORD) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI NoWow64Process(HANDLE, PBOOL wow64) {
    if (wow64) *wow64 = FALSE;
    return TRUE;
}

Kernel32& kernel32() { static Kernel32 t; return t; }
Ntdll& ntdll() { static Ntdll t; return t; }
Psapi& psapi() { static Psapi t; return t; }
Advapi32& advapi32() { static Advapi32 t; return t; }
User32& user32() { static User32 t; return t; }
Shell32& shell32() { static Shell32 t; return t; }

}  // namespace tessel::api
