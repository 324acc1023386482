// Conversions between 8-bit text and 16-bit wide text one character per byte, as the host's texts
// and the registry's texts meet: anything that does not convert character for character is refused.
#pragma once

#include "platform/win32.h"

#include <cstddef>
#include <string>

namespace qv::brix {

using WideText = std::basic_string<WCHAR>;

// Throws std::runtime_error "unexpected return value from mbstowcs()" unless the runtime converts
// exactly `length` bytes.
WideText widenByteForByte(const char* text, std::size_t length);
WideText widenByteForByte(const std::string& text);

// Throws std::runtime_error "unexpected return value from wcstombs()" unless every character
// becomes one byte; a null text is refused the same way.
std::string narrowByteForByte(const WCHAR* text);

} // namespace qv::brix
