#include "inspection/Reboot.h"

#include <windows.h>

#include "tessel/Api.h"
#include "tessel/Error.h"
#include "tessel/SystemUtility.h"
#include "tessel/Unique.h"

namespace velmora {

using tessel::api::advapi32;
using tessel::api::kernel32;

namespace {
constexpr DWORD kTokenAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;  // 0x28
constexpr UINT kShutdownAndRestart = EWX_SHUTDOWN | EWX_REBOOT;        // 3, no force
constexpr DWORD kEveryReasonBit = 0xFFFFFFFF;
}  // namespace

static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "one privilege entry");

void EnableShutdownPrivilege() {
    tessel::UniqueHandle token;
    LUID luid{};
    tessel::PassOver([&] { advapi32().OpenProcessToken(kernel32().GetCurrentProcess(), kTokenAccess, token.put()); });
    tessel::PassOver([&] { advapi32().LookupPrivilegeValueA("", "SeShutdownPrivilege", &luid); });
    TOKEN_PRIVILEGES request{};
    request.PrivilegeCount = 1;
    request.Privileges[0].Luid = luid;
    request.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    TOKEN_PRIVILEGES previous{};
    DWORD returned = 0;
    tessel::PassOver([&] {
        advapi32().AdjustTokenPrivileges(token.get(), FALSE, &request, sizeof(request), &previous, &returned);
    });
}

bool RebootSystem(std::wstring& ErrorText) {
    ErrorText.clear();
    EnableShutdownPrivilege();
    const BOOL accepted = tessel::api::user32().ExitWindowsEx(kShutdownAndRestart, kEveryReasonBit);
    const DWORD code = ::GetLastError();
    if (accepted) return true;
    ErrorText = tessel::SystemUtility::Instance().SystemErrorText(code);
    return false;
}

}  // namespace velmora
