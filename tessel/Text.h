// Pure text and byte helpers: no platform calls, so they build and test anywhere.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessel::text {

// "%1" is Params[0], "%2" Params[1], ... Substitution is one pass over the template: text
// that a parameter brings in is never scanned again. A placeholder without a parameter stays.
std::wstring FormatString(std::wstring_view templ, const std::vector<std::wstring>& params);

// The printable transport encoding: Base64 with "-" and "_" as its last two digits (the URL
// and file name form), padded with "=": it holds no "+", "%" or "&", so a form field carries
// it unchanged. Decoding also reads the standard digits "+" and "/", and skips every other
// character outside the alphabet, so it returns normally for any text.
std::wstring EncodeBytes(const std::vector<std::uint8_t>& bytes);
std::wstring EncodeString(std::string_view bytes);  // one byte per character
std::vector<std::uint8_t> DecodeBytes(std::wstring_view text);

// Safe in element text and in attribute values quoted with ' or ", and plain ASCII, so that a
// document declared in any ASCII-based encoding (ISO-8859-1 among them) carries every character:
// what lies above U+007F is written as a numeric character reference, and what XML 1.0 cannot
// carry at all (the C0 controls but tab, line feed and carriage return; lone surrogates;
// U+FFFE and U+FFFF) is left out.
std::wstring XmlEscape(std::wstring_view text);

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);
// The UTF-16LE bytes of the text, two per character, without a byte order mark.
std::string ToUtf16Le(std::wstring_view text);
// One byte per character, for a document whose encoding holds the characters up to highest
// (0x7F for ASCII, 0xFF for ISO-8859-1); nothing when a character lies beyond: cut to its low
// byte, it would become another character.
std::optional<std::string> ToSingleBytes(std::wstring_view text, wchar_t highest);

// Dates as the Basic runtime holds them: days since 1899-12-30, the time as the fraction.
struct DateParts {
    int year, month, day, hour, minute, second, millisecond;
};
double ToDate(const DateParts& p);
DateParts FromDate(double date);
// "12/8/2026 10:41:07 PM": the runtime's default text form of a date and time.
std::wstring DateToText(double date);

std::wstring TrimBlanks(std::wstring_view s);  // blanks only, no other white space
std::wstring AsciiLower(std::wstring_view s);

}  // namespace tessel::text
