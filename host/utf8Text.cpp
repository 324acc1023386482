#include "host/utf8Text.h"

#include "support/utf8.h"

namespace hwconfig {

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

} // namespace hwconfig
