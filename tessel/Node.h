// The record tree: a NodeList of Nodes, each with an Id, a child list and named values.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tessel/KeyedList.h"

namespace tessel {

class Node;

class NodeList {
public:
    Node& Add();  // appends a new empty node
    std::size_t Count() const noexcept { return nodes_.size(); }
    Node& operator[](std::size_t i) { return *nodes_[i]; }
    const Node& operator[](std::size_t i) const { return *nodes_[i]; }

    template <class Ptr, class Ref>
    class Iter {
    public:
        explicit Iter(Ptr it) : it_(it) {}
        Ref operator*() const { return **it_; }
        auto operator->() const { return &**it_; }
        Iter& operator++() { ++it_; return *this; }
        bool operator!=(const Iter& o) const { return it_ != o.it_; }
    private:
        Ptr it_;
    };
    using iterator = Iter<std::vector<std::unique_ptr<Node>>::iterator, Node&>;
    using const_iterator = Iter<std::vector<std::unique_ptr<Node>>::const_iterator, const Node&>;
    iterator begin() { return iterator(nodes_.begin()); }
    iterator end() { return iterator(nodes_.end()); }
    const_iterator begin() const { return const_iterator(nodes_.begin()); }
    const_iterator end() const { return const_iterator(nodes_.end()); }

private:
    std::vector<std::unique_ptr<Node>> nodes_;
};

class NodeParam {
public:
    explicit NodeParam(std::wstring name) : Name(std::move(name)) {}
    std::wstring Name;
    KeyedList<std::wstring> Values;  // item 1 is the value
    const std::wstring& Value() const { return Values.Item(1); }
};

class NodeParams {
public:
    // Names are unique and compare without regard to letter case.
    NodeParam& Add(std::wstring name, std::wstring value);
    NodeParam& Item(std::wstring_view name);
    const NodeParam& Item(std::wstring_view name) const;
    bool Exists(std::wstring_view name) const;
    std::size_t Count() const noexcept { return params_.size(); }

    using const_iterator = NodeList::Iter<std::vector<std::unique_ptr<NodeParam>>::const_iterator,
                                          const NodeParam&>;
    const_iterator begin() const { return const_iterator(params_.begin()); }
    const_iterator end() const { return const_iterator(params_.end()); }

private:
    std::ptrdiff_t Find(std::wstring_view name) const;
    std::vector<std::unique_ptr<NodeParam>> params_;
};

class Node {
public:
    std::wstring Id;
    NodeList Nodes;
    NodeParams params;
};

inline Node& NodeList::Add() {
    nodes_.push_back(std::make_unique<Node>());
    return *nodes_.back();
}

}  // namespace tessel
