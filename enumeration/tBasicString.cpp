#include "enumeration/tBasicString.h"

#include "support/statusCodes.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace nQVOSALS100 {

tBasicString::~tBasicString() {
    std::free(data_);
}

tBasicString::tBasicString(tBasicString&& other) noexcept {
    swap(other);
}

tBasicString& tBasicString::operator=(tBasicString&& other) noexcept {
    if (this != &other) {
        release();
        swap(other);
    }
    return *this;
}

void tBasicString::swap(tBasicString& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(capacity_, other.capacity_);
    std::swap(length_, other.length_);
    std::swap(failed_, other.failed_);
}

void tBasicString::clear() {
    length_ = 0;
    if (data_ != nullptr) {
        data_[0] = '\0';
    }
}

void tBasicString::release() {
    std::free(data_);
    data_ = nullptr;
    capacity_ = 0;
    length_ = 0;
}

// Growth is exact (no spare room): these strings are built once and read, so slack would only waste
// memory.
bool tBasicString::reserveExactly(std::size_t newLength) {
    if (data_ != nullptr && newLength <= capacity_) {
        return true;
    }
    if (newLength == std::numeric_limits<std::size_t>::max()) {
        return false;
    }
    char* grown = static_cast<char*>(std::malloc(newLength + 1));
    if (grown == nullptr) {
        return false;
    }
    if (data_ != nullptr) {
        std::memcpy(grown, data_, length_ + 1);
    } else {
        grown[0] = '\0';
    }
    std::free(data_);
    data_ = grown;
    capacity_ = newLength;
    return true;
}

bool tBasicString::replaceTail(std::size_t keep, const char* text, std::size_t count) {
    if (count > std::numeric_limits<std::size_t>::max() - keep) {
        return false;
    }
    // The text may be a part of this string, whose buffer the growth replaces.
    const bool ownText = data_ != nullptr && text >= data_ && text <= data_ + length_;
    const std::size_t ownOffset = ownText ? static_cast<std::size_t>(text - data_) : 0;
    if (!reserveExactly(keep + count)) {
        return false;
    }
    if (ownText) {
        text = data_ + ownOffset;
    }
    if (count != 0) {
        std::memmove(data_ + keep, text, count);
    }
    length_ = keep + count;
    data_[length_] = '\0';
    return true;
}

void tBasicString::reportFailure(tStatus* status) const {
    if (failed_) {
        status->setCode(osalStatusMemoryFull, kComponentName, __FILE__, __LINE__);
    }
}

void tBasicString::assign(const char* text, tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    const char* source = text != nullptr ? text : "";
    failed_ = !replaceTail(0, source, std::strlen(source));
    reportFailure(status);
}

void tBasicString::append(const char* text, tStatus* status) {
    append(text, text != nullptr ? std::strlen(text) : 0, status);
}

void tBasicString::append(const char* text, std::size_t count, tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    failed_ = !replaceTail(length_, text != nullptr ? text : "", text != nullptr ? count : 0);
    reportFailure(status);
}

void tBasicString::resize(std::size_t newLength, tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    failed_ = !reserveExactly(newLength);
    if (failed_) {
        reportFailure(status);
        return;
    }
    if (newLength > length_) {
        std::memset(data_ + length_, 0, newLength - length_);
    }
    length_ = newLength;
    data_[length_] = '\0';
}

void tBasicString::erase(std::size_t position, std::size_t count) {
    if (position >= length_) {
        return;
    }
    const std::size_t removed = count < length_ - position ? count : length_ - position;
    std::memmove(data_ + position, data_ + position + removed, length_ - position - removed + 1);
    length_ -= removed;
}

} // namespace nQVOSALS100
