// The text hwconfig exchanges with the module: UTF-8 on the command line and the terminal, UTF-16
// at the interfaces.
#pragma once

#include "platform/win32.h"

#include <string>

namespace hwconfig {

// UTF-8 text of a NUL-terminated UTF-16 string (empty for null); an unpaired surrogate becomes
// U+FFFD, so that what is printed is always valid UTF-8.
std::string toUtf8(const WCHAR* text);
// UTF-16 text of a UTF-8 string; a byte that does not fit the encoding becomes U+FFFD.
std::basic_string<WCHAR> toUtf16(const std::string& text);

} // namespace hwconfig
