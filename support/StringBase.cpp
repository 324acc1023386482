#include "support/StringBase.h"

#include "support/AnsiToWide.h"
#include "support/NumericCast.h"
#include "support/SafeInteger.h"

#include <cstring>

namespace qv::brix {

namespace {

// Bytes of a buffer for `length` characters and the NUL, computed without wrapping.
template <typename CharT> std::uint32_t bufferBytes(std::size_t length) {
    const std::uint32_t characters = checkedAdd(NumericCast<std::uint32_t>(length), 1);
    return sizeof(CharT) == 1 ? characters : checkedDouble(characters);
}

} // namespace

template <typename CharT> void StringBase<CharT>::allocate(std::size_t length) {
    begin = static_cast<CharT*>(CoTaskMemAlloc(bufferBytes<CharT>(length)));
    if (begin == nullptr) {
        throw BadAllocation();
    }
    end = capacityEnd = begin;
}

template <typename CharT> void StringBase<CharT>::copyFrom(const CharT* first, std::size_t length) {
    allocate(length);
    std::memcpy(begin, first, length * sizeof(CharT));
    end = capacityEnd = begin + length;
    *end = CharT{};
}

template <> StringBase<char>::StringBase(const char* text) {
    const char* source = text == nullptr ? "" : text;
    copyFrom(source, NumericCast<std::uint32_t>(std::strlen(source)));
}

template <> StringBase<WCHAR>::StringBase(const char* text) {
    const std::uint32_t narrowLength = NumericCast<std::uint32_t>(text == nullptr ? 0 : std::strlen(text));
    if (narrowLength == 0) {
        allocate(0);
        *end = WCHAR{};
        return;
    }
    const char* const narrowEnd = text + narrowLength;
    const auto length = NumericCast<std::uint32_t>(wideLength(text, narrowEnd, ""));
    allocate(length);
    try {
        end = capacityEnd = convertToWide(text, narrowEnd, "", begin, begin + length).end;
    } catch (...) {
        CoTaskMemFree(begin);
        throw;
    }
    *end = WCHAR{};
}

template <typename CharT> StringBase<CharT>::StringBase(const StringBase& other) {
    copyFrom(other.begin, other.length());
}

template <typename CharT> StringBase<CharT>& StringBase<CharT>::operator=(const StringBase& other) {
    assign(other.begin, other.end);
    return *this;
}

template <typename CharT> StringBase<CharT>::~StringBase() {
    CoTaskMemFree(begin);
}

template <typename CharT> void StringBase<CharT>::assign(const CharT* first, const CharT* last) {
    const auto length = static_cast<std::size_t>(last - first);
    if (first >= begin && first <= end) {
        // A part of this very text: no reallocation, which would leave the source dangling.
        std::memmove(begin, first, length * sizeof(CharT));
        end = begin + length;
        *end = CharT{};
        return;
    }
    if (length > capacity() || length < capacity() / 2) {
        auto* resized = static_cast<CharT*>(CoTaskMemRealloc(begin, bufferBytes<CharT>(length)));
        if (resized == nullptr) {
            throw BadAllocation();
        }
        begin = resized;
        capacityEnd = begin + length;
    }
    std::memcpy(begin, first, length * sizeof(CharT));
    end = begin + length;
    *end = CharT{};
}

template class StringBase<char>;
template class StringBase<WCHAR>;

} // namespace qv::brix
