// The settings backup: the registry script it writes, and where.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "BackupTestSupport.h"
#include "DetectionTestSupport.h"
#include "TestSupport.h"
#include "inspection/BackupState.h"
#include "tessel/Api.h"
#include "tessel/FileAccessor.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"
#include "ui/SettingsBackup.h"

using namespace velmora::ui;
using testing_support::ScratchHives;
using testing_support::TempDir;

namespace {
std::wstring Utf16(const std::string& bytes, std::size_t from) {
    std::wstring s((bytes.size() - from) / 2, L'\0');
    std::memcpy(s.data(), bytes.data() + from, s.size() * 2);
    return s;
}
}  // namespace

TEST(RegistryImage, IsUnicodeWithItsMarkOnNTAndAnsiOn9x) {
    const std::string nt = RegistryImage(L"\r\n[HKEY_CURRENT_USER\\X]\r\n\"a\"=\"\x00e9\"\r\n");
    ASSERT_GE(nt.size(), 8u);
    EXPECT_EQ(nt.substr(0, 8), std::string("\xFF\xFEW\0i\0n\0", 8));
    EXPECT_EQ(Utf16(nt, 2), L"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n\"a\"=\"\x00e9\"\r\n");
    tessel::api::ScopedPreset win98(tessel::api::kernel32().GetVersion, [] { return DWORD(0xC0000A04); });
    EXPECT_EQ(RegistryImage(L"\r\n[HKEY_CURRENT_USER\\X]\r\n"), "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n");
}

TEST(BackupFile, IsNamedAfterTheLocalTime) {
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 12;
    t.wDay = 8;
    t.wHour = 14;
    t.wMinute = 5;
    t.wSecond = 9;
    // The month's short name is the user's locale's own.
    auto month = [](int m) {
        wchar_t name[32] = L"";
        ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SABBREVMONTHNAME1 + m - 1, name, 32);
        return std::wstring(name);
    };
    EXPECT_EQ(BackupFileName(L"c:\\prog\\Backup", t), L"c:\\prog\\Backup\\Backup " + month(12) + L" 08, 2026 14-05-09.reg");
    t.wMonth = 1;
    t.wDay = 31;
    t.wHour = 0;
    EXPECT_EQ(BackupFileName(L"f", t), L"f\\Backup " + month(1) + L" 31, 2026 00-05-09.reg");
}

TEST(BackupFile, HoldsTheWatchedKeysAndCreatesItsFolder) {
    ScratchHives hives;
    TempDir dir;
    tessel::RegistryAccessor reg;
    const std::wstring bho = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\"
                             L"{11111111-2222-3333-4444-555555555555}";
    reg.WriteString(HKEY_LOCAL_MACHINE, bho, L"", L"Evil & Co");
    reg.WriteString(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Main", L"Start Page", L"http://hijack/");
    reg.WriteString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"AppInit_DLLs",
                    L"evil.dll");
    reg.WriteString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"Other", L"x");
    reg.WriteString(HKEY_CLASSES_ROOT, L"PROTOCOLS\\Filter\\text/html\\Sub", L"CLSID", L"{evil}");
    tessel::Logger log;
    log.Open(dir / L"VLMR.log", dir / L"short.log");
    SYSTEMTIME fixed{};
    fixed.wYear = 2026;
    fixed.wMonth = 3;
    fixed.wDay = 4;
    fixed.wHour = 5;
    fixed.wMinute = 6;
    fixed.wSecond = 7;
    tessel::api::ScopedPreset clock(tessel::api::kernel32().GetLocalTime, [&](LPSYSTEMTIME t) { *t = fixed; });
    const std::wstring file = BackupRegistry(log, dir.Path());
    EXPECT_EQ(file, dir / L"Backup\\Backup Mar 04, 2026 05-06-07.reg");
    const std::string bytes = tessel::FileAccessor::Instance().ReadFile(file);
    ASSERT_GT(bytes.size(), 2u);
    const std::wstring text = Utf16(bytes, 2);
    EXPECT_EQ(text.find(L"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows"
                        L"\\CurrentVersion\\Explorer\\Browser Helper Objects]\r\n"),
              0u);
    EXPECT_NE(text.find(L"\\Browser Helper Objects\\{11111111-2222-3333-4444-555555555555}]\r\n@=\"Evil & Co\"\r\n"),
              std::wstring::npos);
    EXPECT_NE(text.find(L"[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main]\r\n\"Start Page\"=\"http://hijack/\""),
              std::wstring::npos);
    EXPECT_NE(text.find(L"[HKEY_CLASSES_ROOT\\PROTOCOLS\\Filter\\text/html\\Sub]\r\n\"CLSID\"=\"{evil}\""), std::wstring::npos);
    // Only the one value of the Windows key.
    EXPECT_NE(text.find(L"\\Windows NT\\CurrentVersion\\Windows]\r\n\"AppInit_DLLs\"=\"evil.dll\"\r\n"), std::wstring::npos);
    EXPECT_EQ(text.find(L"\"Other\""), std::wstring::npos);
    EXPECT_EQ(tessel::FileAccessor::Instance().ReadFile(dir / L"VLMR.log"), "");  // nothing logged on success
}

TEST(BackupFile, HoldsTheSeventeenExportsInTheirOrder) {
    ScratchHives hives;
    TempDir dir;
    tessel::RegistryAccessor reg;
    const wchar_t* const keys[] = {
        L"HKLM|Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects",
        L"HKCU|Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel",
        L"HKCU|Software\\Microsoft\\Internet Explorer\\Main",
        L"HKLM|Software\\Microsoft\\Internet Explorer\\Main",
        L"HKLM|Software\\Microsoft\\Internet Explorer\\AboutURLs",
        L"HKCU|Software\\Microsoft\\Internet Explorer\\Styles",
        L"HKLM|Software\\Microsoft\\Windows\\CurrentVersion\\URL",
        L"HKCR|PROTOCOLS\\Handler\\About",
        L"HKCR|PROTOCOLS\\Handler\\file",
        L"HKCR|PROTOCOLS\\Handler\\ftp",
        L"HKCR|PROTOCOLS\\Handler\\gopher",
        L"HKCR|PROTOCOLS\\Handler\\http",
        L"HKCR|PROTOCOLS\\Handler\\https",
        L"HKCR|PROTOCOLS\\Handler\\local",
        L"HKCR|PROTOCOLS\\Filter\\text/html",
        L"HKCR|PROTOCOLS\\Filter\\text/plain",
        L"HKLM|SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
    };
    std::vector<std::wstring> expected;
    for (const wchar_t* entry : keys) {
        const std::wstring e = entry;
        const std::wstring hive = e.substr(0, 4), key = e.substr(5);
        const HKEY h = hive == L"HKLM" ? HKEY_LOCAL_MACHINE : hive == L"HKCU" ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT;
        reg.WriteString(h, key, key.find(L"Windows NT") != std::wstring::npos ? L"AppInit_DLLs" : L"x", L"y");
        expected.push_back(L"[" + tessel::RegistryAccessor::HiveName(h) + L"\\" + key + L"]");
    }
    tessel::Logger log;
    log.Open(dir / L"VLMR.log", dir / L"short.log");
    const std::wstring text = Utf16(tessel::FileAccessor::Instance().ReadFile(BackupRegistry(log, dir.Path())), 2);
    std::vector<std::wstring> sections;
    for (std::size_t at = text.find(L"\r\n["); at != std::wstring::npos; at = text.find(L"\r\n[", at + 1))
        sections.push_back(text.substr(at + 2, text.find(L"]", at) - at - 1));
    EXPECT_EQ(sections, expected);
}

TEST(BackupFile, AFolderThatCannotBeMadeIsLoggedAndNothingIsWritten) {
    TempDir dir;
    tessel::FileAccessor::Instance().WriteFile(dir / L"Backup", "a file where the folder belongs");
    tessel::Logger log;
    log.Open(dir / L"VLMR.log", dir / L"short.log");
    EXPECT_EQ(BackupRegistry(log, dir.Path()), L"");
    const std::string logged = tessel::FileAccessor::Instance().ReadFile(dir / L"VLMR.log");
    EXPECT_NE(logged.find("\t4\t"), std::string::npos);
    EXPECT_NE(logged.find("FMain.BackupRegistry"), std::string::npos);
}

namespace {

using testing_support::TextValue;

struct Stored {
    std::wstring key, name;
    tessel::RegistryValue value;
};

// A value by a name that the registry functions take only with its length (a NUL inside it).
void WriteCountedName(const std::wstring& key, const std::wstring& name, const tessel::RegistryValue& value) {
    struct CountedString {
        USHORT length, maximum;
        PWSTR buffer;
    };
    using SetValue = LONG(WINAPI*)(HANDLE, CountedString*, ULONG, ULONG, const void*, ULONG);
    const auto set = reinterpret_cast<SetValue>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey")));
    ASSERT_NE(set, nullptr);
    tessel::UniqueKey k;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, k.put()), ERROR_SUCCESS);
    std::wstring buffer = name;
    CountedString counted{static_cast<USHORT>(name.size() * 2), static_cast<USHORT>(name.size() * 2), buffer.data()};
    ASSERT_EQ(set(k.get(), &counted, 0, value.type, value.data.data(), static_cast<ULONG>(value.data.size())), 0);
}

}  // namespace

// The backup is the one undo of a cleanup: the system's registry editor (another process,
// writing the real registry of the prefix) must bring back every value exactly, in both forms.
// Names that a registry file cannot carry (a parasite's line breaks that would plant sections
// and values of their own, a NUL that ends the import, in the ANSI form a character the code
// page lacks) are left out and named, and change nothing of what the import does.
TEST(BackupFile, TheRegistryEditorImportsItBackInBothForms) {
    using tessel::api::kernel32;
    for (const bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "NT form" : "9x form");
        tessel::api::ScopedPreset version(kernel32().GetVersion, [nt] { return nt ? DWORD(0x0A280105) : DWORD(0xC0000A04); });
        tessel::RegistryAccessor reg;
        const std::wstring root = L"Software\\VelmoraTests\\Import " + tessel::SystemUtility::Instance().NewId();
        struct Remove {
            tessel::RegistryAccessor& reg;
            const std::wstring& root;
            ~Remove() { reg.DeleteKey(HKEY_CURRENT_USER, root); }
        } remove{reg, root};
        std::vector<Stored> values = {
            {root, L"", TextValue(REG_SZ, L"default")},
            {root, L"Quoted \"name\"", TextValue(REG_SZ, L"C:\\Program Files\\\"Evil\" \\\\server\\share\\")},
            {root, L"Expand", TextValue(REG_EXPAND_SZ, L"%SystemRoot%\\system32\\evil.dll")},
            {root, L"Multi", TextValue(REG_MULTI_SZ, std::wstring(L"one\0two \"2\"\0c:\\three\0", 21))},
            {root, L"Number", {REG_DWORD, {0xef, 0xbe, 0xad, 0xde}}},
            {root + L"\\Sub key", L"Lines", TextValue(REG_SZ, L"first\r\nsecond")},
        };
        tessel::RegistryValue binary{REG_BINARY, {}};
        for (int i = 0; i < 100; ++i) binary.data.push_back(static_cast<std::uint8_t>(i * 7));
        values.push_back({root, L"Binary", binary});
        if (nt) values.push_back({root, L"\x0436\x6f22 name", TextValue(REG_EXPAND_SZ, L"%TEMP%\\\x0436\x6f22")});
        const std::wstring where = L"HKEY_CURRENT_USER\\" + root;
        const tessel::RegistryValue planted = TextValue(REG_SZ, L"planted");
        std::vector<Stored> hostile = {
            {root, L"x\r\n[" + where + L"\\Planted]\r\n@=\"planted\"", planted},
            {root, L"\r\n@=\"planted\"", planted},
            {root, L"line\nbreak", planted},
            {root, L"carriage\rreturn", planted},
            // A chain of keys: the first name holds the line break, the last the end of the section.
            {root + L"\\Sub\r\n[" + where + L"\\Planted key]", L"inside", planted},
        };
        if (!nt) hostile.push_back({root, L"\x0436 beyond the code page", planted});
        // Half the ordinary values before the hostile names and half after them.
        for (std::size_t i = 0; i < values.size() / 2; ++i) reg.WriteValue(HKEY_CURRENT_USER, values[i].key, values[i].name, values[i].value);
        for (const Stored& v : hostile) reg.WriteValue(HKEY_CURRENT_USER, v.key, v.name, v.value);
        const std::wstring nulName(L"Binary\0hidden", 13);
        WriteCountedName(root, nulName, planted);
        for (std::size_t i = values.size() / 2; i < values.size(); ++i)
            reg.WriteValue(HKEY_CURRENT_USER, values[i].key, values[i].name, values[i].value);

        TempDir dir;
        const std::wstring file = dir / L"backup.reg";
        const auto form = nt ? tessel::ExportForm::Unicode : tessel::ExportForm::Ansi;
        std::vector<std::wstring> leftOut;
        tessel::FileAccessor::Instance().WriteFile(file, RegistryImage(reg.ExportKey(HKEY_CURRENT_USER, root, form, &leftOut)));
        std::vector<std::wstring> expected = {L"the value '" + nulName + L"' of '" + where + L"'",
                                              L"the key '" + where + L"\\Sub\r\n[HKEY_CURRENT_USER'"};
        for (const Stored& v : hostile)
            if (v.key == root) expected.push_back(L"the value '" + v.name + L"' of '" + where + L"'");
        std::sort(leftOut.begin(), leftOut.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(leftOut, expected);
        for (const Stored& v : values) reg.WriteValue(HKEY_CURRENT_USER, v.key, v.name, TextValue(REG_SZ, L"changed"));
        reg.DeleteValue(HKEY_CURRENT_USER, root, L"Multi");

        EXPECT_EQ(testing_support::RunAndWait(L"regedit.exe /S \"" + file + L"\""), 0u);
        for (const Stored& v : values) {
            const auto now = reg.ReadValue(HKEY_CURRENT_USER, v.key, v.name);
            ASSERT_TRUE(now) << testing_support::Narrow(v.name);
            EXPECT_EQ(now->type, v.value.type) << testing_support::Narrow(v.name);
            EXPECT_EQ(now->data, v.value.data) << testing_support::Narrow(v.name);
        }
        // Nothing planted: no section of a name's own, and only the values the key had.
        EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, root + L"\\Planted"));
        EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, root + L"\\Planted key"));
        EXPECT_EQ(reg.EnumKeys(HKEY_CURRENT_USER, root).Count(), 2);
    }
}

// The backup names once, in the log, each value it had to leave out.
TEST(BackupFile, ANameTheFileCannotCarryIsLoggedOnceAndLeftOut) {
    ScratchHives hives;
    TempDir dir;
    tessel::RegistryAccessor reg;
    const std::wstring main = L"Software\\Microsoft\\Internet Explorer\\Main";
    reg.WriteString(HKEY_CURRENT_USER, main, L"Start Page", L"about:blank");
    reg.WriteString(HKEY_CURRENT_USER, main, L"x\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n@=\"planted\"", L"planted");
    tessel::Logger log;
    log.Open(dir / L"VLMR.log", dir / L"short.log");
    const std::wstring text = Utf16(tessel::FileAccessor::Instance().ReadFile(BackupRegistry(log, dir.Path())), 2);
    EXPECT_NE(text.find(L"Main]\r\n\"Start Page\"=\"about:blank\"\r\n"), std::wstring::npos);
    EXPECT_EQ(text.find(L"planted"), std::wstring::npos);
    EXPECT_EQ(testing_support::LogLines(dir / L"VLMR.log"),
              std::vector<std::string>{"4|0|FMain.BackupRegistry|Left out of the backup, its name cannot be written in a "
                                       "registry file: the value 'x\\r\\n[HKEY_CURRENT_USER\\Software\\Other]\\r\\n@=\"planted\"' "
                                       "of 'HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main'"});
}

// Without a backup of this run the user is asked first, and the log says what came of it: OK goes
// on, Cancel changes nothing, and a warning the system could not show at all changes nothing
// either but is logged as the error it is, never as a Cancel that nobody gave.
TEST(NoBackupWarning, LogsTheAnswerOrThatNoBoxCameUp) {
    const std::string reason = "No backup of the settings has been written since Velmora started.";
    const struct {
        int answer;
        bool goesOn;
        std::string line;
    } cases[] = {
        {IDOK, true, "4|0|the caller|Going on without a settings backup: " + reason},
        {IDCANCEL, false, "5|0|the caller|Nothing changed, no settings backup: " + reason},
        {0, false, "0|0|the caller|Nothing changed, the warning that there is no settings backup could not be shown: " +
                       reason},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        testing_support::BackupRecord backup;
        backup.Forget();
        detection_support::TestLog t;
        testing_support::ScriptedBoxes boxes;
        boxes.answers = {c.answer};
        EXPECT_EQ(velmora::ConfirmChangeWithoutBackup(t.log, L"the caller"), c.goesOn);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].style, UINT(MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2));
        EXPECT_EQ(t.Lines(), std::vector<std::string>{c.line});
    }
}
