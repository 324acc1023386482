// Machine descriptions as a test author may write them, through the reader and, when it accepts
// one, through the simulated Windows built from it: the reader refuses with std::invalid_argument
// and nothing else, and an accepted machine can be walked as discovery walks it without a fault.
#include "platform/sim/device/machine.h"
#include "platform/sim/device/machine_json.h"
#include "platform/win32.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace {

constexpr GUID kBoardInterface = {0x7729C356, 0x96D6, 0x4FAB, {0x8D, 0x01, 0x92, 0x66, 0xFB, 0x3D, 0x1B, 0xD7}};

// Climbs from a device to the root and steps to its first child and next sibling, as the slot path
// and the identity texts do.
void walkTreeAround(DEVINST device) {
    char id[MAX_DEVICE_ID_LEN];
    DEVINST other = 0;
    static_cast<void>(CM_Get_Child(&other, device, 0));
    static_cast<void>(CM_Get_Sibling(&other, device, 0));
    for (int depth = 0; depth < 256 && CM_Get_Parent(&other, device, 0) == CR_SUCCESS; ++depth) {
        static_cast<void>(CM_Get_Device_IDA(other, id, sizeof id, 0));
        device = other;
    }
}

// Lists every device with its instance ID, hardware key and place in the tree.
void walkDevices() {
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        char id[MAX_DEVICE_ID_LEN];
        static_cast<void>(SetupDiGetDeviceInstanceIdA(set, &device, id, sizeof id, nullptr));
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key != INVALID_HANDLE_VALUE) {
            BYTE value[64];
            DWORD size = sizeof value;
            static_cast<void>(RegQueryValueExA(key, "pciVendorID", nullptr, nullptr, value, &size));
            RegCloseKey(key);
        }
        walkTreeAround(device.DevInst);
    }
    SetupDiDestroyDeviceInfoList(set);
}

// Lists the board interfaces with their paths and keys, as discovery does.
void walkBoardInterfaces() {
    HDEVINFO set = SetupDiGetClassDevsA(&kBoardInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVICE_INTERFACE_DATA entry{};
    entry.cbSize = sizeof entry;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &kBoardInterface, i, &entry); ++i) {
        DWORD required = 0;
        static_cast<void>(SetupDiGetDeviceInterfaceDetailA(set, &entry, nullptr, 0, &required, nullptr));
        HKEY key = SetupDiOpenDeviceInterfaceRegKey(set, &entry, 0, KEY_READ);
        if (key != INVALID_HANDLE_VALUE) {
            HKEY properties = nullptr;
            if (RegOpenKeyExA(key, "Properties", 0, KEY_READ, &properties) == ERROR_SUCCESS) {
                BYTE value[64];
                DWORD size = sizeof value;
                static_cast<void>(RegQueryValueExA(properties, "driverBaseName", nullptr, nullptr, value, &size));
                RegCloseKey(properties);
            }
            RegCloseKey(key);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sim::Machine machine;
    try {
        machine = winsim::machineWithBoardText(winsim::parseMachineDescription(
            std::string(reinterpret_cast<const char*>(data), size), "/nonexistent-machine-folder"));
        sim::installMachine(machine);
    } catch (const std::invalid_argument&) {
        return 0;
    }
    walkDevices();
    walkBoardInterfaces();
    sim::uninstallMachine();
    return 0;
}
