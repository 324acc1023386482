// Opening, growing and destroying device information sets.
#include "platform/sim/device/setupapi_sets.h"

#include "platform/sim/device/device_ids.h"

namespace winsim {

HandleTable<DeviceInfoSet>& deviceInfoSets() {
    static HandleTable<DeviceInfoSet> table;
    return table;
}

} // namespace winsim

namespace sim {
std::size_t openDeviceInfoSetCount() {
    return winsim::deviceInfoSets().size();
}
} // namespace sim

using winsim::failWith;

// Argument offered to injected faults: the enumerator ("" when none).
WINSIM_API HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND, DWORD flags) {
    std::shared_ptr<const winsim::MachineState> machine = winsim::currentMachine();
    auto selected = winsim::selectClassDevs(*machine, classGuid, enumerator, flags);
    if (const DWORD* error = std::get_if<DWORD>(&selected)) {
        SetLastError(*error);
        return INVALID_HANDLE_VALUE;
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault(*machine, "SetupDiGetClassDevsA", enumerator == nullptr ? "" : enumerator,
                                  &injected)) {
        SetLastError(injected);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_shared<winsim::DeviceInfoSet>(std::move(machine),
                                                       std::move(std::get<winsim::SetContents>(selected)));
    return winsim::deviceInfoSets().add<HDEVINFO>(std::move(set));
}

// Argument offered to injected faults: none (""). The set holds nothing until devices are opened
// into it; the class is not checked, as no device of this machine has a setup class.
WINSIM_API HDEVINFO WINAPI SetupDiCreateDeviceInfoList(const GUID*, HWND) {
    std::shared_ptr<const winsim::MachineState> machine = winsim::currentMachine();
    DWORD injected = 0;
    if (winsim::takeInjectedFault(*machine, "SetupDiCreateDeviceInfoList", "", &injected)) {
        SetLastError(injected);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_shared<winsim::DeviceInfoSet>(std::move(machine), winsim::SetContents{});
    return winsim::deviceInfoSets().add<HDEVINFO>(std::move(set));
}

// Argument offered to injected faults: none (""). A failed destroy has still destroyed the set,
// so that a caller's cleanup path can be made to fail without leaking.
WINSIM_API BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    if (!winsim::deviceInfoSets().remove(set)) {
        return failWith(ERROR_INVALID_HANDLE);
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault("SetupDiDestroyDeviceInfoList", "", &injected)) {
        return failWith(injected);
    }
    return TRUE;
}

// Argument offered to injected faults: the device instance ID asked for.
WINSIM_API BOOL WINAPI SetupDiOpenDeviceInfoA(HDEVINFO setHandle, PCSTR deviceInstanceId, HWND,
                                              DWORD openFlags, PSP_DEVINFO_DATA deviceInfo) {
    const auto set = winsim::deviceInfoSets().find(setHandle);
    if (!set) {
        return failWith(ERROR_INVALID_HANDLE);
    }
    if (deviceInstanceId == nullptr) {
        return failWith(ERROR_INVALID_PARAMETER);
    }
    if ((openFlags & ~(DIOD_INHERIT_CLASSDRVS | DIOD_CANCEL_REMOVE)) != 0) {
        return failWith(ERROR_INVALID_FLAGS);
    }
    if (!winsim::isWellFormedDeviceId(deviceInstanceId)) {
        return failWith(ERROR_INVALID_DEVINST_NAME);
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault("SetupDiOpenDeviceInfoA", deviceInstanceId, &injected)) {
        return failWith(injected);
    }
    const winsim::DeviceNode* device = set->machine().findById(deviceInstanceId);
    if (device == nullptr) {
        return failWith(ERROR_NO_SUCH_DEVINST);
    }
    // The device joins the set even when the caller's structure cannot receive it.
    const bool describable = deviceInfo == nullptr || deviceInfo->cbSize == sizeof(SP_DEVINFO_DATA);
    set->addDevice(*device, describable ? deviceInfo : nullptr);
    return describable ? TRUE : failWith(ERROR_INVALID_USER_BUFFER);
}

// Argument offered to injected faults: the instance ID of the device at memberIndex ("" past the
// end).
WINSIM_API BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO setHandle, DWORD memberIndex,
                                             PSP_DEVINFO_DATA deviceInfo) {
    const auto set = winsim::deviceInfoSets().find(setHandle);
    if (!set) {
        return failWith(ERROR_INVALID_HANDLE);
    }
    if (deviceInfo == nullptr || deviceInfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return failWith(ERROR_INVALID_USER_BUFFER);
    }
    const winsim::DeviceNode* device = set->deviceAt(memberIndex);
    DWORD injected = 0;
    if (winsim::takeInjectedFault("SetupDiEnumDeviceInfo", device == nullptr ? std::string() : device->id,
                                  &injected)) {
        return failWith(injected);
    }
    if (device == nullptr) {
        return failWith(ERROR_NO_MORE_ITEMS);
    }
    set->describeDevice(*device, deviceInfo);
    return TRUE;
}
