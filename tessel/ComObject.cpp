#include "tessel/ComObject.h"

#include <new>

#include "tessel/Error.h"

namespace tessel::com {

namespace {
LONG g_locks = 0;
ExitRecorder g_recorder = nullptr;
}  // namespace

void ModuleLock() noexcept { ::InterlockedIncrement(&g_locks); }
void ModuleUnlock() noexcept { ::InterlockedDecrement(&g_locks); }
long ModuleLocks() noexcept { return ::InterlockedCompareExchange(&g_locks, 0, 0); }

HMODULE ThisModule() noexcept {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ModuleLocks), &module);
    return module;
}

std::wstring ModulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) ThrowLastError("GetModuleFileNameW", L"The module's file name is unknown");
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

Bstr::Bstr(std::wstring_view text)
    : s_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (!s_) throw std::bad_alloc();
}

Variant Variant::CopyOf(const VARIANT& v) {
    Variant copy;
    Check(::VariantCopyInd(&copy.v_, const_cast<VARIANT*>(&v)));
    return copy;
}

void Variant::Check(HRESULT hr) {
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    if (FAILED(hr)) throw Error(hr, L"The value cannot be copied.", "VariantCopy");
}

HRESULT LoadTypeInfo(REFGUID libid, WORD major, WORD minor, REFIID iid, ITypeInfo** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return AtComBoundary(L"LoadTypeInfo", [&]() -> HRESULT {
        ComPtr<ITypeLib> library;
        // A library whose own type library is built in answers from it; neither a lookup in
        // the registry nor a file beside the program is needed then.
        if (SUCCEEDED(::LoadTypeLibEx(ModulePath(ThisModule()).c_str(), REGKIND_NONE, library.put()))) {
            TLIBATTR* attr = nullptr;
            bool same = false;
            if (SUCCEEDED(library->GetLibAttr(&attr))) {
                same = IsEqualGUID(attr->guid, libid) != 0;
                library->ReleaseTLibAttr(attr);
            }
            if (!same) library = ComPtr<ITypeLib>();
        }
        if (!library) {
            const HRESULT hr = ::LoadRegTypeLib(libid, major, minor, LOCALE_NEUTRAL, library.put());
            if (FAILED(hr)) return hr;
        }
        return library->GetTypeInfoOfGuid(iid, out);
    });
}

void SetExitRecorder(ExitRecorder recorder) noexcept { g_recorder = recorder; }

void RecordExitAtBoundary(unsigned code) noexcept {
    if (g_recorder) g_recorder(code);
}

HRESULT ResultOfNumber(long number) noexcept {
    if (number < 0) return static_cast<HRESULT>(number);
    if (number == 0) return E_FAIL;
    // The runtime's "Out of memory" is the code every COM caller knows for it.
    if (number == kOutOfMemory) return E_OUTOFMEMORY;
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number & 0xFFFF);
}

namespace {
void SetErrorText(const wchar_t* source, const std::wstring& description) noexcept {
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(::CreateErrorInfo(create.put()))) return;
    create->SetSource(const_cast<LPOLESTR>(source));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.put_void()))) ::SetErrorInfo(0, info.get());
}
}  // namespace

HRESULT CurrentErrorResult(const wchar_t* source) noexcept {
    const ErrorDescription error = DescribeCurrentError();
    SetErrorText(source, error.text);
    return ResultOfNumber(error.number);
}

}  // namespace tessel::com
