#include <initguid.h>

#include "tessel/ComLogger.h"

namespace tessel::com {

ComLogger::ComLogger() : owned_(std::make_unique<Logger>()), target_(owned_.get()) {}

ComLogger::ComLogger(Logger& target) : target_(&target) {}

HRESULT ComLogger::Open(BSTR LogFile, BSTR ShortLogFile) noexcept {
    return AtComBoundary(L"Logger.Open", [&] {
        target_->Open(com::Text(LogFile), com::Text(ShortLogFile));
        return S_OK;
    });
}

HRESULT ComLogger::Log(LONG Number, BSTR Text, LONG Level, BSTR Source) noexcept {
    return AtComBoundary(L"Logger.Log", [&] {
        target_->Log(Number, com::Text(Text), Level, com::Text(Source));
        return S_OK;
    });
}

HRESULT ComLogger::LoadTypeInfo(ITypeInfo** out) noexcept {
    return com::LoadTypeInfo(LIBID_Tessel, 1, 0, IID__Logger, out);
}

ComPtr<_Logger> MakeComLogger(Logger& target) {
    ComPtr<ComLogger> logger = Make<ComLogger>(target);
    ComPtr<_Logger> result;
    logger->QueryInterface(IID__Logger, result.put_void());
    return result;
}

}  // namespace tessel::com
