// What the simulated outside libraries ask of the current machine.
#include "platform/sim/machine_state.h"
#include "platform/sim/text_rules.h"

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
    return device == nullptr ? std::string() : device->board;
}

std::string deviceIdOfInterfacePath(const std::string& devicePath) {
    const auto machine = winsim::currentMachine();
    for (const winsim::DeviceNode& device : machine->devices()) {
        for (const winsim::InterfaceNode& deviceInterface : device.interfaces) {
            if (winsim::equalsIgnoringCase(deviceInterface.path, devicePath)) {
                return device.id;
            }
        }
    }
    return {};
}

std::optional<PxiLocation> findPxiLocation(std::uint32_t bus, std::uint32_t device, std::uint32_t function) {
    const auto machine = winsim::currentMachine();
    for (const PxiLocation& location : machine->pxi()) {
        if (location.bus == bus && location.device == device && location.function == function) {
            return location;
        }
    }
    return std::nullopt;
}

} // namespace sim
