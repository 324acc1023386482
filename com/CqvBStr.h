// The one BSTR owner: the string type of the property model, and what the host, the tests and the
// benchmarks hold a BSTR they receive in. Every copy is made with SysAllocString, so it holds the
// text up to its first NUL character. Header-only, so that every program compiles its own copy.
#pragma once

#include "hwsys/hwsys_base.h"
#include "platform/win32.h"

#include <new>
#include <utility>

namespace qvkelpsysapiexpert {

class CqvBStr {
public:
    CqvBStr() noexcept = default;
    // A copy of `text`; null stays null. Throws std::bad_alloc when the copy cannot be allocated.
    explicit CqvBStr(const OLECHAR* source) : text(copyOf(source)) {}
    // With `attach` set the wrapper adopts `text` as it is; otherwise as the copying constructor.
    CqvBStr(BSTR source, bool attach) : text(attach ? source : copyOf(source)) {}
    CqvBStr(const CqvBStr& other) : text(copyOf(other.text)) {}
    CqvBStr(CqvBStr&& other) noexcept : text(other.Detach()) {}
    // Keeps the old string when the copy cannot be allocated (and throws std::bad_alloc).
    CqvBStr& operator=(const CqvBStr& other) {
        if (this != &other) {
            BSTR copy = copyOf(other.text);
            SysFreeString(text);
            text = copy;
        }
        return *this;
    }
    CqvBStr& operator=(CqvBStr&& other) noexcept {
        if (this != &other) {
            SysFreeString(text);
            text = other.Detach();
        }
        return *this;
    }
    ~CqvBStr() { SysFreeString(text); }

    // Adopts a BSTR the caller received and must free.
    static CqvBStr Attach(BSTR received) noexcept { return CqvBStr(received, true); }

    // Gives up the string: the caller now owns it and the wrapper is null.
    BSTR Detach() noexcept { return std::exchange(text, nullptr); }
    BSTR get() const noexcept { return text; }
    // For a callee that fills the wrapper as an out-parameter; any string held so far is freed.
    BSTR* address() noexcept {
        SysFreeString(std::exchange(text, nullptr));
        return &text;
    }

private:
    static BSTR copyOf(const OLECHAR* source) {
        if (source == nullptr) {
            return nullptr;
        }
        BSTR copy = SysAllocString(source);
        if (copy == nullptr) {
            throw std::bad_alloc();
        }
        return copy;
    }

    BSTR text = nullptr;
};

} // namespace qvkelpsysapiexpert
