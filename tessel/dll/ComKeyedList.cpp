#include "tessel/dll/ComKeyedList.h"

#include "tessel/Error.h"

namespace tessel::com {

namespace {

// An optional argument that the caller left out.
bool Missing(const VARIANT& v) { return V_VT(&v) == VT_ERROR && V_ERROR(&v) == DISP_E_PARAMNOTFOUND; }

std::wstring KeyText(const VARIANT& v) {
    Variant text;
    const HRESULT hr = ::VariantChangeType(&text.get(), const_cast<VARIANT*>(&v), 0, VT_BSTR);
    if (FAILED(hr)) throw Error(kTypeMismatch, L"Type mismatch: a key is text.", "VariantChangeType");
    return com::Text(V_BSTR(&text.get()));
}

}  // namespace

HRESULT ComKeyedList::get_Count(LONG* count) noexcept {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(items_.Count());
    return S_OK;
}

HRESULT ComKeyedList::Add(VARIANT item, VARIANT key) noexcept {
    return AtComBoundary(L"KeyedList.Add", [&] {
        Variant value = Variant::CopyOf(item);
        if (Missing(key)) items_.Add(std::move(value));
        else items_.Add(std::move(value), KeyText(key));
        return S_OK;
    });
}

HRESULT ComKeyedList::Item(VARIANT index, VARIANT* item) noexcept {
    if (!item) return E_POINTER;
    ::VariantInit(item);
    return AtComBoundary(L"KeyedList.Item", [&] {
        const Variant which = Variant::CopyOf(index);
        const VARIANT& v = which.get();
        const Variant* found = nullptr;
        if (V_VT(&v) == VT_BSTR) {
            found = &items_.Item(com::Text(V_BSTR(&v)));
        } else {
            Variant position;
            if (FAILED(::VariantChangeType(&position.get(), const_cast<VARIANT*>(&v), 0, VT_I4)) ||
                V_I4(&position.get()) < 1)
                throw Error(kSubscriptOutOfRange, L"Subscript out of range.");
            found = &items_.Item(static_cast<std::size_t>(V_I4(&position.get())));
        }
        Variant copy(*found);
        *item = copy.get();
        ::VariantInit(&copy.get());  // handed to the caller
        return S_OK;
    });
}

HRESULT ComKeyedList::Exists(BSTR key, VARIANT_BOOL* exists) noexcept {
    if (!exists) return E_POINTER;
    return AtComBoundary(L"KeyedList.Exists", [&] {
        *exists = items_.Exists(com::Text(key)) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT ComKeyedList::get__NewEnum(IUnknown** enumerator) noexcept {
    if (!enumerator) return E_POINTER;
    *enumerator = nullptr;
    return AtComBoundary(L"KeyedList._NewEnum", [&] {
        auto snapshot = std::make_shared<std::vector<Variant>>();
        snapshot->reserve(items_.Count());
        for (const Variant& v : items_) snapshot->push_back(v);
        return Make<VariantEnum>(std::move(snapshot))->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(enumerator));
    });
}

HRESULT ComKeyedList::LoadTypeInfo(ITypeInfo** out) noexcept {
    return com::LoadTypeInfo(LIBID_Tessel, 1, 0, IID__KeyedList, out);
}

HRESULT VariantEnum::Next(ULONG count, VARIANT* out, ULONG* fetched) noexcept {
    if (!out) return E_POINTER;
    ULONG n = 0;
    while (n < count && next_ < items_->size()) {
        ::VariantInit(&out[n]);
        const HRESULT hr = ::VariantCopy(&out[n], const_cast<VARIANT*>(&(*items_)[next_].get()));
        if (FAILED(hr)) {
            for (ULONG i = 0; i < n; ++i) ::VariantClear(&out[i]);
            if (fetched) *fetched = 0;
            return hr;
        }
        ++n;
        ++next_;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT VariantEnum::Skip(ULONG count) noexcept {
    const std::size_t left = items_->size() - next_;
    next_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
}

HRESULT VariantEnum::Reset() noexcept {
    next_ = 0;
    return S_OK;
}

HRESULT VariantEnum::Clone(IEnumVARIANT** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return AtComBoundary(L"KeyedList.Clone", [&] {
        ComPtr<VariantEnum> copy = Make<VariantEnum>(items_);
        copy->next_ = next_;
        return copy->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(out));
    });
}

}  // namespace tessel::com
