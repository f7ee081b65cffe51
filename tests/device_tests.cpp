// Devices, pipes and folders named where a file is expected: each answers at once as a file
// that does not exist, and none is ever opened to be read (a serial port or a pipe without a
// writer would keep its reader waiting forever; the short ctest timeout of this program
// catches a call that blocks).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "inspection/FileChecker.h"
#include "inspection/FileInfoManager.h"
#include "inspection/Hashier.h"
#include "tessel/FileAccessor.h"
#include "tessel/Logger.h"
#include "tessel/SystemUtility.h"
#include "tessel/Unique.h"

using testing_support::Narrow;
using testing_support::TempDir;

namespace {

struct Case {
    std::wstring text;
    bool device;  // what IsDevicePath must answer for the text itself
};

}  // namespace

TEST(Devices, AreNoSuchFileForTheFingerprintAndTheVersionInformation) {
    TempDir dir;
    // A pipe of our own that nobody ever writes to: a reader would wait for good.
    const std::wstring pipeName = L"vlmr-device-test-" + tessel::SystemUtility::Instance().NewId();
    tessel::UniqueFile pipe(::CreateNamedPipeW((L"\\\\.\\pipe\\" + pipeName).c_str(), PIPE_ACCESS_DUPLEX,
                                               PIPE_TYPE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 512, 512, 0, nullptr));
    ASSERT_TRUE(pipe);
    // Each as a path, and the forms a startup command or a server entry gives it.
    const std::vector<Case> cases = {
        {L"COM1", true}, {L"\"COM1\"", false}, {L"COM1 /x", false}, {L"AUX", true}, {L"\"AUX\" /x", false},
        {L"\\\\.\\COM1", true}, {L"\"\\\\.\\COM1\"", false}, {L"CON", true}, {L"NUL", true}, {L"LPT1", true},
        {L"PRN", true}, {L"CONIN$", true}, {L"conout$", true}, {L"com9.dll", true}, {L"Lpt3 .txt", true},
        {L"c:\\windows\\system32\\aux.dll", true}, {L"c:COM2", true}, {L"COM\u00B9", true},
        {L"\\\\.\\PhysicalDrive0", true}, {L"\\\\.\\C:", true}, {L"\\\\.\\pipe\\x", true},
        {L"\\\\.\\pipe\\" + pipeName, true}, {L"\\\\localhost\\pipe\\" + pipeName, true},
        {L"\\??\\COM1", true}, {L"//./com1", true},
        // Through the system's own namespace a name is told once it is open: a device all the same.
        {L"\\\\?\\GLOBALROOT\\Device\\Null", false},
        {L"\\\\?\\GLOBALROOT\\??\\COM1", true}, {L"\\\\?\\GLOBALROOT\\Device\\NamedPipe\\" + pipeName, true},
        {dir.Path(), false},  // a folder is no device, and no file either
    };
    // Names of files, which stay files.
    for (const wchar_t* file : {L"c:\\windows\\notepad.exe", L"c:\\x\\console.dll", L"c:\\x\\com10.dll",
                                L"c:\\com1\\x.dll", L"\\\\?\\c:\\x\\a.dll", L"\\\\server\\share\\com.dll", L"comx",
                                L"\\\\.\\c:\\x\\a.dll", L"\\\\.\\UNC\\server\\share\\a.dll", L"\\\\?\\c:\\x\\com1.dll",
                                L"\\\\?\\GLOBALROOT\\??\\c:\\x\\a.dll"})
        EXPECT_FALSE(tessel::FileAccessor::IsDevicePath(file)) << Narrow(file);
    tessel::Logger log;  // never opened
    velmora::CHashier hashier;
    velmora::CFileInfoManager info;
    info.Init(log);
    velmora::CFileChecker checker;
    for (const Case& c : cases) {
        EXPECT_EQ(tessel::FileAccessor::IsDevicePath(c.text), c.device) << Narrow(c.text);
        // The text itself, and the file that the engine resolves it to as a startup command.
        for (const std::wstring& path : {c.text, checker.ResolveRegisteredPath(c.text)}) {
            std::int32_t size = -1;
            EXPECT_EQ(hashier.HashFromFullFileName(path, size), 0) << Narrow(path);
            EXPECT_EQ(size, 0) << Narrow(path);
            EXPECT_EQ(velmora::FileSizeFromFullFileName(path), 0) << Narrow(path);
            EXPECT_EQ(tessel::SystemUtility::Instance().VersionStrings(path).Count(), 0u) << Narrow(path);
            std::wstring company = L"poison", description = L"poison";
            info.GetFileInfo(path, &company, &description);
            EXPECT_EQ(company, L"") << Narrow(path);
            EXPECT_EQ(description, L"") << Narrow(path);
            if (tessel::FileAccessor::IsDevicePath(path)) {
                EXPECT_TRUE(tessel::FileAccessor::Instance().ReadBytes(path).empty()) << Narrow(path);
            }
        }
    }
}
