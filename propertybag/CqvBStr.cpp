#include "propertybag/CqvBStr.h"

#include <new>
#include <utility>

namespace qvkelpsysapiexpert {

BSTR CqvBStr::copyOf(const OLECHAR* source) {
    if (source == nullptr) {
        return nullptr;
    }
    BSTR copy = SysAllocString(source);
    if (copy == nullptr) {
        throw std::bad_alloc();
    }
    return copy;
}

CqvBStr::CqvBStr(const OLECHAR* source) : text(copyOf(source)) {}

CqvBStr::CqvBStr(BSTR source, bool attach) : text(attach ? source : copyOf(source)) {}

CqvBStr::CqvBStr(const CqvBStr& other) : text(copyOf(other.text)) {}

CqvBStr::CqvBStr(CqvBStr&& other) noexcept : text(other.Detach()) {}

CqvBStr& CqvBStr::operator=(const CqvBStr& other) {
    if (this != &other) {
        BSTR copy = copyOf(other.text);
        SysFreeString(text);
        text = copy;
    }
    return *this;
}

CqvBStr& CqvBStr::operator=(CqvBStr&& other) noexcept {
    if (this != &other) {
        SysFreeString(text);
        text = other.Detach();
    }
    return *this;
}

CqvBStr::~CqvBStr() {
    SysFreeString(text);
}

BSTR CqvBStr::Detach() noexcept {
    return std::exchange(text, nullptr);
}

BSTR* CqvBStr::address() noexcept {
    SysFreeString(std::exchange(text, nullptr));
    return &text;
}

} // namespace qvkelpsysapiexpert
