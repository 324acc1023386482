// Where Windows' behaviour is not documented, the simulation makes a choice. They are all here, so
// that each can be revisited in one place when real Windows is seen to differ.
#pragma once

#include "platform/sim/win32_types.h"

namespace winsim::choice {

// SetupDiGetClassDevsA with DIGCF_DEVICEINTERFACE and an enumerator that names no device: a
// well-formed device instance ID gives an empty set; any other text fails with this error.
inline constexpr bool kUnknownWellFormedIdGivesEmptySet = true;
inline constexpr DWORD kClassDevsUnknownEnumerator = ERROR_INVALID_DATA;
// SetupDiGetClassDevsA without DIGCF_DEVICEINTERFACE and an enumerator name no device has.
inline constexpr DWORD kClassDevsUnknownEnumeratorName = ERROR_INVALID_DATA;
// Devices carry no setup class, so a device (not interface) set restricted to a class is empty.
inline constexpr bool kDevicesHaveNoSetupClass = true;

// SetupDiOpenDeviceInterfaceRegKey: the interface has no key; the interface data names no
// interface of the set.
inline constexpr DWORD kInterfaceKeyMissing = ERROR_FILE_NOT_FOUND;
inline constexpr DWORD kInterfaceDataForeign = ERROR_INVALID_PARAMETER;

// An output structure whose cbSize is wrong (the optional SP_DEVINFO_DATA of
// SetupDiGetDeviceInterfaceDetailA) or that is missing (SetupDiEnumDeviceInterfaces).
inline constexpr DWORD kBadOutputStructure = ERROR_INVALID_USER_BUFFER;
// SetupDiGetDeviceInterfaceDetailA fills the optional SP_DEVINFO_DATA whenever it reports the
// required size, also when a detail buffer is given but too small.
inline constexpr bool kDetailFillsDeviceInfoWhenTooSmall = true;
// SetupDiEnumDeviceInterfaces without an interface class.
inline constexpr DWORD kEnumWithoutClass = ERROR_INVALID_PARAMETER;
// SetupDiGetDeviceInstanceIdA and SetupDiGetDeviceRegistryPropertyA with a null buffer but a
// non-zero size.
inline constexpr DWORD kNullBufferWithSize = ERROR_INVALID_PARAMETER;
// Properties other than SPDRP_ENUMERATOR_NAME and SPDRP_ADDRESS are absent.
inline constexpr DWORD kAbsentProperty = ERROR_INVALID_DATA;

// The configuration manager's tree holds only present devices: CM_Get_Child and CM_Get_Sibling
// pass over devices that are not present (a non-present device still knows its parent).
inline constexpr bool kTreeHoldsOnlyPresentDevices = true;

} // namespace winsim::choice
