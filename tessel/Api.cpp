#include "tessel/Api.h"

#include <string>

#include "tessel/Error.h"
#include "tessel/SystemUtility.h"

namespace tessel::api {

FARPROC Library::Proc(const char* function) {
    if (!module_) {
        module_ = ::GetModuleHandleW(name_);
        if (!module_) module_ = ::LoadLibraryW(name_);
        if (!module_) {
            const DWORD code = ::GetLastError();
            throw Error(static_cast<long>(code),
                        L"The library '" + std::wstring(name_) + L"' could not be loaded: " +
                            SystemUtility::Instance().SystemErrorText(code),
                        "LoadLibraryW");
        }
    }
    FARPROC proc = ::GetProcAddress(module_, function);
    if (!proc) {
        const DWORD code = ::GetLastError();
        std::wstring wide(function, function + std::char_traits<char>::length(function));
        throw Error(static_cast<long>(code),
                    L"The function '" + wide + L"' was not found in '" + name_ + L"'.",
                    "GetProcAddress");
    }
    return proc;
}

Kernel32& kernel32() { static Kernel32 t; return t; }
Psapi& psapi() { static Psapi t; return t; }
Advapi32& advapi32() { static Advapi32 t; return t; }
User32& user32() { static User32 t; return t; }
Shell32& shell32() { static Shell32 t; return t; }

}  // namespace tessel::api
