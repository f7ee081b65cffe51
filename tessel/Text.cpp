#include "tessel/Text.h"

#include <cfloat>
#include <cmath>
#include <cstdio>

namespace tessel::text {

std::wstring FormatString(std::wstring_view templ, const std::vector<std::wstring>& params) {
    std::wstring out;
    out.reserve(templ.size());
    size_t i = 0;
    while (i < templ.size()) {
        const wchar_t c = templ[i];
        if (c == L'%' && i + 1 < templ.size() && templ[i + 1] >= L'1' && templ[i + 1] <= L'9') {
            size_t end = i + 1;
            while (end < templ.size() && templ[end] >= L'0' && templ[end] <= L'9') ++end;
            // The longest run of digits that names a parameter wins: "%10" is the tenth
            // parameter when there are ten, else the first followed by "0".
            bool done = false;
            for (size_t len = end - (i + 1); len >= 1 && !done; --len) {
                size_t index = 0;
                for (size_t k = i + 1; k < i + 1 + len; ++k) index = index * 10 + (templ[k] - L'0');
                if (index >= 1 && index <= params.size()) {
                    out += params[index - 1];
                    i += 1 + len;
                    done = true;
                }
            }
            if (done) continue;
        }
        out += c;
        ++i;
    }
    return out;
}

namespace {
// Base64 with "-" and "_" for its last two digits: nothing in it that a form post changes
// ("+" reads as a blank there, "%" and "&" as escapes and separators), so the text travels
// in a form field as it is.
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

template <class Bytes>
std::wstring Encode(const Bytes& bytes) {
    std::wstring out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<std::uint8_t>(bytes[i]) << 16) |
                           (static_cast<std::uint8_t>(bytes[i + 1]) << 8) |
                           static_cast<std::uint8_t>(bytes[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest) {
        unsigned v = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (rest == 2) v |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

int Sextet(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return c - L'A';
    if (c >= L'a' && c <= L'z') return c - L'a' + 26;
    if (c >= L'0' && c <= L'9') return c - L'0' + 52;
    // Texts of earlier releases (a stored date, a logged name) used the standard digits.
    if (c == L'-' || c == L'+') return 62;
    if (c == L'_' || c == L'/') return 63;
    return -1;
}
}  // namespace

std::wstring EncodeBytes(const std::vector<std::uint8_t>& bytes) { return Encode(bytes); }
std::wstring EncodeString(std::string_view bytes) { return Encode(bytes); }

std::vector<std::uint8_t> DecodeBytes(std::wstring_view text) {
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    unsigned acc = 0;
    int bits = 0;
    for (wchar_t c : text) {
        if (c == L'=') break;  // padding ends the data
        const int v = Sextet(c);
        if (v < 0) continue;
        acc = (acc << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((acc >> bits) & 0xFF));
        }
    }
    return out;
}

std::wstring XmlEscape(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size() + text.size() / 8);
    const auto reference = [&out](std::uint32_t codePoint) {
        out += L"&#" + std::to_wstring(codePoint) + L";";
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        switch (c) {
            case L'&': out += L"&amp;"; break;
            case L'<': out += L"&lt;"; break;
            case L'>': out += L"&gt;"; break;
            case L'"': out += L"&quot;"; break;
            case L'\'': out += L"&apos;"; break;
            default:
                if (c < 0x20) {
                    // Tab, line feed and carriage return are the only controls XML 1.0 allows; as
                    // references they reach the reader as written, where a parser would fold a bare
                    // one into a blank (in an attribute) or drop it (CR before LF).
                    if (c == L'\t' || c == L'\n' || c == L'\r') reference(c);
                } else if (c < 0x80) {
                    out += c;
                } else if (c >= 0xD800 && c <= 0xDBFF) {
                    if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                        reference(0x10000 + ((static_cast<std::uint32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
                        ++i;
                    }
                } else if ((c >= 0xDC00 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) {
                    // Lone surrogates and the two non-characters are no XML characters at all.
                } else {
                    reference(c);
                }
        }
    }
    return out;
}

std::string ToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::wstring FromUtf8(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::uint32_t cp;
        size_t extra;
        if (c < 0x80) { cp = c; extra = 0; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
        else { out += L'\xFFFD'; ++i; continue; }
        bool ok = i + extra < text.size();
        for (size_t k = 1; ok && k <= extra; ++k) {
            const unsigned char d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (d & 0x3F);
        }
        if (!ok) { out += L'\xFFFD'; ++i; continue; }
        i += 1 + extra;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<wchar_t>(cp);
        }
    }
    return out;
}

namespace {
// Days from 1970-01-01 for a proleptic Gregorian civil date (Howard Hinnant's algorithm).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}
void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}
const long long kEpochOffset = 25569;  // 1970-01-01 as a date
}  // namespace

// Dates are compared after one of them went through memory: with x87's 80-bit intermediates a
// date kept in a register differs from itself stored. The 32-bit build computes with SSE2.
static_assert(FLT_EVAL_METHOD == 0, "doubles must be computed at their own precision (-msse2 -mfpmath=sse)");

double ToDate(const DateParts& p) {
    const long long days = DaysFromCivil(p.year, p.month, p.day) + kEpochOffset;
    const double fraction =
        ((p.hour * 60.0 + p.minute) * 60.0 + p.second + p.millisecond / 1000.0) / 86400.0;
    // Before 1899-12-30 the runtime keeps the fraction positive behind a negative day count.
    return days >= 0 ? days + fraction : days - fraction;
}

DateParts FromDate(double date) {
    double whole = std::trunc(date);
    double fraction = std::fabs(date - whole);
    long long ms = std::llround(fraction * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        whole += date >= 0 ? 1 : -1;
    }
    DateParts p{};
    CivilFromDays(static_cast<long long>(whole) - kEpochOffset, p.year, p.month, p.day);
    p.hour = static_cast<int>(ms / 3600000);
    p.minute = static_cast<int>(ms / 60000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.millisecond = static_cast<int>(ms % 1000);
    return p;
}

std::wstring DateToText(double date) {
    const DateParts p = FromDate(date);
    const int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    wchar_t buf[64];
    std::swprintf(buf, 64, L"%d/%d/%d %d:%02d:%02d %ls", p.month, p.day, p.year, hour12, p.minute,
                  p.second, p.hour < 12 ? L"AM" : L"PM");
    return buf;
}

std::string ToUtf16Le(std::wstring_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const wchar_t c : text) {
        const auto u = static_cast<std::uint16_t>(c);
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

std::optional<std::string> ToSingleBytes(std::wstring_view text, wchar_t highest) {
    std::string out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        if (c > highest) return std::nullopt;
        out += static_cast<char>(c);
    }
    return out;
}

std::wstring TrimBlanks(std::wstring_view s) {
    size_t b = 0, e = s.size();
    while (b < e && s[b] == L' ') ++b;
    while (e > b && s[e - 1] == L' ') --e;
    return std::wstring(s.substr(b, e - b));
}

std::wstring AsciiLower(std::wstring_view s) {
    std::wstring out(s);
    for (auto& c : out)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return out;
}

}  // namespace tessel::text
