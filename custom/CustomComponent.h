// The two classes of the custom components library. Each has one method, Init, which writes
// the library's name and version to the Logger it is given and keeps nothing.
#pragma once
#include <string>

#include <vlmrcustom.h>

#include "tessel/ComObject.h"

namespace velmora::custom {

// "<file name without folder and extension> ver.<major>.<minor>.<revision>" of this library,
// from its own file name and file version (the third part of the version is not used).
std::wstring VersionLine();

// Log.Log(0, VersionLine(), 5, "") through the Logger's dispatch interface, bound by name at
// the call, so that any object implementing Tessel's Logger serves. No Logger fails the call.
HRESULT WriteVersionLine(_Logger* Log) noexcept;

template <class Interface>
class CustomComponent : public tessel::com::DispatchObject<CustomComponent<Interface>, Interface> {
public:
    HRESULT STDMETHODCALLTYPE Init(_Logger* Log) noexcept override { return WriteVersionLine(Log); }

    static HRESULT LoadTypeInfo(ITypeInfo** out) noexcept {
        return tessel::com::LoadTypeInfo(LIBID_VLMRCustom, 1, 0, __uuidof(Interface), out);
    }
};

using CCustom2 = CustomComponent<_CCustom2>;
using CCustom = CustomComponent<_CCustom>;

}  // namespace velmora::custom
