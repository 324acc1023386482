// What the simulated outside libraries ask of the current machine.
#include "platform/sim/device/device_ids.h"
#include "platform/sim/device/machine_state.h"

#include <cstring>

namespace sim {

std::string currentMachineFile() {
    return winsim::currentMachine()->sourceFile;
}

std::vector<std::string> recordedCalls() {
    return winsim::currentMachine()->faults().recordedCalls();
}

std::string boardDescription(const std::string& deviceId) {
    const auto machine = winsim::currentMachine();
    const winsim::DeviceNode* device = machine->findById(deviceId);
    return device == nullptr ? std::string() : device->boardText();
}

std::string devicePathOf(const std::string& deviceId, const GUID& classGuid, const std::string& reference) {
    return winsim::interfacePath(deviceId, classGuid, reference);
}

std::string deviceIdOfInterfacePath(const std::string& devicePath) {
    const auto machine = winsim::currentMachine();
    const auto place = machine->findInterfaceByPath(devicePath);
    return place ? machine->devices()[place->device].id : std::string();
}

std::optional<PxiLocation> findPxiLocation(std::uint32_t bus, std::uint32_t device, std::uint32_t function) {
    const auto machine = winsim::currentMachine();
    const PxiLocation* location = machine->findPxiLocation(bus, device, function);
    return location != nullptr ? std::optional<PxiLocation>(*location) : std::nullopt;
}

} // namespace sim

namespace sim {

std::optional<InterfaceOwner> findInterfaceOwner(const std::string& devicePath) {
    const auto machine = winsim::currentMachine();
    const auto place = machine->findInterfaceByPath(devicePath);
    if (!place) {
        return std::nullopt;
    }
    const winsim::DeviceNode& device = machine->devices()[place->device];
    return InterfaceOwner{device.id, device.interfaces[place->index].classGuid, device.present};
}

std::optional<RegistryValue> readInterfaceValue(const std::string& deviceId, const GUID& interfaceClass,
                                                const std::string& subkey, const std::string& valueName) {
    const auto machine = winsim::currentMachine();
    const winsim::DeviceNode* device = machine->findById(deviceId);
    if (device == nullptr) {
        return std::nullopt;
    }
    for (const winsim::InterfaceNode& deviceInterface : device->interfaces) {
        if (std::memcmp(&deviceInterface.classGuid, &interfaceClass, sizeof(GUID)) != 0) {
            continue;
        }
        const RegistryKey* key = deviceInterface.key != nullptr ? deviceInterface.key->findSubkey(subkey) : nullptr;
        const RegistryValue* value = key != nullptr ? key->findValue(valueName) : nullptr;
        return value != nullptr ? std::optional<RegistryValue>(*value) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace sim
