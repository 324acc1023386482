// A device information set: the devices and device interfaces chosen when it was opened, over the
// machine snapshot of that moment. The SP_DEVINFO_DATA and SP_DEVICE_INTERFACE_DATA it hands out
// carry a token in Reserved that names this set and a position in it, so that data of another
// set, zeroed data or data of a destroyed set is recognised.
#pragma once

#include "platform/sim/device/machine_state.h"
#include "platform/sim/device/win32_setupapi.h"

#include <mutex>
#include <optional>
#include <unordered_map>
#include <variant>
#include <vector>

namespace winsim {

struct SetInterface {
    std::size_t device; // index in the machine
    std::size_t index;  // index among the device's interfaces
};

// What SetupDiGetClassDevsA puts in a set, or the error it fails with.
struct SetContents {
    std::vector<std::size_t> devices; // indices in the machine
    std::vector<SetInterface> interfaces;
};
std::variant<SetContents, DWORD> selectClassDevs(const MachineState& machine, const GUID* classGuid,
                                                 const char* enumerator, DWORD flags);

class DeviceInfoSet {
public:
    DeviceInfoSet(std::shared_ptr<const MachineState> machine, SetContents contents);

    const std::shared_ptr<const MachineState>& machineSnapshot() const { return machine_; }
    const MachineState& machine() const { return *machine_; }

    // The device an SP_DEVINFO_DATA of this set names; empty for a wrong cbSize or a foreign token.
    const DeviceNode* deviceOf(const SP_DEVINFO_DATA* deviceInfo) const;
    // The device at a position of the set; null past the end.
    const DeviceNode* deviceAt(std::size_t position) const;
    // Adds a device (once) and describes it.
    void addDevice(const DeviceNode& device, SP_DEVINFO_DATA* deviceInfo);
    void describeDevice(const DeviceNode& device, SP_DEVINFO_DATA* deviceInfo) const;

    // The interfaces of the set in enumeration order.
    const std::vector<SetInterface>& interfaces() const { return interfaces_; }
    const DeviceNode& deviceOf(const SetInterface& entry) const { return machine_->devices()[entry.device]; }
    const InterfaceNode& interfaceOf(const SetInterface& entry) const;
    // The position of the memberIndex-th interface of the class, among those of `onlyDevice` when it
    // is given; empty past the last.
    std::optional<std::size_t> findInterface(const GUID& interfaceClass, const DeviceNode* onlyDevice,
                                             DWORD memberIndex) const;
    // The interface an SP_DEVICE_INTERFACE_DATA of this set names.
    const SetInterface* interfaceOf(const SP_DEVICE_INTERFACE_DATA* interfaceData) const;
    void describeInterface(std::size_t position, SP_DEVICE_INTERFACE_DATA* interfaceData) const;

private:
    std::size_t positionOf(std::size_t machineIndex) const; // with mutex_ held

    std::shared_ptr<const MachineState> machine_;
    const std::uint32_t serial_;
    const std::vector<SetInterface> interfaces_;
    // Set when every interface of the set is of this one class, as in a set opened for a class: the
    // Nth interface of that class is then the Nth of the set, found without a walk.
    std::optional<GUID> onlyClass_;
    mutable std::mutex mutex_;
    std::vector<std::size_t> devices_; // grows by SetupDiOpenDeviceInfoA
    std::unordered_map<std::size_t, std::size_t> positions_; // machine index -> position in devices_
};

} // namespace winsim
