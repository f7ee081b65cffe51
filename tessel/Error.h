// The one exception type of the support library and of everything built on it, and the one
// funnel of errors: how a failed system call is raised, how the error in flight is described,
// and how a step is run so that its error is handled while the program's end passes.
#pragma once
#include <windows.h>

#include <exception>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace tessel {

class Error : public std::exception {
public:
    Error(long number, std::wstring description, std::string call = {});

    long Number() const noexcept { return number_; }
    const std::wstring& Description() const noexcept { return description_; }
    // The platform or library call that failed, when there was one.
    const std::string& Call() const noexcept { return call_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    long number_;
    std::wstring description_;
    std::string call_;
    std::string what_;
};

// Data that the caller cannot use: a registry value that is not text or not a number of the
// right size, text that expands past the system's limit. It spoils that one value alone: the
// caller skips the value and goes on with the others.
class UnusableValue : public Error {
public:
    using Error::Error;
};

// Error numbers raised by the support library itself (the Basic runtime's own numbers,
// which the log readers of earlier releases know).
enum ErrorNumber : long {
    kInvalidArgument = 5,
    kOutOfMemory = 7,
    kSubscriptOutOfRange = 9,
    kTypeMismatch = 13,
    kDuplicateKey = 457,
    kObjectError = -2147221504,  // vbObjectError: base of the program's own numbers
    kUnspecifiedFailure = -2147467259,  // 0x80004005
};

namespace api {
// A preset of a function that never returns (ExitProcess) throws this instead, so that a test
// sees the program end without ending. Every error handler of the program lets it pass: only
// the helpers below and the boundaries where the system calls in name it.
struct ExitUnwind {
    unsigned code;
};
}  // namespace api

// What the error being handled says of itself, as a log line and a message show it.
struct ErrorDescription {
    long number = 0;
    std::wstring text;
    // The failing platform or library call, when the error names one.
    std::wstring source;
};

// Inside a catch block: the description of the error being handled. The support library's
// errors give their own number and text; running out of memory is the Basic runtime's
// "Out of memory" (7); anything else is an unspecified failure with the text it carries.
ErrorDescription DescribeCurrentError() noexcept;

// The number and description of a failed system call's error `code`: the code itself (a call
// that failed without one is an unspecified failure, never "no error"), and `what` failed
// followed by the system's own text for the code.
long SystemErrorNumber(unsigned long code) noexcept;
std::wstring DescribeSystemError(unsigned long code, std::wstring_view what);

// Raises a failed system call's error `code` (a registry call's answer) as the failure of `call`.
template <class E = Error>
[[noreturn]] void ThrowSystemError(unsigned long code, const char* call, std::wstring_view what) {
    throw E(SystemErrorNumber(code), DescribeSystemError(code, what), call);
}
// The same with the calling thread's last error: called straight after the failed call (the
// text of `what` is built first, which leaves the last error as it is).
template <class E = Error>
[[noreturn]] void ThrowLastError(const char* call, std::wstring_view what) {
    const DWORD code = ::GetLastError();
    ThrowSystemError<E>(code, call, what);
}

// Hands a failure action the error's description, or calls it with nothing when it takes none.
template <class G>
void ActOnFailure(G& onFailure, ErrorDescription& failure) {
    if constexpr (std::is_invocable_v<G&, ErrorDescription&&>) onFailure(std::move(failure));
    else onFailure();
}

// Runs a step; when it fails, the error is described and handed to `onFailure` (which may
// also take no argument). The program's end is never a failure of the step: it passes on.
// True when the step completed.
template <class F, class G>
bool Guard(F&& step, G&& onFailure) {
    ErrorDescription failure;
    try {
        step();
        return true;
    } catch (const api::ExitUnwind&) {
        throw;
    } catch (...) {
        failure = DescribeCurrentError();
    }
    ActOnFailure(onFailure, failure);
    return false;
}

// A step whose failure the caller passes over: its error is dropped, the program's end passes.
template <class F>
bool PassOver(F&& step) {
    return Guard(step, [] {});
}

}  // namespace tessel
