// The restart request: the privilege steps run for real on the test's own token; the restart
// itself is always scripted (the real ExitWindowsEx is never called).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <vector>

#include "inspection/Reboot.h"
#include "tessel/Api.h"
#include "tessel/SystemUtility.h"
#include "tessel/Unique.h"

using namespace velmora;
using tessel::api::advapi32;
using tessel::api::ScopedPreset;
using tessel::api::user32;

namespace {

LUID ShutdownLuid() {
    LUID luid{};
    EXPECT_TRUE(::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &luid));
    return luid;
}

// The shutdown privilege's attributes in the test's own token; 0xFFFFFFFF when it holds none.
DWORD ShutdownAttributes() {
    tessel::UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return 0xFFFFFFFF;
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenPrivileges, nullptr, 0, &size);
    std::vector<std::uint8_t> buffer(size);
    if (!::GetTokenInformation(token.get(), TokenPrivileges, buffer.data(), size, &size)) return 0xFFFFFFFF;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    const LUID luid = ShutdownLuid();
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID& l = privileges->Privileges[i].Luid;
        if (l.LowPart == luid.LowPart && l.HighPart == luid.HighPart) return privileges->Privileges[i].Attributes;
    }
    return 0xFFFFFFFF;
}

void DisableShutdownPrivilege() {
    tessel::UniqueHandle token;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()));
    TOKEN_PRIVILEGES off{};
    off.PrivilegeCount = 1;
    off.Privileges[0].Luid = ShutdownLuid();
    off.Privileges[0].Attributes = 0;
    ASSERT_TRUE(::AdjustTokenPrivileges(token.get(), FALSE, &off, sizeof(off), nullptr, nullptr));
}

struct ExitWindowsCall {
    UINT flags;
    DWORD reason;
};

}  // namespace

TEST(RebootSystem, AnAcceptedRequestEnablesThePrivilegeFirstAndAsksWithFlags3AndEveryReasonBit) {
    DisableShutdownPrivilege();
    ASSERT_NE(ShutdownAttributes(), 0xFFFFFFFFu) << "the token has no shutdown privilege to enable";
    ASSERT_EQ(ShutdownAttributes() & SE_PRIVILEGE_ENABLED, 0u);
    std::vector<ExitWindowsCall> calls;
    DWORD attributesAtTheRequest = 0;
    ScopedPreset exitWindows(user32().ExitWindowsEx, [&](UINT flags, DWORD reason) {
        calls.push_back({flags, reason});
        attributesAtTheRequest = ShutdownAttributes();
        return TRUE;
    });
    std::wstring errorText = L"poison";
    EXPECT_TRUE(RebootSystem(errorText));
    EXPECT_EQ(errorText, L"");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].flags, 3u);
    EXPECT_EQ(calls[0].reason, 0xFFFFFFFFu);
    EXPECT_NE(attributesAtTheRequest & SE_PRIVILEGE_ENABLED, 0u);
}

TEST(RebootSystem, ARefusalGivesFalseAndTheSystemsText) {
    ScopedPreset exitWindows(user32().ExitWindowsEx, [](UINT, DWORD) {
        ::SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return FALSE;
    });
    std::wstring errorText = L"poison";
    EXPECT_FALSE(RebootSystem(errorText));
    EXPECT_EQ(errorText, tessel::SystemUtility::Instance().SystemErrorText(1314));
    EXPECT_EQ(errorText.find(L"Unknown error"), std::wstring::npos) << "the system has a text for 1314";
}

TEST(EnableShutdownPrivilege, CallsTheTokenStepsAsWindowsExpects) {
    std::vector<std::string> steps;
    ScopedPreset open(advapi32().OpenProcessToken, [&](HANDLE process, DWORD access, PHANDLE token) {
        steps.push_back("open");
        EXPECT_EQ(process, ::GetCurrentProcess());
        EXPECT_EQ(access, 0x28u);
        return advapi32().OpenProcessToken.Real(process, access, token);
    });
    ScopedPreset lookup(advapi32().LookupPrivilegeValueA, [&](LPCSTR system, LPCSTR name, PLUID luid) {
        steps.push_back("lookup");
        EXPECT_NE(system, nullptr);  // an empty name, not a null pointer
        if (system) {
            EXPECT_STREQ(system, "");
        }
        EXPECT_STREQ(name, "SeShutdownPrivilege");
        return advapi32().LookupPrivilegeValueA.Real(system, name, luid);
    });
    ScopedPreset adjust(advapi32().AdjustTokenPrivileges,
                        [&](HANDLE token, BOOL all, PTOKEN_PRIVILEGES request, DWORD length, PTOKEN_PRIVILEGES previous,
                            PDWORD returned) {
                            steps.push_back("adjust");
                            EXPECT_NE(token, nullptr);
                            EXPECT_FALSE(all);
                            EXPECT_EQ(length, 16u);
                            EXPECT_EQ(request->PrivilegeCount, 1u);
                            EXPECT_EQ(request->Privileges[0].Attributes, 2u);
                            const LUID luid = ShutdownLuid();
                            EXPECT_EQ(request->Privileges[0].Luid.LowPart, luid.LowPart);
                            EXPECT_NE(previous, nullptr);
                            return advapi32().AdjustTokenPrivileges.Real(token, all, request, length, previous, returned);
                        });
    EnableShutdownPrivilege();
    EXPECT_EQ(steps, (std::vector<std::string>{"open", "lookup", "adjust"}));
    EXPECT_NE(ShutdownAttributes() & SE_PRIVILEGE_ENABLED, 0u);
}

TEST(EnableShutdownPrivilege, FailingStepsAreIgnoredAndTheRequestFollowsAllTheSame) {
    int adjusted = 0;
    ScopedPreset open(advapi32().OpenProcessToken, [](HANDLE, DWORD, PHANDLE token) {
        *token = nullptr;
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    });
    ScopedPreset lookup(advapi32().LookupPrivilegeValueA,
                        [](LPCSTR, LPCSTR, PLUID) -> BOOL { throw std::runtime_error("not bound"); });
    ScopedPreset adjust(advapi32().AdjustTokenPrivileges,
                        [&](HANDLE token, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD) {
                            ++adjusted;
                            EXPECT_EQ(token, nullptr);
                            ::SetLastError(ERROR_INVALID_HANDLE);
                            return FALSE;
                        });
    int requests = 0;
    ScopedPreset exitWindows(user32().ExitWindowsEx, [&](UINT, DWORD) {
        ++requests;
        ::SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return FALSE;
    });
    std::wstring errorText;
    EXPECT_FALSE(RebootSystem(errorText));
    EXPECT_EQ(adjusted, 1);
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(errorText, tessel::SystemUtility::Instance().SystemErrorText(ERROR_PRIVILEGE_NOT_HELD));
}
