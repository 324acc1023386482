// qverr::Status: a status code with a JSON diagnostic payload.
//
// The code follows the same precedence as nQVOSALS100::tStatus (the first error wins, an error
// replaces a warning, success never overwrites). The payload is the text of one JSON object kept
// in a buffer laid out as support/payloadText.h describes, created lazily by the first report
// (support/errorReport.h) and grown through the status's reserve function.
#pragma once

#include "abi/qverrStatus.h"
#include "support/payloadText.h"

#include <cstdint>

namespace qverr {

// ReserveFunction (abi/qverrStatus.h) grows the payload buffer of a status to hold at least
// `requested` bytes, keeping its text, or frees it when `requested` is 0. It returns false,
// leaving the status unchanged, when it cannot.

// The reserve function of every new status: buffers of 512 bytes or the next power of two above,
// from malloc; requests above 0x7FFFFFFF fail.
bool defaultReserve(Status& status, std::uint32_t requested) noexcept;

// The members are those of the binary layout that outside libraries fill (code, capacity,
// reserve, payload); Status adds no data, so it stays that layout.
struct Status : StatusLayout {
    Status() noexcept : StatusLayout{0, 0, &defaultReserve, nullptr} {}
    Status(const Status&) = delete;
    Status& operator=(const Status&) = delete;
    ~Status();

    bool isFatal() const noexcept { return code < 0; }

    // Applies the precedence rule; an accepted code empties the payload text to "{}".
    // Returns whether the code was accepted.
    bool setCode(std::int32_t newCode) noexcept;
    // setCode(from.code); when accepted the payload follows: with the same reserve function the
    // buffer changes hands (`from` is left without one), otherwise the text is copied.
    bool merge(Status& from) noexcept;
    // Back to success without a payload.
    void clear() noexcept;
};

// The grow function for cursors over a status: doubles the buffer (less 2 bytes, which the
// default reserve function rounds up to the next power of two) and returns `position` at the same
// offset in the new buffer; null when the buffer cannot grow or its text is not valid.
char* growPayload(char* position, Status& status) noexcept;

} // namespace qverr
