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

constexpr char32_t kReplacement = 0xFFFD;

constexpr std::size_t kNotALeadByte = 4;

std::size_t continuationBytesAfter(unsigned char lead) {
    if (lead < 0x80) {
        return 0;
    }
    if (lead >= 0xC2 && lead < 0xE0) {
        return 1;
    }
    if (lead >= 0xE0 && lead < 0xF0) {
        return 2;
    }
    return lead >= 0xF0 && lead < 0xF5 ? 3 : kNotALeadByte;
}

// The code point of the UTF-8 sequence at `position`, which moves past it; U+FFFD for a byte that
// does not start a complete sequence, which is then passed over alone.
char32_t decodeCodePoint(const std::string& text, std::size_t& position) {
    const auto byteAt = [&text](std::size_t index) { return static_cast<unsigned char>(text[index]); };
    const unsigned char lead = byteAt(position++);
    const std::size_t count = continuationBytesAfter(lead);
    if (count == 0) {
        return lead;
    }
    if (count == kNotALeadByte || position + count > text.size()) {
        return kReplacement;
    }
    char32_t codePoint = lead & (0x3F >> count);
    for (std::size_t i = 0; i < count; ++i) {
        if ((byteAt(position + i) & 0xC0) != 0x80) {
            return kReplacement;
        }
        codePoint = (codePoint << 6) | (byteAt(position + i) & 0x3F);
    }
    position += count;
    return codePoint;
}

} // namespace

std::basic_string<WCHAR> toUtf16(const std::string& text) {
    std::basic_string<WCHAR> out;
    for (std::size_t position = 0; position < text.size();) {
        const char32_t codePoint = decodeCodePoint(text, position);
        if (codePoint < 0x10000) {
            out += static_cast<WCHAR>(codePoint);
        } else {
            out += static_cast<WCHAR>(0xD7C0 + (codePoint >> 10));
            out += static_cast<WCHAR>(0xDC00 + (codePoint & 0x3FF));
        }
    }
    return out;
}

std::string toUtf8(const WCHAR* text) {
    std::string out;
    if (text == nullptr) {
        return out;
    }
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
