// The real program, started in a folder of its own: what its start-up writes.
#include <gtest/gtest.h>

#include <windows.h>

#include "TestSupport.h"
#include "tessel/FileAccessor.h"

using testing_support::TempDir;

TEST(Startup, OpensTheLogsAndWritesTheStartLines) {
    TempDir dir;
    const std::wstring exe = dir / L"Velmora.exe";
    ASSERT_TRUE(::CopyFileW((testing_support::ProgramFolder() + L"\\Velmora.exe").c_str(), exe.c_str(), FALSE));
    ASSERT_EQ(testing_support::RunAndWait(L"\"" + exe + L"\""), 0u);
    const std::string log = tessel::FileAccessor::Instance().ReadFile(dir / L"VLMR.log");
    const auto start = log.find("\t5\t0\tFMain.Form_Initialize\t********** start app\r\n");
    const auto version = log.find("\t5\t0\tFMain.Form_Initialize\tVelmora ver.1.0.12\r\n");
    const auto boot = log.find("\t5\t0\tFMain.Form_Initialize\tStartup: ");
    ASSERT_NE(start, std::string::npos) << log;
    ASSERT_NE(version, std::string::npos) << log;
    ASSERT_NE(boot, std::string::npos) << log;
    EXPECT_LT(start, version);
    EXPECT_LT(version, boot);
    // No entry at level 0 (the level is the field after the time stamp).
    std::size_t lineStart = 0;
    while (lineStart < log.size()) {
        const std::size_t lineEnd = log.find("\r\n", lineStart);
        const std::string line = log.substr(lineStart, lineEnd - lineStart);
        const std::size_t tab = line.find('\t');
        EXPECT_NE(line.compare(tab + 1, 2, "0\t"), 0) << "an error was logged: " << line;
        if (lineEnd == std::string::npos) break;
        lineStart = lineEnd + 2;
    }
    EXPECT_TRUE(tessel::FileAccessor::Instance().FileExists(dir / L"short.log"));
}
