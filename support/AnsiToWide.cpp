#include "support/AnsiToWide.h"

#include "support/NumericCast.h"
#include "support/OSException.h"

namespace qv::brix {

std::size_t wideLength(const char* first, const char* last, const char* localeName) {
    if (first == last) {
        return 0;
    }
    const UINT codePage = _GetCodePageID(localeName);
    const int length = MultiByteToWideChar(codePage, 0, first, NumericCast<int>(last - first), nullptr, 0);
    if (length == 0) {
        throw osdep::WinError(__FILE__, __LINE__);
    }
    return static_cast<std::size_t>(length);
}

WideConversion convertToWide(const char* first, const char* last, const char* localeName, WCHAR* outFirst,
                             WCHAR* outLast) {
    if (first == last) {
        return WideConversion{0, outFirst};
    }
    const UINT codePage = _GetCodePageID(localeName);
    const int written = MultiByteToWideChar(codePage, 0, first, NumericCast<int>(last - first), outFirst,
                                            NumericCast<int>(outLast - outFirst));
    if (written == 0) {
        throw osdep::WinError(__FILE__, __LINE__);
    }
    return WideConversion{static_cast<std::size_t>(written), outFirst + written};
}

} // namespace qv::brix
