// Conversion of narrow text to 16-bit wide text by a locale name.
#pragma once

#include "platform/win32.h"

#include <cstddef>

namespace qv::brix {

// The Windows code page of a locale name: "" is the system's ANSI code page (0), "US-ASCII" is
// 20127 and "cp932" is 932. The names are compared exactly; any other throws InvalidLocale.
UINT _GetCodePageID(const char* localeName);

// The number of wide characters that the narrow range [first, last) converts to. Throws WinError
// when the system cannot convert it.
std::size_t wideLength(const char* first, const char* last, const char* localeName);

struct WideConversion {
    std::size_t written;
    WCHAR* end; // just past the last character written
};

// Converts [first, last) into the output range [outFirst, outLast) without a terminating NUL.
// Throws WinError when the system cannot convert it, for example when the output is too small.
WideConversion convertToWide(const char* first, const char* last, const char* localeName, WCHAR* outFirst,
                             WCHAR* outLast);

} // namespace qv::brix
