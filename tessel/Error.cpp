#include "tessel/Error.h"

#include "tessel/Text.h"

namespace tessel {

Error::Error(long number, std::wstring description, std::string call)
    : number_(number), description_(std::move(description)), call_(std::move(call)) {
    what_ = (call_.empty() ? std::string() : call_ + ": ") + text::ToUtf8(description_) + " (" +
            std::to_string(number_) + ")";
}

}  // namespace tessel
