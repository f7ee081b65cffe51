// The program's log: a full log of every entry and a short log of the errors. Each entry is
// written through to the file as it is logged, and the files stay readable (and deletable)
// by other processes while they are open.
#pragma once
#include <string>
#include <string_view>

#include "tessel/Api.h"
#include "tessel/Unique.h"

namespace tessel {

class Logger {
public:
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

// Runs an operation under the usual error rule: an error is logged with its number, its
// description, the level and the source, and the operation is left. True when it completed.
template <class F>
bool Guard(Logger& log, std::wstring_view source, int level, F&& operation);

void LogException(Logger& log, std::wstring_view source, int level) noexcept;

// The last error of a sequence whose steps go on after a failure, kept to be logged once.
class PendingError {
public:
    // Call inside a catch block: keeps the error being handled.
    void Capture() noexcept;
    bool Has() const noexcept { return has_; }
    long Number() const noexcept { return number_; }
    const std::wstring& Description() const noexcept { return description_; }
    // Logs it (when there is one) and clears it.
    void LogAndClear(Logger& log, int level, std::wstring_view source) noexcept;
    // Runs one step of such a sequence.
    template <class F>
    void Run(F&& step) {
        try {
            step();
        } catch (const api::ExitUnwind&) {
            throw;
        } catch (...) {
            Capture();
        }
    }

private:
    bool has_ = false;
    long number_ = 0;
    std::wstring description_;
};

template <class F>
bool Guard(Logger& log, std::wstring_view source, int level, F&& operation) {
    try {
        operation();
        return true;
    } catch (const api::ExitUnwind&) {
        throw;
    } catch (...) {
        LogException(log, source, level);
        return false;
    }
}

}  // namespace tessel
