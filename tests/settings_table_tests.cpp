// The settings table over scratch registry hives: every row's reading, listing and status on
// both Windows families, and its agreement with the restore of the browser configuration.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "DetectionTestSupport.h"
#include "FileFactsSupport.h"
#include "detection/ZiRaraviz.h"
#include "tessel/Api.h"
#include "tessel/RegistryAccessor.h"
#include "ui/SettingsTable.h"

using testing_support::Narrow;
using testing_support::ScratchHives;
using velmora::ui::GetSettingRow;
using velmora::ui::SettingRow;

namespace {

const std::wstring kMain = L"Software\\Microsoft\\Internet Explorer\\Main";
const std::wstring kStyles = L"Software\\Microsoft\\Internet Explorer\\Styles";
const std::wstring kPrefixes = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\URL\\Prefixes";
const std::wstring kHandler = L"PROTOCOLS\\Handler\\", kFilter = L"PROTOCOLS\\Filter\\";

// Each row's value and name, as the table reads them.
const struct {
    HKEY hive;
    std::wstring key;
    const wchar_t* value;
    const wchar_t* description;
} kRows[] = {
    {}, {HKEY_CURRENT_USER, kMain, L"Default_Page_URL", L"Default page URL for the user who is currently logged on"},
    {HKEY_LOCAL_MACHINE, kMain, L"Default_Page_URL", L"Default page URL particular to the computer (for any user)"},
    {HKEY_CURRENT_USER, kMain, L"Start Page", L"Start page for the user who is currently logged on"},
    {HKEY_LOCAL_MACHINE, kMain, L"Start Page", L"Start page particular to the computer (for any user)"},
    {HKEY_CURRENT_USER, L"Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel", L"HomePage",
     L"Home page for the user who is currently logged on"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer\\AboutURLs", L"blank",
     L"Blank page for \"about:\" protocol"},
    {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"AppInit_DLLs",
     L"DLLs to load during the DLL_PROCESS_ATTACH of User32.dll"},
    {HKEY_CURRENT_USER, kStyles, L"Use My Stylesheet", L"User's style sheet is enabled"},
    {HKEY_CURRENT_USER, kStyles, L"User Stylesheet", L"Location of the user's style sheet"},
    {HKEY_CURRENT_USER, kMain, L"Local Page", L"Local page for the user who is currently logged on"},
    {HKEY_LOCAL_MACHINE, kMain, L"Local Page", L"Local page particular to the computer (for any user)"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\URL\\DefaultPrefix", L"",
     L"Default protocol prefix"},
    {HKEY_LOCAL_MACHINE, kPrefixes, L"ftp", L"Protocol prefix for ftp.*"},
    {HKEY_LOCAL_MACHINE, kPrefixes, L"gopher", L"Protocol prefix for gopher.*"},
    {HKEY_LOCAL_MACHINE, kPrefixes, L"home", L"Protocol prefix for home.*"},
    {HKEY_LOCAL_MACHINE, kPrefixes, L"mosaic", L"Protocol prefix for mosaic.*"},
    {HKEY_LOCAL_MACHINE, kPrefixes, L"www", L"Protocol prefix for www.*"},
    {HKEY_CLASSES_ROOT, kHandler + L"about", L"CLSID", L"Handler for \"about:\" protocol"},
    {HKEY_CLASSES_ROOT, kHandler + L"file", L"CLSID", L"Handler for \"file:\" protocol"},
    {HKEY_CLASSES_ROOT, kHandler + L"ftp", L"CLSID", L"Handler for \"ftp:\" protocol"},
    {HKEY_CLASSES_ROOT, kHandler + L"gopher", L"CLSID", L"Handler for \"gopher:\" protocol"},
    {HKEY_CLASSES_ROOT, kHandler + L"http", L"CLSID", L"Handler for \"http:\" protocol"},
    {HKEY_CLASSES_ROOT, kHandler + L"https", L"CLSID", L"Handler for \"https:\" protocol"},
    {HKEY_CLASSES_ROOT, kHandler + L"local", L"CLSID", L"Handler for \"local:\" protocol"},
    {HKEY_CLASSES_ROOT, kFilter + L"text/html", L"CLSID", L"Filter for \"text/html\" MIME type"},
    {HKEY_CLASSES_ROOT, kFilter + L"text/plain", L"CLSID", L"Filter for \"text/plain\" MIME type"},
};

enum Family { NT = 1, Win9x = 2, Both = 3 };

tessel::RegistryValue Sz(const std::wstring& text, DWORD type = REG_SZ) { return testing_support::TextValue(type, text); }
tessel::RegistryValue Dw(DWORD n) { return {REG_DWORD, {std::uint8_t(n), 0, 0, 0}}; }
tessel::RegistryValue Bin(std::vector<std::uint8_t> bytes) { return {REG_BINARY, std::move(bytes)}; }

struct Case {
    Family family;
    int row;
    tessel::RegistryValue stored;  // REG_NONE: nothing stored
    bool show;
    std::wstring status, shown;    // shown: the "Current Value"
    std::wstring server = L"";     // handlers: the class's in-process server ("-": none)
    const wchar_t* serverKey = L"InProcServer32";
    const wchar_t* description = nullptr;  // when it is not the row's own
};

const std::wstring kMaker = velmora::BrowserMakerUrl, kPortal = velmora::ui::PortalHomeUrl;
const wchar_t kHtmlClass[] = L"Filter CLSID for \"text/html\" MIME type";

std::vector<Case> Cases() {
    const std::wstring stock = velmora::StockDefaultPageUrl, urlmon = L"c:\\windows\\system32\\urlmon.dll";
    std::vector<Case> cases = {
        {Both, 0, Sz(L"x"), false, L"", L""}, {Both, 27, Sz(L"x"), false, L"", L""},
        // The page-address rule: letter case counts only for the maker's site and the resource.
        {Both, 1, Sz(L"ABOUT:BLANK"), true, L"OK", L"ABOUT:BLANK"},
        {Both, 1, Sz(L"res://mshtml.dll/blank.htm"), true, L"OK", L"res://mshtml.dll/blank.htm"},
        {Both, 1, Sz(L"RES://MSHTML.DLL/blank.htm"), true, L"i", L"RES://MSHTML.DLL/blank.htm"},
        {Both, 1, Sz(L"HTTP://WWW.MSN.COM/"), true, L"OK", L"HTTP://WWW.MSN.COM/"},
        {Both, 1, Sz(kPortal + L"/news"), true, L"i", kPortal + L"/news"},
        {Both, 1, Sz(kMaker), true, L"OK", kMaker},
        {Both, 1, Sz(kMaker + L"?ref=1"), true, L"OK", kMaker + L"?ref=1"},
        {Both, 1, Sz(kMaker + L"#top"), true, L"OK", kMaker + L"#top"},
        {Both, 2, Sz(stock), true, L"OK", stock},
        // A host that begins like the maker's, or the maker's host as a user name, is a hijack.
        {Both, 1, Sz(kMaker + L".evil.example/"), true, L"i", kMaker + L".evil.example/"},
        {Both, 4, Sz(kMaker + L"@evil.example"), true, L"i", kMaker + L"@evil.example"},
        {Both, 1, Sz(L"HTTP://WWW.MICROSOFT.COM/"), true, L"i", L"HTTP://WWW.MICROSOFT.COM/"},
        {Both, 4, Sz(kPortal + L"/"), true, L"OK", kPortal + L"/"},
        // The start page: its own icon, never attention.
        {Both, 3, Sz(L"http://www.Google.example/"), true, L"OK", L"http://www.Google.example/"},
        {Both, 3, Sz(kPortal + L"/"), true, L"IE", kPortal + L"/"},
        {Both, 3, Sz(kMaker + L".evil.example/"), true, L"IE", kMaker + L".evil.example/"},
        {Both, 3, Sz(L""), false, L"", L""},
        // Values of other types are read as text and judged.
        {Both, 5, Dw(1), true, L"i", L"1"},
        {Both, 5, Bin({0x68, 0x69, 0}), true, L"i", L"hex:68,69,00"},
        {Both, 5, Bin({}), false, L"", L""},
        {Both, 5, Sz(L"about:blank", REG_EXPAND_SZ), true, L"OK", L"about:blank"},
        {Both, 5, Sz(std::wstring(L"about:blank\0x", 13), REG_MULTI_SZ), true, L"OK", L"about:blank"},
        {Both, 6, Sz(L"http://hijack/"), true, L"i", L"http://hijack/"},
        {NT, 7, Sz(L"WBSYS.DLL"), true, L"OK", L"WBSYS.DLL"},
        {NT, 7, Sz(L"wbsys.dll evil.dll"), true, L"i", L"wbsys.dll evil.dll"},
        {Win9x, 7, Sz(L"evil.dll"), false, L"", L""},
        {Both, 8, Dw(1), true, L"i", L"Yes"}, {Both, 8, Dw(0), true, L"OK", L"No"},
        {Both, 8, Sz(L"1"), true, L"i", L"Yes"}, {Both, 8, Sz(L" 0 "), true, L"OK", L"No"},
        {Both, 8, Bin({0, 0, 0, 0}), true, L"OK", L"No"}, {Both, 8, Bin({0, 1}), true, L"i", L"Yes"},
        {Both, 9, Sz(L"c:\\my.css"), true, L"i", L"c:\\my.css"},
        {Both, 9, Sz(std::wstring(260, L'\0')), false, L"", L""},
        // The local pages, against each family's system folder.
        {NT, 10, Sz(L"C:\\Windows\\System32\\blank.htm"), true, L"OK", L"C:\\Windows\\System32\\blank.htm"},
        {Win9x, 10, Sz(L"c:\\windows\\system32\\blank.htm"), true, L"i", L"c:\\windows\\system32\\blank.htm"},
        {Win9x, 10, Sz(L"c:\\windows\\SYSTEM\\blank.htm"), true, L"OK", L"c:\\windows\\SYSTEM\\blank.htm"},
        {NT, 11, Sz(L"%SystemRoot%\\system32\\blank.htm", REG_EXPAND_SZ), true, L"OK",
         L"%SystemRoot%\\system32\\blank.htm"},
        {Both, 11, Sz(L"c:\\evil\\blank.htm"), true, L"i", L"c:\\evil\\blank.htm"},
        // The prefixes are listed only when wrong.
        {Both, 12, Sz(L"HTTP://"), false, L"OK", L"HTTP://"}, {Both, 12, Sz(L"https://"), true, L"i", L"https://"},
        {Both, 13, Sz(L"ftp://"), false, L"OK", L"ftp://"}, {Both, 14, Sz(L"http://"), true, L"i", L"http://"},
        {Both, 15, Sz(L"http://"), false, L"OK", L"http://"}, {Both, 16, Dw(0), true, L"i", L"0"},
        {Both, 17, Sz(L"http://hijack/?q="), true, L"i", L"http://hijack/?q="}, {Both, 17, Sz(L""), false, L"", L""},
        // Handlers and filters: the class's server, judged against the system folder.
        {NT, 18, Sz(L"{A}"), true, L"OK", L"%SystemRoot%\\System32\\MSHTML.dll", L"%SystemRoot%\\System32\\MSHTML.dll"},
        {Win9x, 18, Sz(L"{A}"), true, L"i", L"%SystemRoot%\\System32\\MSHTML.dll", L"%SystemRoot%\\System32\\MSHTML.dll"},
        {Both, 18, Sz(L"{X}"), true, L"i", L"", L"-"},
        {NT, 19, Sz(L"{F}"), false, L"OK", urlmon, urlmon},
        {Both, 19, Sz(L"{F}"), true, L"i", L"c:\\evil\\urlmon.dll", L"c:\\evil\\urlmon.dll"},
        {NT, 20, Sz(L"{F}"), true, L"i", L"\"" + urlmon + L"\"", L"\"" + urlmon + L"\""},
        {Win9x, 21, Sz(L"{G}"), false, L"OK", L"c:\\windows\\system\\urlmon.dll", L"c:\\windows\\system\\urlmon.dll"},
        {NT, 22, Sz(L"{H}"), false, L"OK", L"%windir%\\system32\\URLMON.DLL", L"%windir%\\system32\\URLMON.DLL",
         L"LocalServer32"},
        {Both, 23, Sz(L""), false, L"", L""},
        {Both, 25, Sz(L"{E}"), true, L"i", L"{E}", L"-", L"InProcServer32", kHtmlClass},
        {Both, 25, Sz(L"{E}"), true, L"i", L"c:\\evil\\f.dll", L"c:\\evil\\f.dll"},
        {NT, 26, Sz(L"{P}"), true, L"OK", urlmon, urlmon},
        {Both, 26, Bin({1, 0xAB}), true, L"i", L"hex:01,ab", L"-", L"InProcServer32",
         L"Filter CLSID for \"text/plain\" MIME type"},
    };
    // Nothing stored: only the style-sheet switch is listed.
    for (int row = 1; row <= 26; ++row)
        cases.push_back({Both, row, {}, row == 8, row == 8 ? L"OK" : L"", row == 8 ? L"No" : L""});
    return cases;
}

// The process-wide values of one family, set as the start-up sets them.
struct OnFamily {
    explicit OnFamily(Family family) {
        if (family == Win9x) tessel::api::kernel32().GetVersion.Preset([] { return DWORD(0xC0000A04); });
        values.Set();
    }
    ~OnFamily() { tessel::api::kernel32().GetVersion.Reset(); }
    filefacts::ProcessWideValues values;
};

}  // namespace

TEST(SettingsTable, EveryRowOnBothFamilies) {
    detection_support::TestLog t;
    for (const Case& c : Cases()) {
        for (Family family : {NT, Win9x}) {
            if (!(c.family & family)) continue;
            SCOPED_TRACE("row " + std::to_string(c.row) + ", " + Narrow(c.shown) + (family == NT ? ", NT" : ", 9x"));
            OnFamily on(family);
            ScratchHives hives;
            tessel::RegistryAccessor reg;
            const bool inTable = c.row >= 1 && c.row <= 26;
            const auto& where = kRows[inTable ? c.row : 1];
            if (c.stored.type != REG_NONE) reg.WriteValue(where.hive, where.key, where.value, c.stored);
            if (!c.server.empty() && c.server != L"-")
                reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\" + velmora::ui::SettingText(c.stored) + L"\\" + c.serverKey,
                                L"", c.server);
            const SettingRow r = GetSettingRow(reg, t.log, c.row);
            EXPECT_EQ(r.Show, c.show);
            EXPECT_EQ(Narrow(r.Status), Narrow(c.status));
            const std::wstring description = c.status.empty() ? L"" : c.description ? c.description : where.description;
            EXPECT_EQ(Narrow(r.Description), Narrow(description));
            EXPECT_EQ(Narrow(r.Value), Narrow(c.shown));
        }
    }
    // Every read above could be made: none is reported as failed.
    EXPECT_EQ(t.Lines(), std::vector<std::string>{});
}

namespace {

// Every row hijacked, with the stock protocol classes registered in the system folder as a
// real installation has them.
void Hijack(tessel::RegistryAccessor& reg) {
    const std::pair<const wchar_t*, const wchar_t*> stock[] = {
        {L"{3050F406-98B5-11CF-BB82-00AA00BDCE0B}", L"mshtml.dll"}, {L"{79eac9e7-baf9-11ce-8c82-00aa004ba90b}", L"urlmon.dll"},
        {L"{79eac9e3-baf9-11ce-8c82-00aa004ba90b}", L"urlmon.dll"}, {L"{79eac9e4-baf9-11ce-8c82-00aa004ba90b}", L"urlmon.dll"},
        {L"{79eac9e2-baf9-11ce-8c82-00aa004ba90b}", L"urlmon.dll"}, {L"{79eac9e5-baf9-11ce-8c82-00aa004ba90b}", L"urlmon.dll"}};
    for (const auto& [classId, server] : stock)
        reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\" + std::wstring(classId) + L"\\InProcServer32", L"", velmora::SysDir + server);
    reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\{EVIL}\\InProcServer32", L"", L"c:\\evil\\evil.dll");
    for (int row = 1; row <= 26; ++row) {
        const auto& w = kRows[row];
        if (row == 5) reg.WriteValue(w.hive, w.key, w.value, Bin({1, 2, 3}));
        else if (row == 8) reg.WriteDWord(w.hive, w.key, w.value, 1);
        else reg.WriteString(w.hive, w.key, w.value, row >= 18 ? L"{EVIL}" : kMaker + L".evil.example/");
    }
}

std::vector<std::string> Listed(tessel::RegistryAccessor& reg, tessel::Logger& log) {
    std::vector<std::string> rows;
    for (int row = 1; row <= 26; ++row) {
        const SettingRow r = GetSettingRow(reg, log, row);
        if (r.Show) rows.push_back(std::to_string(row) + " " + Narrow(r.Status) + " " + Narrow(r.Value));
    }
    return rows;
}

}  // namespace

TEST(SettingsTable, AfterTheRestoreEveryRowIsSafeOrGone) {
    for (Family family : {NT, Win9x}) {
        for (bool hijacked : {true, false}) {
            SCOPED_TRACE(std::string(family == NT ? "NT" : "9x") + (hijacked ? ", hijacked" : ", clean"));
            OnFamily on(family);
            ScratchHives hives;
            tessel::RegistryAccessor reg;
            if (hijacked) {
                Hijack(reg);
            }
            detection_support::TestLog t;
            if (hijacked) {
                EXPECT_EQ(Listed(reg, t.log).size(), family == NT ? 26u : 25u);  // 9x: no AppInit_DLLs
            }
            velmora::CZiRaraviz cleanup;
            cleanup.Init(t.log);
            EXPECT_EQ(cleanup.RestoreConfigurationSettings(), 0);
            const std::string sys = Narrow(velmora::SysDir);
            std::vector<std::string> expected = {
                "2 OK " + Narrow(velmora::StockDefaultPageUrl), "3 OK about:blank", "4 OK about:blank",
                "6 OK res://mshtml.dll/blank.htm", "8 OK No",
                "10 OK " + Narrow(velmora::WinDir) + (family == NT ? "System32" : "System") + "\\blank.htm",
                "11 OK " + (family == NT ? std::string("%SystemRoot%\\system32\\blank.htm") : sys + "blank.htm")};
            if (hijacked) expected.push_back("18 OK " + sys + "mshtml.dll");  // the about: handler is always listed
            EXPECT_EQ(Listed(reg, t.log), expected);
        }
    }
}

TEST(SettingsTable, AnUnreadableRowHidesNoOther) {
    // A handler class too long to be the name of any key: its server cannot be looked up, so
    // that row has no server and needs attention; the failure is logged once, and the rows
    // after it, a hijacked filter among them, are read as usual.
    for (const std::size_t length : {std::size_t{302}, std::size_t{50000}}) {
        SCOPED_TRACE(length);
        OnFamily on(NT);
        ScratchHives hives;
        tessel::RegistryAccessor reg;
        detection_support::TestLog t;
        const std::wstring unopenable = L"{" + std::wstring(length - 2, L'A') + L"}";
        reg.WriteString(HKEY_CLASSES_ROOT, kRows[19].key, kRows[19].value, unopenable);
        reg.WriteString(HKEY_CLASSES_ROOT, kRows[22].key, kRows[22].value, L"{EVIL}");
        reg.WriteString(HKEY_CLASSES_ROOT, kRows[25].key, kRows[25].value, L"{EVIL}");
        reg.WriteString(HKEY_CLASSES_ROOT, kRows[26].key, kRows[26].value, unopenable);
        reg.WriteString(HKEY_CLASSES_ROOT, L"CLSID\\{EVIL}\\InProcServer32", L"", L"c:\\evil\\evil.dll");
        EXPECT_EQ(Listed(reg, t.log),
                  (std::vector<std::string>{"8 OK No", "19 i ", "22 i c:\\evil\\evil.dll", "25 i c:\\evil\\evil.dll",
                                            "26 i " + Narrow(unopenable)}));
        // One line for each of the two rows, as an error of the tab, naming the key it could not open.
        const std::vector<std::string> lines = t.Lines();
        ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
        for (const std::string& line : lines) {
            EXPECT_TRUE(line.starts_with("4|")) << line;
            EXPECT_NE(line.find("|ucCS.GetSettingRow|Cannot open the key 'HKEY_CLASSES_ROOT\\CLSID\\{AAAA"),
                      std::string::npos) << line;
            EXPECT_TRUE(line.ends_with("It is read as absent.")) << line;
        }
    }
}
