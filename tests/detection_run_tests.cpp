// The detection run and the suspicious-files report, on lists handed in by the test.
#include <gtest/gtest.h>

#include <objbase.h>
#include <oleauto.h>

#include <cstring>

#include "DetectionTestSupport.h"
#include "detection/RoDoraziva.h"
#include "inspection/FileInfoManager.h"
#include "tessel/ComObject.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"

using detection_support::FakeSource;
using detection_support::TestLog;
using testing_support::TempDir;
using velmora::CRoDoraziva;

namespace {

std::vector<std::wstring> Items(const tessel::KeyedList<std::wstring>& list) { return {list.begin(), list.end()}; }

std::wstring Fixture(const wchar_t* name) { return testing_support::ProgramFolder() + L"\\" + name; }

void Copy(const wchar_t* fixture, const std::wstring& to) {
    testing_support::WriteBytes(to, testing_support::ReadBytes(Fixture(fixture)));
}

// A known-good module of this platform that names no maker, as the tables list them.
std::wstring KnownGoodUnmarkedModule(CRoDoraziva& detector) {
    wchar_t sys[MAX_PATH];
    ::GetSystemDirectoryW(sys, MAX_PATH);
    WIN32_FIND_DATAW fd;
    tessel::UniqueFind find(::FindFirstFileW((std::wstring(sys) + L"\\*.dll").c_str(), &fd));
    if (!find) return L"";
    do {
        const std::wstring path = std::wstring(sys) + L"\\" + fd.cFileName;
        if (detector.IsGoodRunningModule(path)) return path;
    } while (::FindNextFileW(find.get(), &fd));
    return L"";
}

}  // namespace

TEST(DetectParasites, FindsParasitesInEveryPassAndLogsEachOnce) {
    TempDir dir;
    const std::wstring bare = dir / L"Bare Helper.dll", maker = dir / L"maker.dll", runner = dir / L"Runner.exe";
    Copy(L"fixture_bare.dll", bare);
    Copy(L"fixture_both.dll", maker);
    Copy(L"fixture_bare.dll", runner);
    FakeSource source;
    source.bhos = {{L"{A}", L"", true}, {L"{B}", L"", false}, {L"{C}", bare}, {L"{D}", maker}, {L"{E}", bare}};
    source.startup = {{runner, L""}, {dir / L"notrunning.exe", L""}, {L"", L""}, {maker, L"Quillon Labs"}};
    source.processes = {
        {L"", {}},
        {tessel::SystemUtility::Upper(runner), {tessel::SystemUtility::Upper(bare), L"c:\\x\\loaded.tmp"}},
        {L"C:\\Windows\\Temp\\setup.TMP.exe", {}},
    };
    TestLog t;
    CRoDoraziva detector;
    detector.Init(t.log);
    tessel::KeyedList<std::wstring> files, bhos;
    files.Add(L"stale");
    EXPECT_TRUE(detector.DetectParasites(files, bhos, &source));
    EXPECT_EQ(Items(bhos), (std::vector<std::wstring>{L"{A}", L"{B}", L"{C}", L"{E}"}));
    const std::wstring lowerRunner = tessel::SystemUtility::Lower(runner);
    EXPECT_EQ(Items(files), (std::vector<std::wstring>{bare, lowerRunner, L"c:\\x\\loaded.tmp",
                                                       L"c:\\windows\\temp\\setup.tmp.exe"}));
    const auto lines = t.Lines();
    const std::vector<std::string> expected = {
        "5|0|CRoDoraziva.DetectParasites|RunningStartupNonamer found: " + testing_support::Narrow(lowerRunner),
        "5|0|CRoDoraziva.DetectParasites|Running parasite module: c:\\x\\loaded.tmp",
        "5|0|CRoDoraziva.DetectParasites|Running parasite process: c:\\windows\\temp\\setup.tmp.exe",
    };
    EXPECT_EQ(lines, expected);
}

TEST(DetectParasites, PrunesKnownGoodFilesButKeepsTheirRegistrations) {
    TestLog t;
    CRoDoraziva detector;
    detector.Init(t.log);
    const std::wstring good = KnownGoodUnmarkedModule(detector);
    if (good.empty()) GTEST_SKIP() << "no known-good module without a maker on this platform";
    FakeSource source;
    source.bhos = {{L"{G}", good}};
    tessel::KeyedList<std::wstring> files, bhos;
    EXPECT_TRUE(detector.DetectParasites(files, bhos, &source));
    EXPECT_EQ(files.Count(), 0u);
    EXPECT_EQ(Items(bhos), (std::vector<std::wstring>{L"{G}"}));
}

TEST(DetectParasites, TakesNativePathFormsAsTheSystemReportsThem) {
    FakeSource source;
    // The session manager in its native form is known-good without any file access: found
    // as a parasite Browser Helper Object's file, it is pruned and its registration stays.
    source.bhos = {{L"{S}", L"\\SystemRoot\\System32\\SMSS.EXE"}};
    source.processes = {{L"\\??\\C:\\Temp\\Setup.TMP", {L"\\SystemRoot\\System32\\ntdll.dll"}}};
    TestLog t;
    CRoDoraziva detector;
    detector.Init(t.log);
    tessel::KeyedList<std::wstring> files, bhos;
    EXPECT_TRUE(detector.DetectParasites(files, bhos, &source));
    EXPECT_EQ(Items(bhos), (std::vector<std::wstring>{L"{S}"}));
    EXPECT_EQ(Items(files), (std::vector<std::wstring>{L"\\??\\c:\\temp\\setup.tmp"}));
    EXPECT_TRUE(t.Has("5|0|CRoDoraziva.DetectParasites|Running parasite process: \\??\\c:\\temp\\setup.tmp"));
}

TEST(DetectParasites, AListingThatFailsIsAnUnfinishedRunNotACleanMachine) {
    TestLog t;
    CRoDoraziva detector;
    detector.Init(t.log);
    tessel::KeyedList<std::wstring> files, bhos;
    FakeSource failing;
    failing.startupListFails = true;
    failing.bhos = {{L"{A}", L"", true}};
    EXPECT_FALSE(detector.DetectParasites(files, bhos, &failing));
    EXPECT_EQ(Items(bhos), (std::vector<std::wstring>{L"{A}"}));  // what the finished pass found
    bool logged = false;
    for (const auto& line : t.Lines()) logged |= line.rfind("0|", 0) == 0 && line.find("CRoDoraziva.DetectParasites") != std::string::npos;
    EXPECT_TRUE(logged);
    FakeSource skipped;
    skipped.complete = false;  // a listing had to leave a value out
    EXPECT_FALSE(detector.DetectParasites(files, bhos, &skipped));
    FakeSource empty;
    EXPECT_TRUE(detector.DetectParasites(files, bhos, &empty));
    EXPECT_EQ(files.Count() + bhos.Count(), 0u);
}

TEST(DetectParasites, AProcessListThatCannotBeTakenIsAnUnfinishedRunOfTheLiveSystem) {
    testing_support::ScratchHives hives;  // no registrations, no startup items
    tessel::api::ScopedPreset noList(tessel::api::psapi().EnumProcesses, [](DWORD*, DWORD, DWORD*) -> BOOL {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    });
    TestLog t;
    CRoDoraziva detector;
    detector.Init(t.log);
    tessel::KeyedList<std::wstring> files, bhos;
    EXPECT_FALSE(detector.DetectParasites(files, bhos));  // an empty list read as no process at all
    EXPECT_TRUE(t.Has("0|0|CProcessManager.EnumProcs|The list of running processes could not be taken."));
}

TEST(DetectSuspiciousFiles, ListsProcessesModulesAndBHOsOnceEach) {
    TempDir dir;
    const std::wstring bare = dir / L"bare.dll", maker = dir / L"maker.dll";
    Copy(L"fixture_bare.dll", bare);
    Copy(L"fixture_both.dll", maker);
    FakeSource source;
    source.processes = {{L"\\??\\" + bare, {maker, L"\\??\\" + bare}}, {maker, {bare}}};
    source.bhos = {{L"{B}", bare}, {L"{C}", L"C:\\Program Files\\Adobe\\AcroIEFavClient.dll"}};
    TestLog t;
    CRoDoraziva detector;
    detector.Init(t.log);
    tessel::KeyedList<std::wstring> files;
    EXPECT_TRUE(detector.DetectSuspiciousFiles(files, &source));
    // The process path loses its "\??\", the module path keeps it; the run's own finding
    // (the BHO file) is already there.
    EXPECT_EQ(Items(files), (std::vector<std::wstring>{bare, L"\\??\\" + bare,
                                                       L"C:\\Program Files\\Adobe\\AcroIEFavClient.dll"}));
}

TEST(MakeSuspiciousFilesXML, WritesTheReportByteForByte) {
    TempDir dir;
    tessel::FileAccessor::Instance().CreateFolder(dir / L"Tom & Jerry's");
    const std::wstring odd = dir / L"Tom & Jerry's\\a.dll";
    testing_support::WriteBytes(odd, "abc");
    const std::wstring described = dir / L"d.dll";
    Copy(L"fixture_description.dll", described);
    FakeSource source;
    source.bhos = {{L"{1}", odd}, {L"{2}", described}, {L"{3}", dir / L"missing.dll"}};
    TestLog t;
    CRoDoraziva detector;
    detector.Init(t.log);
    const std::string xml = detector.MakeSuspiciousFilesXML(&source);
    std::int32_t size = 0;
    const std::int32_t sum = velmora::Hashier().HashFromFullFileName(described, size);
    const std::wstring e = tessel::SystemUtility::Instance().XmlEscape(dir.Path());
    const std::wstring expected = L"<xml><f i='" + e + L"\\Tom &amp; Jerry&apos;s\\a.dll'><c s='3' h='536871084'/>"
                                  L"<d i=''/><m i=''/></f><f i='" + e + L"\\d.dll'><c s='" + std::to_wstring(size) +
                                  L"' h='" + std::to_wstring(sum) + L"'/><d i='Fixture without a maker'/><m i=''/></f>"
                                  L"<f i='" + e + L"\\missing.dll'><c s='0' h='0'/><d i=''/><m i=''/></f></xml>";
    ASSERT_GE(xml.size(), 2u);
    EXPECT_EQ(xml.substr(0, 2), "\xFF\xFE");
    std::wstring text((xml.size() - 2) / 2, L'\0');
    std::memcpy(text.data(), xml.data() + 2, text.size() * 2);
    EXPECT_EQ(text, expected);

    // A real XML parser reads it back.
    const tessel::ComApartment com;
    CLSID clsid;
    ASSERT_TRUE(SUCCEEDED(::CLSIDFromProgID(L"Msxml2.DOMDocument", &clsid)));
    tessel::ComPtr<IDispatch> doc;
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, doc.put_void())));
    DISPID loadXml = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"loadXML");
    ASSERT_TRUE(SUCCEEDED(doc->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &loadXml)));
    tessel::com::Variant arg;
    arg.get().vt = VT_BSTR;
    arg.get().bstrVal = ::SysAllocString(text.c_str());
    DISPPARAMS params{&arg.get(), nullptr, 1, 0};
    tessel::com::Variant result;
    ASSERT_TRUE(SUCCEEDED(
        doc->Invoke(loadXml, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result.get(), nullptr, nullptr)));
    EXPECT_EQ(result.get().vt, VT_BOOL);
    EXPECT_EQ(result.get().boolVal, VARIANT_TRUE) << "the report is not well-formed XML";
}

TEST(MakeSuspiciousFilesXML, NothingFoundIsTheRootAlone) {
    FakeSource empty;
    TestLog t;
    CRoDoraziva detector;
    detector.Init(t.log);
    EXPECT_EQ(detector.MakeSuspiciousFilesXML(&empty), std::string("\xFF\xFE<\0x\0m\0l\0>\0<\0/\0x\0m\0l\0>\0", 24));
}

TEST(DetectParasites, OneRunOverTheLiveSystemFindsARegisteredFixtureAndChangesNothing) {
    testing_support::ScratchHives hives;
    TempDir dir;
    const std::wstring helper = dir / L"live helper.dll";
    Copy(L"fixture_bare.dll", helper);
    const std::wstring clsid = L"{5A0D3C21-7B8E-4F19-A6D2-0C4E8B1F9A37}";
    tessel::RegistryAccessor reg;
    reg.WriteString(HKEY_LOCAL_MACHINE,
                    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" + clsid, L"",
                    L"Live Helper");
    reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InProcServer32", L"", helper);
    auto never = [](const char* what) { ADD_FAILURE() << "a detection run called " << what; };
    tessel::api::ScopedPreset noTerminate(tessel::api::kernel32().TerminateProcess, [&](HANDLE, UINT) {
        never("TerminateProcess");
        return FALSE;
    });
    testing_support::RenameWatch noRename([&](const std::wstring& file) {
        never(("a rename of " + testing_support::Narrow(file)).c_str());
        return true;
    });
    tessel::api::ScopedPreset noMoveA(tessel::api::kernel32().MoveFileA, [&](LPCSTR, LPCSTR) {
        never("MoveFileA");
        return FALSE;
    });
    TestLog t;
    CRoDoraziva detector;
    detector.Init(t.log);
    tessel::KeyedList<std::wstring> files, bhos;
    EXPECT_TRUE(detector.DetectParasites(files, bhos));  // the live system: processes, registrations, startup
    EXPECT_TRUE(bhos.Exists(clsid));
    EXPECT_TRUE(files.Exists(helper));
    EXPECT_TRUE(tessel::FileAccessor::Instance().FileExists(helper));  // nothing renamed
    for (const auto& line : t.Lines()) {
        EXPECT_EQ(line.find("renamed"), std::string::npos) << line;
        EXPECT_EQ(line.find("terminated"), std::string::npos) << line;
    }
}
