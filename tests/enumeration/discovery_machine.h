// Machines for the device-discovery tests, made with the simulation's builder.
//
//   HTREE\ROOT\0
//     ROOT\ACPI_HAL\0000
//       ACPI_HAL\PNP0C08\0
//         ACPI\PNP0C0C\0                       power button (not a host bridge)
//         ACPI\PNP0A08\0                       first host bridge
//           root port, device 0x1C             PCI, address 0x001C0000
//             behindBridge                     device 0, function 0       -> 0000:00:E0:00
//           onRootBus                          device 2, function 0       -> 0000:00:10
//           highFunction                       device 0x1F, function 5    -> 0000:00:FD
//         ACPI\PNP0C02\1                       motherboard resources
//         ACPI\PNP0A03\1                       second host bridge
//           belowSecondBridge                  device 0, function 0       -> 0000:01:00
//         VMBUS\{...}\0                        a root bus that is not ACPI's
//           onVirtualRoot                      device 3, function 0       -> 0000:00:18
//
// Every board exposes one interface of the board class with an interface key, and has a hardware
// key with the PCI identity registers.
#pragma once

#include "enumeration/tBasicString.h"
#include "platform/sim/device/machine.h"
#include "platform/win32.h"
#include "support/status.h"

#include <gtest/gtest.h>

#include <string>

namespace discoverytest {

constexpr GUID kBoardClass = {0x7729C356, 0x96D6, 0x4FAB, {0x8D, 0x01, 0x92, 0x66, 0xFB, 0x3D, 0x1B, 0xD7}};
constexpr GUID kRegisterClass = {
    0x307EC87D, 0x29CC, 0x4584, {0xA9, 0x48, 0x31, 0xD0, 0x57, 0x74, 0x69, 0x9E}};

inline const std::string kHal = "ROOT\\ACPI_HAL\\0000";
inline const std::string kAcpi = "ACPI_HAL\\PNP0C08\\0";
inline const std::string kFirstBridge = "ACPI\\PNP0A08\\0";
inline const std::string kSecondBridge = "ACPI\\PNP0A03\\1";
inline const std::string kVirtualRoot = "VMBUS\\{F8615163-DF3E-46C5-913F-F2D2F965ED0E}\\0";
inline const std::string kRootPort = "PCI\\VEN_8086&DEV_A110&SUBSYS_00000000&REV_F0\\3&11583659&0&E0";

inline const std::string kBehindBridge = "PCI\\VEN_ABCD&DEV_1234&SUBSYS_5678ABCD&REV_01\\4&2A5E1B0&0&00E0";
inline const std::string kOnRootBus = "PCI\\VEN_ABCD&DEV_1235&SUBSYS_0001ABCD&REV_02\\3&11583659&0&10";
inline const std::string kHighFunction = "PCI\\VEN_ABCD&DEV_1236&SUBSYS_0002ABCD&REV_03\\3&11583659&0&FD";
inline const std::string kBelowSecondBridge = "PCI\\VEN_ABCD&DEV_1237&SUBSYS_0003ABCD&REV_04\\3&2F1E4C9&0&00";
inline const std::string kOnVirtualRoot = "PCI\\VEN_ABCD&DEV_1238&SUBSYS_0004ABCD&REV_05\\5&1B2C3D4&0&18";

// A board's identity registers, as the driver stores them.
struct Identity {
    std::uint32_t vendor = 0xABCD;
    std::uint32_t device = 0x1234;
    std::uint32_t subsystemVendor = 0xABCD;
    std::uint32_t subsystem = 0x5678;
    std::uint32_t revision = 0x01;
};

inline sim::Device& addBoard(sim::Machine& machine, const std::string& id, const std::string& parent,
                             std::uint32_t address, const Identity& identity = {}) {
    sim::Device& board = machine.addDevice(id, parent);
    board.address = address;
    board.hardwareKey()
        .subkey("BusProperties")
        .set("pciVendorID", identity.vendor)
        .set("pciDeviceID", identity.device)
        .set("pciSubsystemVendorID", identity.subsystemVendor)
        .set("pciSubsystemID", identity.subsystem)
        .set("pciRevision", identity.revision);
    board.hardwareKey().subkey("DeviceProperties").set("manufacturerName", "Quorvel");
    board.addInterface(kBoardClass).key().subkey("Properties").set("interfaceVersion", 4);
    return board;
}

inline sim::Machine discoveryMachine() {
    sim::Machine machine;
    machine.addDevice(kHal);
    machine.addDevice(kAcpi, kHal);
    machine.addDevice("ACPI\\PNP0C0C\\0", kAcpi);
    machine.addDevice(kFirstBridge, kAcpi);
    machine.addDevice(kRootPort, kFirstBridge).address = 0x001C0000;
    addBoard(machine, kBehindBridge, kRootPort, 0);
    addBoard(machine, kOnRootBus, kFirstBridge, 0x00020000);
    addBoard(machine, kHighFunction, kFirstBridge, 0x001F0005);
    machine.addDevice("ACPI\\PNP0C02\\1", kAcpi);
    machine.addDevice(kSecondBridge, kAcpi);
    addBoard(machine, kBelowSecondBridge, kSecondBridge, 0);
    machine.addDevice(kVirtualRoot, kAcpi);
    addBoard(machine, kOnVirtualRoot, kVirtualRoot, 0x00030000);
    return machine;
}

// Installs a machine for the length of one test and checks at the end that every device
// information set and registry key opened during the test was given back.
class DiscoveryTest : public ::testing::Test {
protected:
    void install(const sim::Machine& machine) { sim::installMachine(machine); }
    void TearDown() override {
        EXPECT_EQ(sim::openDeviceInfoSetCount(), 0u) << "a device information set was not destroyed";
        EXPECT_EQ(sim::openRegistryKeyCount(), 0u) << "a registry key was not closed";
        sim::uninstallMachine();
    }
};

// A device instance ID as the discovery calls take it.
inline nQVOSALS100::tBasicString enumeratorText(const std::string& deviceId) {
    nQVOSALS100::tBasicString text;
    nQVOSALS100::tStatus status;
    text.assign(deviceId.c_str(), &status);
    return text;
}

// The whole text, embedded NULs included.
inline std::string textOf(const nQVOSALS100::tBasicString& text) {
    return std::string(text.c_str(), text.length());
}

inline sim::Fault fault(const std::string& call, DWORD error, const std::string& argument = {},
                        std::uint32_t after = 0) {
    sim::Fault result;
    result.call = call;
    result.error = error;
    if (!argument.empty()) {
        result.argument = argument;
    }
    result.after = after;
    return result;
}

} // namespace discoverytest
