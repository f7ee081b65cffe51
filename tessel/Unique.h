// Move-only owners for every kind of handle that is not a window's: the one place that says
// how each kind is released. The invalid value is part of the type, so a NULL-invalid process
// handle can never be mistaken for an INVALID_HANDLE_VALUE file.
#pragma once
#include <windows.h>
#include <utility>

namespace tessel {

template <class Traits>
class Unique {
public:
    using Handle = typename Traits::Handle;

    Unique() noexcept : h_(Traits::invalid()) {}
    explicit Unique(Handle h) noexcept : h_(h) {}
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& o) noexcept : h_(o.release()) {}
    Unique& operator=(Unique&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    ~Unique() { reset(); }

    Handle get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return Holds(h_); }
    Handle release() noexcept { return std::exchange(h_, Traits::invalid()); }
    void reset(Handle h = Traits::invalid()) noexcept {
        if (Holds(h_)) Traits::close(h_);
        h_ = h;
    }
    // For out-parameters of creating calls: closes what is held and hands out the slot.
    Handle* put() noexcept {
        reset();
        return &h_;
    }

private:
    // A kind with more than one value that holds nothing says so itself (Traits::valid).
    static bool Holds(Handle h) noexcept {
        if constexpr (requires { Traits::valid(h); }) return Traits::valid(h);
        else return h != Traits::invalid();
    }

    Handle h_;
};

struct FileTraits {  // CreateFile, Toolhelp snapshots
    using Handle = HANDLE;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    // A failed creating call answers INVALID_HANDLE_VALUE, but a handle never opened is NULL.
    static bool valid(Handle h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void close(Handle h) noexcept;
};
struct HandleTraits {  // OpenProcess, OpenProcessToken: invalid is NULL
    using Handle = HANDLE;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept;
};
struct KeyTraits {
    using Handle = HKEY;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { ::RegCloseKey(h); }
};
struct FindTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Handle h) noexcept { ::FindClose(h); }
};
struct ModuleTraits {
    using Handle = HMODULE;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { ::FreeLibrary(h); }
};

struct LocalMemoryTraits {  // what the system allocates for the caller (FormatMessage)
    using Handle = HLOCAL;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { ::LocalFree(h); }
};

struct GlobalLockTraits {  // a GlobalLock of a memory block (the clipboard's data): unlocked
    using Handle = HGLOBAL;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { ::GlobalUnlock(h); }
};
struct ProcessHeapTraits {  // a block a library gave from the process heap, the caller to free
    using Handle = void*;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { ::HeapFree(::GetProcessHeap(), 0, h); }
};

using UniqueFile = Unique<FileTraits>;
using UniqueHandle = Unique<HandleTraits>;
using UniqueKey = Unique<KeyTraits>;
using UniqueFind = Unique<FindTraits>;
using UniqueModule = Unique<ModuleTraits>;
using UniqueLocal = Unique<LocalMemoryTraits>;
using UniqueGlobalLock = Unique<GlobalLockTraits>;
using UniqueHeapBlock = Unique<ProcessHeapTraits>;

// The calling thread's single-threaded COM apartment while the owner lives. The apartment is
// left only when this owner entered it, so a thread that had COM already keeps it as it was.
class ComApartment {
public:
    ComApartment() noexcept;
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    // The apartment stays for the thread's life (it holds an object that must outlive the owner).
    void KeepForThread() noexcept { entered_ = false; }

private:
    bool entered_;
};

// COM interface pointer owner.
template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    explicit ComPtr(T* p) noexcept : p_(p) {}  // adopts a reference
    ComPtr(const ComPtr& o) noexcept : p_(o.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept { std::swap(p_, o.p_); return *this; }
    ~ComPtr() { if (p_) p_->Release(); }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    T** put() noexcept { *this = ComPtr(); return &p_; }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
private:
    T* p_ = nullptr;
};

}  // namespace tessel
