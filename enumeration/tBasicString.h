// A growable byte string for the device-discovery layer.
//
// The discovery code reports every failure into a status record and never throws, so this string
// records a failed growth in a flag instead of raising std::bad_alloc. The text is always followed
// by a NUL inside the buffer, which lets it be handed to the Windows "A" calls as it is.
#pragma once

#include "support/status.h"

#include <cstddef>

namespace nQVOSALS100 {

class tBasicString {
public:
    tBasicString() = default;
    ~tBasicString();
    tBasicString(tBasicString&& other) noexcept;
    tBasicString& operator=(tBasicString&& other) noexcept;
    tBasicString(const tBasicString&) = delete;
    tBasicString& operator=(const tBasicString&) = delete;

    // The storage, or null when the string never held anything.
    char* data() { return data_; }
    const char* data() const { return data_; }
    // Never null: the empty text when there is no storage.
    const char* c_str() const { return data_ != nullptr ? data_ : ""; }
    std::size_t length() const { return length_; }
    std::size_t capacity() const { return capacity_; }
    bool isEmpty() const { return length_ == 0; }
    // Whether the last assign, append or resize could not grow the string.
    bool failed() const { return failed_; }

    // Each of these leaves the text unchanged, sets the failed flag and reports -52000 when the
    // string cannot grow. They do nothing when the status already holds an error.
    void assign(const char* text, tStatus* status);
    void append(const char* text, tStatus* status);
    void append(const char* text, std::size_t count, tStatus* status);
    // New bytes are NUL.
    void resize(std::size_t newLength, tStatus* status);
    // Removes up to `count` characters from `position` on; a position past the end removes nothing.
    // Never needs memory.
    void erase(std::size_t position, std::size_t count);

    // Empties the text and keeps the storage.
    void clear();
    // Empties the text and gives the storage back.
    void release();
    void swap(tBasicString& other) noexcept;

private:
    bool reserveExactly(std::size_t newLength);
    bool replaceTail(std::size_t keep, const char* text, std::size_t count);
    void reportFailure(tStatus* status) const;

    char* data_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t length_ = 0;
    bool failed_ = false;
};

} // namespace nQVOSALS100
