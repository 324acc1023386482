// The one owner of a COM reference: com_ptr<I> holds one reference on an interface and releases it
// when it goes. Header-only, so that the module, the host, the tests and the benchmarks each compile
// their own copy.
#pragma once

#include "hwsys/hwsys_unknown.h"

#include <utility>

namespace qv {

template <class Interface> class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    // Takes a new reference on `object`.
    explicit com_ptr(Interface* object) noexcept : pointer_(object) {
        if (pointer_ != nullptr) {
            pointer_->AddRef();
        }
    }
    com_ptr(const com_ptr& other) noexcept : com_ptr(other.pointer_) {}
    com_ptr(com_ptr&& other) noexcept : pointer_(other.detach()) {}
    com_ptr& operator=(com_ptr other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }
    ~com_ptr() { reset(); }

    // Adopts a reference the caller already holds.
    static com_ptr attach(Interface* object) noexcept {
        com_ptr owner;
        owner.pointer_ = object;
        return owner;
    }
    // Gives the reference up to the caller.
    Interface* detach() noexcept { return std::exchange(pointer_, nullptr); }

    Interface* get() const noexcept { return pointer_; }
    Interface* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

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
