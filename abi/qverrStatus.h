// The binary layout of qverr::Status, the status record that the reset library fills.
//
// The module's qverr::Status (support/errorStatus.h) adds its operations to this layout and no
// data, so a library can read and set the code and replace the payload through a Status it is
// handed without knowing the module's code:
//   - code: 0 success, negative error, positive warning; the first error wins, an error replaces a
//     warning, success never overwrites;
//   - payload: null, or a buffer of `capacity` bytes holding the text of one JSON object, its NUL,
//     zero bytes, and kPayloadSentinel in the very last byte;
//   - reserve: grows the buffer to at least `requested` bytes keeping its text (or frees it for 0);
//     false, with the status unchanged, when it cannot. Only it may allocate or free the buffer.
#pragma once

#include <cstdint>

namespace qverr {

struct Status;

using ReserveFunction = bool (*)(Status& status, std::uint32_t requested);

constexpr char kPayloadSentinel = 'J';

struct StatusLayout {
    std::int32_t code = 0;
    std::uint32_t capacity = 0;
    ReserveFunction reserve = nullptr;
    char* payload = nullptr;
};

// The precedence rule of every status: the first error wins, an error replaces a warning, and
// success never overwrites anything.
constexpr bool acceptsStatusCode(std::int32_t current, std::int32_t incoming) {
    return incoming < 0 ? current >= 0 : incoming > 0 && current == 0;
}

// A Status is its layout: the module keeps it a standard-layout type whose only base holds every
// member, so the two are the same object.
inline StatusLayout& layoutOf(Status& status) {
    return reinterpret_cast<StatusLayout&>(status);
}

} // namespace qverr
