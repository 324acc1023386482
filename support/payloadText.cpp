#include "support/payloadText.h"

#include <bitset>
#include <cstdio>
#include <cstring>
#include <utility>

namespace qverr {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool isOpening(char c) {
    return c == '{' || c == '[';
}
bool isClosing(char c) {
    return c == '}' || c == ']';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
// Bytes a JSON string may not hold raw.
bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// Checks one JSON text without recursion and without allocating: the kinds of the open
// containers are kept in a fixed bit stack.
class JsonScanner {
public:
    explicit JsonScanner(const char* text) : at_(text) {}

    const char* scanDocument() {
        skipBlanks();
        if (!isOpening(*at_)) {
            return nullptr;
        }
        const char* lastClosing = nullptr;
        for (;;) {
            // A value is expected here.
            skipBlanks();
            if (isOpening(*at_)) {
                if (!open()) {
                    return nullptr;
                }
                if (*at_ != closingOfInnermost()) {
                    if (!insideArray() && !scanMemberName()) {
                        return nullptr;
                    }
                    continue;
                }
            } else if (!scanScalar()) {
                return nullptr;
            }
            // After a value: a comma continues the container, its closing character ends it.
            for (;;) {
                skipBlanks();
                if (depth_ == 0) {
                    return *at_ == '\0' ? lastClosing : nullptr;
                }
                if (*at_ == ',') {
                    ++at_;
                    if (!insideArray() && !scanMemberName()) {
                        return nullptr;
                    }
                    break;
                }
                if (*at_ != closingOfInnermost()) {
                    return nullptr;
                }
                lastClosing = at_++;
                --depth_;
            }
        }
    }

private:
    static constexpr std::size_t kMaxDepth = 256;

    void skipBlanks() {
        while (isBlank(*at_)) {
            ++at_;
        }
    }

    bool insideArray() const { return arrays_[depth_ - 1]; }
    char closingOfInnermost() const { return insideArray() ? ']' : '}'; }

    bool open() {
        if (depth_ == kMaxDepth) {
            return false;
        }
        arrays_[depth_++] = *at_ == '[';
        ++at_;
        skipBlanks();
        return true;
    }

    // A member's name and its colon.
    bool scanMemberName() {
        skipBlanks();
        if (!scanString()) {
            return false;
        }
        skipBlanks();
        if (*at_ != ':') {
            return false;
        }
        ++at_;
        return true;
    }

    bool scanScalar() {
        switch (*at_) {
        case '"':
            return scanString();
        case 't':
            return scanWord("true");
        case 'f':
            return scanWord("false");
        case 'n':
            return scanWord("null");
        default:
            return scanNumber();
        }
    }

    bool scanWord(const char* word) {
        const std::size_t length = std::strlen(word);
        if (std::strncmp(at_, word, length) != 0) {
            return false;
        }
        at_ += length;
        return true;
    }

    bool scanString() {
        if (*at_ != '"') {
            return false;
        }
        ++at_;
        for (;;) {
            const char c = *at_;
            if (c == '"') {
                ++at_;
                return true;
            }
            if (isControl(static_cast<unsigned char>(c))) { // the NUL included: unterminated
                return false;
            }
            if (c != '\\') {
                ++at_;
            } else if (!scanEscape()) {
                return false;
            }
        }
    }

    bool scanEscape() {
        const char kind = at_[1];
        if (kind != '\0' && std::strchr("\"\\/bfnrt", kind) != nullptr) {
            at_ += 2;
            return true;
        }
        if (kind != 'u') {
            return false;
        }
        for (int i = 2; i < 6; ++i) {
            if (!isHexDigit(at_[i])) {
                return false;
            }
        }
        at_ += 6;
        return true;
    }

    // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
    bool scanNumber() {
        if (*at_ == '-') {
            ++at_;
        }
        if (*at_ == '0') {
            ++at_;
        } else if (!scanDigits()) {
            return false;
        }
        if (*at_ == '.') {
            ++at_;
            if (!scanDigits()) {
                return false;
            }
        }
        if (*at_ == 'e' || *at_ == 'E') {
            ++at_;
            if (*at_ == '+' || *at_ == '-') {
                ++at_;
            }
            return scanDigits();
        }
        return true;
    }

    bool scanDigits() {
        const char* start = at_;
        while (isDigit(*at_)) {
            ++at_;
        }
        return at_ != start;
    }

    const char* at_;
    std::bitset<kMaxDepth> arrays_;
    std::size_t depth_ = 0;
};

// The two-character escape of a byte, or 0 when it has none.
char shortEscape(char c) {
    switch (c) {
    case '\b':
        return 'b';
    case '\t':
        return 't';
    case '\n':
        return 'n';
    case '\f':
        return 'f';
    case '\r':
        return 'r';
    case '"':
        return '"';
    case '\\':
        return '\\';
    default:
        return 0;
    }
}

std::size_t escapedLength(const char* text) {
    std::size_t length = 0;
    for (; *text != '\0'; ++text) {
        if (shortEscape(*text) != 0) {
            length += 2;
        } else if (isControl(static_cast<unsigned char>(*text))) {
            length += 6;
        } else {
            length += 1;
        }
    }
    return length;
}

// Writes the quoted, escaped text (no NUL) and returns the position after it.
char* writeQuoted(char* out, const char* text) {
    static constexpr char kHex[] = "0123456789abcdef";
    *out++ = '"';
    for (; *text != '\0'; ++text) {
        const auto byte = static_cast<unsigned char>(*text);
        if (const char escape = shortEscape(*text); escape != 0) {
            *out++ = '\\';
            *out++ = escape;
        } else if (isControl(byte)) {
            const char unicodeEscape[] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
            std::memcpy(out, unicodeEscape, sizeof unicodeEscape);
            out += sizeof unicodeEscape;
        } else {
            *out++ = *text;
        }
    }
    *out++ = '"';
    return out;
}

const char* valueText(const PayloadElement& element) {
    return element.value == nullptr && element.valueIsString ? "" : element.value;
}

std::size_t elementLength(const PayloadElement& element) {
    const std::size_t keyLength = element.key == nullptr ? 0 : escapedLength(element.key) + 3;
    const char* value = valueText(element);
    return keyLength + (element.valueIsString ? escapedLength(value) + 2 : std::strlen(value));
}

char* writeElement(char* out, const PayloadElement& element) {
    if (element.key != nullptr) {
        out = writeQuoted(out, element.key);
        *out++ = ':';
    }
    const char* value = valueText(element);
    if (element.valueIsString) {
        return writeQuoted(out, value);
    }
    const std::size_t length = std::strlen(value);
    std::memcpy(out, value, length);
    return out + length;
}

// A container with nothing but blanks between its brackets, seen from either bracket.
bool isEmptyContainer(const char* bracket) {
    if (isOpening(*bracket)) {
        const char* next = bracket + 1;
        while (isBlank(*next)) {
            ++next;
        }
        return isClosing(*next);
    }
    if (isClosing(*bracket)) {
        const char* previous = bracket - 1;
        while (isBlank(*previous)) {
            --previous;
        }
        return isOpening(*previous);
    }
    return false;
}

// True when the `count` bytes from `start` are zero; the scan stops at the first non-zero byte,
// at the latest the sentinel.
bool hasFreeBytes(const char* start, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (start[i] != '\0') {
            return false;
        }
    }
    return true;
}

// Opens a gap of `length` bytes for an element at `position` (plus a comma when one is needed)
// and returns where the element goes, or null when the free space is too small.
char* makeRoom(char* position, std::size_t length) {
    const bool atFront = isOpening(*position);
    char* gap = atFront ? position + 1 : position;
    const bool needsComma = *position != '\0' && !isEmptyContainer(position);
    const std::size_t gapLength = length + (needsComma ? 1 : 0);
    char* terminator = gap + std::strlen(gap);
    if (!hasFreeBytes(terminator + 1, gapLength)) {
        return nullptr;
    }
    std::memmove(gap + gapLength, gap, static_cast<std::size_t>(terminator - gap) + 1);
    if (!needsComma) {
        return gap;
    }
    if (atFront) {
        gap[length] = ',';
        return gap;
    }
    gap[0] = ',';
    return gap + 1;
}

} // namespace

bool copyPayloadText(char* buffer, std::uint32_t capacity, const char* text) noexcept {
    const std::size_t length = std::strlen(text);
    if (length + 2 > capacity) {
        return false;
    }
    std::memmove(buffer, text, length);
    std::memset(buffer + length, 0, capacity - length - 1);
    buffer[capacity - 1] = kPayloadSentinel;
    return true;
}

const char* locateEnd(const char* text) noexcept {
    return text == nullptr ? nullptr : JsonScanner(text).scanDocument();
}

char* locateEnd(char* text) noexcept {
    return const_cast<char*>(locateEnd(static_cast<const char*>(text)));
}

char* insertElement(char* position, const PayloadElement& element) noexcept {
    char* out = makeRoom(position, elementLength(element));
    return out == nullptr ? nullptr : writeElement(out, element);
}

PayloadCursor::PayloadCursor(char* position, GrowFunction grow, Status* status) noexcept
    : position_(position), grow_(grow), status_(status) {}

PayloadCursor::PayloadCursor(PayloadCursor&& other) noexcept
    : position_(std::exchange(other.position_, nullptr)), grow_(other.grow_), status_(other.status_),
      openObjects_(std::exchange(other.openObjects_, 0)) {}

PayloadCursor& PayloadCursor::operator=(PayloadCursor&& other) noexcept {
    position_ = std::exchange(other.position_, nullptr);
    grow_ = other.grow_;
    status_ = other.status_;
    openObjects_ = std::exchange(other.openObjects_, 0);
    return *this;
}

bool PayloadCursor::append(const PayloadElement& element) noexcept {
    while (position_ != nullptr) {
        if (char* after = insertElement(position_, element)) {
            position_ = after;
            return true;
        }
        position_ = grow_ != nullptr && status_ != nullptr ? grow_(position_, *status_) : nullptr;
    }
    return false;
}

PayloadCursor& PayloadCursor::addString(const char* key, const char* value) noexcept {
    append({key, value, true});
    return *this;
}

PayloadCursor& PayloadCursor::addSigned(const char* key, std::int32_t value) noexcept {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%i", static_cast<int>(value));
    append({key, digits, false});
    return *this;
}

PayloadCursor& PayloadCursor::addUnsigned(const char* key, std::uint32_t value) noexcept {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(value));
    append({key, digits, false});
    return *this;
}

PayloadCursor& PayloadCursor::beginObject(const char* key) noexcept {
    if (append({key, kEmptyPayload, false})) {
        --position_; // onto the new object's closing brace
        ++openObjects_;
    }
    return *this;
}

PayloadCursor& PayloadCursor::endObject() noexcept {
    if (position_ != nullptr && openObjects_ > 0) {
        ++position_;
        --openObjects_;
    }
    return *this;
}

} // namespace qverr
