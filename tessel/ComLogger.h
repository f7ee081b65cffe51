// Tessel's Logger interface over a Logger of this module: what crosses COM when a library is
// handed the program's log, so that the log stays one file with one writer. The creatable
// class of Tessel.dll is the same object owning a Logger of its own.
#pragma once
#include <memory>

#include <tessel.h>

#include "tessel/ComObject.h"
#include "tessel/Logger.h"

namespace tessel::com {

class ComLogger : public DispatchObject<ComLogger, _Logger> {
public:
    ComLogger();                         // owns a new Logger, opened through Open
    explicit ComLogger(Logger& target);  // forwards to target, which outlives every reference

    HRESULT STDMETHODCALLTYPE Open(BSTR LogFile, BSTR ShortLogFile) noexcept override;
    HRESULT STDMETHODCALLTYPE Log(LONG Number, BSTR Text, LONG Level, BSTR Source) noexcept override;

    static HRESULT LoadTypeInfo(ITypeInfo** out) noexcept;

private:
    std::unique_ptr<Logger> owned_;
    Logger* target_;
};

// The Logger interface of a new object forwarding to target.
ComPtr<_Logger> MakeComLogger(Logger& target);

}  // namespace tessel::com
