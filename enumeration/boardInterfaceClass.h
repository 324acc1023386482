// The device interface class that every board of the family exposes while it is present: the
// class the expert lists boards by, and hwconfig finds a board's key and place by.
#pragma once

#include "platform/win32.h"

namespace qvkelpsysapiexpert {

inline constexpr GUID BoardInterfaceClassGuid = {
    0x7729C356, 0x96D6, 0x4FAB, {0x8D, 0x01, 0x92, 0x66, 0xFB, 0x3D, 0x1B, 0xD7}};

} // namespace qvkelpsysapiexpert
