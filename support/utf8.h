// UTF-16 to UTF-8, header-only, so that the module and hwconfig each compile their own copy. Each
// program chooses one rule for a surrogate without its partner (possible in Windows names, not
// representable in UTF-8) and keeps to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qvtext {

inline bool isHighSurrogate(std::uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool isLowSurrogate(std::uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

inline void appendUtf8(std::uint32_t codePoint, std::string& out) {
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

// What becomes of a surrogate without its partner.
enum class LoneSurrogate {
    keep,    // its own three-byte sequence, so that a name keeps every unit it had
    replace, // U+FFFD, so that what is shown is valid UTF-8
};

// Appends the UTF-8 form of `count` UTF-16 units, NULs included. A surrogate pair becomes one code
// point; a lone surrogate never swallows the next unit nor reads past the end.
template <class Unit>
void appendUtf16AsUtf8(const Unit* units, std::size_t count, LoneSurrogate rule, std::string& out) {
    constexpr std::uint32_t kReplacement = 0xFFFD;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t unit = static_cast<std::uint16_t>(units[i]);
        if (isHighSurrogate(unit) && i + 1 < count && isLowSurrogate(static_cast<std::uint16_t>(units[i + 1]))) {
            const std::uint32_t low = static_cast<std::uint16_t>(units[++i]);
            appendUtf8(((unit - 0xD800) << 10) + (low - 0xDC00) + 0x10000, out);
        } else if ((isHighSurrogate(unit) || isLowSurrogate(unit)) && rule == LoneSurrogate::replace) {
            appendUtf8(kReplacement, out);
        } else {
            appendUtf8(unit, out);
        }
    }
}

} // namespace qvtext
