#include <initguid.h>

#include "ui/CheckComponents.h"

#include <tessel.h>
#include <vlmrcustom.h>

#include "tessel/ComLogger.h"
#include "tessel/Error.h"
#include "tessel/SystemUtility.h"
#include "ui/Boundary.h"

namespace velmora::ui {

namespace {

using tessel::ComPtr;
using tessel::Error;

}  // namespace

void InitCustomComponent(tessel::Logger& log) {
    CLSID clsid;
    HRESULT hr = ::CLSIDFromProgID(L"VLMRCustom.CCustom2", &clsid);
    if (FAILED(hr)) tessel::ThrowSystemError(hr, "CLSIDFromProgID", L"VLMRCustom.CCustom2 is not registered");
    ComPtr<IDispatch> component;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, component.put_void());
    if (FAILED(hr)) tessel::ThrowSystemError(hr, "CoCreateInstance", L"VLMRCustom.CCustom2 cannot be created");

    wchar_t name[] = L"Init";
    LPOLESTR names[] = {name};
    DISPID id = DISPID_UNKNOWN;
    hr = component->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) tessel::ThrowSystemError(hr, "IDispatch::GetIDsOfNames", L"VLMRCustom.CCustom2 has no Init");

    // The Logger goes by reference, as a variable of the caller's.
    ComPtr<_Logger> logger = tessel::com::MakeComLogger(log);
    IDispatch* reference = logger.get();
    VARIANTARG arg;
    ::VariantInit(&arg);
    V_VT(&arg) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(&arg) = &reference;
    DISPPARAMS params{&arg, nullptr, 1, 0};
    tessel::com::ExceptionInfo exception;
    UINT argError = 0;
    hr = component->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, &exception.info,
                           &argError);
    // A program end stopped at our Logger's boundary goes on from here, on our side.
    RethrowPendingExit();
    if (hr == DISP_E_EXCEPTION) {
        const std::wstring description = exception.Description();
        const HRESULT code = exception.info.scode ? exception.info.scode : hr;
        if (!description.empty()) throw Error(code, description, "IDispatch::Invoke");
        hr = code;
    }
    if (FAILED(hr)) tessel::ThrowSystemError(hr, "IDispatch::Invoke", L"VLMRCustom.CCustom2.Init failed");
}

bool CheckComponents(std::wstring& Message) {
    struct Component {
        const wchar_t* file;
        const CLSID* clsid;
    };
    // A KeyedList of the support library, then a CCustom2 of the custom components library.
    const Component components[] = {{L"Tessel.dll", &CLSID_KeyedList}, {L"VLMRCustom.dll", &CLSID_CCustom2}};
    for (const Component& c : components) {
        ComPtr<IUnknown> object;
        if (FAILED(::CoCreateInstance(*c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.put_void()))) {
            Message = L"Component '" + tessel::SystemUtility::Upper(c.file) +
                      L"' or one of its dependencies not correctly registered: a file is missing or invalid. "
                      L"Try to reinstall Velmora.";
            return false;
        }
    }
    return true;
}

}  // namespace velmora::ui
