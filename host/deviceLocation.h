// Where a board sits, found as a host finds it: its device and ancestors from the configuration
// manager, and its PCI identity token - the key of its record in aliases.json - built by the same
// discovery code the module uses, so that hwconfig and the module can never disagree on a key.
#pragma once

#include "platform/win32.h"

#include <string>
#include <vector>

namespace hwconfig {

struct DeviceNode {
    DEVINST devInst = 0;
    std::string instanceId;
};

struct DeviceLocation {
    // "PCI:VEN_1F2B&DEV_7A21&SUBSYS_1F2B7A21&REV_01/0000:00:E0:00:08:00"; empty when the board has
    // none (not a PCI device, or its slot path cannot be computed).
    std::string identityToken;
    // The board first, then each parent up to the root of the device tree.
    std::vector<DeviceNode> ancestry;
};

// Throws HostError when the board is not present or the configuration manager fails.
DeviceLocation locateBoard(const std::string& itemName);

// The children of a device in the configuration manager's order; throws HostError.
std::vector<DEVINST> childrenOf(DEVINST parent);

} // namespace hwconfig
