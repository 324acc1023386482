// What a set tells about one of its devices: instance ID, registry properties, hardware key.
#include "platform/sim/device/machine.h"
#include "platform/sim/device/registry_keys.h"
#include "platform/sim/device/setupapi_sets.h"
#include "platform/sim/windows_choices.h"

#include <algorithm>
#include <cstring>

using winsim::failWith;

namespace {

// The property as the registry would hold it; empty when the device does not have it.
std::optional<sim::RegistryValue> deviceProperty(const winsim::DeviceNode& device, DWORD property) {
    if (property == SPDRP_ENUMERATOR_NAME) {
        return sim::RegistryValue::text(device.enumerator);
    }
    if (property == SPDRP_ADDRESS && device.address) {
        return sim::RegistryValue::dword(*device.address);
    }
    return std::nullopt;
}

// The checks of the calls that fill a caller's buffer from a device, in the order Windows makes
// them: the set, the device, a null buffer with a size, then an injected fault. Gives
// ERROR_SUCCESS with *device set, or the error the call fails with.
template <class Set>
DWORD checkDeviceRead(const char* call, const Set& set, PSP_DEVINFO_DATA deviceInfo, const void* buffer,
                      DWORD bufferSize, const winsim::DeviceNode** device) {
    if (!set) {
        return ERROR_INVALID_HANDLE;
    }
    *device = set->deviceOf(deviceInfo);
    if (*device == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (buffer == nullptr && bufferSize != 0) {
        return winsim::choice::kNullBufferWithSize;
    }
    DWORD injected = 0;
    return winsim::takeInjectedFault(call, (*device)->id, &injected) ? injected : ERROR_SUCCESS;
}

} // namespace

// Argument offered to injected faults: the device's instance ID.
WINSIM_API BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO setHandle, PSP_DEVINFO_DATA deviceInfo,
                                                   PSTR buffer, DWORD bufferSize, PDWORD requiredSize) {
    const auto set = winsim::deviceInfoSets().find(setHandle);
    const winsim::DeviceNode* device = nullptr;
    if (const DWORD error =
            checkDeviceRead("SetupDiGetDeviceInstanceIdA", set, deviceInfo, buffer, bufferSize, &device);
        error != ERROR_SUCCESS) {
        return failWith(error);
    }
    const auto required = static_cast<DWORD>(device->id.size() + 1);
    if (requiredSize != nullptr) {
        *requiredSize = required;
    }
    if (bufferSize < required) {
        return failWith(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, device->id.c_str(), required);
    return TRUE;
}

// Argument offered to injected faults: the device's instance ID.
WINSIM_API BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO setHandle, PSP_DEVINFO_DATA deviceInfo,
                                                         DWORD property, PDWORD propertyRegDataType,
                                                         BYTE* buffer, DWORD bufferSize,
                                                         PDWORD requiredSize) {
    const auto set = winsim::deviceInfoSets().find(setHandle);
    const winsim::DeviceNode* device = nullptr;
    if (const DWORD error = checkDeviceRead("SetupDiGetDeviceRegistryPropertyA", set, deviceInfo, buffer,
                                            bufferSize, &device);
        error != ERROR_SUCCESS) {
        return failWith(error);
    }
    const auto value = deviceProperty(*device, property);
    if (!value) {
        return failWith(property == SPDRP_ENUMERATOR_NAME || property == SPDRP_ADDRESS
                            ? ERROR_INVALID_DATA
                            : winsim::choice::kAbsentProperty);
    }
    if (propertyRegDataType != nullptr) {
        *propertyRegDataType = value->type;
    }
    const auto required = static_cast<DWORD>(value->data.size());
    if (requiredSize != nullptr) {
        *requiredSize = required;
    }
    // A pure size query never succeeds.
    if (buffer == nullptr || bufferSize < required) {
        return failWith(ERROR_INSUFFICIENT_BUFFER);
    }
    std::copy(value->data.begin(), value->data.end(), buffer);
    return TRUE;
}

// Argument offered to injected faults: the device's instance ID.
WINSIM_API HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO setHandle, PSP_DEVINFO_DATA deviceInfo, DWORD scope,
                                            DWORD, DWORD keyType, REGSAM) {
    const auto set = winsim::deviceInfoSets().find(setHandle);
    if (!set) {
        return winsim::failKeyWith(ERROR_INVALID_HANDLE);
    }
    const winsim::DeviceNode* device = set->deviceOf(deviceInfo);
    if (device == nullptr) {
        return winsim::failKeyWith(ERROR_INVALID_PARAMETER);
    }
    if ((scope != DICS_FLAG_GLOBAL && scope != DICS_FLAG_CONFIGSPECIFIC) ||
        (keyType != DIREG_DEV && keyType != DIREG_DRV)) {
        return winsim::failKeyWith(ERROR_INVALID_FLAGS);
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault("SetupDiOpenDevRegKey", device->id, &injected)) {
        return winsim::failKeyWith(injected);
    }
    // Only the global hardware key is described; driver and configuration-specific keys do not exist.
    if (scope != DICS_FLAG_GLOBAL || keyType != DIREG_DEV || device->hardwareKey == nullptr) {
        return winsim::failKeyWith(ERROR_KEY_DOES_NOT_EXIST);
    }
    return winsim::openRegistryKey(set->machineSnapshot(), *device->hardwareKey);
}
