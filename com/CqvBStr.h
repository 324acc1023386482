// An owning BSTR: the one string type of the property model. Every copy is made with
// SysAllocString, so it holds the text up to its first NUL character.
#pragma once

#include "hwsys/hwsys_base.h"
#include "platform/win32.h"

namespace qvkelpsysapiexpert {

class CqvBStr {
public:
    CqvBStr() noexcept = default;
    // A copy of `text`; null stays null. Throws std::bad_alloc when the copy cannot be allocated.
    explicit CqvBStr(const OLECHAR* text);
    // With `attach` set the wrapper adopts `text` as it is; otherwise as the copying constructor.
    CqvBStr(BSTR text, bool attach);
    CqvBStr(const CqvBStr& other);
    CqvBStr(CqvBStr&& other) noexcept;
    // Keeps the old string when the copy cannot be allocated (and throws std::bad_alloc).
    CqvBStr& operator=(const CqvBStr& other);
    CqvBStr& operator=(CqvBStr&& other) noexcept;
    ~CqvBStr();

    // Gives up the string: the caller now owns it and the wrapper is null.
    BSTR Detach() noexcept;
    BSTR get() const noexcept { return text; }
    // For a callee that fills the wrapper as an out-parameter; any string held so far is freed.
    BSTR* address() noexcept;

private:
    static BSTR copyOf(const OLECHAR* source);

    BSTR text = nullptr;
};

} // namespace qvkelpsysapiexpert
