#include "tessel/Node.h"

namespace tessel {

std::ptrdiff_t NodeParams::Find(std::wstring_view name) const {
    const std::wstring folded = FoldKey(name);
    for (std::size_t i = 0; i < params_.size(); ++i)
        if (FoldKey(params_[i]->Name) == folded) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

NodeParam& NodeParams::Add(std::wstring name, std::wstring value) {
    if (Find(name) >= 0)
        throw Error(kDuplicateKey, L"The record already has a value named '" + name + L"'.");
    params_.push_back(std::make_unique<NodeParam>(std::move(name)));
    params_.back()->Values.Add(std::move(value));
    return *params_.back();
}

NodeParam& NodeParams::Item(std::wstring_view name) {
    const std::ptrdiff_t i = Find(name);
    if (i < 0)
        throw Error(kInvalidArgument, L"The record has no value named '" + std::wstring(name) + L"'.");
    return *params_[static_cast<std::size_t>(i)];
}

const NodeParam& NodeParams::Item(std::wstring_view name) const {
    return const_cast<NodeParams*>(this)->Item(name);
}

bool NodeParams::Exists(std::wstring_view name) const { return Find(name) >= 0; }

}  // namespace tessel
