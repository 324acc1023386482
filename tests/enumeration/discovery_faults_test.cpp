// Every step of discovering a board can fail; each failure must reach the status with its own code,
// and nothing that was opened may stay open.
#include "discovery_machine.h"

#include "enumeration/deviceMatchingToken.h"
#include "enumeration/deviceValueReaders.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "support/statusCodes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace discoverytest;
using nQVOSALS100::tBasicString;
using nQVOSALS100::tDeviceInterfaceIterator;
using nQVOSALS100::tStatus;

namespace {

// What the expert does for each board it reports: name it, identify it, read its values.
struct DiscoveredBoard {
    std::string itemName;
    std::string identity;
    std::uint32_t interfaceVersion = 0;
    std::string manufacturer;
};

std::vector<DiscoveredBoard> discoverBoards(tStatus* status) {
    std::vector<DiscoveredBoard> boards;
    tDeviceInterfaceIterator iterator(kBoardClass, status);
    for (; iterator.isValid() && !status->isFatal(); iterator.advance()) {
        const SP_DEVINFO_DATA deviceInfo = iterator.getDeviceInfo();
        if (deviceInfo.DevInst == 0) {
            nQVOSALS100::setStatusFromWin32Error(GetLastError(), status, __FILE__, __LINE__);
            break;
        }
        DiscoveredBoard board;
        tBasicString text;
        nQVOSALS100::getDeviceMatchingToken(iterator.deviceInfoSet(), deviceInfo, text, status);
        board.itemName = text.c_str();
        nQVOSALS100::buildPCIIdentityToken(iterator, text, status);
        board.identity = text.c_str();
        nQVOSALS100::readInterfaceValue(iterator, "interfaceVersion", &board.interfaceVersion,
                                        sizeof board.interfaceVersion, nullptr, status);
        board.manufacturer = nQVOSALS100::readManufacturerName(iterator, status).c_str();
        boards.push_back(board);
    }
    return boards;
}

struct StepFault {
    const char* step;
    sim::Fault fault;
    std::int32_t expectedCode;
};

std::vector<StepFault> stepFaults() {
    return {
        {"opening the set", fault("SetupDiGetClassDevsA", ERROR_NOT_ENOUGH_MEMORY), -52000},
        {"the device record", fault("SetupDiGetDeviceInterfaceDetailA", ERROR_DEVICE_REMOVED), -52020},
        {"the instance ID", fault("SetupDiGetDeviceInstanceIdA", ERROR_GEN_FAILURE), -52003},
        {"the hardware key", fault("SetupDiOpenDevRegKey", ERROR_ACCESS_DENIED), -52009},
        {"the register subkey", fault("RegOpenKeyExA", ERROR_ACCESS_DENIED, "BusProperties"), -52009},
        {"a register value", fault("RegQueryValueExA", ERROR_NOT_READY, "pciRevision"), -52010},
        {"the enumerator name", fault("SetupDiGetDeviceRegistryPropertyA", ERROR_INVALID_DATA), -52006},
        {"the parent", fault("CM_Get_Parent", CR_NO_SUCH_DEVNODE), -52006},
        {"the parent's ID", fault("CM_Get_Device_IDA", CR_INVALID_DEVNODE), -52006},
        {"the parent's record", fault("SetupDiOpenDeviceInfoA", ERROR_NO_SUCH_DEVINST), -52006},
        {"the interface key", fault("SetupDiOpenDeviceInterfaceRegKey", ERROR_IO_DEVICE), -52003},
        {"the properties subkey", fault("RegOpenKeyExA", ERROR_FILE_NOT_FOUND, "Properties"), -52006},
        {"an interface value", fault("RegQueryValueExA", ERROR_SEM_TIMEOUT, "interfaceVersion"), -52007},
        {"a text value", fault("RegQueryValueExA", ERROR_ACCESS_DENIED, "manufacturerName"), -52009},
    };
}

class DiscoveryFaults : public DiscoveryTest {};

} // namespace

TEST_F(DiscoveryFaults, a_failure_at_any_step_gives_its_code_and_leaks_nothing) {
    for (const StepFault& step : stepFaults()) {
        sim::Machine machine = discoveryMachine();
        machine.addFault(step.fault);
        install(machine);
        tStatus status;
        discoverBoards(&status);
        EXPECT_EQ(status.code, step.expectedCode) << step.step;
        EXPECT_NE(status.line, 0u) << step.step;
        EXPECT_EQ(sim::openDeviceInfoSetCount(), 0u) << step.step;
        EXPECT_EQ(sim::openRegistryKeyCount(), 0u) << step.step;
    }
}

TEST_F(DiscoveryFaults, a_failure_at_a_later_board_ends_the_walk_there) {
    const StepFault laterFaults[] = {
        {"the instance ID", fault("SetupDiGetDeviceInstanceIdA", ERROR_GEN_FAILURE, kHighFunction), -52003},
        {"the hardware key", fault("SetupDiOpenDevRegKey", ERROR_ACCESS_DENIED, kHighFunction), -52009},
        {"the enumerator name", fault("SetupDiGetDeviceRegistryPropertyA", ERROR_INVALID_DATA, kHighFunction),
         -52006},
        {"the parent", fault("CM_Get_Parent", CR_NO_SUCH_DEVNODE, kHighFunction), -52006},
        {"the interface key", fault("SetupDiOpenDeviceInterfaceRegKey", ERROR_IO_DEVICE, kHighFunction),
         -52003},
    };
    for (const StepFault& step : laterFaults) {
        sim::Machine machine = discoveryMachine();
        machine.addFault(step.fault);
        install(machine);
        tStatus status;
        const std::vector<DiscoveredBoard> boards = discoverBoards(&status);
        EXPECT_EQ(status.code, step.expectedCode) << step.step;
        ASSERT_EQ(boards.size(), 3u) << step.step;
        EXPECT_EQ(boards[1].identity, "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:10") << step.step;
        EXPECT_EQ(sim::openDeviceInfoSetCount(), 0u) << step.step;
        EXPECT_EQ(sim::openRegistryKeyCount(), 0u) << step.step;
    }
}
