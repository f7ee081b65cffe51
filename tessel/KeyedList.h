// An ordered list of items with optional unique keys. Keys compare without regard to letter
// case, for every script's letters and not only ASCII; enumeration keeps insertion order.
#pragma once
#include <cstddef>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tessel/Error.h"

namespace tessel {

// The case-blind form under which a key is stored (upper case by the system's tables).
std::wstring FoldKey(std::wstring_view key);

template <class T>
class KeyedList {
public:
    struct Entry {
        T item;
        std::optional<std::wstring> key;
    };

    std::size_t Count() const noexcept { return entries_.size(); }

    // Appends, or inserts before/after a 1-based position when one is given.
    void Add(T item) { Insert(std::move(item), std::nullopt, 0, 0); }
    void Add(T item, std::wstring key, std::size_t before = 0, std::size_t after = 0) {
        Insert(std::move(item), std::move(key), before, after);
    }

    void Remove(std::wstring_view key) {
        const std::size_t pos = IndexOf(key);
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(pos));
        Reindex();
    }

    T& Item(std::size_t position) { return entries_[CheckPosition(position)].item; }
    const T& Item(std::size_t position) const { return entries_[CheckPosition(position)].item; }
    T& Item(std::wstring_view key) { return entries_[IndexOf(key)].item; }
    const T& Item(std::wstring_view key) const { return entries_[IndexOf(key)].item; }

    const std::optional<std::wstring>& KeyAt(std::size_t position) const {
        return entries_[CheckPosition(position)].key;
    }

    void Clear() noexcept {
        entries_.clear();
        index_.clear();
    }
    bool Exists(std::wstring_view key) const { return index_.count(FoldKey(key)) != 0; }

    class const_iterator {
    public:
        using Inner = typename std::vector<Entry>::const_iterator;
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;
        explicit const_iterator(Inner it) : it_(it) {}
        const T& operator*() const { return it_->item; }
        const T* operator->() const { return &it_->item; }
        const_iterator& operator++() { ++it_; return *this; }
        bool operator!=(const const_iterator& o) const { return it_ != o.it_; }
        bool operator==(const const_iterator& o) const { return it_ == o.it_; }
    private:
        Inner it_;
    };
    const_iterator begin() const { return const_iterator(entries_.begin()); }
    const_iterator end() const { return const_iterator(entries_.end()); }
    const std::vector<Entry>& Entries() const noexcept { return entries_; }

private:
    std::size_t CheckPosition(std::size_t position) const {
        if (position < 1 || position > entries_.size())
            throw Error(kSubscriptOutOfRange, L"Subscript out of range: position " +
                                                  std::to_wstring(position) + L" of " +
                                                  std::to_wstring(entries_.size()) + L".");
        return position - 1;
    }
    std::size_t IndexOf(std::wstring_view key) const {
        auto it = index_.find(FoldKey(key));
        if (it == index_.end())
            throw Error(kInvalidArgument,
                        L"Invalid procedure call or argument: no item with the key '" +
                            std::wstring(key) + L"'.");
        return it->second;
    }
    void Insert(T item, std::optional<std::wstring> key, std::size_t before, std::size_t after) {
        std::size_t at = entries_.size();
        if (before) at = CheckPosition(before);
        else if (after) at = CheckPosition(after) + 1;
        if (key) {
            std::wstring folded = FoldKey(*key);
            if (index_.count(folded))
                throw Error(kDuplicateKey,
                            L"This key is already associated with an element of this collection: '" +
                                *key + L"'.");
        }
        const bool append = at == entries_.size();
        entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at),
                        Entry{std::move(item), std::move(key)});
        if (append) {
            if (entries_.back().key) index_.emplace(FoldKey(*entries_.back().key), at);
        } else {
            Reindex();
        }
    }
    void Reindex() {
        index_.clear();
        for (std::size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].key) index_.emplace(FoldKey(*entries_[i].key), i);
    }

    std::vector<Entry> entries_;
    std::unordered_map<std::wstring, std::size_t> index_;
};

// A list of texts whose key is the text itself: how paths and CLSIDs travel between parts
// of the engine. Adding one that is there already does nothing.
inline void AddUnique(KeyedList<std::wstring>& list, const std::wstring& text) {
    if (!list.Exists(text)) list.Add(text, text);
}

}  // namespace tessel
