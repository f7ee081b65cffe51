// The one exception type of the support library and of everything built on it.
#pragma once
#include <exception>
#include <string>

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
    kSubscriptOutOfRange = 9,
    kTypeMismatch = 13,
    kDuplicateKey = 457,
    kObjectError = -2147221504,  // vbObjectError: base of the program's own numbers
    kUnspecifiedFailure = -2147467259,  // 0x80004005
};

}  // namespace tessel
