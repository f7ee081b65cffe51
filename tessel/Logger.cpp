#include "tessel/Logger.h"

#include <cstdio>
#include <exception>

#include "tessel/Error.h"
#include "tessel/FileAccessor.h"
#include "tessel/SystemUtility.h"
#include "tessel/Text.h"

namespace tessel {

namespace {

UniqueFile OpenForAppend(const std::wstring& path) {
    UniqueFile file(::CreateFileW(FileAccessor::ExtendedPath(path).c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file;
}

// One entry is one line: line breaks inside the text are written as \r and \n.
std::wstring OneLine(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L'\r') out += L"\\r";
        else if (c == L'\n') out += L"\\n";
        else out += c;
    }
    return out;
}

void WriteLine(const UniqueFile& file, const std::wstring& line) {
    if (!file) return;
    const std::string bytes = text::ToUtf8(line);
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void Logger::Open(const std::wstring& logFile, const std::wstring& shortLogFile) {
    UniqueFile full = OpenForAppend(logFile);
    if (!full) {
        const DWORD code = ::GetLastError();
        throw Error(static_cast<long>(code), L"The log file '" + logFile +
                                                 L"' cannot be opened: " +
                                                 SystemUtility::Instance().SystemErrorText(code),
                    "CreateFileW");
    }
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
        const std::wstring body = OneLine(text);
        std::wstring line = std::wstring(stamp) + L"\t" + std::to_wstring(level) + L"\t" +
                            std::to_wstring(number) + L"\t" + std::wstring(source) + L"\t" +
                            body + L"\r\n";
        WriteLine(full_, line);
        if (level < 5) {
            WriteLine(short_, std::wstring(stamp) + L"\t" + std::wstring(source) + L"\t" + body +
                                  L" (" + std::to_wstring(number) + L")\r\n");
        }
    } catch (...) {
        // Logging never fails its caller.
    }
}

void LogException(Logger& log, std::wstring_view source, int level) noexcept {
    try {
        throw;
    } catch (const Error& e) {
        log.Log(e.Number(), e.Description(), level, source);
    } catch (const std::bad_alloc&) {
        log.Log(7, L"Out of memory", level, source);
    } catch (const std::exception& e) {
        log.Log(kUnspecifiedFailure, text::FromUtf8(e.what()), level, source);
    } catch (...) {
        log.Log(kUnspecifiedFailure, L"Unexpected error", level, source);
    }
}

void PendingError::Capture() noexcept {
    try {
        throw;
    } catch (const Error& e) {
        number_ = e.Number();
        description_ = e.Description();
    } catch (const std::exception& e) {
        number_ = kUnspecifiedFailure;
        description_ = text::FromUtf8(e.what());
    } catch (...) {
        number_ = kUnspecifiedFailure;
        description_ = L"Unexpected error";
    }
    has_ = true;
}

void PendingError::LogAndClear(Logger& log, int level, std::wstring_view source) noexcept {
    if (has_) log.Log(number_, description_, level, source);
    has_ = false;
    number_ = 0;
    description_.clear();
}

}  // namespace tessel
