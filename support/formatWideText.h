// Formatted printing of 16-bit wide text with the runtime's current locale.
#pragma once

#include "platform/win32.h"

#include <cstddef>

namespace qv::brix {

// Prints into `buffer` of `capacity` characters. Returns the characters
// written without the NUL, or -1 when the text does not fit or the format is invalid.
int formatWideText(WCHAR* buffer, std::size_t capacity, const WCHAR* format, ...);

} // namespace qv::brix
