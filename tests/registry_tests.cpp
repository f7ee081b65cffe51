// The registry accessor against the real registry, in scratch keys of the current user.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "TestSupport.h"
#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/RegistryAccessor.h"
#include "tessel/SystemUtility.h"

using namespace tessel;
using testing_support::ScratchHives;
using testing_support::TempDir;

namespace {

RegistryValue Raw(DWORD type, const void* data, std::size_t size) {
    RegistryValue v{type, std::vector<std::uint8_t>(size)};
    if (size) std::memcpy(v.data.data(), data, size);
    return v;
}

RegistryValue Text(DWORD type, const std::wstring& s, bool terminate = true) {
    std::wstring t = s;
    if (terminate) t.push_back(L'\0');
    return Raw(type, t.data(), t.size() * 2);
}

class Registry : public ::testing::Test {
protected:
    ScratchHives hives;
    RegistryAccessor reg;
    const std::wstring key = L"Software\\Ardentis Software\\Velmora\\Current Version";
};

}  // namespace

TEST_F(Registry, WritesReadsEnumeratesAndDeletes) {
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, key, L"ZiRaraviz Cleanup Time"), L"");  // key absent
    EXPECT_EQ(reg.EnumValues(HKEY_CURRENT_USER, key).Count(), 0u);
    reg.WriteString(HKEY_CURRENT_USER, key, L"ZiRaraviz Cleanup Time", L"AAAAgH9M5kA=");
    reg.WriteString(HKEY_CURRENT_USER, key, L"", L"default");
    reg.WriteDWord(HKEY_CURRENT_USER, key + L"\\Removed Files", L"n", 42);
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, key + L"\\", L"ZiRaraviz Cleanup Time"), L"AAAAgH9M5kA=");
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, key, L""), L"default");
    EXPECT_EQ(reg.ReadDWord(HKEY_CURRENT_USER, key + L"\\Removed Files", L"n"), 42u);
    EXPECT_EQ(reg.ReadDWord(HKEY_CURRENT_USER, key, L"absent"), 0u);
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, key + L"\\Removed Files", L"n"), L"42");
    auto values = reg.EnumValues(HKEY_CURRENT_USER, key);
    EXPECT_EQ(values.Count(), 2u);
    EXPECT_TRUE(values.Exists(L"zIrARAVIZ cleanup time"));
    auto keys = reg.EnumKeys(HKEY_CURRENT_USER, L"Software\\Ardentis Software\\Velmora");
    ASSERT_EQ(keys.Count(), 1u);
    EXPECT_EQ(keys.Item(1), L"Current Version");
    reg.DeleteValue(HKEY_CURRENT_USER, key, L"ZiRaraviz Cleanup Time");
    reg.DeleteValue(HKEY_CURRENT_USER, key, L"ZiRaraviz Cleanup Time");  // absent: no error
    reg.DeleteValue(HKEY_CURRENT_USER, key + L"\\No Such Key", L"x");
    EXPECT_FALSE(reg.EnumValues(HKEY_CURRENT_USER, key).Exists(L"ZiRaraviz Cleanup Time"));
    // The whole tree goes, subkeys included.
    EXPECT_TRUE(reg.DeleteKey(HKEY_CURRENT_USER, L"Software\\Ardentis Software"));
    EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, L"Software\\Ardentis Software"));
    EXPECT_FALSE(reg.DeleteKey(HKEY_CURRENT_USER, L"Software\\Ardentis Software"));
    EXPECT_FALSE(reg.DeleteKey(HKEY_CURRENT_USER, L""));
}

TEST_F(Registry, RedirectedHivesWriteIntoTheScratchKeys) {
    reg.WriteString(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Internet Explorer\\Main", L"Start Page", L"about:blank");
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegistryAccessor real;
    const std::wstring where = hives.RealPath(HKEY_LOCAL_MACHINE) + L"\\Software\\Microsoft\\Internet Explorer\\Main";
    const std::wstring seen = real.ReadString(HKEY_CURRENT_USER, where, L"Start Page");
    // Put the redirection back for the fixture's own clean-up.
    UniqueKey cu;
    ::RegOpenKeyExW(HKEY_CURRENT_USER, hives.RealPath(HKEY_CURRENT_USER).c_str(), 0, KEY_ALL_ACCESS, cu.put());
    ::RegOverridePredefKey(HKEY_CURRENT_USER, cu.get());
    EXPECT_EQ(seen, L"about:blank");
}

TEST_F(Registry, ReadStringEndsAtTheFirstNulAndWriteStringKeepsEmbeddedOnes) {
    const std::wstring withNul(L"abc\0def", 7);
    reg.WriteString(HKEY_CURRENT_USER, key, L"n", withNul);
    auto raw = reg.ReadValue(HKEY_CURRENT_USER, key, L"n");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw->data.size(), 16u);  // 7 characters and the terminator
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, key, L"n"), L"abc");
    const std::wstring nuls(260, L'\0');
    reg.WriteString(HKEY_CURRENT_USER, key, L"Local Page", nuls);
    EXPECT_EQ(reg.ReadValue(HKEY_CURRENT_USER, key, L"Local Page")->data.size(), 522u);
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, key, L"Local Page"), L"");
}

TEST_F(Registry, OddDataGivesTextOrAClearError) {
    reg.WriteValue(HKEY_CURRENT_USER, key, L"unterminated", Text(REG_SZ, L"xyz", false));
    reg.WriteValue(HKEY_CURRENT_USER, key, L"odd", Raw(REG_SZ, "abc", 3));
    reg.WriteValue(HKEY_CURRENT_USER, key, L"empty", Raw(REG_SZ, nullptr, 0));
    reg.WriteValue(HKEY_CURRENT_USER, key, L"expand", Text(REG_EXPAND_SZ, L"%windir%\\x"));
    reg.WriteValue(HKEY_CURRENT_USER, key, L"multi", Text(REG_MULTI_SZ, std::wstring(L"one\0two\0", 8)));
    reg.WriteValue(HKEY_CURRENT_USER, key, L"binary", Raw(REG_BINARY, "\x01\x02", 2));
    reg.WriteValue(HKEY_CURRENT_USER, key, L"shortdword", Raw(REG_DWORD, "\x01", 1));
    std::wstring big(70000, L'q');
    reg.WriteString(HKEY_CURRENT_USER, key, L"big", big);
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, key, L"unterminated"), L"xyz");
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, key, L"odd"), std::wstring(1, static_cast<wchar_t>('a' | ('b' << 8))));
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, key, L"empty"), L"");
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, key, L"expand"), L"%windir%\\x");  // unexpanded
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, key, L"multi"), L"one");
    EXPECT_EQ(reg.ReadString(HKEY_CURRENT_USER, key, L"big"), big);
    try {
        reg.ReadString(HKEY_CURRENT_USER, key, L"binary");
        FAIL() << "binary data read as text";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), kTypeMismatch);
        EXPECT_NE(e.Description().find(L"binary"), std::wstring::npos);
    }
    EXPECT_THROW(reg.ReadDWord(HKEY_CURRENT_USER, key, L"shortdword"), Error);
    EXPECT_THROW(reg.ReadDWord(HKEY_CURRENT_USER, key, L"expand"), Error);
}

TEST_F(Registry, ExportsRegistryEditorText) {
    const std::wstring k = L"Software\\VlmExport";
    // Written in name order, which is also the order in which Wine lists values.
    reg.WriteString(HKEY_CURRENT_USER, k, L"", L"default");
    reg.WriteValue(HKEY_CURRENT_USER, k, L"Bin", Raw(REG_BINARY, "\x00\x01\xfe", 3));
    reg.WriteValue(HKEY_CURRENT_USER, k, L"Exp", Text(REG_EXPAND_SZ, L"%a%"));
    reg.WriteDWord(HKEY_CURRENT_USER, k, L"Flags", 0x2a);
    reg.WriteString(HKEY_CURRENT_USER, k, L"Start Page", L"C:\\a \"quoted\" path");
    reg.WriteString(HKEY_CURRENT_USER, k + L"\\Sub", L"x", L"y");
    const std::wstring expected =
        L"\r\n[HKEY_CURRENT_USER\\Software\\VlmExport]\r\n"
        L"@=\"default\"\r\n"
        L"\"Bin\"=hex:00,01,fe\r\n"
        L"\"Exp\"=hex(2):25,00,61,00,25,00,00,00\r\n"
        L"\"Flags\"=dword:0000002a\r\n"
        L"\"Start Page\"=\"C:\\\\a \\\"quoted\\\" path\"\r\n"
        L"\r\n"
        L"[HKEY_CURRENT_USER\\Software\\VlmExport\\Sub]\r\n"
        L"\"x\"=\"y\"\r\n";
    EXPECT_EQ(reg.ExportKey(HKEY_CURRENT_USER, k), expected);
    EXPECT_EQ(reg.ExportValue(HKEY_CURRENT_USER, k, L"Flags"),
              L"\r\n[HKEY_CURRENT_USER\\Software\\VlmExport]\r\n\"Flags\"=dword:0000002a\r\n");
    EXPECT_EQ(reg.ExportKey(HKEY_CURRENT_USER, L"Software\\NoSuchKeyVlm"), L"");
    EXPECT_EQ(reg.ExportValue(HKEY_CURRENT_USER, k, L"absent"), L"");
    EXPECT_EQ(reg.ExportValue(HKEY_CURRENT_USER, L"Software\\NoSuchKeyVlm", L"x"), L"");
}

TEST(RegistryExport, WrapsLongHexDataAsTheRegistryEditorDoes) {
    std::vector<std::uint8_t> data(40);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    const std::wstring line = RegistryAccessor::ExportLine(L"AppInit", {REG_BINARY, data});
    const std::wstring expected =
        L"\"AppInit\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,\\\r\n"
        L"  15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27";
    EXPECT_EQ(line, expected);
    // Text that would not read back the same goes as hex(1).
    const std::wstring crlf = L"a\r\nb";
    std::vector<std::uint8_t> bytes((crlf.size() + 1) * 2);
    std::memcpy(bytes.data(), crlf.c_str(), bytes.size());
    EXPECT_EQ(RegistryAccessor::ExportLine(L"x", {REG_SZ, bytes}), L"\"x\"=hex(1):61,00,0d,00,0a,00,62,00,00,00");
    EXPECT_EQ(RegistryAccessor::ExportLine(L"", {REG_DWORD, {}}), L"@=hex(4):");
}

namespace {
// Writes a registry script the way the registry editor saves one: UTF-16LE with its mark.
void WriteRegScript(const std::wstring& path, const std::wstring& body) {
    const std::wstring text = L"\xFEFFWindows Registry Editor Version 5.00\r\n" + body;
    std::string bytes(text.size() * 2, '\0');
    std::memcpy(bytes.data(), text.data(), bytes.size());
    FileAccessor::Instance().WriteFile(path, bytes);
}
std::wstring Replace(std::wstring s, const std::wstring& from, const std::wstring& to) {
    for (std::size_t p = s.find(from); p != std::wstring::npos; p = s.find(from, p + to.size())) s.replace(p, from.size(), to);
    return s;
}
}  // namespace

TEST(RegistryExport, ImportsBackWithTheSystemRegistryTool) {
    TempDir dir;
    RegistryAccessor reg;
    const std::wstring base = L"Software\\VelmoraTests\\" + SystemUtility::Instance().NewId();
    const std::wstring src = base + L"\\Source", dst = base + L"\\Copy";
    std::vector<std::uint8_t> longBin(300);
    for (std::size_t i = 0; i < longBin.size(); ++i) longBin[i] = static_cast<std::uint8_t>(i * 7);
    reg.WriteString(HKEY_CURRENT_USER, src, L"", L"default");
    reg.WriteString(HKEY_CURRENT_USER, src, L"quote\"back\\slash", L"va\"l\\ue ü €");
    reg.WriteString(HKEY_CURRENT_USER, src, L"empty", L"");
    reg.WriteString(HKEY_CURRENT_USER, src, L"nuls", std::wstring(L"a\0b", 3));
    reg.WriteDWord(HKEY_CURRENT_USER, src, L"dw", 0xFFFFFFFF);
    reg.WriteValue(HKEY_CURRENT_USER, src, L"bin", {REG_BINARY, longBin});
    reg.WriteValue(HKEY_CURRENT_USER, src, L"exp", Text(REG_EXPAND_SZ, L"%SystemRoot%\\x.dll"));
    reg.WriteValue(HKEY_CURRENT_USER, src, L"multi", Text(REG_MULTI_SZ, std::wstring(L"a\0b\0", 4)));
    reg.WriteString(HKEY_CURRENT_USER, src + L"\\Child\\Grandchild", L"deep", L"1");

    const std::wstring exported = reg.ExportKey(HKEY_CURRENT_USER, src);
    ASSERT_FALSE(exported.empty());
    const std::wstring script = dir / L"copy.reg";
    WriteRegScript(script, Replace(exported, L"\\Source", L"\\Copy"));
    EXPECT_EQ(testing_support::RunAndWait(L"reg.exe import \"" + script + L"\""), 0u);
    const std::wstring again = reg.ExportKey(HKEY_CURRENT_USER, dst);
    EXPECT_EQ(Replace(again, L"\\Copy", L"\\Source"), exported);
    EXPECT_TRUE(reg.DeleteKey(HKEY_CURRENT_USER, base));
}
