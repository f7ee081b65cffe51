#include "tessel/Logger.h"

#include <algorithm>
#include <cstdio>

#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/Text.h"

namespace tessel {

namespace {

UniqueFile OpenForAppend(const std::wstring& path) {
    UniqueFile file(::CreateFileW(FileAccessor::ExtendedPath(path).c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file;
}

bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::wstring Cut(std::wstring_view text, std::size_t limit, bool escape) {
    std::wstring out;
    out.reserve(std::min(text.size(), limit) + 32);
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const wchar_t c = text[i];
        // Never between the two halves of a character outside the basic plane.
        if (out.size() >= limit && !IsLowSurrogate(c)) break;
        if (!escape) {
            out += c;
        } else if (c == L'\t') {
            out += L"\\t";
        } else if (c == L'\r') {
            out += L"\\r";
        } else if (c == L'\n') {
            out += L"\\n";
        } else if (c < 0x20 || c == 0x7F) {
            wchar_t hex[8];
            std::swprintf(hex, 8, L"\\x%02x", static_cast<unsigned>(c));
            out += hex;
        } else if (c == 0x85 || c == 0x2028 || c == 0x2029) {  // what some readers take as line breaks
            wchar_t hex[8];
            std::swprintf(hex, 8, L"\\u%04x", static_cast<unsigned>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    if (i < text.size()) out += L"... (" + std::to_wstring(text.size()) + L" characters)";
    return out;
}

// Keeps only the newest lines of a log that has grown past the limit. Nothing happens when
// the file is missing, small, or cannot be opened for writing; the program logs all the same.
void TrimOldest(const std::wstring& path) {
    UniqueFile file(::CreateFileW(FileAccessor::ExtendedPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || ::GetFileType(file.get()) != FILE_TYPE_DISK) return;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) <= Logger::kTrimAbove) return;
    std::string tail(static_cast<std::size_t>(Logger::kKeptBytes), '\0');
    LARGE_INTEGER from{};
    from.QuadPart = size.QuadPart - static_cast<LONGLONG>(tail.size());
    if (!::SetFilePointerEx(file.get(), from, nullptr, FILE_BEGIN)) return;
    std::size_t got = 0;
    while (got < tail.size()) {
        DWORD n = 0;
        if (!::ReadFile(file.get(), &tail[got], static_cast<DWORD>(tail.size() - got), &n, nullptr)) return;
        if (n == 0) break;
        got += n;
    }
    tail.resize(got);
    // The kept part starts with a whole line.
    const std::size_t lineEnd = tail.find('\n');
    tail.erase(0, lineEnd == std::string::npos ? tail.size() : lineEnd + 1);
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(file.get(), zero, nullptr, FILE_BEGIN)) return;
    DWORD written = 0;
    if (!tail.empty() && !::WriteFile(file.get(), tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr)) return;
    ::SetEndOfFile(file.get());
}

void WriteLine(const UniqueFile& file, const std::wstring& line) {
    if (!file) return;
    const std::string bytes = text::ToUtf8(line);
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void Logger::Open(const std::wstring& logFile, const std::wstring& shortLogFile) {
    TrimOldest(logFile);
    TrimOldest(shortLogFile);
    UniqueFile full = OpenForAppend(logFile);
    if (!full) ThrowLastError("CreateFileW", L"The log file '" + logFile + L"' cannot be opened");
    full_ = std::move(full);
    short_ = OpenForAppend(shortLogFile);  // the short log is a convenience: no error of its own
    logFile_ = logFile;
}

void Logger::Log(long number, std::wstring_view text, int level,
                 std::wstring_view source) noexcept {
    try {
        if (!full_) return;
        SYSTEMTIME t;
        ::GetLocalTime(&t);
        wchar_t stamp[40];
        std::swprintf(stamp, 40, L"%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay,
                      t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
        const std::wstring body = LogField(text);
        const std::wstring from = LogField(source);
        std::wstring line = std::wstring(stamp) + L"\t" + std::to_wstring(level) + L"\t" +
                            std::to_wstring(number) + L"\t" + from + L"\t" + body + L"\r\n";
        WriteLine(full_, line);
        if (level < 5) {
            WriteLine(short_, std::wstring(stamp) + L"\t" + from + L"\t" + body + L" (" +
                                  std::to_wstring(number) + L")\r\n");
        }
    } catch (...) {
        // Logging never fails its caller.
    }
}

Logger& UnopenedLogger() {
    static Logger log;
    return log;
}

std::wstring LogField(std::wstring_view text, std::size_t limit) { return Cut(text, limit, true); }

std::wstring LogName(std::wstring_view name) { return Cut(name, kLogNameLimit, false); }

void LogException(Logger& log, std::wstring_view source, int level) noexcept {
    const ErrorDescription error = DescribeCurrentError();
    log.Log(error.number, error.text, level, source);
}

void PendingError::Capture() noexcept { Keep(DescribeCurrentError()); }

void PendingError::Keep(ErrorDescription error) noexcept {
    number_ = error.number;
    description_ = std::move(error.text);
    has_ = true;
}

void PendingError::LogAndClear(Logger& log, int level, std::wstring_view source) noexcept {
    if (has_) log.Log(number_, description_, level, source);
    has_ = false;
    number_ = 0;
    description_.clear();
}

}  // namespace tessel
