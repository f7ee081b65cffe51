// String and system services of the support library: one object per process.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessel/KeyedList.h"
#include "tessel/Text.h"

namespace tessel {

class SystemUtility {
public:
    static SystemUtility& Instance();

    // Unique; hex digits and "-" only, so safe in a file name and in a form field as it is.
    std::wstring NewId();
    std::wstring FormatString(std::wstring_view templ, const std::vector<std::wstring>& params) {
        return text::FormatString(templ, params);
    }
    std::wstring TempFileName(std::wstring_view prefix);  // a new, empty file in TempFolder
    void PumpMessages();
    std::wstring ExpandEnvironment(std::wstring_view text);
    // PlatformId 1 is the 9x family, 2 the NT family. Returns a display text.
    std::wstring GetWindowsVersion(long& major, long& minor, long& build, long& platformId,
                                   std::wstring& servicePack);
    std::wstring EncodeString(std::string_view bytes) { return text::EncodeString(bytes); }
    std::wstring EncodeBytes(const std::vector<std::uint8_t>& bytes) { return text::EncodeBytes(bytes); }
    std::vector<std::uint8_t> DecodeBytes(std::wstring_view t) { return text::DecodeBytes(t); }
    std::wstring TempFolder();
    std::wstring XmlEscape(std::wstring_view t) { return text::XmlEscape(t); }
    static bool IsEmptyArray(const std::vector<std::uint8_t>& bytes) { return bytes.empty(); }
    std::wstring SystemErrorText(unsigned long code);
    // The version-resource strings of a file by name; empty when it has none or is missing.
    KeyedList<std::wstring> VersionStrings(const std::wstring& file);
    // The file version of the version resource's fixed part; nothing when it has none.
    struct FileVersionNumbers {
        unsigned major, minor, build, revision;
    };
    std::optional<FileVersionNumbers> FileVersion(const std::wstring& file);

    // Letter case by the system's tables (every script, not only ASCII).
    static std::wstring Lower(std::wstring_view s);
    static std::wstring Upper(std::wstring_view s);
    // Conversions to and from the system's ANSI code page ("?" for what it lacks).
    static std::string ToAnsi(std::wstring_view s);
    static std::wstring FromAnsi(std::string_view s);

private:
    SystemUtility() = default;
};

// FormatString with numbers and texts as parameters.
inline std::wstring FormatArg(const std::wstring& s) { return s; }
inline std::wstring FormatArg(const wchar_t* s) { return s; }
inline std::wstring FormatArg(long long n) { return std::to_wstring(n); }
inline std::wstring FormatArg(long n) { return std::to_wstring(n); }
inline std::wstring FormatArg(int n) { return std::to_wstring(n); }
inline std::wstring FormatArg(unsigned long n) { return std::to_wstring(n); }
inline std::wstring FormatArg(unsigned n) { return std::to_wstring(n); }

template <class... Args>
std::wstring Format(std::wstring_view templ, const Args&... args) {
    return text::FormatString(templ, {FormatArg(args)...});
}

}  // namespace tessel
