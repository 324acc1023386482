// What the simulated SetupAPI entry points share: the table of open device information sets and
// the way a call fails.
#pragma once

#include "platform/sim/device/device_info_set.h"
#include "platform/sim/handle_table.h"
#include "platform/sim/win32_error.h"

namespace winsim {

HandleTable<DeviceInfoSet>& deviceInfoSets();

// SetupAPI calls fail by returning FALSE (or INVALID_HANDLE_VALUE) with the error as last error.
inline BOOL failWith(DWORD error) {
    SetLastError(error);
    return FALSE;
}

inline HKEY failKeyWith(DWORD error) {
    SetLastError(error);
    return reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
}

} // namespace winsim
