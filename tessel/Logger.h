// The program's log: a full log of every entry and a short log of the errors. Each entry is
// written through to the file as it is logged, and the files stay readable (and deletable)
// by other processes while they are open. An entry is one line of tab-separated fields:
// every field is cut to a bounded length and its control characters are escaped, so that
// no text can break a line or shift its columns. A file grown past a few megabytes loses
// its oldest lines when it is opened again.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "tessel/Error.h"
#include "tessel/Unique.h"

namespace tessel {

class Logger {
public:
    // The longest field of a line, in characters, before its cut and the note of its length.
    // Room for a message about two whole paths of the classic length, or one path's encoded name.
    static constexpr std::size_t kFieldLimit = 1024;
    // A file longer than this (in bytes) when it is opened keeps only its newest lines, up to
    // kKeptBytes, so that the logs stay bounded however often the program runs.
    static constexpr std::uint64_t kTrimAbove = 4u << 20;
    static constexpr std::uint64_t kKeptBytes = 1u << 20;

    Logger() = default;
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // Opens (appending) both files; raises when the full log cannot be opened. Entries logged
    // before a successful Open are lost, as are those of a Logger whose Open failed.
    void Open(const std::wstring& logFile, const std::wstring& shortLogFile);
    // Never fails the caller.
    void Log(long number, std::wstring_view text, int level, std::wstring_view source) noexcept;

    const std::wstring& LogFile() const noexcept { return logFile_; }

private:
    UniqueFile full_;
    UniqueFile short_;
    std::wstring logFile_;
};

// A Logger that is never opened, shared by every object used before its Init: what it is
// given goes nowhere.
Logger& UnopenedLogger();

// One field of a log line: tab, CR, LF and the other control characters escaped (\t, \r, \n,
// \xNN, \uNNNN), and what goes past limit characters cut, with the whole length said.
std::wstring LogField(std::wstring_view text, std::size_t limit = Logger::kFieldLimit);

// A name from outside (a registry value's name or data, a path) as a message quotes it:
// longer than a few hundred characters, it is cut with its length said, so that the rest of
// the message still fits in its line.
inline constexpr std::size_t kLogNameLimit = 260;
std::wstring LogName(std::wstring_view name);

// Logs the error being handled (inside a catch block) with its number, its description, the
// level and the source.
void LogException(Logger& log, std::wstring_view source, int level) noexcept;

// Runs an operation under the usual error rule: an error is logged with its number, its
// description, the level and the source, and the operation is left. True when it completed.
// With `onFailure`, what the caller does then (which may take the error's description or nothing).
template <class F, class G>
bool Guard(Logger& log, std::wstring_view source, int level, F&& operation, G&& onFailure) {
    return Guard(operation, [&](ErrorDescription error) {
        log.Log(error.number, error.text, level, source);
        ActOnFailure(onFailure, error);
    });
}
template <class F>
bool Guard(Logger& log, std::wstring_view source, int level, F&& operation) {
    return Guard(log, source, level, operation, [] {});
}

// The last error of a sequence whose steps go on after a failure, kept to be logged once.
class PendingError {
public:
    // Call inside a catch block: keeps the error being handled.
    void Capture() noexcept;
    void Keep(ErrorDescription error) noexcept;
    bool Has() const noexcept { return has_; }
    long Number() const noexcept { return number_; }
    const std::wstring& Description() const noexcept { return description_; }
    // Logs it (when there is one) and clears it.
    void LogAndClear(Logger& log, int level, std::wstring_view source) noexcept;
    // Runs one step of such a sequence.
    template <class F>
    void Run(F&& step) {
        Guard(step, [this](ErrorDescription error) { Keep(std::move(error)); });
    }

private:
    bool has_ = false;
    long number_ = 0;
    std::wstring description_;
};

}  // namespace tessel
