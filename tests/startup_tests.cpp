// The real program, started in a folder of its own: what its start-up writes.
#include <gtest/gtest.h>

#include <windows.h>

#include "TestSupport.h"
#include "tessel/FileAccessor.h"

using testing_support::TempDir;

namespace {

struct Closer {
    DWORD pid;
};

BOOL CALLBACK CloseMainWindow(HWND window, LPARAM param) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    wchar_t cls[64] = L"";
    ::GetClassNameW(window, cls, 64);
    if (pid == reinterpret_cast<Closer*>(param)->pid && std::wstring(cls) == L"VelmoraMainWindow" &&
        ::IsWindowVisible(window))
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// Runs the program, closes its main window once it is shown (the program then ends), and
// returns the exit code; ~0 when it did not end in time.
DWORD RunClosingMainWindow(const std::wstring& commandLine, DWORD timeoutMs = 120000) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring line = commandLine;
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return ~0u;
    const tessel::UniqueHandle process(pi.hProcess), thread(pi.hThread);
    Closer closer{pi.dwProcessId};
    for (DWORD waited = 0; waited < timeoutMs && ::WaitForSingleObject(process.get(), 200) == WAIT_TIMEOUT; waited += 200)
        ::EnumWindows(CloseMainWindow, reinterpret_cast<LPARAM>(&closer));
    DWORD code = ~0u;
    if (::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) ::GetExitCodeProcess(process.get(), &code);
    else ::TerminateProcess(process.get(), 1);
    return code;
}

}  // namespace

TEST(Startup, OpensTheLogsAndWritesTheStartLines) {
    TempDir dir;
    const std::wstring exe = dir / L"Velmora.exe";
    ASSERT_TRUE(::CopyFileW((testing_support::DeliverableFolder() + L"\\Velmora.exe").c_str(), exe.c_str(), FALSE));
    ASSERT_EQ(RunClosingMainWindow(L"\"" + exe + L"\""), 0u);
    const std::string log = tessel::FileAccessor::Instance().ReadFile(dir / L"VLMR.log");
    const auto start = log.find("\t5\t0\tFMain.Form_Initialize\t********** start app\r\n");
    const auto version = log.find("\t5\t0\tFMain.Form_Initialize\tVelmora ver.1.0.12\r\n");
    const auto boot = log.find("\t5\t0\tFMain.Form_Initialize\tStartup: ");
    ASSERT_NE(start, std::string::npos) << log;
    ASSERT_NE(version, std::string::npos) << log;
    ASSERT_NE(boot, std::string::npos) << log;
    EXPECT_LT(start, version);
    EXPECT_LT(version, boot);
    // No entry at level 0.
    for (const auto& line : testing_support::LogLines(dir / L"VLMR.log"))
        EXPECT_NE(line.rfind("0|", 0), 0u) << "an error was logged: " << line;
    EXPECT_TRUE(tessel::FileAccessor::Instance().FileExists(dir / L"short.log"));
}
