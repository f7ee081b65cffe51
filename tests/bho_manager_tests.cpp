// The Browser Helper Object manager against registrations in redirected hives.
#include <gtest/gtest.h>

#include "DetectionTestSupport.h"
#include "detection/BHOManager.h"
#include "tessel/RegistryAccessor.h"

using detection_support::TestLog;
using testing_support::ScratchHives;
using testing_support::TempDir;
using velmora::CBHOManager;

namespace {

const std::wstring kKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\";

struct Registrations {
    ScratchHives hives;
    tessel::RegistryAccessor reg;
    void Add(const std::wstring& id, const std::wstring* name, const std::wstring& inproc, const std::wstring& local = L"") {
        reg.WriteString(HKEY_LOCAL_MACHINE, kKey + id, L"ignored", L"x");
        if (name) reg.WriteString(HKEY_LOCAL_MACHINE, kKey + id, L"", *name);
        if (!inproc.empty()) reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\" + id + L"\\InProcServer32", L"", inproc);
        if (!local.empty()) reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\" + id + L"\\LocalServer32", L"", local);
    }
};

std::wstring Param(const tessel::Node& n, const wchar_t* name) { return n.params.Item(name).Value(); }

}  // namespace

TEST(BHOManager, ListsRegistrationsWithTheirNamesAndServers) {
    Registrations r;
    TempDir dir;
    const std::wstring dll = dir / L"helper.dll";
    testing_support::WriteBytes(dll, testing_support::ReadBytes(testing_support::ProgramFolder() + L"\\fixture_both.dll"));
    const std::wstring amp = L"A && B & C";
    const std::wstring plain = L"Plain Helper";
    r.Add(L"{00000000-0000-0000-0000-000000000001}", &amp, L"\"" + dll + L"\"");
    r.Add(L"00000000-0000-0000-0000-000000000002", &plain, dll);         // 36 characters: not a CLSID key
    r.Add(L"{00000000-0000-0000-0000-000000000003}", nullptr, L"");     // no server at all
    r.Add(L"{00000000-0000-0000-0000-000000000004}", &plain, L"", L"C:\\no\\such\\server.exe /automation");
    r.Add(L"{00000000-0000-0000-0000-000000000005}", nullptr, L"c:\\no\\such.dll");
    TestLog t;
    CBHOManager m;
    m.Init(t.log);
    auto list = m.EnumBHOs();
    ASSERT_TRUE(list);
    EXPECT_TRUE(m.Complete());
    ASSERT_EQ(list->Count(), 4u);
    const tessel::Node& first = (*list)[0];
    EXPECT_EQ(first.Id, L"{00000000-0000-0000-0000-000000000001}");
    EXPECT_EQ(Param(first, L"Name"), L"A  B  C");
    EXPECT_EQ(tessel::SystemUtility::Lower(Param(first, L"DLL")), tessel::SystemUtility::Lower(dll));
    EXPECT_FALSE(first.params.Exists(L"Manufacturer"));
    EXPECT_EQ(Param((*list)[1], L"Name"), L"");
    EXPECT_EQ(Param((*list)[1], L"DLL"), L"");
    EXPECT_EQ(Param((*list)[2], L"DLL"), L"C:\\no\\such\\server.exe");  // the local server, switch cut
    EXPECT_EQ(Param((*list)[3], L"Name"), L"c:\\no\\such.dll");        // no name, no version: the path
    std::vector<std::wstring> order;
    for (const auto& p : first.params) order.push_back(p.Name);
    EXPECT_EQ(order, (std::vector<std::wstring>{L"Name", L"DLL"}));
}

TEST(BHOManager, TakesTheProductNameOfAnUnnamedServerAndKeepsBlanksInItsPath) {
    Registrations r;
    TempDir dir;
    tessel::FileAccessor::Instance().CreateFolder(dir / L"Acme Tools");
    const std::wstring dll = dir / L"Acme Tools\\Acme Helper.dll";
    testing_support::WriteBytes(dll, testing_support::ReadBytes(testing_support::ProgramFolder() + L"\\fixture_product.dll"));
    r.Add(L"{00000000-0000-0000-0000-00000000000A}", nullptr, dll);  // unquoted, blanks in it
    TestLog t;
    CBHOManager m;
    m.Init(t.log);
    auto list = m.EnumBHOs();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->Count(), 1u);
    EXPECT_EQ(tessel::SystemUtility::Lower(Param((*list)[0], L"DLL")), tessel::SystemUtility::Lower(dll));
    EXPECT_EQ(Param((*list)[0], L"Name"), L"Fixture Product");
}

TEST(BHOManager, AnEntryOfNoUseIsReadAsAbsentAndHidesNoRegistration) {
    Registrations r;
    const std::wstring name = L"Good";
    const std::wstring expandsTooFar = testing_support::Repeat(L"%CommonProgramFiles%", 1500);
    r.Add(L"{00000000-0000-0000-0000-000000000001}", &name, L"c:\\a.dll");
    // A name that is no text: the server's path names it.
    r.reg.WriteValue(HKEY_LOCAL_MACHINE, kKey + L"{00000000-0000-0000-0000-000000000002}", L"", {REG_BINARY, {1, 2, 3}});
    r.reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-0000-0000-0000-000000000002}\\InProcServer32", L"", L"c:\\b.dll");
    // An in-process server entry that is no text: the local server stands in.
    r.Add(L"{00000000-0000-0000-0000-000000000003}", &name, L"", L"c:\\c.exe /automation");
    r.reg.WriteValue(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-0000-0000-0000-000000000003}\\InProcServer32", L"",
                     {REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}});
    // A server entry that expands past the limit names no server.
    r.Add(L"{00000000-0000-0000-0000-000000000004}", &name, expandsTooFar);
    TestLog t;
    CBHOManager m;
    m.Init(t.log);
    auto list = m.EnumBHOs();
    ASSERT_TRUE(list);
    EXPECT_TRUE(m.Complete());
    ASSERT_EQ(list->Count(), 4u);
    EXPECT_EQ(Param((*list)[1], L"Name"), L"c:\\b.dll");
    EXPECT_EQ(Param((*list)[1], L"DLL"), L"c:\\b.dll");
    EXPECT_EQ(Param((*list)[2], L"DLL"), L"c:\\c.exe");
    EXPECT_EQ(Param((*list)[3], L"DLL"), L"");
    int notes = 0;
    for (const auto& line : t.Lines()) {
        EXPECT_EQ(line.rfind("5|", 0), 0u) << line;
        notes += line.find("|CBHOManager.FillBHOInfo|") != std::string::npos;
    }
    EXPECT_EQ(notes, 3);
}

TEST(BHOManager, DeletesOneRegistrationAndSaysSo) {
    Registrations r;
    const std::wstring name = L"x";
    r.Add(L"{00000000-0000-0000-0000-000000000001}", &name, L"c:\\a.dll");
    r.Add(L"{00000000-0000-0000-0000-000000000002}", &name, L"c:\\b.dll");
    TestLog t;
    CBHOManager m;
    m.Init(t.log);
    EXPECT_TRUE(m.DeleteBHO(L"{00000000-0000-0000-0000-000000000001}"));
    EXPECT_FALSE(m.DeleteBHO(L"{00000000-0000-0000-0000-00000000000F}"));  // not registered
    EXPECT_FALSE(m.DeleteBHO(L""));  // never the whole list
    EXPECT_TRUE(r.reg.KeyExists(HKEY_LOCAL_MACHINE, kKey + L"{00000000-0000-0000-0000-000000000002}"));
    EXPECT_FALSE(r.reg.KeyExists(HKEY_LOCAL_MACHINE, kKey + L"{00000000-0000-0000-0000-000000000001}"));
    EXPECT_TRUE(r.reg.KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-0000-0000-0000-000000000001}\\InProcServer32"));
    const auto lines = t.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "5|0||Deleting BHO({00000000-0000-0000-0000-000000000001})");
    EXPECT_EQ(lines[1], "5|0||Deleting BHO({00000000-0000-0000-0000-00000000000F})");
    EXPECT_EQ(lines[2], "5|0||Deleting BHO()");
}

TEST(BHOManager, NoRegistrationsGiveAnEmptyList) {
    ScratchHives hives;
    TestLog t;
    CBHOManager m;
    m.Init(t.log);
    auto list = m.EnumBHOs();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->Count(), 0u);
}
