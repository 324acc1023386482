// The configuration manager's device tree. DEVINSTs name devices of the current machine; the
// root HTREE\ROOT\0 is a device like the others but has no parent.
#include "platform/sim/device/machine_state.h"
#include "platform/sim/device/win32_setupapi.h"
#include "platform/sim/windows_choices.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

bool inTree(const winsim::DeviceNode& device) {
    return device.present || !winsim::choice::kTreeHoldsOnlyPresentDevices;
}

// The first device in the tree among `children` from position `from` on.
const winsim::DeviceNode* firstInTree(const winsim::MachineState& machine,
                                      const std::vector<std::size_t>& children, std::size_t from) {
    for (std::size_t i = from; i < children.size(); ++i) {
        const winsim::DeviceNode& child = machine.devices()[children[i]];
        if (inTree(child)) {
            return &child;
        }
    }
    return nullptr;
}

// The device devInst names, for a call whose pointers were checked: the flags, the device and an
// injected fault are checked in that order, as every configuration-manager call here checks them.
struct DeviceOfCall {
    std::shared_ptr<const winsim::MachineState> machine;
    const winsim::DeviceNode* device = nullptr;
};

CONFIGRET findDeviceOfCall(const char* call, DEVINST devInst, ULONG flags, DeviceOfCall& found) {
    if (flags != 0) {
        return CR_INVALID_FLAG;
    }
    found.machine = winsim::currentMachine();
    found.device = found.machine->findByDevInst(devInst);
    if (found.device == nullptr) {
        return CR_INVALID_DEVNODE;
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault(*found.machine, call, found.device->id, &injected)) {
        return injected;
    }
    return CR_SUCCESS;
}

// The common part of the three tree walks: argument checks, the device of devInst, fault injection
// and the answer of `relative`.
template <class Relative>
CONFIGRET walkTree(const char* call, DEVINST* result, DEVINST devInst, ULONG flags, Relative relative) {
    if (result == nullptr) {
        return CR_INVALID_POINTER;
    }
    *result = 0;
    DeviceOfCall of;
    if (const CONFIGRET refused = findDeviceOfCall(call, devInst, flags, of); refused != CR_SUCCESS) {
        return refused;
    }
    const winsim::DeviceNode* found = relative(*of.machine, *of.device);
    if (found == nullptr) {
        return CR_NO_SUCH_DEVNODE;
    }
    *result = found->devInst;
    return CR_SUCCESS;
}

} // namespace

// Argument offered to injected faults (all four calls): the instance ID of the device devInst names.
WINSIM_API CONFIGRET WINAPI CM_Get_Parent(DEVINST* parent, DEVINST devInst, ULONG flags) {
    return walkTree("CM_Get_Parent", parent, devInst, flags,
                    [](const winsim::MachineState& machine, const winsim::DeviceNode& device) {
                        const std::size_t index = machine.indexOf(device);
                        return index == winsim::MachineState::kRoot ? nullptr
                                                                    : &machine.devices()[device.parent];
                    });
}

WINSIM_API CONFIGRET WINAPI CM_Get_Child(DEVINST* child, DEVINST devInst, ULONG flags) {
    return walkTree("CM_Get_Child", child, devInst, flags,
                    [](const winsim::MachineState& machine, const winsim::DeviceNode& device) {
                        return firstInTree(machine, device.children, 0);
                    });
}

WINSIM_API CONFIGRET WINAPI CM_Get_Sibling(DEVINST* sibling, DEVINST devInst, ULONG flags) {
    return walkTree("CM_Get_Sibling", sibling, devInst, flags,
                    [](const winsim::MachineState& machine,
                       const winsim::DeviceNode& device) -> const winsim::DeviceNode* {
                        const std::size_t index = machine.indexOf(device);
                        if (index == winsim::MachineState::kRoot) {
                            return nullptr;
                        }
                        const auto& siblings = machine.devices()[device.parent].children;
                        const auto at = std::find(siblings.begin(), siblings.end(), index);
                        return firstInTree(machine, siblings,
                                           static_cast<std::size_t>(at - siblings.begin()) + 1);
                    });
}

// The ID and its NUL when there is room; exactly the ID's length gives the ID without a NUL; a
// shorter buffer gets as much of the ID as fits and CR_BUFFER_SMALL.
WINSIM_API CONFIGRET WINAPI CM_Get_Device_IDA(DEVINST devInst, PSTR buffer, ULONG bufferLen, ULONG flags) {
    if (buffer == nullptr) {
        return CR_INVALID_POINTER;
    }
    DeviceOfCall of;
    if (const CONFIGRET refused = findDeviceOfCall("CM_Get_Device_IDA", devInst, flags, of); refused != CR_SUCCESS) {
        return refused;
    }
    const std::string& id = of.device->id;
    std::memcpy(buffer, id.c_str(), std::min<std::size_t>(bufferLen, id.size() + 1));
    return bufferLen < id.size() ? CR_BUFFER_SMALL : CR_SUCCESS;
}
