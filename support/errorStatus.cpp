#include "support/errorStatus.h"

#include "support/statusCodes.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

namespace qverr {

static_assert(std::is_standard_layout_v<Status> && sizeof(Status) == sizeof(StatusLayout),
              "a Status must stay the layout that outside libraries fill");

namespace {

constexpr std::uint32_t kSmallestBuffer = 512;
constexpr std::uint32_t kLargestRequest = 0x7FFFFFFF;

// 512 or the smallest power of two not below the request (at most 0x80000000).
std::uint32_t bufferSizeFor(std::uint32_t requested) {
    std::uint32_t size = kSmallestBuffer;
    while (size < requested) {
        size *= 2;
    }
    return size;
}

void resetToEmptyObject(Status& status) {
    if (status.reserve(status, kEmptyPayloadCapacity)) {
        copyPayloadText(status.payload, status.capacity, kEmptyPayload);
    }
}

} // namespace

bool defaultReserve(Status& status, std::uint32_t requested) noexcept {
    if (requested == 0) {
        std::free(status.payload);
        status.payload = nullptr;
        status.capacity = 0;
        return true;
    }
    if (requested <= status.capacity) {
        return true;
    }
    if (requested > kLargestRequest) {
        return false;
    }
    const std::uint32_t size = bufferSizeFor(requested);
    auto* buffer = static_cast<char*>(std::malloc(size));
    if (buffer == nullptr) {
        return false;
    }
    // The old text fits, since the new buffer is larger than the old one.
    copyPayloadText(buffer, size, status.payload != nullptr ? status.payload : kEmptyPayload);
    std::free(status.payload);
    status.payload = buffer;
    status.capacity = size;
    return true;
}

Status::~Status() {
    clear();
}

bool Status::setCode(std::int32_t newCode) noexcept {
    if (!nQVOSALS100::acceptsStatusCode(code, newCode)) {
        return false;
    }
    code = newCode;
    if (payload != nullptr) {
        resetToEmptyObject(*this);
    }
    return true;
}

bool Status::merge(Status& from) noexcept {
    if (!setCode(from.code)) {
        return false;
    }
    if (reserve == from.reserve) {
        reserve(*this, 0);
        payload = std::exchange(from.payload, nullptr);
        capacity = std::exchange(from.capacity, 0);
    } else if (from.payload != nullptr &&
               reserve(*this, static_cast<std::uint32_t>(std::strlen(from.payload) + 2))) {
        copyPayloadText(payload, capacity, from.payload);
    }
    return true;
}

void Status::clear() noexcept {
    code = 0;
    reserve(*this, 0);
}

char* growPayload(char* position, Status& status) noexcept {
    constexpr std::int64_t kLargestDoubling = 0x7FFFFFFD;
    const std::int64_t doubled = 2 * std::int64_t{status.capacity};
    if (status.payload == nullptr || doubled - 4 > kLargestDoubling) {
        return nullptr;
    }
    const std::ptrdiff_t offset = position - status.payload;
    const std::uint32_t before = status.capacity;
    if (before < doubled - 2 && !status.reserve(status, static_cast<std::uint32_t>(doubled - 2))) {
        return nullptr;
    }
    // A reserve function that succeeded without growing would have the cursor retry for ever.
    if (status.capacity <= before || locateEnd(status.payload) == nullptr) {
        return nullptr;
    }
    return status.payload + offset;
}

} // namespace qverr
