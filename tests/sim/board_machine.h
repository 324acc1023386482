// The machine most conformance tests run on, made with the builder API:
//
//   HTREE\ROOT\0
//     ROOT\ACPI_HAL\0000
//       ACPI_HAL\PNP0C08\0
//         ACPI\PNP0A08\0                      first host bridge
//           PCI\VEN_8086&DEV_A110...\..E0      root port, device 0x1C
//             boardA                           present, address 0, board + register interfaces
//         ACPI\PNP0C0C\0
//         ACPI\PNP0A03\1                      second host bridge
//           boardB                             not present
//           boardC                             present, device 2 function 5, explicit path
//     ROOT\LEGACY\0000                         no interfaces, no address, no hardware key
#pragma once

#include "sim_fixture.h"

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <string>

namespace simtest {

constexpr GUID kBoardClass = {0x7729C356, 0x96D6, 0x4FAB, {0x8D, 0x01, 0x92, 0x66, 0xFB, 0x3D, 0x1B, 0xD7}};
constexpr GUID kRegisterClass = {
    0x307EC87D, 0x29CC, 0x4584, {0xA9, 0x48, 0x31, 0xD0, 0x57, 0x74, 0x69, 0x9E}};
constexpr GUID kRoutingClass = {0x9060DC52, 0xD4F8, 0x4768, {0x82, 0x56, 0x6E, 0xE7, 0xB4, 0xD5, 0xC7, 0x77}};

inline const std::string kHalId = "ROOT\\ACPI_HAL\\0000";
inline const std::string kAcpiId = "ACPI_HAL\\PNP0C08\\0";
inline const std::string kHostBridgeId = "ACPI\\PNP0A08\\0";
inline const std::string kButtonId = "ACPI\\PNP0C0C\\0";
inline const std::string kSecondBridgeId = "ACPI\\PNP0A03\\1";
inline const std::string kRootPortId = "PCI\\VEN_8086&DEV_A110&SUBSYS_00000000&REV_F0\\3&11583659&0&E0";
inline const std::string kBoardA = "PCI\\VEN_ABCD&DEV_1234&SUBSYS_5678ABCD&REV_01\\4&2A5E1B0&0&00E0";
inline const std::string kBoardB = "PCI\\VEN_ABCD&DEV_1234&SUBSYS_5678ABCD&REV_01\\4&1D2C3B4&0&0010";
inline const std::string kBoardC = "PCI\\VEN_ABCD&DEV_1235&SUBSYS_5679ABCD&REV_02\\4&99AA00&0&0015";
inline const std::string kLegacyId = "ROOT\\LEGACY\\0000";
inline const std::string kBoardAPath = "\\\\?\\pci#ven_abcd&dev_1234&subsys_5678abcd&rev_01#4&2a5e1b0&0&00e0#"
                                       "{7729c356-96d6-4fab-8d01-9266fb3d1bd7}";
inline const std::string kBoardCPath = sim::devicePathOf(kBoardC, kBoardClass, "boardC");

inline sim::Machine boardMachine() {
    sim::Machine machine;
    machine.addDevice(kHalId);
    machine.addDevice(kAcpiId, kHalId);
    machine.addDevice(kHostBridgeId, kAcpiId);
    machine.addDevice(kRootPortId, kHostBridgeId).address = 0x001C0000;

    sim::Device& boardA = machine.addDevice(kBoardA, kRootPortId);
    boardA.address = 0;
    boardA.hardwareKey().subkey("BusProperties").set("pciVendorID", 0xABCD).set("pciBusNumber", 5);
    boardA.hardwareKey()
        .subkey("DeviceProperties")
        .set("modelName", "KELP-4410")
        .set("serialNumber", "01A2B3C4");
    boardA.hardwareKey().subkey("DeviceProperties").subkey("Calibration").set("intervalDays", 365);
    sim::RegistryKey& properties = boardA.addInterface(kBoardClass).key().subkey("Properties");
    properties.set("interfaceVersion", 4)
        .set("driverBaseName", "qvkelpdrv")
        .set("mainInterface", kRegisterClass);
    boardA.addInterface(kRegisterClass);

    machine.addDevice(kButtonId, kAcpiId);
    machine.addDevice(kSecondBridgeId, kAcpiId);
    sim::Device& boardB = machine.addDevice(kBoardB, kSecondBridgeId);
    boardB.present = false;
    boardB.address = 0x00020000;
    boardB.addInterface(kBoardClass);
    sim::Device& boardC = machine.addDevice(kBoardC, kSecondBridgeId);
    boardC.address = 0x00020005;
    boardC.enumerator = "PCI";
    boardC.addInterface(kBoardClass, "boardC");

    machine.addDevice(kLegacyId);
    return machine;
}

// Installs the board machine for each test of a suite.
class BoardMachineTest : public testing::Test {
protected:
    void SetUp() override { sim::installMachine(boardMachine()); }
    void TearDown() override {
        sim::uninstallMachine();
        EXPECT_EQ(sim::openDeviceInfoSetCount(), 0u) << "a test left a device information set open";
        EXPECT_EQ(sim::openRegistryKeyCount(), 0u) << "a test left a registry key open";
    }
};

inline SP_DEVICE_INTERFACE_DATA emptyInterfaceData() {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    return data;
}

inline SP_DEVINFO_DATA emptyDeviceInfo() {
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    return data;
}

// Owns a device information set for the length of a test.
class ScopedSet {
public:
    explicit ScopedSet(HDEVINFO set) : set_(set) {}
    ~ScopedSet() {
        if (set_ != INVALID_HANDLE_VALUE) {
            SetupDiDestroyDeviceInfoList(set_);
        }
    }
    ScopedSet(const ScopedSet&) = delete;
    ScopedSet& operator=(const ScopedSet&) = delete;
    HDEVINFO get() const { return set_; }

private:
    HDEVINFO set_;
};

class ScopedKey {
public:
    explicit ScopedKey(HKEY key = nullptr) : key_(key) {}
    ~ScopedKey() {
        if (key_ != nullptr && key_ != reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) {
            RegCloseKey(key_);
        }
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    HKEY get() const { return key_; }
    HKEY* out() { return &key_; }

private:
    HKEY key_;
};

// The instance ID of a device of a set, read with the ordinary two-step protocol.
inline std::string instanceIdOf(HDEVINFO set, SP_DEVINFO_DATA* deviceInfo) {
    char buffer[MAX_DEVICE_ID_LEN] = {};
    DWORD required = 0;
    if (!SetupDiGetDeviceInstanceIdA(set, deviceInfo, buffer, sizeof buffer, &required)) {
        return "(error " + std::to_string(GetLastError()) + ")";
    }
    return buffer;
}

// The instance ID of the device owning the interface at `index` of the class in the set.
inline std::string interfaceOwner(HDEVINFO set, const GUID& interfaceClass, DWORD index) {
    SP_DEVICE_INTERFACE_DATA data = emptyInterfaceData();
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, index, &data)) {
        return "(error " + std::to_string(GetLastError()) + ")";
    }
    SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, nullptr, &deviceInfo);
    return instanceIdOf(set, &deviceInfo);
}

} // namespace simtest
