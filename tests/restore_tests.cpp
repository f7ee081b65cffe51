// The restore of the browser configuration, row by row, on both Windows families.
#include <gtest/gtest.h>

#include "DetectionTestSupport.h"
#include "FileFactsSupport.h"
#include "detection/MRoDoraziva.h"
#include "detection/ZiRaraviz.h"
#include "inspection/Globals.h"
#include "tessel/Api.h"
#include "tessel/RegistryAccessor.h"

using detection_support::TestLog;
using testing_support::ScratchHives;
using velmora::CZiRaraviz;

namespace {

const std::wstring kMain = L"Software\\Microsoft\\Internet Explorer\\Main";
const std::wstring kPolicies = L"Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel";
const std::wstring kStyles = L"Software\\Microsoft\\Internet Explorer\\Styles";
const std::wstring kWindows = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const std::wstring kPrefixes = L"Software\\Microsoft\\Windows\\CurrentVersion\\URL\\Prefixes";
const std::wstring kHandlers = L"PROTOCOLS\\Handler\\";
const std::wstring kStockFile = L"{79eac9e7-baf9-11ce-8c82-00aa004ba90b}";

using Family = filefacts::ProcessWideValues;

struct Hijacked {
    ScratchHives hives;
    tessel::RegistryAccessor reg;
    Hijacked() {
        reg.WriteString(HKEY_CURRENT_USER, kMain, L"Default_Page_URL", L"http://hijack/default");
        reg.WriteString(HKEY_LOCAL_MACHINE, kMain, L"Default_Page_URL", L"http://hijack/default");
        reg.WriteString(HKEY_CURRENT_USER, kMain, L"Start Page", L"http://hijack/start");
        reg.WriteString(HKEY_CURRENT_USER, kMain, L"FirstHomePage", L"http://hijack/first");
        reg.WriteString(HKEY_CURRENT_USER, kPolicies, L"HomePage", L"1");
        reg.WriteString(HKEY_CURRENT_USER, kPolicies, L"ResetWebSettings", L"1");
        reg.WriteString(HKEY_LOCAL_MACHINE, kWindows, L"AppInit_DLLs", L"evil.dll, WBSYS.DLL");
        reg.WriteDWord(HKEY_CURRENT_USER, kStyles, L"Use My Stylesheet", 1);
        reg.WriteString(HKEY_CURRENT_USER, kStyles, L"User Stylesheet", L"c:\\hijack.css");
        reg.WriteString(HKEY_LOCAL_MACHINE, kPrefixes, L"www", L"http://hijack/?q=");
        // about: a foreign class; file: the stock class served by the system's urlmon.dll,
        // written with an unexpanded variable; gopher: the stock class whose server has no
        // folder; https: an empty in-process server, judged by its local server.
        reg.WriteString(HKEY_CLASSES_ROOT, kHandlers + L"about", L"CLSID", L"{EVIL}");
        reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\{EVIL}\\InProcServer32", L"", L"c:\\evil\\about.dll");
        reg.WriteString(HKEY_CLASSES_ROOT, kHandlers + L"file", L"CLSID", tessel::SystemUtility::Upper(kStockFile));
        reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\" + kStockFile + L"\\InProcServer32", L"", L"%SystemRoot%\\SYSTEM32\\urlmon.dll");
        // Upper case: a write of the stock class shows, as the stock text is lower case.
        reg.WriteString(HKEY_CLASSES_ROOT, kHandlers + L"gopher", L"CLSID", L"{79EAC9E4-BAF9-11CE-8C82-00AA004BA90B}");
        reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\{79eac9e4-baf9-11ce-8c82-00aa004ba90b}\\InProcServer32", L"", L"urlmon.dll");
        reg.WriteString(HKEY_CLASSES_ROOT, kHandlers + L"https", L"CLSID", L"{LOCAL}");
        reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\{LOCAL}\\InProcServer32", L"", L"");
        reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\{LOCAL}\\LocalServer32", L"", L"%windir%\\system32\\URLMON.DLL");
        reg.WriteString(HKEY_CLASSES_ROOT, kHandlers + L"http", L"CLSID", L"");
        reg.WriteString(HKEY_CLASSES_ROOT, kHandlers + L"ftp", L"Other", L"x");
        reg.WriteString(HKEY_CLASSES_ROOT, L"PROTOCOLS\\Filter\\text/html\\Deep", L"CLSID", L"{EVIL}");
        reg.WriteString(HKEY_CLASSES_ROOT, L"PROTOCOLS\\Filter\\text/plain", L"CLSID", L"{EVIL}");
    }
    bool Has(HKEY hive, const std::wstring& key, const std::wstring& name) { return reg.ReadValue(hive, key, name).has_value(); }
    std::wstring Text(HKEY hive, const std::wstring& key, const std::wstring& name) { return reg.ReadString(hive, key, name); }
};

int Restore(TestLog& t) {
    CZiRaraviz z;
    z.Init(t.log);
    return z.RestoreConfigurationSettings();
}

}  // namespace

TEST(RestoreConfiguration, PutsEveryRowBackOnTheNTFamily) {
    Family family;
    Hijacked r;
    TestLog t;
    EXPECT_EQ(Restore(t), 0);
    EXPECT_EQ(t.Lines().front(), "5|0|CZiRaraviz.RestoreConfigurationSettings|Restoring all configuration settings");
    EXPECT_FALSE(r.Has(HKEY_CURRENT_USER, kMain, L"Default_Page_URL"));                                   // 1
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, kMain, L"Default_Page_URL"), velmora::StockDefaultPageUrl);      // 2
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, kMain, L"Default_Page_URL"),
              L"http://www.microsoft.com/isapi/redir.dll?prd=ie&pver=6&ar=msnhome");
    EXPECT_EQ(std::wstring(velmora::StockDefaultPageUrl).rfind(velmora::BrowserMakerUrl, 0), 0u);
    EXPECT_EQ(r.Text(HKEY_CURRENT_USER, kMain, L"Start Page"), L"about:blank");                           // 3
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, kMain, L"Start Page"), L"about:blank");                          // 4
    EXPECT_FALSE(r.Has(HKEY_CURRENT_USER, kPolicies, L"HomePage"));                                       // 5
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer\\AboutURLs", L"blank"),
              L"res://mshtml.dll/blank.htm");                                                             // 6
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, kWindows, L"AppInit_DLLs"), L"wbsys.dll");                       // 7
    EXPECT_EQ(r.reg.ReadDWord(HKEY_CURRENT_USER, kStyles, L"Use My Stylesheet"), 0u);                     // 8
    auto sheet = r.reg.ReadValue(HKEY_CURRENT_USER, kStyles, L"User Stylesheet");                        // 9
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->type, static_cast<DWORD>(REG_SZ));
    ASSERT_EQ(sheet->data.size(), 522u);  // 260 NUL characters and the terminator
    EXPECT_EQ(std::count(sheet->data.begin(), sheet->data.end(), 0), 522);
    EXPECT_EQ(r.Text(HKEY_CURRENT_USER, kMain, L"Local Page"), L"c:\\windows\\System32\\blank.htm");       // 10
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, kMain, L"Local Page"), L"%SystemRoot%\\system32\\blank.htm");     // 11
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\URL\\DefaultPrefix", L""),
              L"http://");                                                                                // 12
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, kPrefixes, L"ftp"), L"ftp://");                                   // 13-17
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, kPrefixes, L"gopher"), L"gopher://");
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, kPrefixes, L"home"), L"http://");
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, kPrefixes, L"mosaic"), L"http://");
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, kPrefixes, L"www"), L"http://");
    EXPECT_EQ(r.Text(HKEY_CLASSES_ROOT, kHandlers + L"about", L"CLSID"), L"{3050F406-98B5-11CF-BB82-00AA00BDCE0B}");  // 18
    EXPECT_EQ(r.Text(HKEY_CLASSES_ROOT, kHandlers + L"file", L"CLSID"),
              tessel::SystemUtility::Upper(kStockFile));                                                  // 19 untouched
    EXPECT_EQ(r.Text(HKEY_CLASSES_ROOT, kHandlers + L"gopher", L"CLSID"), L"{79eac9e4-baf9-11ce-8c82-00aa004ba90b}");
    EXPECT_EQ(r.Text(HKEY_CLASSES_ROOT, kHandlers + L"https", L"CLSID"), L"{LOCAL}");                      // served right
    EXPECT_EQ(r.Text(HKEY_CLASSES_ROOT, kHandlers + L"http", L"CLSID"), L"");                              // empty: left
    EXPECT_FALSE(r.Has(HKEY_CLASSES_ROOT, kHandlers + L"ftp", L"CLSID"));                                  // absent: left
    EXPECT_FALSE(r.Has(HKEY_CLASSES_ROOT, kHandlers + L"local", L"CLSID"));
    EXPECT_FALSE(r.reg.KeyExists(HKEY_CLASSES_ROOT, L"PROTOCOLS\\Filter\\text/html"));                     // 25
    EXPECT_FALSE(r.reg.KeyExists(HKEY_CLASSES_ROOT, L"PROTOCOLS\\Filter\\text/plain"));                    // 26
    EXPECT_FALSE(r.Has(HKEY_CURRENT_USER, kPolicies, L"ResetWebSettings"));                               // 27
    EXPECT_FALSE(r.Has(HKEY_CURRENT_USER, kMain, L"FirstHomePage"));                                      // 28
}

TEST(RestoreConfiguration, RepeatingItChangesNothing) {
    Family family;
    Hijacked r;
    TestLog t;
    Restore(t);
    tessel::RegistryAccessor reg;
    auto all = [&] {
        return reg.ExportKey(HKEY_CURRENT_USER, L"Software") + reg.ExportKey(HKEY_LOCAL_MACHINE, L"Software") +
               reg.ExportKey(HKEY_CLASSES_ROOT, L"PROTOCOLS") + reg.ExportKey(HKEY_CLASSES_ROOT, L"CLSID");
    };
    const std::wstring once = all();
    EXPECT_EQ(Restore(t), 0);
    EXPECT_EQ(all(), once);
}

TEST(RestoreConfiguration, FollowsThe9xFamily) {
    tessel::api::ScopedPreset win98(tessel::api::kernel32().GetVersion, [] { return DWORD(0xC0000A04); });
    Family family;
    Hijacked r;
    TestLog t;
    EXPECT_EQ(Restore(t), 0);
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, kWindows, L"AppInit_DLLs"), L"evil.dll, WBSYS.DLL");  // neither read nor written
    EXPECT_EQ(r.Text(HKEY_CURRENT_USER, kMain, L"Local Page"), L"c:\\windows\\System\\blank.htm");
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, kMain, L"Local Page"), L"c:\\windows\\system\\blank.htm");
    // The handlers are judged against the 9x system folder: the urlmon.dll of system32 is foreign there.
    EXPECT_EQ(r.Text(HKEY_CLASSES_ROOT, kHandlers + L"https", L"CLSID"), L"{79eac9e5-baf9-11ce-8c82-00aa004ba90b}");
}

TEST(RestoreConfiguration, AppInitWithoutTheKnownDllBecomesEmpty) {
    Family family;
    Hijacked r;
    r.reg.WriteString(HKEY_LOCAL_MACHINE, kWindows, L"AppInit_DLLs", L"evil.dll");
    TestLog t;
    Restore(t);
    auto v = r.reg.ReadValue(HKEY_LOCAL_MACHINE, kWindows, L"AppInit_DLLs");
    ASSERT_TRUE(v);
    EXPECT_EQ(r.Text(HKEY_LOCAL_MACHINE, kWindows, L"AppInit_DLLs"), L"");
    r.reg.DeleteValue(HKEY_LOCAL_MACHINE, kWindows, L"AppInit_DLLs");
    Restore(t);
    EXPECT_TRUE(r.Has(HKEY_LOCAL_MACHINE, kWindows, L"AppInit_DLLs"));  // a missing value is created empty
}

TEST(RestoreConfiguration, ARowThatFailsIsLoggedAndTheRestIsStillDone) {
    Family family;
    Hijacked r;
    r.reg.WriteValue(HKEY_LOCAL_MACHINE, kWindows, L"AppInit_DLLs", {REG_BINARY, {1, 2, 3}});  // row 7 cannot read it
    TestLog t;
    EXPECT_EQ(Restore(t), 1);
    EXPECT_EQ(r.Text(HKEY_CURRENT_USER, kMain, L"Local Page"), L"c:\\windows\\System32\\blank.htm");
    EXPECT_FALSE(r.Has(HKEY_CURRENT_USER, kMain, L"FirstHomePage"));
    EXPECT_EQ(r.Text(HKEY_CLASSES_ROOT, kHandlers + L"about", L"CLSID"), L"{3050F406-98B5-11CF-BB82-00AA00BDCE0B}");
    int errors = 0;
    for (const auto& line : t.Lines()) errors += line.rfind("0|13|CZiRaraviz.RestoreConfigurationSettings|", 0) == 0;
    EXPECT_EQ(errors, 1);
}

TEST(IsComServerFile, ComparesTheExpandedServerWithTheSystemFolder) {
    Family family;
    ScratchHives hives;
    tessel::RegistryAccessor reg;
    reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\{A}\\InProcServer32", L"", L"%SystemRoot%\\System32\\MSHTML.dll");
    reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\{B}\\InProcServer32", L"", L"\"c:\\windows\\system32\\mshtml.dll\"");
    std::wstring server = L"poison";
    EXPECT_TRUE(velmora::IsComServerFile(reg, L"{A}", L"mshtml.dll", server));
    EXPECT_EQ(server, L"%SystemRoot%\\System32\\MSHTML.dll");
    EXPECT_FALSE(velmora::IsComServerFile(reg, L"{B}", L"mshtml.dll", server));  // quoted: not the same text
    EXPECT_FALSE(velmora::IsComServerFile(reg, L"{C}", L"mshtml.dll", server));
    EXPECT_EQ(server, L"");
}
