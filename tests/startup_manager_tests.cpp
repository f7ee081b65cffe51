// The startup-entry manager against the Run family and policies keys of redirected hives.
#include <gtest/gtest.h>

#include <algorithm>

#include "DetectionTestSupport.h"
#include "detection/StartupManager.h"
#include "inspection/Globals.h"
#include "tessel/RegistryAccessor.h"

using detection_support::TestLog;
using testing_support::ScratchHives;
using testing_support::TempDir;
using velmora::CStartupManager;

namespace {

const std::wstring kBase = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";

std::wstring Param(const tessel::Node& n, const wchar_t* name) { return n.params.Item(name).Value(); }

void Copy(const wchar_t* fixture, const std::wstring& to) {
    testing_support::WriteBytes(to, testing_support::ReadBytes(testing_support::ProgramFolder() + L"\\" + fixture));
}

// Points the system folder at a folder of the test, where Windows' own startup programs can
// be put without touching the real one.
struct SystemFolderAt {
    std::wstring saved = velmora::SysDir;
    explicit SystemFolderAt(const std::wstring& folder) { velmora::SysDir = tessel::SystemUtility::Lower(folder) + L"\\"; }
    ~SystemFolderAt() { velmora::SysDir = saved; }
};

}  // namespace

TEST(StartupManager, ListsEveryKeyInOrderWithTheRecordValuesInOrder) {
    ScratchHives hives;
    TempDir dir;
    tessel::RegistryAccessor reg;
    Copy(L"fixture_both.dll", dir / L"maker.exe");
    Copy(L"fixture_bare.dll", dir / L"bare.exe");
    reg.WriteString(HKEY_CURRENT_USER, kBase + L"policies\\Explorer\\Run", L"pol", L"\"" + (dir / L"bare.exe") + L"\" /x");
    reg.WriteString(HKEY_CURRENT_USER, kBase + L"RunOnce", L"once", dir / L"bare.exe");
    reg.WriteString(HKEY_LOCAL_MACHINE, kBase + L"Run", L"maker", dir / L"maker.exe");
    reg.WriteString(HKEY_LOCAL_MACHINE, kBase + L"Run", L"empty", L"");
    reg.WriteString(HKEY_LOCAL_MACHINE, kBase + L"policies\\Explorer\\Run", L"blank", L"");
    reg.WriteString(HKEY_CURRENT_USER, kBase + L"Run", L"user", dir / L"bare.exe");
    TestLog t;
    CStartupManager m;
    m.Init(t.log);
    auto list = m.EnumItems();
    ASSERT_TRUE(list);
    EXPECT_TRUE(m.Complete());
    std::vector<std::wstring> seen;
    for (const auto& n : *list) seen.push_back(Param(n, L"ValueName"));
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"maker", L"user", L"once", L"blank", L"pol"}));
    const tessel::Node& maker = (*list)[0];
    std::vector<std::wstring> names;
    for (const auto& p : maker.params) names.push_back(p.Name);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Name", L"DLL", L"Manufacturer", L"Key", L"Hive", L"ValueName", L"Icon"}));
    EXPECT_EQ(Param(maker, L"Name"), L"Quillon fixture library");
    EXPECT_EQ(Param(maker, L"Manufacturer"), L"Quillon Labs");
    EXPECT_EQ(Param(maker, L"Key"), L"-2147483646");
    EXPECT_EQ(Param(maker, L"Hive"), kBase + L"Run");
    EXPECT_EQ(Param(maker, L"Icon"), L"IE");
    EXPECT_EQ(Param((*list)[1], L"Name"), L"user");  // no version resource: the value's name
    EXPECT_EQ(Param((*list)[1], L"Key"), L"-2147483647");
    const tessel::Node& blank = (*list)[3];
    EXPECT_EQ(Param(blank, L"Name"), L"Your description here...");
    EXPECT_EQ(Param(blank, L"DLL"), L"");
    EXPECT_EQ(Param(blank, L"Manufacturer"), L"");
    EXPECT_EQ(Param(blank, L"Icon"), L"IE");
    const tessel::Node& pol = (*list)[4];
    EXPECT_EQ(Param(pol, L"Name"), L"\"" + (dir / L"bare.exe") + L"\" /x");  // the command line as stored
    EXPECT_EQ(tessel::SystemUtility::Lower(Param(pol, L"DLL")), tessel::SystemUtility::Lower(dir / L"bare.exe"));
    EXPECT_NE((*list)[0].Id, (*list)[1].Id);
}

TEST(StartupManager, KnowsWindowsOwnStartupProgramsByExactMakerAndPlace) {
    ScratchHives hives;
    TempDir dir;
    SystemFolderAt sys(dir.Path());
    tessel::RegistryAccessor reg;
    Copy(L"fixture_mscorp.dll", dir / L"ctfmon.exe");
    Copy(L"fixture_mscaps.dll", dir / L"internat.exe");
    Copy(L"fixture_mscorp.dll", dir / L"systray.exe");
    reg.WriteString(HKEY_LOCAL_MACHINE, kBase + L"Run", L"a", tessel::SystemUtility::Upper(dir / L"ctfmon.exe"));
    reg.WriteString(HKEY_LOCAL_MACHINE, kBase + L"Run", L"b", dir / L"internat.exe");
    reg.WriteString(HKEY_LOCAL_MACHINE, kBase + L"Run", L"c", dir / L"systray.exe");
    TestLog t;
    {
        CStartupManager m;
        m.Init(t.log);
        auto list = m.EnumItems();
        ASSERT_TRUE(list);
        ASSERT_EQ(list->Count(), 3u);
        EXPECT_EQ(Param((*list)[0], L"Icon"), L"OK");
        EXPECT_EQ(Param((*list)[1], L"Icon"), L"IE");  // the maker in capitals
        EXPECT_EQ(Param((*list)[2], L"Icon"), L"IE");  // a 9x program on the NT family
    }
    tessel::api::ScopedPreset win98(tessel::api::kernel32().GetVersion, [] { return DWORD(0xC0000A04); });
    CStartupManager m;
    m.Init(t.log);
    auto list = m.EnumItems();
    ASSERT_TRUE(list);
    EXPECT_EQ(Param((*list)[2], L"Icon"), L"OK");
}

TEST(StartupManager, AValueOfNoUseIsSkippedOnceAndHidesNothing) {
    ScratchHives hives;
    TempDir dir;
    tessel::RegistryAccessor reg;
    Copy(L"fixture_bare.dll", dir / L"x.exe");
    const std::wstring run = kBase + L"Run", policies = kBase + L"policies\\Explorer\\Run";
    // Short enough to expand, longer than the limit once expanded. Under 64 KB itself: a larger
    // registry write can fail in a busy Wine ("partial write").
    const std::wstring growsTooFar = testing_support::Repeat(L"%CommonProgramFiles%", 1500);
    struct Odd {
        std::wstring name;
        tessel::RegistryValue value;
    };
    const Odd odd[] = {
        {L"binary", {REG_BINARY, {1, 2}}},
        {L"qword", {REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}}},
        {L"none", {REG_NONE, {}}},
        {L"dword of 2 bytes", {REG_DWORD, {1, 2}}},
        {L"dword of 9 bytes", {REG_DWORD, {1, 2, 3, 4, 5, 6, 7, 8, 9}}},
        {L"expands too far", testing_support::TextValue(REG_EXPAND_SZ, growsTooFar)},
        {testing_support::Repeat(L"long\tname", 1600), {REG_BINARY, {1}}},
    };
    reg.WriteString(HKEY_LOCAL_MACHINE, run, L"a", dir / L"x.exe");
    for (const Odd& o : odd) reg.WriteValue(HKEY_LOCAL_MACHINE, run, o.name, o.value);
    reg.WriteString(HKEY_LOCAL_MACHINE, run, L"com", L"\"COM1\" /x");  // a device: listed, never read
    reg.WriteString(HKEY_LOCAL_MACHINE, run, L"c", L"\"" + (dir / L"x.exe") + L"\" /x");
    reg.WriteValue(HKEY_CURRENT_USER, policies, L"p1", {REG_BINARY, {1}});
    reg.WriteString(HKEY_CURRENT_USER, policies, L"p2", dir / L"x.exe");
    TestLog t;
    CStartupManager m;
    m.Init(t.log);
    auto list = m.EnumItems();
    ASSERT_TRUE(list);
    EXPECT_TRUE(m.Complete());  // nothing could not be read: a cleanup is still offered
    std::vector<std::wstring> seen;
    for (const auto& n : *list) seen.push_back(Param(n, L"ValueName"));
    std::sort(seen.begin(), seen.end());  // the registry's own order of one key's values
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"a", L"c", L"com", L"p2"}));
    int notes = 0;
    for (const auto& line : t.Lines()) {
        EXPECT_EQ(line.rfind("5|", 0), 0u) << line;  // notes, no errors
        notes += line.find("CStartupManager.FillItemInfo|") != std::string::npos ||
                 line.find("CStartupManager.FillPolicyItemInfo|") != std::string::npos;
    }
    EXPECT_EQ(notes, 8);  // once for each value of no use
    EXPECT_EQ(tessel::FileAccessor::Instance().ReadFile(t.dir / L"short.log"), "");

    // The cleanup's removal goes past them to every value of the file.
    m.RemoveStartup(dir / L"x.exe");
    const auto left = reg.EnumValues(HKEY_LOCAL_MACHINE, run);
    EXPECT_FALSE(left.Exists(L"a"));
    EXPECT_FALSE(left.Exists(L"c"));
    EXPECT_EQ(left.Count(), std::size(odd) + 1);
    EXPECT_FALSE(reg.EnumValues(HKEY_CURRENT_USER, policies).Exists(L"p2"));
}

TEST(StartupManager, RemovesEveryValueOfAFileInKeyOrder) {
    ScratchHives hives;
    TempDir dir;
    tessel::RegistryAccessor reg;
    Copy(L"fixture_bare.dll", dir / L"evil.exe");
    Copy(L"fixture_bare.dll", dir / L"other.exe");
    const std::wstring evil = dir / L"evil.exe";
    reg.WriteString(HKEY_CURRENT_USER, kBase + L"RunOnce", L"again", L"\"" + tessel::SystemUtility::Upper(evil) + L"\" -q");
    reg.WriteString(HKEY_LOCAL_MACHINE, kBase + L"Run", L"evil", evil);
    reg.WriteString(HKEY_LOCAL_MACHINE, kBase + L"Run", L"other", dir / L"other.exe");
    reg.WriteString(HKEY_LOCAL_MACHINE, kBase + L"policies\\Explorer\\Run", L"pol", evil);
    reg.WriteString(HKEY_LOCAL_MACHINE, kBase + L"policies\\Explorer\\Run", L"blank", L"");
    TestLog t;
    CStartupManager m;
    m.Init(t.log);
    m.RemoveStartup(evil);
    EXPECT_EQ(reg.EnumValues(HKEY_LOCAL_MACHINE, kBase + L"Run").Count(), 1u);
    EXPECT_EQ(reg.EnumValues(HKEY_CURRENT_USER, kBase + L"RunOnce").Count(), 0u);
    EXPECT_TRUE(reg.EnumValues(HKEY_LOCAL_MACHINE, kBase + L"policies\\Explorer\\Run").Exists(L"blank"));
    const auto lines = t.Lines();
    const std::string e = testing_support::Narrow(evil);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "5|0|CStartupManager.RemoveItemInfo|Deleted: 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\"
                        "CurrentVersion\\Run', 'evil', '" + e + "'");
    EXPECT_EQ(lines[1].rfind("5|0|CStartupManager.RemoveItemInfo|Deleted: 'HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\"
                             "Windows\\CurrentVersion\\RunOnce', 'again', '\"", 0),
              0u);
    EXPECT_EQ(lines[2], "5|0|CStartupManager.RemovePolicyInfo|Deleted: 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\"
                        "CurrentVersion\\policies\\Explorer\\Run', 'pol', '" + e + "'");
}
