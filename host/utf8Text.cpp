#include "host/hostRefs.h"

namespace hwconfig {
namespace {

void appendCodePoint(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

bool isHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

std::string toUtf8(const WCHAR* text) {
    std::string out;
    if (text == nullptr) {
        return out;
    }
    constexpr char32_t kReplacement = 0xFFFD;
    for (const WCHAR* unit = text; *unit != 0; ++unit) {
        const char32_t first = static_cast<char16_t>(*unit);
        if (isHighSurrogate(first) && isLowSurrogate(static_cast<char16_t>(unit[1]))) {
            const char32_t second = static_cast<char16_t>(*++unit);
            appendCodePoint(out, 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
        } else {
            appendCodePoint(out, isHighSurrogate(first) || isLowSurrogate(first) ? kReplacement : first);
        }
    }
    return out;
}

} // namespace hwconfig
