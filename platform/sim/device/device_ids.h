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
// The device path of an interface, which the system derives from the device, the interface class
// and the reference string: \\?\ then the ID with backslashes turned into #, then # and the class,
// then, when there is a reference string, \ and it; all lower case.
std::string interfacePath(std::string_view id, const GUID& classGuid, std::string_view reference);
// A reference string names one of several interfaces of one class on one device and becomes the
// last part of the path, so it holds no path separator; like an ID, it is printable ASCII without
// spaces.
bool isWellFormedReference(std::string_view reference);

} // namespace winsim
