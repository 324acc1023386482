// Text rules shared by the simulated SetupAPI, configuration manager and registry: Windows compares
// device IDs, enumerators and registry names without regard to (ASCII) case.
#pragma once

#include "platform/sim/win32_types.h"

#include <optional>
#include <string>
#include <string_view>

namespace winsim {

bool equalsIgnoringCase(std::string_view a, std::string_view b);
std::string toUpperAscii(std::string_view text);
std::string toLowerAscii(std::string_view text);

// "{7729C356-96D6-4FAB-8D01-9266FB3D1BD7}" (braces required, either case) to its GUID.
std::optional<GUID> parseGuid(std::string_view text);
// The registry form of a GUID: upper case, in braces.
std::string formatGuid(const GUID& guid);

// Decodes UTF-8 into code points; empty when the text is not valid UTF-8.
std::optional<std::u32string> decodeUtf8(std::string_view text);

} // namespace winsim
