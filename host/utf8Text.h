// The text hwconfig exchanges with the module: UTF-8 on the command line and the terminal, UTF-16
// at the interfaces, and the module's one-byte-per-character text read in the ANSI code page.
#pragma once

#include "platform/win32.h"

#include <string>

namespace hwconfig {

// UTF-8 text of a NUL-terminated UTF-16 string (empty for null); an unpaired surrogate becomes
// U+FFFD, so that what is printed is always valid UTF-8.
std::string toUtf8(const WCHAR* text);
// UTF-16 text of a UTF-8 string; a byte that does not fit the encoding becomes U+FFFD.
std::basic_string<WCHAR> toUtf16(const std::string& text);

// Text whose bytes are characters of the machine's ANSI code page (1252 on a Western machine), as
// the module keeps aliases and as aliases.json holds them: the one reading of those bytes.
std::string ansiToUtf8(const std::string& bytes);
// Text the module widened one byte per character, read as those bytes in the ANSI code page.
std::string moduleTextToUtf8(const WCHAR* text);
// UTF-8 text as the module takes it (an alias, a password): the whole text in the ANSI code page,
// one character per byte of it, so that the module and the board get the same bytes on every build.
// A character the page lacks is refused, never replaced: HostError (kExitUsage) naming `what` and
// the character.
std::basic_string<WCHAR> toModuleText(const std::string& text, const std::string& what);

} // namespace hwconfig
