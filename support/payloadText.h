// The diagnostic payload of a qverr::Status: the text of one JSON object, edited in place.
//
// No tree is built: members are inserted into the text itself, so the text is valid JSON after
// every step and can be handed out as it stands. The buffer holds
//   the JSON text from its first byte, the text's NUL, zero bytes, and the sentinel 'J' in the
//   very last byte.
// Insertions are given only a position in the text, never the buffer's size: they find their
// free space by counting the zero bytes after the NUL, which the sentinel ends.
//
// Nothing here throws or allocates; growing the buffer is the business of the cursor's grow
// function (see support/errorStatus.h for the one over a qverr::Status).
#pragma once

#include "abi/qverrStatus.h"

#include <cstddef>
#include <cstdint>

namespace qverr {

constexpr const char* kEmptyPayload = "{}";
// The smallest buffer that holds the empty payload: "{}", its NUL and the sentinel.
constexpr std::uint32_t kEmptyPayloadCapacity = 4;

// Lays `text` out in a buffer of `capacity` bytes: the text, its NUL, zero fill, the sentinel.
// Refused (false, buffer untouched) when that would leave no room for the sentinel.
bool copyPayloadText(char* buffer, std::uint32_t capacity, const char* text) noexcept;

// Validates the whole of `text` as JSON whose top level is an object or an array and returns the
// position of the top level's closing brace or bracket, or null when the text is not valid.
// Besides standard JSON it refuses the byte 0x7F inside strings, since the escaping below never
// writes it raw; containers nested deeper than 256 levels are refused rather than recursed into.
const char* locateEnd(const char* text) noexcept;
char* locateEnd(char* text) noexcept;

// One member to insert: the key (null for an array element) and the value, which is either a
// string to be quoted and escaped (a null string is written as "") or JSON text written as it
// stands (a number, "{}").
struct PayloadElement {
    const char* key;
    const char* value;
    bool valueIsString;
};

// Inserts `element` at `position`, which must point into a text that locateEnd accepts:
// - at an opening brace or bracket, the element becomes the container's first;
// - at a closing brace or bracket, it becomes the container's last.
// A separating comma is added unless the container was empty. Returns the position just after the
// new element (for an append, the container's closing brace again), or null when the free space
// is too small, in which case the text is unchanged.
char* insertElement(char* position, const PayloadElement& element) noexcept;

// Grows the buffer that `position` points into and returns the same position in the grown text,
// or null when the buffer cannot grow.
using GrowFunction = char* (*)(char* position, Status& status);

// Appends members before the closing brace it stands on, growing the buffer and retrying when
// there is no room. Once growing fails the cursor is empty and skips every later append, so the
// text keeps the members written so far and stays valid.
//
// A cursor is a position inside a buffer that moves when the buffer grows; it is therefore not
// copyable, so that no stale copy can write through a freed buffer. Pass it by reference.
class PayloadCursor {
public:
    PayloadCursor() = default;
    PayloadCursor(char* position, GrowFunction grow, Status* status) noexcept;
    PayloadCursor(PayloadCursor&& other) noexcept;
    PayloadCursor& operator=(PayloadCursor&& other) noexcept;
    PayloadCursor(const PayloadCursor&) = delete;
    PayloadCursor& operator=(const PayloadCursor&) = delete;

    // Keys are escaped like values; a null key writes an array element and belongs only in arrays.
    // "key":"value", escaped.
    PayloadCursor& addString(const char* key, const char* value) noexcept;
    // "key":value, printed with "%i".
    PayloadCursor& addSigned(const char* key, std::int32_t value) noexcept;
    // "key":value, printed with "%u".
    PayloadCursor& addUnsigned(const char* key, std::uint32_t value) noexcept;
    // "key":{} and moves into the new object; the following appends go inside it until endObject.
    PayloadCursor& beginObject(const char* key) noexcept;
    // Leaves the object opened last; does nothing at the top level.
    PayloadCursor& endObject() noexcept;

    bool isEmpty() const noexcept { return position_ == nullptr; }
    char* position() const noexcept { return position_; }

private:
    bool append(const PayloadElement& element) noexcept;

    char* position_ = nullptr;
    GrowFunction grow_ = nullptr;
    Status* status_ = nullptr;
    std::uint32_t openObjects_ = 0;
};

} // namespace qverr
