#include "discovery_machine.h"

#include "enumeration/deviceValueReaders.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "enumeration/winPCISlotPath.h"
#include "support/statusCodes.h"

#include <gtest/gtest.h>

#include <string>

using namespace discoverytest;
using nQVOSALS100::tDeviceInterfaceIterator;
using nQVOSALS100::tStatus;

namespace {

// The slot path of the board's first interface, or the status code that computing it gave.
struct SlotPathResult {
    std::string path;
    std::int32_t code = 0;
};

SlotPathResult slotPathOf(const std::string& deviceId) {
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, enumeratorText(deviceId), &status);
    char buffer[64] = {};
    std::uint32_t needed = 0;
    nQVOSALS100::readDeviceValue(iterator, "BusProperties", "pciSlotPath", buffer, sizeof buffer, &needed,
                                 &status);
    return {buffer, status.code};
}

class SlotPath : public DiscoveryTest {
protected:
    void SetUp() override { install(discoveryMachine()); }
};

} // namespace

TEST_F(SlotPath, each_pci_level_adds_its_devfn_below_the_root_part_of_its_host_bridge) {
    const std::pair<std::string, std::string> cases[] = {
        {kBehindBridge, "0000:00:E0:00"},
        {kOnRootBus, "0000:00:10"},
        {kHighFunction, "0000:00:FD"},
        // The second host bridge (PNP0A08 then PNP0A03, other ACPI devices around them).
        {kBelowSecondBridge, "0000:01:00"},
        // Two host bridges precede the virtual root, but only a root that ACPI enumerated counts them.
        {kOnVirtualRoot, "0000:00:18"},
    };
    for (const auto& [deviceId, path] : cases) {
        const SlotPathResult result = slotPathOf(deviceId);
        EXPECT_EQ(result.code, 0) << deviceId;
        EXPECT_EQ(result.path, path) << deviceId;
    }
}

TEST_F(SlotPath, a_buffer_of_the_path_length_plus_one_is_enough_and_one_byte_less_is_not) {
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, enumeratorText(kBehindBridge), &status);
    char buffer[14];
    std::uint32_t needed = 0;
    // Whatever subkey is named, the path is computed, never read from the registry.
    nQVOSALS100::readDeviceValue(iterator, "DeviceProperties", "pciSlotPath", buffer, 14, &needed, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(needed, 14u);
    EXPECT_STREQ(buffer, "0000:00:E0:00");

    needed = 0;
    nQVOSALS100::readDeviceValue(iterator, "BusProperties", "pciSlotPath", buffer, 13, &needed, &status);
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusBufferTooSmall);
    EXPECT_EQ(needed, 14u);
}

TEST(SlotPathWalk, the_path_is_computed_once_per_position_and_anew_after_advance) {
    sim::Machine machine = discoveryMachine();
    // A second board interface on the same device, so that advance() reaches the same board again.
    for (sim::Device& device : machine.devices) {
        if (device.id == kOnRootBus) {
            device.addInterface(kBoardClass, "second");
        }
    }
    // One computation reads the board's enumerator name and address; every later read fails.
    machine.addFault(fault("SetupDiGetDeviceRegistryPropertyA", ERROR_INVALID_DATA, kOnRootBus, 2));
    sim::installMachine(machine);
    {
        tStatus status;
        tDeviceInterfaceIterator iterator(kBoardClass, enumeratorText(kOnRootBus), &status);
        char buffer[32] = {};
        nQVOSALS100::readDeviceValue(iterator, "BusProperties", "pciSlotPath", buffer, sizeof buffer, nullptr,
                                     &status);
        nQVOSALS100::readDeviceValue(iterator, "BusProperties", "pciSlotPath", buffer, sizeof buffer, nullptr,
                                     &status);
        EXPECT_EQ(status.code, 0) << "the second request asked the system again";
        EXPECT_STREQ(buffer, "0000:00:10");

        iterator.advance();
        ASSERT_TRUE(iterator.isValid());
        EXPECT_TRUE(iterator.slotPathCache().isEmpty());
        nQVOSALS100::readDeviceValue(iterator, "BusProperties", "pciSlotPath", buffer, sizeof buffer, nullptr,
                                     &status);
        EXPECT_EQ(status.code, nQVOSALS100::osalStatusResourceNotFound) << "the path was not computed again";
    }
    EXPECT_EQ(sim::openDeviceInfoSetCount(), 0u);
    sim::uninstallMachine();
}

TEST_F(SlotPath, a_board_off_pci_or_with_a_missing_link_has_no_slot_path_and_keeps_no_partial_one) {
    sim::Machine machine = discoveryMachine();
    machine.addDevice("ROOT\\LEGACY_KELP\\0000").addInterface(kBoardClass);
    machine.devices[4].address.reset(); // the root port above kBehindBridge
    machine.addFault(fault("SetupDiOpenDeviceInfoA", ERROR_NO_SUCH_DEVINST, kFirstBridge));
    machine.addFault(fault("CM_Get_Device_IDA", CR_NO_SUCH_DEVNODE, kSecondBridge));
    install(machine);
    for (const std::string& deviceId :
         {std::string("ROOT\\LEGACY_KELP\\0000"), kBehindBridge, kOnRootBus, kBelowSecondBridge}) {
        tStatus status;
        tDeviceInterfaceIterator iterator(kBoardClass, enumeratorText(deviceId), &status);
        char buffer[32] = {};
        nQVOSALS100::readDeviceValue(iterator, "BusProperties", "pciSlotPath", buffer, sizeof buffer, nullptr,
                                     &status);
        EXPECT_EQ(status.code, nQVOSALS100::osalStatusResourceNotFound) << deviceId;
        EXPECT_STREQ(buffer, "") << deviceId;
        EXPECT_TRUE(iterator.slotPathCache().isEmpty()) << deviceId;
    }
    EXPECT_EQ(slotPathOf(kOnVirtualRoot).path, "0000:00:18");
}

// PCI allows 256 levels; the walk up from the deepest board it allows is a loop, not a recursion.
TEST_F(SlotPath, a_board_at_the_deepest_pci_level_gets_one_part_per_level) {
    sim::Machine machine = discoveryMachine();
    std::string parent = kRootPort;
    for (int level = 2; level < 256; ++level) { // the root port is the first level, the board the last
        sim::Device& bridge = machine.addDevice("PCI\\VEN_8086&DEV_2030\\" + std::to_string(level), parent);
        bridge.address = 0;
        parent = bridge.id;
    }
    const std::string board = "PCI\\VEN_ABCD&DEV_1239&SUBSYS_0005ABCD&REV_06\\9&1&0&00";
    addBoard(machine, board, parent, 0);
    install(machine);
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, enumeratorText(board), &status);
    std::string buffer(1024, '\0');
    std::uint32_t needed = 0;
    nQVOSALS100::readDeviceValue(iterator, "BusProperties", "pciSlotPath", buffer.data(), 1024, &needed, &status);
    EXPECT_EQ(status.code, 0);
    std::string expected = "0000:00:E0";
    for (int level = 2; level <= 256; ++level) {
        expected += ":00";
    }
    EXPECT_EQ(buffer.c_str(), expected);
}
