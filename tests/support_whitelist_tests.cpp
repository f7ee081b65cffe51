// Windows' own processes and modules: which full paths the four lists name, on both families.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "inspection/Globals.h"
#include "inspection/SystemWhitelists.h"

namespace {

using velmora::Whitelist;
using testing_support::Narrow;

std::wstring ProgramFiles(const std::wstring& value, const std::wstring& text) {
    const std::wstring var = L"%ProgramFiles%";
    return text.rfind(var, 0) == 0 ? value + text.substr(var.size()) : text;
}

const velmora::SystemFolders kNT{L"c:\\windows\\", L"c:\\windows\\system32\\",
                                 [](const std::wstring& t) { return ProgramFiles(L"C:\\Program Files", t); }};
const velmora::SystemFolders kNTOtherProgramFiles{L"c:\\windows\\", L"c:\\windows\\system32\\",
                                                  [](const std::wstring& t) { return ProgramFiles(L"D:\\Apps", t); }};
const velmora::SystemFolders k9x{L"c:\\windows\\", L"c:\\windows\\system\\",
                                 [](const std::wstring& t) { return ProgramFiles(L"C:\\Program Files", t); }};

struct Case {
    Whitelist list;
    const velmora::SystemFolders* folders;
    const wchar_t* path;
    bool expected;
};

const Case kCases[] = {
    // Case is ignored on both sides, and nothing else is.
    {Whitelist::ModuleNT, &kNT, L"C:\\WINDOWS\\System32\\KERNEL32.DLL", true},
    {Whitelist::ModuleNT, &kNT, L"c:\\windows\\system32\\kernel32.dll ", false},
    {Whitelist::ModuleNT, &kNT, L"c:/windows/system32/kernel32.dll", false},
    {Whitelist::ModuleNT, &kNT, L"c:\\windows\\kernel32.dll", false},
    {Whitelist::ModuleNT, &kNT, L"c:\\windows\\system32\\\\kernel32.dll", false},
    {Whitelist::ModuleNT, &kNT, L"c:\\windows\\system32\\kernel32", false},
    // Environment entries follow the expansion; short names are other names.
    {Whitelist::ModuleNT, &kNT, L"c:\\program files\\common files\\system\\wab32.dll", true},
    {Whitelist::ModuleNT, &kNT, L"C:\\PROGRA~1\\COMMON~1\\System\\wab32.dll", false},
    {Whitelist::ModuleNT, &kNTOtherProgramFiles, L"d:\\apps\\common files\\system\\wab32.dll", true},
    {Whitelist::ModuleNT, &kNTOtherProgramFiles, L"c:\\program files\\common files\\system\\wab32.dll", false},
    {Whitelist::ModuleNT, &kNT, L"C:\\Program Files\\Common Files\\Microsoft Shared\\Web Server Extensions\\40\\bin\\fpexedll.dll", true},
    // Side-by-side: only the two listed assembly folders.
    {Whitelist::ModuleNT, &kNT, L"c:\\windows\\winsxs\\x86_microsoft.windows.common-controls_6595b64144ccf1df_6.0.2600.2180_x-ww_a84f1ff9\\comctl32.dll", true},
    {Whitelist::ModuleNT, &kNT, L"c:\\windows\\winsxs\\x86_microsoft.windows.common-controls_6595b64144ccf1df_6.0.2600.2982_x-ww_ac3f9c03\\comctl32.dll", false},
    {Whitelist::ModuleNT, &kNT, L"c:\\windows\\system32\\spoolsv.exe", true},
    {Whitelist::ModuleNT, &kNT, L"c:\\windows\\explorer.exe", true},
    {Whitelist::ModuleNT, &kNT, L"c:\\windows\\system32\\inetsrv\\w3svc.dll", true},
    {Whitelist::ModuleNT, &kNT, L"c:\\windows\\system32\\wbem\\wbemcomn.dll", true},
    {Whitelist::ModuleNT, &kNT, L"c:\\windows\\apppatch\\acgenral.dll", true},
    {Whitelist::ModuleNT, &kNT, L"c:\\windows\\system32\\xpsp2res.dll", true},
    {Whitelist::ModuleNT, &kNT, L"c:\\windows\\system32\\vlmr.dll", false},
    // Processes on the NT family.
    {Whitelist::ProcessNT, &kNT, L"\\??\\C:\\WINDOWS\\system32\\winlogon.exe", true},
    {Whitelist::ProcessNT, &kNT, L"c:\\windows\\system32\\winlogon.exe", false},
    {Whitelist::ProcessNT, &kNT, L"\\SystemRoot\\System32\\smss.exe", true},
    {Whitelist::ProcessNT, &kNT, L"c:\\windows\\system32\\smss.exe", true},
    {Whitelist::ProcessNT, &kNT, L"c:\\windows\\explorer.exe", true},
    {Whitelist::ProcessNT, &kNT, L"c:\\windows\\system32\\explorer.exe", false},
    {Whitelist::ProcessNT, &kNT, L"c:\\windows\\system32\\wbem\\winmgmt.exe", true},
    {Whitelist::ProcessNT, &kNT, L"c:\\windows\\system32\\inetsrv\\inetinfo.exe", true},
    {Whitelist::ProcessNT, &kNT, L"c:\\windows\\system32\\kernel32.dll", false},
    // The 9x family.
    {Whitelist::Module9x, &k9x, L"C:\\WINDOWS\\EXPLORER.EXE", true},
    {Whitelist::Process9x, &k9x, L"C:\\WINDOWS\\EXPLORER.EXE", false},
    {Whitelist::Module9x, &k9x, L"C:\\WINDOWS\\SYSTEM\\OLEAUT32.DLL", false},
    {Whitelist::Module9x, &k9x, L"C:\\WINDOWS\\SYSTEM\\MSVBVM60.DLL", true},
    {Whitelist::Module9x, &k9x, L"c:\\windows\\system\\mmtask.tsk", true},
    {Whitelist::Process9x, &k9x, L"c:\\windows\\system\\XXX.EXE", true},
    {Whitelist::Process9x, &k9x, L"c:\\windows\\system\\kernel32.dll", false},
    // An empty path is on no list.
    {Whitelist::ModuleNT, &kNT, L"", false},
    {Whitelist::ProcessNT, &kNT, L"", false},
    {Whitelist::Module9x, &k9x, L"", false},
    {Whitelist::Process9x, &k9x, L"", false},
};

TEST(SystemWhitelists, AnswerForEveryCase) {
    for (const Case& c : kCases)
        EXPECT_EQ(velmora::IsOnWhitelist(c.list, c.path, *c.folders), c.expected)
            << "list " << static_cast<int>(c.list) << ": " << Narrow(c.path);
}

TEST(SystemWhitelists, ListSizes) {
    EXPECT_EQ(velmora::WhitelistSize(Whitelist::Process9x), 1u);
    EXPECT_EQ(velmora::WhitelistSize(Whitelist::ProcessNT), 27u);
    EXPECT_EQ(velmora::WhitelistSize(Whitelist::Module9x), 101u);
    EXPECT_EQ(velmora::WhitelistSize(Whitelist::ModuleNT), 412u);
}

// The running system's tests read WinDir and SysDir as the start-up left them, and expand
// the program files folder at each call.
TEST(SystemWhitelists, RunningSystemFollowsFoldersAndEnvironment) {
    const std::wstring win = velmora::WinDir, sys = velmora::SysDir;
    wchar_t saved[MAX_PATH] = {};
    const bool hadProgramFiles = ::GetEnvironmentVariableW(L"ProgramFiles", saved, MAX_PATH) > 0;
    velmora::WinDir = L"e:\\os\\";
    velmora::SysDir = L"e:\\os\\system32\\";
    EXPECT_TRUE(velmora::IsSystemModuleNT(L"E:\\OS\\System32\\ole32.dll"));
    EXPECT_FALSE(velmora::IsSystemModuleNT(L"C:\\windows\\System32\\ole32.dll"));
    EXPECT_TRUE(velmora::IsSystemProcessNT(L"\\??\\e:\\os\\system32\\winlogon.exe"));
    ::SetEnvironmentVariableW(L"ProgramFiles", L"Q:\\Progs");
    EXPECT_TRUE(velmora::IsSystemModuleNT(L"q:\\progs\\Common Files\\System\\OLE DB\\oledb32.dll"));
    ::SetEnvironmentVariableW(L"ProgramFiles", L"R:\\Other");
    EXPECT_FALSE(velmora::IsSystemModuleNT(L"q:\\progs\\Common Files\\System\\OLE DB\\oledb32.dll"));
    EXPECT_TRUE(velmora::IsSystemModuleNT(L"r:\\other\\Common Files\\System\\OLE DB\\oledb32.dll"));
    velmora::SysDir = L"e:\\os\\system\\";
    EXPECT_TRUE(velmora::IsSystemModule9x(L"e:\\os\\system\\ws2_32.dll"));
    EXPECT_TRUE(velmora::IsSystemProcess9x(L"e:\\os\\system\\xxx.exe"));
    ::SetEnvironmentVariableW(L"ProgramFiles", hadProgramFiles ? saved : nullptr);
    velmora::WinDir = win;
    velmora::SysDir = sys;
}

}  // namespace
