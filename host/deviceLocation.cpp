#include "host/deviceLocation.h"
#include "host/expertModule.h"

#include "host/aliaskeys/aliasKeys.h"

namespace hwconfig {
namespace {

// The configuration manager's instance IDs are shorter than this (MAX_DEVICE_ID_LEN).
constexpr ULONG kDeviceIdCapacity = 200;

void throwIfConfigurationFailed(CONFIGRET result, const std::string& what) {
    if (result != CR_SUCCESS) {
        throw HostError(what + ": configuration manager error " + std::to_string(result));
    }
}

std::string instanceIdOf(DEVINST device) {
    char text[kDeviceIdCapacity] = {};
    throwIfConfigurationFailed(CM_Get_Device_IDA(device, text, kDeviceIdCapacity, 0),
                               "reading a device instance ID from the device tree");
    return text;
}

std::vector<DeviceNode> ancestryOf(DEVINST board) {
    std::vector<DeviceNode> chain{{board, instanceIdOf(board)}};
    for (;;) {
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, chain.back().devInst, 0) != CR_SUCCESS) {
            return chain;
        }
        chain.push_back({parent, instanceIdOf(parent)});
    }
}

} // namespace

DeviceLocation locateBoard(const std::string& itemName) {
    DeviceLocation location;
    aliaskeys::BoardKey key;
    const HRESULT found = aliaskeys::findBoardKey(itemName, key);
    throwIfFailed(found, "finding the board " + itemName);
    location.identityToken = key.identityToken;
    const DEVINST board = key.devInst;
    if (board == 0) {
        throw failedCall("finding the board " + itemName + " in the device tree",
                        HRESULT_FROM_WIN32(ERROR_NO_SUCH_DEVINST));
    }
    location.ancestry = ancestryOf(board);
    return location;
}

std::vector<DEVINST> childrenOf(DEVINST parent) {
    std::vector<DEVINST> children;
    DEVINST child = 0;
    for (CONFIGRET result = CM_Get_Child(&child, parent, 0); result == CR_SUCCESS;
         result = CM_Get_Sibling(&child, child, 0)) {
        children.push_back(child);
    }
    return children;
}

} // namespace hwconfig
