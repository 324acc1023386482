#include "discovery_machine.h"

#include "enumeration/tDeviceInterfaceIterator.h"
#include "support/statusCodes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace discoverytest;
using nQVOSALS100::tBasicString;
using nQVOSALS100::tDeviceInterfaceIterator;
using nQVOSALS100::tDevicePath;
using nQVOSALS100::tStatus;

namespace {

class InterfaceIterator : public DiscoveryTest {};

std::vector<std::string> devicePathsOf(tDeviceInterfaceIterator& iterator, tStatus* status) {
    std::vector<std::string> paths;
    for (; iterator.isValid() && !status->isFatal(); iterator.advance()) {
        tDevicePath path{};
        iterator.getDevicePath(&path, status);
        paths.emplace_back(path.text);
        EXPECT_EQ(path.length, paths.back().size() + 1);
    }
    return paths;
}

} // namespace

TEST_F(InterfaceIterator, interfaces_come_in_the_system_order_with_their_device_paths) {
    sim::Machine machine = discoveryMachine();
    machine.devices[4].addInterface(kBoardClass, "rootport");
    install(machine);
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, &status);
    const std::vector<std::string> paths = devicePathsOf(iterator, &status);
    EXPECT_EQ(status.code, 0);
    ASSERT_EQ(paths.size(), 6u);
    EXPECT_EQ(paths[0], sim::devicePathOf(machine.devices[4].id, kBoardClass, "rootport"));
    EXPECT_EQ(paths[1], "\\\\?\\pci#ven_abcd&dev_1234&subsys_5678abcd&rev_01#4&2a5e1b0&0&00e0#"
                        "{7729c356-96d6-4fab-8d01-9266fb3d1bd7}");
    EXPECT_EQ(iterator.index(), 6u);
}

TEST_F(InterfaceIterator, an_enumerator_narrows_the_set_to_one_device_and_its_classes) {
    sim::Machine machine = discoveryMachine();
    machine.devices[6].addInterface(kRegisterClass, "registers");
    install(machine);
    tStatus status;
    tBasicString enumerator;
    enumerator.assign(kOnRootBus.c_str(), &status);
    tDeviceInterfaceIterator registers(kRegisterClass, enumerator, &status);
    EXPECT_EQ(devicePathsOf(registers, &status),
              std::vector<std::string>{sim::devicePathOf(kOnRootBus, kRegisterClass, "registers")});

    tBasicString otherBoard;
    otherBoard.assign(kBehindBridge.c_str(), &status);
    tDeviceInterfaceIterator none(kRegisterClass, otherBoard, &status);
    EXPECT_FALSE(none.isValid());
    EXPECT_EQ(status.code, 0);
}

TEST_F(InterfaceIterator, a_device_path_must_fit_in_256_bytes_with_the_record_header) {
    sim::Machine machine;
    // 4 bytes of header, the path and its NUL: 251 characters fit exactly, 252 do not. The paths
    // end in \ and a reference string of the length that makes them so long.
    const std::size_t bare = sim::devicePathOf("ROOT\\KELP\\0000", kBoardClass).size() + 1;
    machine.addDevice("ROOT\\KELP\\0000").addInterface(kBoardClass, std::string(251 - bare, 'p'));
    machine.addDevice("ROOT\\KELP\\0001").addInterface(kBoardClass, std::string(252 - bare, 'p'));
    install(machine);
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, &status);
    tDevicePath path{};
    iterator.getDevicePath(&path, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(path.length, 252u);
    iterator.advance();
    iterator.getDevicePath(&path, &status);
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusBufferTooSmall);
}

TEST_F(InterfaceIterator, closing_destroys_the_set_keeps_the_last_error_and_a_set_not_opened_stays_closed) {
    sim::Machine machine = discoveryMachine();
    machine.addFault(fault("SetupDiGetClassDevsA", ERROR_NOT_ENOUGH_MEMORY, "", 1));
    install(machine);
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, &status);
    EXPECT_EQ(sim::openDeviceInfoSetCount(), 1u);
    SetLastError(ERROR_NO_MORE_ITEMS);
    iterator.close();
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(sim::openDeviceInfoSetCount(), 0u);
    EXPECT_FALSE(iterator.isValid());
    EXPECT_EQ(iterator.index(), tDeviceInterfaceIterator::kClosedIndex);

    tDeviceInterfaceIterator notOpened(kBoardClass, &status);
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusMemoryFull);
    EXPECT_EQ(notOpened.deviceInfoSet(), INVALID_HANDLE_VALUE);
    notOpened.advance();
    EXPECT_FALSE(notOpened.isValid());
}
