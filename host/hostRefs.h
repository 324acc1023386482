// Owners for what the host receives from the module: interface references and BSTRs.
#pragma once

#include "platform/win32.h"

#include <string>
#include <utility>

namespace hwconfig {

// One reference on a host interface, released when the owner goes.
template <typename Interface> class InterfaceRef {
public:
    InterfaceRef() = default;
    ~InterfaceRef() { reset(); }
    InterfaceRef(InterfaceRef&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    InterfaceRef& operator=(InterfaceRef&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    InterfaceRef(const InterfaceRef&) = delete;
    InterfaceRef& operator=(const InterfaceRef&) = delete;

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // For out-arguments: releases what is held and hands out the slot.
    Interface** put() {
        reset();
        return &pointer_;
    }
    void reset() {
        if (pointer_ != nullptr) {
            std::exchange(pointer_, nullptr)->Release();
        }
    }

private:
    Interface* pointer_ = nullptr;
};

class OwnedBstr {
public:
    OwnedBstr() = default;
    ~OwnedBstr() { SysFreeString(value_); }
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;

    BSTR* put() {
        SysFreeString(value_);
        value_ = nullptr;
        return &value_;
    }
    BSTR get() const { return value_; }

private:
    BSTR value_ = nullptr;
};

// UTF-8 text of a UTF-16 string; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(const WCHAR* text);
// UTF-16 text of a UTF-8 string; a byte that does not start a complete sequence becomes U+FFFD.
std::basic_string<WCHAR> toUtf16(const std::string& text);

} // namespace hwconfig
