#include "discovery_machine.h"

#include "enumeration/deviceValueReaders.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "enumeration/winPCISlotPath.h"
#include "support/status_codes.h"

#include <gtest/gtest.h>

#include <string>

using namespace discoverytest;
using nQVOSALS100::tBasicString;
using nQVOSALS100::tDeviceInterfaceIterator;
using nQVOSALS100::tStatus;

namespace {

tBasicString enumeratorText(const std::string& deviceId) {
    tBasicString text;
    tStatus status;
    text.assign(deviceId.c_str(), &status);
    return text;
}

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

TEST_F(SlotPath, each_pci_level_adds_its_devfn_below_the_root_part) {
    EXPECT_EQ(slotPathOf(kBehindBridge).path, "0000:00:E0:00");
    EXPECT_EQ(slotPathOf(kOnRootBus).path, "0000:00:10");
    EXPECT_EQ(slotPathOf(kHighFunction).path, "0000:00:FD");
}

TEST_F(SlotPath, the_root_index_counts_only_the_host_bridges_before_it) {
    // PNP0A08 then PNP0A03, with other ACPI devices around them.
    EXPECT_EQ(slotPathOf(kBelowSecondBridge).path, "0000:01:00");
}

TEST_F(SlotPath, a_root_that_acpi_did_not_enumerate_is_root_zero) {
    // Two host bridges precede the virtual root, but only ACPI roots are counted.
    EXPECT_EQ(slotPathOf(kOnVirtualRoot).path, "0000:00:18");
}

TEST_F(SlotPath, a_buffer_of_the_path_length_plus_one_is_enough_and_one_byte_less_is_not) {
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, enumeratorText(kBehindBridge), &status);
    char buffer[14];
    std::uint32_t needed = 0;
    nQVOSALS100::readDeviceValue(iterator, "BusProperties", "pciSlotPath", buffer, 14, &needed, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(needed, 14u);
    EXPECT_STREQ(buffer, "0000:00:E0:00");

    needed = 0;
    nQVOSALS100::readDeviceValue(iterator, "BusProperties", "pciSlotPath", buffer, 13, &needed, &status);
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusBufferTooSmall);
    EXPECT_EQ(needed, 14u);
}

TEST_F(SlotPath, any_subkey_name_delivers_the_computed_path) {
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, enumeratorText(kOnRootBus), &status);
    char buffer[32] = {};
    nQVOSALS100::readDeviceValue(iterator, "DeviceProperties", "pciSlotPath", buffer, sizeof buffer, nullptr,
                                 &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_STREQ(buffer, "0000:00:10");
}

TEST(SlotPathWalk, the_path_is_computed_once_per_position_and_anew_after_advance) {
    sim::Machine machine = discoveryMachine();
    // A second board interface on the same device, so that advance() reaches the same board again.
    for (sim::Device& device : machine.devices) {
        if (device.id == kOnRootBus) {
            device.addInterface(kBoardClass, "\\\\?\\kelp#second");
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

TEST_F(SlotPath, a_device_not_on_pci_has_no_slot_path) {
    sim::Machine machine = discoveryMachine();
    sim::Device& legacy = machine.addDevice("ROOT\\LEGACY_KELP\\0000");
    legacy.addInterface(kBoardClass);
    install(machine);
    const SlotPathResult result = slotPathOf("ROOT\\LEGACY_KELP\\0000");
    EXPECT_EQ(result.code, nQVOSALS100::osalStatusResourceNotFound);
    EXPECT_EQ(result.path, "");
}

TEST_F(SlotPath, a_missing_address_at_any_level_means_no_slot_path) {
    sim::Machine machine = discoveryMachine();
    for (sim::Device& device : machine.devices) {
        if (device.id == kRootPort) {
            device.address.reset();
        }
    }
    install(machine);
    EXPECT_EQ(slotPathOf(kBehindBridge).code, nQVOSALS100::osalStatusResourceNotFound);
    EXPECT_EQ(slotPathOf(kOnRootBus).path, "0000:00:10");
}

TEST_F(SlotPath, a_broken_parent_chain_means_no_slot_path_and_no_partial_path_is_kept) {
    sim::Machine machine = discoveryMachine();
    machine.addFault(fault("SetupDiOpenDeviceInfoA", ERROR_NO_SUCH_DEVINST, kRootPort));
    machine.addFault(fault("CM_Get_Device_IDA", CR_NO_SUCH_DEVNODE, kSecondBridge));
    install(machine);
    EXPECT_EQ(slotPathOf(kBehindBridge).code, nQVOSALS100::osalStatusResourceNotFound);
    EXPECT_EQ(slotPathOf(kBelowSecondBridge).code, nQVOSALS100::osalStatusResourceNotFound);

    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, enumeratorText(kBehindBridge), &status);
    char buffer[32];
    nQVOSALS100::readDeviceValue(iterator, "BusProperties", "pciSlotPath", buffer, sizeof buffer, nullptr,
                                 &status);
    EXPECT_TRUE(iterator.slotPathCache().isEmpty());
}
