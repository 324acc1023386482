#include "host/utf8Text.h"

#include "host/expertModule.h"
#include "support/utf8.h"

#include <algorithm>
#include <cstdio>
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

std::string ansiToUtf8(const std::string& bytes) {
    // Every ANSI code page of Windows keeps ASCII as it is, so text of ASCII alone (the alias file's
    // keys, most aliases) needs no conversion: the alias file's 10,000 records cost no 20,000 calls.
    if (std::all_of(bytes.begin(), bytes.end(), [](char byte) { return static_cast<unsigned char>(byte) < 0x80; })) {
        return bytes;
    }
    // The whole text at once: in a double-byte page (932) a character may take two bytes.
    const int length = static_cast<int>(bytes.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    std::basic_string<WCHAR> wide(static_cast<std::size_t>(std::max(needed, 0)), WCHAR{0});
    if (needed <= 0 || MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, wide.data(), needed) != needed) {
        return std::string(bytes.size(), '?');
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

namespace {

// The text in the ANSI code page; nothing when the page lacks one of its characters. No best fit:
// Windows would otherwise hand over "O" for "\u03A9".
std::optional<std::string> inAnsiCodePage(const std::basic_string<WCHAR>& wide) {
    if (wide.empty()) {
        return std::string();
    }
    const int length = static_cast<int>(wide.size());
    BOOL usedDefault = FALSE;
    const int needed =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr, &usedDefault);
    std::string bytes(static_cast<std::size_t>(std::max(needed, 0)), '\0');
    if (needed <= 0 || usedDefault ||
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, bytes.data(), needed, nullptr,
                            &usedDefault) != needed ||
        usedDefault) {
        return std::nullopt;
    }
    return bytes;
}

// The first character of `wide` the page lacks, as a message names it: "Ω (U+03A9)".
std::string firstMissingCharacter(const std::basic_string<WCHAR>& wide) {
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const bool pair = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size();
        const std::basic_string<WCHAR> character = wide.substr(i, pair ? 2 : 1);
        if (!inAnsiCodePage(character)) {
            const char32_t codePoint = pair ? 0x10000 + ((character[0] - 0xD800) << 10) + (character[1] - 0xDC00)
                                            : character[0];
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(codePoint));
            return toUtf8(character.c_str()) + " (" + code + ")";
        }
        i += pair ? 1 : 0;
    }
    return "a character";
}

} // namespace

std::basic_string<WCHAR> toModuleText(const std::string& text, const std::string& what) {
    const std::basic_string<WCHAR> wide = toUtf16(text);
    const std::optional<std::string> bytes = inAnsiCodePage(wide);
    if (!bytes) {
        throw HostError(what + " holds " + firstMissingCharacter(wide) + ", which the machine's ANSI code page " +
                            std::to_string(GetACP()) + " cannot hold; the module keeps text in that page",
                        kExitUsage);
    }
    // The module narrows its wide text one character a byte.
    std::basic_string<WCHAR> out;
    for (const char byte : *bytes) {
        out.push_back(static_cast<WCHAR>(static_cast<unsigned char>(byte)));
    }
    return out;
}

} // namespace hwconfig
