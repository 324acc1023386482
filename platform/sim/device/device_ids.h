// What a device instance ID looks like, and the names Windows derives from one.
#pragma once

#include "platform/sim/win32_types.h"

#include <string>
#include <string_view>

namespace winsim {

// Three non-empty parts separated by backslashes (enumerator\device\instance), printable ASCII
// without spaces or commas, shorter than MAX_DEVICE_ID_LEN.
bool isWellFormedDeviceId(std::string_view id);
// The enumerator a device gets by default: the part of its ID before the first backslash.
std::string defaultEnumerator(std::string_view id);
// \\?\ then the ID with backslashes turned into #, then # and the class, all lower case.
std::string defaultInterfacePath(std::string_view id, const GUID& classGuid);

} // namespace winsim
