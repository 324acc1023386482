// A string whose buffer lives in COM task memory, so that it can be handed across the module's
// boundary with the memory functions the host uses. The buffer always holds the characters and a
// terminating NUL (an empty string still has a one-character buffer). Wide strings hold 16-bit
// UTF-16 code units whatever the width of wchar_t.
#pragma once

#include "platform/win32.h"

#include <cstddef>
#include <new>

namespace qv::brix {

// Thrown when task memory runs out; its text is the one the Windows runtime gives.
class BadAllocation : public std::bad_alloc {
public:
    const char* what() const noexcept override { return "bad allocation"; }
};

template <typename CharT> class StringBase {
public:
    // From NUL-terminated narrow text; null is taken as the empty string. A wide string converts
    // the text with the system's ANSI code page.
    explicit StringBase(const char* text);
    StringBase(const StringBase& other);
    StringBase& operator=(const StringBase& other);
    ~StringBase();

    // Replaces the text by the range [first, last), which may lie inside this string's own buffer.
    void assign(const CharT* first, const CharT* last);

    const CharT* c_str() const noexcept { return begin; }
    std::size_t length() const noexcept { return static_cast<std::size_t>(end - begin); }
    // Characters the buffer can hold besides the NUL.
    std::size_t capacity() const noexcept { return static_cast<std::size_t>(capacityEnd - begin); }

private:
    // Takes a buffer of length + 1 characters, with begin, end and capacityEnd all at its start.
    void allocate(std::size_t length);
    void copyFrom(const CharT* first, std::size_t length);

    CharT* begin = nullptr;
    CharT* end = nullptr;
    CharT* capacityEnd = nullptr;
};

template <> StringBase<char>::StringBase(const char* text);
template <> StringBase<WCHAR>::StringBase(const char* text);

extern template class StringBase<char>;
extern template class StringBase<WCHAR>;

} // namespace qv::brix
