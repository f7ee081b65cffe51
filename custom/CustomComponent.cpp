#include "custom/CustomComponent.h"

#include "tessel/Error.h"
#include "tessel/SystemUtility.h"

namespace velmora::custom {

using tessel::Error;
using tessel::com::Bstr;

std::wstring VersionLine() {
    const std::wstring path = tessel::com::ModulePath(tessel::com::ThisModule());
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    const auto dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.resize(dot);

    const auto version = tessel::SystemUtility::Instance().FileVersion(path);
    if (!version)
        throw Error(tessel::kUnspecifiedFailure, L"The version of '" + path + L"' cannot be read.", "GetFileVersionInfoW");
    // The Basic runtime's App.Major, App.Minor and App.Revision.
    return name + L" ver." + std::to_wstring(version->major) + L"." + std::to_wstring(version->minor) + L"." +
           std::to_wstring(version->revision);
}

HRESULT WriteVersionLine(_Logger* Log) noexcept {
    return tessel::com::AtComBoundary(L"VLMRCustom.Init", [&]() -> HRESULT {
        // The Basic runtime's "Object variable or With block variable not set".
        if (!Log) throw Error(91, L"Object variable or With block variable not set");
        const std::wstring text = VersionLine();
        wchar_t name[] = L"Log";
        LPOLESTR names[] = {name};
        DISPID id = DISPID_UNKNOWN;
        HRESULT hr = Log->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr)) return hr;
        // Arguments last to first: Source, Level, Text, Number.
        Bstr source(L""), line(text);
        VARIANTARG args[4];
        for (auto& a : args) ::VariantInit(&a);
        V_VT(&args[0]) = VT_BSTR;
        V_BSTR(&args[0]) = source.get();
        V_VT(&args[1]) = VT_I4;
        V_I4(&args[1]) = 5;
        V_VT(&args[2]) = VT_BSTR;
        V_BSTR(&args[2]) = line.get();
        V_VT(&args[3]) = VT_I4;
        V_I4(&args[3]) = 0;
        DISPPARAMS params{args, nullptr, 4, 0};
        tessel::com::ExceptionInfo exception;
        UINT argError = 0;
        hr = Log->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, &exception.info,
                         &argError);
        if (hr == DISP_E_EXCEPTION) {
            const std::wstring description = exception.Description();
            const HRESULT code = exception.info.scode ? exception.info.scode : E_FAIL;
            throw Error(code, description.empty() ? L"The Logger failed." : description, "IDispatch::Invoke");
        }
        return hr;
    });
}

}  // namespace velmora::custom
