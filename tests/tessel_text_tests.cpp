// The support library's pure text helpers: placeholders, transport encoding, XML escaping,
// dates.
#include <gtest/gtest.h>

#include "tessel/Text.h"

using namespace tessel::text;

TEST(FormatString, SubstitutesNumberedPlaceholdersInOnePass) {
    EXPECT_EQ(FormatString(L"File renamed: '%1', (%2, %3)", {L"c:\\x.dll", L"3", L"536871084"}),
              L"File renamed: 'c:\\x.dll', (3, 536871084)");
    // A parameter that itself holds a placeholder is not substituted again.
    EXPECT_EQ(FormatString(L"%1 and %2", {L"%2", L"B"}), L"%2 and B");
    EXPECT_EQ(FormatString(L"%2%1", {L"a", L"b"}), L"ba");
    EXPECT_EQ(FormatString(L"%1%1", {L"x"}), L"xx");
}

TEST(FormatString, LeavesPlaceholdersWithoutParameterAndPercentSignsAlone) {
    EXPECT_EQ(FormatString(L"%1 Please restart Windows manually.", {}), L"%1 Please restart Windows manually.");
    EXPECT_EQ(FormatString(L"100% %3 %0 %", {L"a"}), L"100% %3 %0 %");
    EXPECT_EQ(FormatString(L"%10", {L"a"}), L"a0");
    std::vector<std::wstring> ten{L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8", L"9", L"ten"};
    EXPECT_EQ(FormatString(L"%10", ten), L"ten");
    EXPECT_EQ(FormatString(L"", {L"a"}), L"");
}

TEST(TransportEncoding, RoundTripsEveryByteValue) {
    std::vector<std::uint8_t> all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<std::uint8_t>(i));
    for (std::size_t len = 0; len <= all.size(); len += 1) {
        std::vector<std::uint8_t> part(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(len));
        const std::wstring encoded = EncodeBytes(part);
        for (wchar_t c : encoded) ASSERT_TRUE(c > 0x20 && c < 0x7F) << "not printable";
        ASSERT_EQ(DecodeBytes(encoded), part) << "length " << len;
    }
    std::string bytes("\0\x01\xff\x80 abc", 8);
    const auto decoded = DecodeBytes(EncodeString(bytes));
    EXPECT_EQ(std::string(decoded.begin(), decoded.end()), bytes);
}

TEST(TransportEncoding, KnownValuesAndAnyTextDecodes) {
    EXPECT_EQ(EncodeString("abc"), L"YWJj");
    EXPECT_EQ(EncodeString("ab"), L"YWI=");
    EXPECT_EQ(EncodeString(""), L"");
    // Line breaks and foreign characters inside pasted text are passed over.
    const auto d = DecodeBytes(L"YW\r\nJ\x00e9j");
    EXPECT_EQ(std::string(d.begin(), d.end()), "abc");
    EXPECT_TRUE(DecodeBytes(L"!!!").empty());
}

TEST(XmlEscape, EscapesMarkupAndDropsWhatXmlCannotCarry) {
    EXPECT_EQ(XmlEscape(L"a<b>&'\"c"), L"a&lt;b&gt;&amp;&apos;&quot;c");
    EXPECT_EQ(XmlEscape(L"tab\there\nline"), L"tab\there\nline");
    EXPECT_EQ(XmlEscape(std::wstring(L"x\x01y\0z", 5)), L"x?y?z");
    EXPECT_EQ(XmlEscape(L"\xD800x"), L"?x");               // lone surrogate
    EXPECT_EQ(XmlEscape(L"\xD83D\xDE00"), L"\xD83D\xDE00");  // a pair stays
    EXPECT_EQ(XmlEscape(L"c:\\пути\\ファイル.dll"), L"c:\\пути\\ファイル.dll");
}

TEST(Utf8, RoundTripsAllPlanes) {
    const std::wstring s = L"abc \x00e9\x4e2d \xD83D\xDE00 end";
    EXPECT_EQ(FromUtf8(ToUtf8(s)), s);
    EXPECT_EQ(ToUtf8(L"\x00e9"), "\xc3\xa9");
    EXPECT_EQ(FromUtf8("\xff"), L"\xFFFD");
    EXPECT_EQ(FromUtf8("\xe4\xb8"), L"\xFFFD\xFFFD");  // cut short
}

TEST(Dates, EncodeDaysSince18991230) {
    EXPECT_DOUBLE_EQ(ToDate({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(ToDate({1900, 1, 1, 12, 0, 0, 0}), 2.5);
    EXPECT_DOUBLE_EQ(ToDate({2026, 12, 8, 0, 0, 0, 0}), 46364.0);
    const DateParts p = FromDate(ToDate({2024, 2, 29, 23, 59, 58, 0}));
    EXPECT_EQ(p.year, 2024);
    EXPECT_EQ(p.month, 2);
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 23);
    EXPECT_EQ(p.minute, 59);
    EXPECT_EQ(p.second, 58);
    EXPECT_EQ(DateToText(ToDate({2026, 12, 8, 22, 41, 7, 0})), L"12/8/2026 10:41:07 PM");
    EXPECT_EQ(DateToText(ToDate({2026, 1, 2, 0, 5, 0, 0})), L"1/2/2026 12:05:00 AM");
}

TEST(Trim, RemovesBlanksOnly) {
    EXPECT_EQ(TrimBlanks(L"  a b \t "), L"a b \t");
    EXPECT_EQ(TrimBlanks(L"   "), L"");
    EXPECT_EQ(AsciiLower(L"ABC\x00C9"), L"abc\x00C9");
}
