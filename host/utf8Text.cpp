#include "host/utf8Text.h"

#include "support/utf8.h"

#include <algorithm>
#include <array>
#include <optional>

namespace hwconfig {
namespace {

// The length of the UTF-8 sequence a lead byte starts, or 0 for a byte that cannot start one.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    return lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
}

// The code point of a sequence; nothing when it is cut short, over-long or out of range.
std::optional<char32_t> decodeSequence(const std::string& text, std::size_t start, std::size_t length) {
    static const unsigned char leadMasks[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (length == 0 || start + length > text.size()) {
        return std::nullopt;
    }
    char32_t codePoint = static_cast<unsigned char>(text[start]) & leadMasks[length];
    for (std::size_t i = 1; i < length; ++i) {
        const auto continuation = static_cast<unsigned char>(text[start + i]);
        if ((continuation & 0xC0) != 0x80) {
            return std::nullopt;
        }
        codePoint = (codePoint << 6) | (continuation & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < smallest[length] || codePoint > 0x10FFFF || surrogate) {
        return std::nullopt;
    }
    return codePoint;
}

} // namespace

std::basic_string<WCHAR> toUtf16(const std::string& text) {
    constexpr char32_t kReplacement = 0xFFFD;
    std::basic_string<WCHAR> out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = sequenceLength(static_cast<unsigned char>(text[i]));
        const std::optional<char32_t> decoded = decodeSequence(text, i, length);
        // A broken sequence costs one byte, so that the next lead byte is not swallowed with it.
        i += decoded ? length : 1;
        const char32_t codePoint = decoded.value_or(kReplacement);
        if (codePoint >= 0x10000) {
            out += static_cast<WCHAR>(0xD800 + ((codePoint - 0x10000) >> 10));
            out += static_cast<WCHAR>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
        } else {
            out += static_cast<WCHAR>(codePoint);
        }
    }
    return out;
}


std::string toUtf8(const WCHAR* text) {
    std::string out;
    if (text != nullptr) {
        std::size_t length = 0;
        while (text[length] != 0) {
            ++length;
        }
        qvtext::appendUtf16AsUtf8(text, length, qvtext::LoneSurrogate::replace, out);
    }
    return out;
}

namespace {

// The character of each byte in the machine's ANSI code page, from the system's own conversion.
const std::array<WCHAR, 256>& ansiCharacters() {
    static const std::array<WCHAR, 256> characters = [] {
        std::array<WCHAR, 256> table{};
        for (std::size_t byte = 0; byte < table.size(); ++byte) {
            const char narrow = static_cast<char>(byte);
            WCHAR wide = 0;
            table[byte] =
                MultiByteToWideChar(CP_ACP, 0, &narrow, 1, &wide, 1) == 1 ? wide : static_cast<WCHAR>(0xFFFD);
        }
        return table;
    }();
    return characters;
}

} // namespace

std::string ansiToUtf8(const std::string& bytes) {
    std::basic_string<WCHAR> wide;
    for (const char byte : bytes) {
        wide.push_back(ansiCharacters()[static_cast<unsigned char>(byte)]);
    }
    return toUtf8(wide.c_str());
}

std::string moduleTextToUtf8(const WCHAR* text) {
    std::string bytes;
    for (const WCHAR* c = text; c != nullptr && *c != 0; ++c) {
        if (*c > 0xFF) {
            return toUtf8(text); // not the module's byte-wide text after all
        }
        bytes.push_back(static_cast<char>(*c));
    }
    return ansiToUtf8(bytes);
}

std::basic_string<WCHAR> toModuleText(const std::string& text) {
    std::basic_string<WCHAR> out;
    for (const WCHAR character : toUtf16(text)) {
        const auto& table = ansiCharacters();
        const auto byte = std::find(table.begin(), table.end(), character);
        out.push_back(byte != table.end() ? static_cast<WCHAR>(byte - table.begin()) : character);
    }
    return out;
}

} // namespace hwconfig
