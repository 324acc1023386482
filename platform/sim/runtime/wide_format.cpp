// _vswprintf_c_l: the Windows runtime's wide formatted print, for the conversions the module uses
// (d i u x X o c s %, with flags - 0 + space #, width, precision and the h l ll I64 sizes).
// In a wide format %s and %c take wide arguments, %hs and %hc narrow ones, as on Windows.
#include "platform/sim/runtime/win32_memstr.h"

#include <cerrno>
#include <cstdint>
#include <string>

namespace {

enum class Size { normal, shortSize, longSize, longLong };

struct Conversion {
    bool leftAlign = false;
    bool zeroPad = false;
    bool plusSign = false;
    bool spaceSign = false;
    bool alternate = false;
    int width = 0;
    int precision = -1;
    Size size = Size::normal;
};

class Formatter {
public:
    explicit Formatter(va_list arguments) { va_copy(args, arguments); }
    ~Formatter() { va_end(args); }
    Formatter(const Formatter&) = delete;
    Formatter& operator=(const Formatter&) = delete;

    // False for a format the runtime rejects.
    bool format(const char16_t* format) {
        const char16_t* at = format;
        while (*at != u'\0') {
            if (*at != u'%') {
                out.push_back(*at++);
                continue;
            }
            ++at;
            Conversion conversion;
            readFlags(&at, &conversion);
            conversion.width = readCount(&at);
            if (conversion.width < 0) {
                conversion.leftAlign = true;
                conversion.width = -conversion.width;
            }
            if (*at == u'.') {
                ++at;
                conversion.precision = readCount(&at);
            }
            readSize(&at, &conversion);
            if (*at == u'\0' || !convert(*at++, conversion)) {
                return false;
            }
        }
        return true;
    }

    const std::u16string& text() const { return out; }

private:
    static void readFlags(const char16_t** at, Conversion* conversion) {
        for (;; ++*at) {
            switch (**at) {
            case u'-':
                conversion->leftAlign = true;
                break;
            case u'0':
                conversion->zeroPad = true;
                break;
            case u'+':
                conversion->plusSign = true;
                break;
            case u' ':
                conversion->spaceSign = true;
                break;
            case u'#':
                conversion->alternate = true;
                break;
            default:
                return;
            }
        }
    }

    int readCount(const char16_t** at) {
        if (**at == u'*') {
            ++*at;
            return va_arg(args, int);
        }
        int count = 0;
        while (**at >= u'0' && **at <= u'9' && count < 100000) {
            count = count * 10 + (**at - u'0');
            ++*at;
        }
        return count;
    }

    static void readSize(const char16_t** at, Conversion* conversion) {
        const std::u16string_view rest(*at);
        if (rest.substr(0, 3) == u"I64" || rest.substr(0, 2) == u"ll") {
            conversion->size = Size::longLong;
            *at += rest[0] == u'I' ? 3 : 2;
        } else if (rest.substr(0, 3) == u"I32") {
            *at += 3;
        } else if (rest[0] == u'l' || rest[0] == u'w') {
            conversion->size = Size::longSize;
            ++*at;
        } else if (rest[0] == u'h') {
            conversion->size = Size::shortSize;
            ++*at;
        }
    }

    bool convert(char16_t type, const Conversion& conversion) {
        switch (type) {
        case u'd':
        case u'i':
            return signedNumber(conversion);
        case u'u':
            return unsignedNumber(unsignedArgument(conversion), 10, false, u"", conversion);
        case u'x':
            return unsignedNumber(unsignedArgument(conversion), 16, false, u"0x", conversion);
        case u'X':
            return unsignedNumber(unsignedArgument(conversion), 16, true, u"0X", conversion);
        case u'o':
            return unsignedNumber(unsignedArgument(conversion), 8, false, u"0", conversion);
        case u'c':
            return character(conversion);
        case u's':
            return string(conversion);
        case u'%':
            out.push_back(u'%');
            return true;
        default:
            return false;
        }
    }

    // On Windows long is 32 bits, so only ll and I64 take 64-bit arguments.
    std::uint64_t unsignedArgument(const Conversion& conversion) {
        switch (conversion.size) {
        case Size::longLong:
            return va_arg(args, unsigned long long);
        case Size::shortSize:
            return static_cast<unsigned short>(va_arg(args, unsigned int));
        default:
            return va_arg(args, unsigned int);
        }
    }

    bool signedNumber(const Conversion& conversion) {
        std::int64_t value = 0;
        switch (conversion.size) {
        case Size::longLong:
            value = va_arg(args, long long);
            break;
        case Size::shortSize:
            value = static_cast<short>(va_arg(args, int));
            break;
        default:
            value = va_arg(args, int);
            break;
        }
        const std::uint64_t magnitude =
            value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
        const char16_t* sign = value < 0              ? u"-"
                               : conversion.plusSign  ? u"+"
                               : conversion.spaceSign ? u" "
                                                      : u"";
        pad(sign, digits(magnitude, 10, false, conversion.precision), conversion, true);
        return true;
    }

    bool unsignedNumber(std::uint64_t value, unsigned base, bool upper, const char16_t* prefix,
                        const Conversion& conversion) {
        pad(conversion.alternate && value != 0 ? prefix : u"",
            digits(value, base, upper, conversion.precision), conversion, true);
        return true;
    }

    static std::u16string digits(std::uint64_t value, unsigned base, bool upper, int precision) {
        const char* symbols = upper ? "0123456789ABCDEF" : "0123456789abcdef";
        std::u16string text;
        while (value != 0) {
            text.insert(text.begin(), static_cast<char16_t>(symbols[value % base]));
            value /= base;
        }
        const std::size_t minimum = precision < 0 ? 1 : static_cast<std::size_t>(precision);
        if (text.size() < minimum) {
            text.insert(0, minimum - text.size(), u'0');
        }
        return text;
    }

    bool character(const Conversion& conversion) {
        const int value = va_arg(args, int);
        const char16_t unit = conversion.size == Size::shortSize ? static_cast<unsigned char>(value)
                                                                 : static_cast<char16_t>(value);
        pad(u"", std::u16string(1, unit), conversion, false);
        return true;
    }

    bool string(const Conversion& conversion) {
        std::u16string text;
        if (conversion.size == Size::shortSize) {
            const char* narrow = va_arg(args, const char*);
            for (const char* c = narrow == nullptr ? "(null)" : narrow; *c != '\0'; ++c) {
                text.push_back(static_cast<unsigned char>(*c));
            }
        } else {
            const char16_t* wide = va_arg(args, const char16_t*);
            text = wide == nullptr ? u"(null)" : wide;
        }
        if (conversion.precision >= 0 && text.size() > static_cast<std::size_t>(conversion.precision)) {
            text.resize(static_cast<std::size_t>(conversion.precision));
        }
        pad(u"", text, conversion, false);
        return true;
    }

    // Writes prefix and body in a field of the specified width.
    void pad(std::u16string_view prefix, const std::u16string& body, const Conversion& conversion,
             bool numeric) {
        const std::size_t length = prefix.size() + body.size();
        const std::size_t fill =
            static_cast<std::size_t>(conversion.width) > length ? conversion.width - length : 0;
        const bool zeros = numeric && conversion.zeroPad && !conversion.leftAlign && conversion.precision < 0;
        if (!conversion.leftAlign && !zeros) {
            out.append(fill, u' ');
        }
        out.append(prefix);
        if (zeros) {
            out.append(fill, u'0');
        }
        out.append(body);
        if (conversion.leftAlign) {
            out.append(fill, u' ');
        }
    }

    va_list args;
    std::u16string out;
};

} // namespace

WINSIM_CXX_API int _vswprintf_c_l(char16_t* buffer, std::size_t capacity, const char16_t* format, _locale_t,
                                  va_list arguments) {
    if (buffer == nullptr || format == nullptr || capacity == 0) {
        errno = EINVAL;
        return -1;
    }
    Formatter formatter(arguments);
    if (!formatter.format(format)) {
        buffer[0] = u'\0';
        errno = EINVAL;
        return -1;
    }
    const std::u16string& text = formatter.text();
    const std::size_t written = text.copy(buffer, capacity - 1);
    buffer[written] = u'\0';
    return written == text.size() ? static_cast<int>(written) : -1;
}
