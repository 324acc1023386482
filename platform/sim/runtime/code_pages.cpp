// GetACP, MultiByteToWideChar and WideCharToMultiByte for the code pages the simulated machines
// use: the Western European ANSI page 1252, US-ASCII 20127 and the Japanese page 932.
#include "platform/sim/machine_access.h"
#include "platform/sim/runtime/win32_memstr.h"
#include "platform/sim/win32_error.h"

#include <cstring>
#include <iconv.h>
#include <string>

namespace {

constexpr DWORD kKnownFlags = MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;

// Input decoded to UTF-16, and whether some of it had to be replaced.
struct Decoded {
    std::u16string text;
    bool replacedInvalidInput = false;
};

// The bytes 0x80-0x9F of 1252; the five that the page leaves undefined map to the C1 control of
// the same value, as Windows maps them.
constexpr char16_t kWindows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

Decoded decodeWindows1252(const unsigned char* bytes, std::size_t length) {
    Decoded decoded;
    decoded.text.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char byte = bytes[i];
        decoded.text.push_back(byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : char16_t{byte});
    }
    return decoded;
}

Decoded decodeUsAscii(const unsigned char* bytes, std::size_t length) {
    Decoded decoded;
    decoded.text.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        decoded.text.push_back(static_cast<char16_t>(bytes[i] & 0x7F));
    }
    return decoded;
}

// Page 932 (Shift JIS as Windows extends it). Single bytes are mapped here; double-byte
// characters through the C library's converter for the same page.
class ShiftJisDecoder {
public:
    ShiftJisDecoder() : converter(iconv_open("UTF-16LE", "CP932")) {}
    ~ShiftJisDecoder() {
        if (converter != invalidConverter()) {
            iconv_close(converter);
        }
    }
    ShiftJisDecoder(const ShiftJisDecoder&) = delete;
    ShiftJisDecoder& operator=(const ShiftJisDecoder&) = delete;

    bool usable() const { return converter != invalidConverter(); }

    Decoded decode(const unsigned char* bytes, std::size_t length) {
        Decoded decoded;
        decoded.text.reserve(length);
        std::size_t i = 0;
        while (i < length) {
            const unsigned char byte = bytes[i];
            if (!isLeadByte(byte)) {
                decoded.text.push_back(singleByte(byte));
                ++i;
                continue;
            }
            char16_t character = 0;
            const bool hasTrail = i + 1 < length;
            if (hasTrail && convertPair(byte, bytes[i + 1], &character)) {
                decoded.text.push_back(character);
                i += 2;
                continue;
            }
            // An undefined pair or a lead byte without its trail becomes the page's default
            // character; a byte that cannot be a trail byte is left to be read on its own.
            decoded.text.push_back(kDefaultCharacter);
            decoded.replacedInvalidInput = true;
            i += hasTrail && isTrailByte(bytes[i + 1]) ? 2 : 1;
        }
        return decoded;
    }

private:
    static constexpr char16_t kDefaultCharacter = 0x30FB;

    static iconv_t invalidConverter() { return reinterpret_cast<iconv_t>(-1); }
    static bool isLeadByte(unsigned char byte) {
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    }
    static bool isTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

    static char16_t singleByte(unsigned char byte) {
        if (byte >= 0xA1 && byte <= 0xDF) {
            return static_cast<char16_t>(0xFF61 + (byte - 0xA1)); // half-width katakana
        }
        if (byte == 0xA0) {
            return 0xF8F0;
        }
        if (byte >= 0xFD) {
            return static_cast<char16_t>(0xF8F1 + (byte - 0xFD));
        }
        return byte;
    }

    bool convertPair(unsigned char lead, unsigned char trail, char16_t* character) {
        char input[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        unsigned char output[4] = {};
        char* in = input;
        std::size_t inLeft = sizeof input;
        char* out = reinterpret_cast<char*>(output);
        std::size_t outLeft = sizeof output;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0 ||
            sizeof output - outLeft != 2) {
            return false;
        }
        *character = static_cast<char16_t>(output[0] | (output[1] << 8));
        return true;
    }

    iconv_t converter;
};

bool decode(UINT codePage, const unsigned char* bytes, std::size_t length, Decoded* decoded) {
    switch (codePage) {
    case CP_WINDOWS_1252:
        *decoded = decodeWindows1252(bytes, length);
        return true;
    case CP_US_ASCII:
        *decoded = decodeUsAscii(bytes, length);
        return true;
    case CP_SHIFT_JIS: {
        ShiftJisDecoder decoder;
        if (!decoder.usable()) {
            return false;
        }
        *decoded = decoder.decode(bytes, length);
        return true;
    }
    default:
        return false;
    }
}

// A character of page 932 in its bytes, through the C library's converter for the page; empty when
// the page lacks it.
std::string encodeShiftJis(char16_t character) {
    const iconv_t converter = iconv_open("CP932", "UTF-16LE");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return {};
    }
    char input[2] = {static_cast<char>(character & 0xFF), static_cast<char>(character >> 8)};
    char output[4] = {};
    char* in = input;
    std::size_t inLeft = sizeof input;
    char* out = output;
    std::size_t outLeft = sizeof output;
    const bool converted = iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(converter);
    return converted ? std::string(output, sizeof output - outLeft) : std::string();
}

// One character in the page's bytes (one or two); empty when the page lacks it. The bytes are kept
// only when they decode back to the character, so the two directions always agree.
std::string encodeCharacter(UINT codePage, char16_t character) {
    std::string encoded;
    if (codePage == CP_SHIFT_JIS) {
        encoded = encodeShiftJis(character);
    } else {
        for (unsigned byte = 1; byte < 0x100 && encoded.empty(); ++byte) {
            const unsigned char single = static_cast<unsigned char>(byte);
            Decoded decoded;
            if (decode(codePage, &single, 1, &decoded) && decoded.text == std::u16string(1, character)) {
                encoded.assign(1, static_cast<char>(single));
            }
        }
    }
    Decoded back;
    const bool agrees = !encoded.empty() &&
                        decode(codePage, reinterpret_cast<const unsigned char*>(encoded.data()), encoded.size(), &back) &&
                        !back.replacedInvalidInput && back.text == std::u16string(1, character);
    return agrees ? encoded : std::string();
}

bool flagsAreValid(DWORD flags) {
    return (flags & ~kKnownFlags) == 0 &&
           (flags & (MB_PRECOMPOSED | MB_COMPOSITE)) != (MB_PRECOMPOSED | MB_COMPOSITE);
}

int fail(DWORD error) {
    SetLastError(error);
    return 0;
}

} // namespace

WINSIM_API UINT WINAPI GetACP() {
    return winsim::currentMachineFacts()->ansiCodePage;
}

WINSIM_API int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH multiByte, int multiByteLength,
                                          LPWSTR wide, int wideCapacity) {
    if (multiByte == nullptr || multiByteLength == 0 || multiByteLength < -1 || wideCapacity < 0 ||
        (wide == nullptr && wideCapacity != 0)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (!flagsAreValid(flags)) {
        return fail(ERROR_INVALID_FLAGS);
    }
    const std::size_t length =
        multiByteLength == -1 ? std::strlen(multiByte) + 1 : static_cast<std::size_t>(multiByteLength);
    Decoded decoded;
    if (!decode(codePage == CP_ACP ? GetACP() : codePage, reinterpret_cast<const unsigned char*>(multiByte),
                length, &decoded)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (decoded.replacedInvalidInput && (flags & MB_ERR_INVALID_CHARS) != 0) {
        return fail(ERROR_NO_UNICODE_TRANSLATION);
    }
    const std::size_t needed = decoded.text.size();
    if (wideCapacity == 0) {
        return static_cast<int>(needed);
    }
    const std::size_t capacity = static_cast<std::size_t>(wideCapacity);
    // Windows fills the buffer as far as it reaches before it reports that the buffer is too small.
    decoded.text.copy(wide, needed < capacity ? needed : capacity);
    if (needed > capacity) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    return static_cast<int>(needed);
}

WINSIM_API int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideLength, LPSTR multiByte,
                                          int multiByteCapacity, LPCCH defaultChar, LPBOOL usedDefaultChar) {
    if (wide == nullptr || wideLength == 0 || wideLength < -1 || multiByteCapacity < 0 ||
        (multiByte == nullptr && multiByteCapacity != 0)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if ((flags & ~WC_NO_BEST_FIT_CHARS) != 0) {
        return fail(ERROR_INVALID_FLAGS);
    }
    const UINT page = codePage == CP_ACP ? GetACP() : codePage;
    if (page != CP_WINDOWS_1252 && page != CP_US_ASCII && page != CP_SHIFT_JIS) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    std::size_t length = 0;
    if (wideLength == -1) {
        while (wide[length] != 0) {
            ++length;
        }
        ++length; // and its NUL
    } else {
        length = static_cast<std::size_t>(wideLength);
    }
    std::string bytes;
    bool usedDefault = false;
    for (std::size_t i = 0; i < length; ++i) {
        std::string encoded = wide[i] == 0 ? std::string(1, '\0') : encodeCharacter(page, wide[i]);
        if (encoded.empty()) {
            usedDefault = true;
            encoded = defaultChar != nullptr ? std::string(1, *defaultChar) : std::string("?");
        }
        bytes += encoded;
    }
    if (usedDefaultChar != nullptr) {
        *usedDefaultChar = usedDefault ? TRUE : FALSE;
    }
    if (multiByteCapacity == 0) {
        return static_cast<int>(bytes.size());
    }
    const std::size_t capacity = static_cast<std::size_t>(multiByteCapacity);
    bytes.copy(multiByte, bytes.size() < capacity ? bytes.size() : capacity);
    if (bytes.size() > capacity) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    return static_cast<int>(bytes.size());
}
