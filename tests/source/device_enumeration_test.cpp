#include "source/ChwSysExpertKELP.h"
#include "source/deviceEnumeration.h"

#include "platform/sim/device/machine.h"
#include "platform/sim/runtime/memory_hooks.h"
#include "support/statusCodes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qvkelpsysapiexpert;
using nQVOSALS100::tStatus;

namespace {

const std::string kBridge = "ACPI\\PNP0A08\\0";
const std::string kBoardA = "PCI\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\4&2A5E1B0&0&0010";
const std::string kBoardB = "PCI\\VEN_1F2B&DEV_7A22&SUBSYS_7A221F2B&REV_01\\4&2A5E1B0&0&0018";
const std::string kBoardC = "PCI\\VEN_1F2B&DEV_7B10&SUBSYS_7B101F2B&REV_02\\4&2A5E1B0&0&0020";
const std::string kGone = "PCI\\VEN_1F2B&DEV_7B20&SUBSYS_7B201F2B&REV_01\\4&2A5E1B0&0&0028";
const std::string kNetwork = "PCI\\VEN_8086&DEV_15B8&SUBSYS_08601028&REV_00\\3&11583659&0&FE";
constexpr GUID kNetworkClass = {0xCAC88484, 0x7515, 0x4C03, {0x82, 0xE6, 0x71, 0xA8, 0x7A, 0xBA, 0xC3, 0x61}};

// Three present boards, one that was unplugged and a device of another class, in this order:
// the unplugged board and the network adapter sit between the boards.
sim::Machine threeBoards() {
    sim::Machine machine;
    machine.addDevice(kBridge);
    machine.addDevice(kBoardA, kBridge).addInterface(BoardInterfaceClassGuid);
    sim::Device& gone = machine.addDevice(kGone, kBridge);
    gone.present = false;
    gone.addInterface(BoardInterfaceClassGuid);
    machine.addDevice(kNetwork, kBridge).addInterface(kNetworkClass);
    machine.addDevice(kBoardB, kBridge).addInterface(BoardInterfaceClassGuid);
    machine.addDevice(kBoardC, kBridge).addInterface(BoardInterfaceClassGuid);
    return machine;
}

std::u16string widened(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

std::vector<std::u16string> namesOf(const BoardItemNameList& list) {
    std::vector<std::u16string> names;
    for (const auto& name : list) {
        names.emplace_back(name.c_str(), name.length());
    }
    return names;
}

sim::Fault fault(const std::string& call, DWORD error, const std::string& argument = {}) {
    sim::Fault result;
    result.call = call;
    result.error = error;
    if (!argument.empty()) {
        result.argument = argument;
    }
    return result;
}

class DeviceEnumeration : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(sim::openDeviceInfoSetCount(), 0u);
        sim::uninstallMachine();
    }
};

// The expert as the host holds it: one reference, released at the end. What a host reads from a
// working listing is checked by the host-level tests, which load the module by name.
class ExpertEnumeration : public DeviceEnumeration {
protected:
    void SetUp() override { ASSERT_EQ(createExpert(&expert), S_OK); }
    void TearDown() override {
        expert->Release();
        DeviceEnumeration::TearDown();
    }
    IhwSysExpert2* expert = nullptr;
};

} // namespace

TEST_F(DeviceEnumeration, present_boards_are_named_by_their_instance_ids_in_the_system_order) {
    sim::installMachine(threeBoards());
    BoardItemNameList names;
    tStatus status;
    ListDeviceItemNames(names, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(namesOf(names),
              (std::vector<std::u16string>{widened(kBoardA), widened(kBoardB), widened(kBoardC)}));
}

TEST_F(DeviceEnumeration, a_board_with_two_board_interfaces_is_listed_twice) {
    sim::Machine machine = threeBoards();
    machine.devices[1].addInterface(BoardInterfaceClassGuid, "second");
    sim::installMachine(machine);
    BoardItemNameList names;
    tStatus status;
    ListDeviceItemNames(names, &status);
    EXPECT_EQ(namesOf(names), (std::vector<std::u16string>{widened(kBoardA), widened(kBoardA),
                                                           widened(kBoardB), widened(kBoardC)}));
}

TEST_F(DeviceEnumeration, a_failure_at_a_board_keeps_the_names_listed_before_it) {
    const struct {
        sim::Fault fault;
        std::int32_t code;
    } rows[] = {
        {fault("SetupDiGetDeviceInstanceIdA", ERROR_GEN_FAILURE, kBoardB), nQVOSALS100::osalStatusUnexpected},
        // The device record cannot be had: the last error says why.
        {fault("SetupDiGetDeviceInterfaceDetailA", ERROR_DEVICE_REMOVED, kBoardB),
         nQVOSALS100::osalStatusDeviceRemoved},
    };
    for (const auto& row : rows) {
        sim::Machine machine = threeBoards();
        machine.addFault(row.fault);
        sim::installMachine(machine);
        BoardItemNameList names;
        tStatus status;
        ListDeviceItemNames(names, &status);
        EXPECT_EQ(status.code, row.code) << row.fault.call;
        EXPECT_EQ(namesOf(names), std::vector<std::u16string>{widened(kBoardA)}) << row.fault.call;
    }
}

// Only "no more items" ends a walk; any other failure of the step to the next interface is an error,
// also when it comes after some boards were listed.
TEST_F(ExpertEnumeration, a_failing_step_to_the_next_interface_is_an_error_not_the_end_of_the_listing) {
    const struct {
        DWORD error;
        std::uint32_t after;
        HRESULT expected;
    } rows[] = {
        {ERROR_ACCESS_DENIED, 0, E_FAIL},
        {ERROR_NOT_ENOUGH_MEMORY, 1, E_OUTOFMEMORY},
        {ERROR_INVALID_PARAMETER, 2, E_INVALIDARG},
    };
    for (const auto& row : rows) {
        sim::Machine machine = threeBoards();
        sim::Fault failing = fault("SetupDiEnumDeviceInterfaces", row.error);
        failing.after = row.after;
        machine.addFault(failing);
        sim::installMachine(machine);
        BoardItemNameList names;
        tStatus status;
        ListDeviceItemNames(names, &status);
        EXPECT_TRUE(status.isFatal()) << row.error;
        EXPECT_EQ(names.size(), row.after) << row.error;

        sim::installMachine(machine);
        IhwSysEnumStringList* enumerator = nullptr;
        EXPECT_EQ(expert->EnumerateItemNames(&enumerator), row.expected) << row.error;
        EXPECT_EQ(enumerator, nullptr) << row.error;
    }
}

TEST_F(ExpertEnumeration, a_listing_failure_reaches_the_host_through_the_status_table_and_hands_out_nothing) {
    const struct {
        sim::Fault fault;
        HRESULT expected;
    } rows[] = {
        {fault("SetupDiGetClassDevsA", ERROR_NOT_ENOUGH_MEMORY), E_OUTOFMEMORY},
        {fault("SetupDiGetClassDevsA", ERROR_INVALID_PARAMETER), E_INVALIDARG},
        {fault("SetupDiGetDeviceInstanceIdA", ERROR_ACCESS_DENIED, kBoardC), E_FAIL},
    };
    for (const auto& row : rows) {
        sim::Machine machine = threeBoards();
        machine.addFault(row.fault);
        sim::installMachine(machine);
        IhwSysEnumStringList* enumerator = nullptr;
        EXPECT_EQ(expert->EnumerateItemNames(&enumerator), row.expected) << row.fault.call;
        EXPECT_EQ(enumerator, nullptr) << row.fault.call;
    }
}

TEST_F(ExpertEnumeration, running_out_of_memory_for_the_names_gives_e_outofmemory_and_frees_what_was_built) {
    sim::installMachine(threeBoards());
    const long long liveBefore = winsimLiveTaskMemoryBlocks();
    for (const unsigned successes : {0u, 2u}) {
        winsimFailTaskMemory(successes, 1);
        IhwSysEnumStringList* enumerator = nullptr;
        EXPECT_EQ(expert->EnumerateItemNames(&enumerator), E_OUTOFMEMORY) << successes;
        winsimClearTaskMemoryFaults();
        EXPECT_EQ(enumerator, nullptr);
        EXPECT_EQ(winsimLiveTaskMemoryBlocks(), liveBefore) << successes;
    }
}
