#include "support/byteWideText.h"

#include <cstdlib>
#include <stdexcept>

namespace qv::brix {

WideText widenByteForByte(const char* text, std::size_t length) {
    WideText wide(length, WCHAR{});
    if (mbstowcs(wide.data(), text, length) != length) {
        throw std::runtime_error("unexpected return value from mbstowcs()");
    }
    return wide;
}

WideText widenByteForByte(const std::string& text) {
    return widenByteForByte(text.c_str(), text.size());
}

std::string narrowByteForByte(const WCHAR* text) {
    const std::size_t length = text != nullptr ? std::char_traits<WCHAR>::length(text) : 0;
    std::string narrow(length, '\0');
    if (text == nullptr || wcstombs(narrow.data(), text, length) != length) {
        throw std::runtime_error("unexpected return value from wcstombs()");
    }
    return narrow;
}

} // namespace qv::brix
