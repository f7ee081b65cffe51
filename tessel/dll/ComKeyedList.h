// Tessel's KeyedList as a COM class: items of any automation type with optional unique keys
// that ignore letter case, enumerated in insertion order.
#pragma once
#include <memory>
#include <vector>

#include <tessel.h>

#include "tessel/ComObject.h"
#include "tessel/KeyedList.h"

namespace tessel::com {

class ComKeyedList : public DispatchObject<ComKeyedList, _KeyedList> {
public:
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) noexcept override;
    HRESULT STDMETHODCALLTYPE Add(VARIANT item, VARIANT key) noexcept override;
    HRESULT STDMETHODCALLTYPE Item(VARIANT index, VARIANT* item) noexcept override;
    HRESULT STDMETHODCALLTYPE Exists(BSTR key, VARIANT_BOOL* exists) noexcept override;
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** enumerator) noexcept override;

    static HRESULT LoadTypeInfo(ITypeInfo** out) noexcept;

private:
    KeyedList<Variant> items_;
};

// The enumeration of a list as it was when the enumeration began.
class VariantEnum : public Object<VariantEnum, IEnumVARIANT> {
public:
    explicit VariantEnum(std::shared_ptr<const std::vector<Variant>> items) : items_(std::move(items)) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) noexcept override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) noexcept override;
    HRESULT STDMETHODCALLTYPE Reset() noexcept override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) noexcept override;

private:
    std::shared_ptr<const std::vector<Variant>> items_;
    std::size_t next_ = 0;
};

}  // namespace tessel::com
