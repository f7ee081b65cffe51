// The pieces of an in-process COM server: a reference-counted object base with its
// QueryInterface table, the dispatch side of dual interfaces (served from the type library),
// a class factory for every creatable class, and owners for BSTRs and VARIANTs.
#pragma once
#include <windows.h>
#include <cguid.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "tessel/ComBoundary.h"
#include "tessel/Unique.h"

namespace tessel::com {

// Live objects and server locks of this module; the server may be unloaded at zero.
void ModuleLock() noexcept;
void ModuleUnlock() noexcept;
long ModuleLocks() noexcept;

// The module (program or library) that holds this code, and its full path.
HMODULE ThisModule() noexcept;
std::wstring ModulePath(HMODULE module);

// An owned BSTR.
class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(std::wstring_view text);
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
    ~Bstr() { ::SysFreeString(s_); }
    BSTR get() const noexcept { return s_; }
    BSTR* put() noexcept {
        ::SysFreeString(s_);
        s_ = nullptr;
        return &s_;
    }
    BSTR release() noexcept { return std::exchange(s_, nullptr); }

private:
    BSTR s_ = nullptr;
};

// The text of a BSTR argument (a null BSTR is the empty text).
inline std::wstring Text(BSTR s) { return s ? std::wstring(s, ::SysStringLen(s)) : std::wstring(); }

// An owned VARIANT; copies are deep.
class Variant {
public:
    Variant() noexcept { ::VariantInit(&v_); }
    Variant(const Variant& o) : Variant() { Check(::VariantCopy(&v_, const_cast<VARIANT*>(&o.v_))); }
    Variant(Variant&& o) noexcept : v_(o.v_) { ::VariantInit(&o.v_); }
    Variant& operator=(Variant o) noexcept {
        std::swap(v_, o.v_);
        return *this;
    }
    ~Variant() { ::VariantClear(&v_); }
    // The value itself, a reference followed.
    static Variant CopyOf(const VARIANT& v);
    VARIANT& get() noexcept { return v_; }
    const VARIANT& get() const noexcept { return v_; }

private:
    static void Check(HRESULT hr);
    VARIANT v_;
};

// The error information IDispatch::Invoke fills in (with DISP_E_EXCEPTION); its strings go with it.
struct ExceptionInfo {
    ExceptionInfo() noexcept = default;
    ExceptionInfo(const ExceptionInfo&) = delete;
    ExceptionInfo& operator=(const ExceptionInfo&) = delete;
    ~ExceptionInfo() {
        ::SysFreeString(info.bstrSource);
        ::SysFreeString(info.bstrDescription);
        ::SysFreeString(info.bstrHelpFile);
    }
    std::wstring Description() const { return info.bstrDescription ? info.bstrDescription : L""; }

    EXCEPINFO info{};
};

// The type description of one interface: taken from the type library built into this module
// when it is the library named, else from the registered library.
HRESULT LoadTypeInfo(REFGUID libid, WORD major, WORD minor, REFIID iid, ITypeInfo** out) noexcept;

// The object base. Primary is the default interface; Extra are further interfaces. IUnknown,
// and IDispatch for a dual Primary, are answered too. The object counts towards ModuleLocks.
template <class Derived, class Primary, class... Extra>
class Object : public Primary, public Extra... {
public:
    Object() noexcept { ModuleLock(); }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object() { ModuleUnlock(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override {
        if (!out) return E_POINTER;
        *out = Find(riid);
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override {
        return static_cast<ULONG>(::InterlockedIncrement(&refs_));
    }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const LONG n = ::InterlockedDecrement(&refs_);
        if (n == 0) delete static_cast<Derived*>(this);
        return static_cast<ULONG>(n);
    }

private:
    void* Find(REFIID riid) noexcept {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(Primary)))
            return static_cast<Primary*>(this);
        if constexpr (std::is_base_of_v<IDispatch, Primary>)
            if (IsEqualIID(riid, IID_IDispatch)) return static_cast<Primary*>(this);
        void* found = nullptr;
        ((found = found ? found : IsEqualIID(riid, __uuidof(Extra)) ? static_cast<Extra*>(this) : nullptr), ...);
        return found;
    }
    LONG refs_ = 1;  // the creator's reference
};

// A new object with the creator's one reference.
template <class T, class... A>
ComPtr<T> Make(A&&... args) {
    return ComPtr<T>(new T(std::forward<A>(args)...));
}

// The dispatch side of a dual interface, served by the platform from the interface's type
// description (Derived::LoadTypeInfo), so that late-bound calls take the same path as bound ones.
template <class Derived, class Primary, class... Extra>
class DispatchObject : public Object<Derived, Primary, Extra...> {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        const HRESULT hr = Ensure();
        if (FAILED(hr)) return hr;
        typeInfo_->AddRef();
        *out = typeInfo_.get();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) noexcept override {
        if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        const HRESULT hr = Ensure();
        if (FAILED(hr)) return hr;
        return ::DispGetIDsOfNames(typeInfo_.get(), names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) noexcept override {
        if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        const HRESULT hr = Ensure();
        if (FAILED(hr)) return hr;
        return ::DispInvoke(static_cast<Primary*>(this), typeInfo_.get(), id, flags, params, result, exception,
                            argError);
    }

private:
    HRESULT Ensure() noexcept {
        if (typeInfo_) return S_OK;
        return Derived::LoadTypeInfo(typeInfo_.put());
    }
    ComPtr<ITypeInfo> typeInfo_;
};

// The class factory of one creatable class (default-constructed).
template <class T>
class ClassFactory : public Object<ClassFactory<T>, IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) noexcept override {
        return AtComBoundary(L"ClassFactory.CreateInstance", [&]() -> HRESULT {
            if (!out) return E_POINTER;
            *out = nullptr;
            if (outer) return CLASS_E_NOAGGREGATION;
            return Make<T>()->QueryInterface(riid, out);
        });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override {
        if (lock) ModuleLock();
        else ModuleUnlock();
        return S_OK;
    }
};

template <class T>
HRESULT GetFactory(REFIID riid, void** out) {
    return Make<ClassFactory<T>>()->QueryInterface(riid, out);
}

}  // namespace tessel::com
