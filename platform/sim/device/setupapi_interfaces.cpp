// Walking the device interfaces of a set: enumeration, interface details and interface keys.
#include "platform/sim/device/registry_keys.h"
#include "platform/sim/device/setupapi_sets.h"
#include "platform/sim/windows_choices.h"

#include <cstddef>
#include <cstring>

using winsim::failWith;

// Argument offered to injected faults: the instance ID of the device owning the interface at
// memberIndex ("" past the end).
WINSIM_API BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO setHandle, PSP_DEVINFO_DATA deviceInfo,
                                                   const GUID* interfaceClassGuid, DWORD memberIndex,
                                                   PSP_DEVICE_INTERFACE_DATA interfaceData) {
    const auto set = winsim::deviceInfoSets().find(setHandle);
    if (!set) {
        return failWith(ERROR_INVALID_HANDLE);
    }
    if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return failWith(winsim::choice::kBadOutputStructure);
    }
    if (interfaceClassGuid == nullptr) {
        return failWith(winsim::choice::kEnumWithoutClass);
    }
    // With a device the index runs over that device's interfaces, else over the whole set.
    const winsim::DeviceNode* onlyDevice = nullptr;
    if (deviceInfo != nullptr) {
        onlyDevice = set->deviceOf(deviceInfo);
        if (onlyDevice == nullptr) {
            return failWith(ERROR_INVALID_PARAMETER);
        }
    }
    const std::optional<std::size_t> position = set->findInterface(*interfaceClassGuid, onlyDevice, memberIndex);
    DWORD injected = 0;
    if (winsim::takeInjectedFault("SetupDiEnumDeviceInterfaces",
                                  position ? set->deviceOf(set->interfaces()[*position]).id : std::string(),
                                  &injected)) {
        return failWith(injected);
    }
    if (!position) {
        return failWith(ERROR_NO_MORE_ITEMS);
    }
    set->describeInterface(*position, interfaceData);
    return TRUE;
}

// Argument offered to injected faults: the instance ID of the device owning the interface.
WINSIM_API BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO setHandle,
                                                        PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                                        DWORD detailSize, PDWORD requiredSize,
                                                        PSP_DEVINFO_DATA deviceInfo) {
    const auto set = winsim::deviceInfoSets().find(setHandle);
    if (!set) {
        return failWith(ERROR_INVALID_HANDLE);
    }
    const winsim::SetInterface* entry = set->interfaceOf(interfaceData);
    if (entry == nullptr) {
        return failWith(ERROR_INVALID_PARAMETER);
    }
    if (detail != nullptr ? detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) : detailSize != 0) {
        return failWith(ERROR_INVALID_USER_BUFFER);
    }
    if (deviceInfo != nullptr && deviceInfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return failWith(winsim::choice::kBadOutputStructure);
    }
    const winsim::DeviceNode& device = set->deviceOf(*entry);
    DWORD injected = 0;
    if (winsim::takeInjectedFault("SetupDiGetDeviceInterfaceDetailA", device.id, &injected)) {
        return failWith(injected);
    }
    const std::string& path = set->interfaceOf(*entry).path;
    const auto required =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (requiredSize != nullptr) {
        *requiredSize = required;
    }
    const bool fits = detail != nullptr && detailSize >= required;
    if (fits || winsim::choice::kDetailFillsDeviceInfoWhenTooSmall) {
        set->describeDevice(device, deviceInfo);
    }
    if (!fits) {
        return failWith(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
}

// Argument offered to injected faults: the instance ID of the device owning the interface.
WINSIM_API HKEY WINAPI SetupDiOpenDeviceInterfaceRegKey(HDEVINFO setHandle,
                                                        PSP_DEVICE_INTERFACE_DATA interfaceData, DWORD,
                                                        REGSAM) {
    const auto set = winsim::deviceInfoSets().find(setHandle);
    if (!set) {
        return winsim::failKeyWith(ERROR_INVALID_HANDLE);
    }
    const winsim::SetInterface* entry = set->interfaceOf(interfaceData);
    if (entry == nullptr) {
        return winsim::failKeyWith(winsim::choice::kInterfaceDataForeign);
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault("SetupDiOpenDeviceInterfaceRegKey", set->deviceOf(*entry).id, &injected)) {
        return winsim::failKeyWith(injected);
    }
    const sim::RegistryKey* key = set->interfaceOf(*entry).key;
    if (key == nullptr) {
        return winsim::failKeyWith(winsim::choice::kInterfaceKeyMissing);
    }
    return winsim::openRegistryKey(set->machineSnapshot(), *key);
}
