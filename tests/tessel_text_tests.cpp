// The support library's pure text helpers: placeholders, transport encoding, XML escaping,
// dates.
#include <gtest/gtest.h>

#include <string>

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

TEST(XmlEscape, WritesPlainAsciiForEveryCharacterAndDropsWhatXmlCannotCarry) {
    struct Case {
        std::wstring in;
        std::wstring out;
    } cases[] = {
        {L"a<b>&'\"c", L"a&lt;b&gt;&amp;&apos;&quot;c"},
        {L"tab\there\nline\r", L"tab&#9;here&#10;line&#13;"},
        {std::wstring(L"x\x01y\0z\x1F\x7F", 7), L"xyz\x7F"},    // forbidden controls go
        {L"\xD800x\xDC00", L"x"},                                   // lone surrogates go
        {L"\xD83D\xDE00", L"&#128512;"},                             // a pair is one character
        {L"\x00E9\x0100\x00FF\x0080", L"&#233;&#256;&#255;&#128;"},  // never cut to the low byte
        {L"\xFFFE\xFFFF\xFFFD", L"&#65533;"},
        {L"c:\\пути\\ファイル.dll", L"c:\\&#1087;&#1091;&#1090;&#1080;\\&#12501;&#12449;&#12452;&#12523;.dll"},
    };
    for (const auto& c : cases) EXPECT_EQ(XmlEscape(c.in), c.out) << ToUtf8(c.in);
    // Every UTF-16 unit, alone: the result is ASCII, holds no bare markup, and is empty only for
    // what XML cannot carry.
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        const std::wstring out = XmlEscape(std::wstring(1, static_cast<wchar_t>(u)));
        for (wchar_t c : out) {
            ASSERT_LT(c, 0x80) << u;
        }
        if (out.size() > 1) {
            ASSERT_EQ(out.front(), L'&') << u;
        }
        const bool forbidden = (u < 0x20 && u != 9 && u != 10 && u != 13) || (u >= 0xD800 && u <= 0xDFFF) ||
                               u == 0xFFFE || u == 0xFFFF;
        ASSERT_EQ(out.empty(), forbidden) << u;
    }
}

TEST(TransportEncoding, TravelsThroughAFormFieldUnchangedAndDecodesToTheSameBytes) {
    // Every byte value alone and in every position of a three-byte group, then a few hundred
    // kilobytes of random bytes in pieces of every length up to a few hundred.
    std::vector<std::string> samples;
    for (int b = 0; b < 256; ++b)
        for (int at = 0; at < 3; ++at) {
            std::string s(3, '\x5A');
            s[at] = static_cast<char>(b);
            samples.push_back(s.substr(0, at + 1));
        }
    std::uint32_t seed = 0x1234567u;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<char>(seed >> 16);
    };
    std::size_t total = 0;
    for (std::size_t len = 0; total < 400 * 1024; len = (len + 37) % 701) {
        std::string s;
        for (std::size_t i = 0; i < len; ++i) s += next();
        total += len;
        samples.push_back(std::move(s));
    }
    std::string big;
    for (int i = 0; i < 300 * 1024; ++i) big += next();
    samples.push_back(big);
    for (const std::string& bytes : samples) {
        const std::wstring encoded = EncodeString(bytes);
        // Nothing a form decoder reads as a separator or an escape: the field arrives unchanged.
        const std::string text = ToUtf8(encoded);
        ASSERT_EQ(text.find_first_of("%&+ \r\n"), std::string::npos) << text;
        const auto decoded = DecodeBytes(encoded);
        ASSERT_EQ(std::string(decoded.begin(), decoded.end()), bytes);
    }
    // What earlier releases wrote with the standard digits still decodes.
    EXPECT_EQ(DecodeBytes(L"+/8="), (std::vector<std::uint8_t>{0xFB, 0xFF}));
    EXPECT_EQ(EncodeString("\xFB\xFF"), L"-_8=");
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
