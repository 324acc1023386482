// The text hwconfig prints: UTF-8 of what the module hands out in UTF-16.
#pragma once

#include "platform/win32.h"

#include <string>

namespace hwconfig {

// UTF-8 text of a NUL-terminated UTF-16 string (empty for null); an unpaired surrogate becomes
// U+FFFD, so that what is printed is always valid UTF-8.
std::string toUtf8(const WCHAR* text);

} // namespace hwconfig
