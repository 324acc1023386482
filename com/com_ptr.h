// The one owner of a COM reference: com_ptr<I> holds one reference on an interface and releases it
// when it goes. Header-only, so that the module, the host, the tests and the benchmarks each compile
// their own copy.
#pragma once

#include "hwsys/hwsys_unknown.h"

#include <cstddef>
#include <utility>

namespace qv {

template <class Interface> class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    com_ptr(const com_ptr& other) noexcept : com_ptr(copy(other.pointer_)) {}
    com_ptr(com_ptr&& other) noexcept : pointer_(other.detach()) {}
    com_ptr& operator=(com_ptr other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }
    ~com_ptr() { reset(); }

    // Adopts a reference the caller already holds. (There is no constructor from a raw pointer, so
    // that every place says whether it adopts a reference or takes a new one.)
    static com_ptr attach(Interface* object) noexcept {
        com_ptr owner;
        owner.pointer_ = object;
        return owner;
    }
    // Takes a new reference on `object`.
    static com_ptr copy(Interface* object) noexcept {
        if (object != nullptr) {
            object->AddRef();
        }
        return attach(object);
    }
    // Gives the reference up to the caller.
    Interface* detach() noexcept { return std::exchange(pointer_, nullptr); }

    Interface* get() const noexcept { return pointer_; }
    Interface* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }
    friend bool operator==(const com_ptr& owner, std::nullptr_t) noexcept { return owner.pointer_ == nullptr; }
    friend bool operator!=(const com_ptr& owner, std::nullptr_t) noexcept { return owner.pointer_ != nullptr; }

    // For a call that hands out a reference through an out-argument: releases what is held first.
    Interface** put() noexcept {
        reset();
        return &pointer_;
    }
    // The same slot as void**, for QueryInterface.
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    void reset() noexcept {
        if (Interface* old = std::exchange(pointer_, nullptr)) {
            old->Release();
        }
    }

private:
    Interface* pointer_ = nullptr;
};

} // namespace qv
