#include "tessel/Error.h"

#include <new>

#include "tessel/SystemUtility.h"
#include "tessel/Text.h"

namespace tessel {

Error::Error(long number, std::wstring description, std::string call)
    : number_(number), description_(std::move(description)), call_(std::move(call)) {
    what_ = (call_.empty() ? std::string() : call_ + ": ") + text::ToUtf8(description_) + " (" +
            std::to_string(number_) + ")";
}

ErrorDescription DescribeCurrentError() noexcept {
    ErrorDescription d;
    try {
        try {
            throw;
        } catch (const Error& e) {
            d.number = e.Number();
            d.text = e.Description();
            d.source = text::FromUtf8(e.Call());
        } catch (const std::bad_alloc&) {
            d.number = kOutOfMemory;
            d.text = L"Out of memory";
        } catch (const std::exception& e) {
            d.number = kUnspecifiedFailure;
            d.text = text::FromUtf8(e.what());
        } catch (...) {
            d.number = kUnspecifiedFailure;
            d.text = L"Unexpected error";
        }
    } catch (...) {
        // No memory left even for the words: the number alone still says what happened.
        d.number = kOutOfMemory;
        d.text.clear();
        d.source.clear();
    }
    return d;
}

long SystemErrorNumber(unsigned long code) noexcept {
    // A call that failed without saying why is still a failure, never "no error".
    return code == 0 ? kUnspecifiedFailure : static_cast<long>(code);
}

std::wstring DescribeSystemError(unsigned long code, std::wstring_view what) {
    std::wstring text(what);
    if (code == 0) return text + L".";
    return text + L": " + SystemUtility::Instance().SystemErrorText(code);
}

}  // namespace tessel
