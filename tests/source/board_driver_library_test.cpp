// Finding a board's main interface path and loading its driver library, on machines made in code.
#include "source/boardContext.h"
#include "source/deviceEnumeration.h"

#include "abi/boardLibraries.h"
#include "common/call_log_file.h"
#include "platform/sim/device/machine.h"
#include "support/errorException.h"
#include "support/statusCodes.h"

#include <gtest/gtest.h>

#include <string>

using namespace qvkelpsysapiexpert;
using nQVOSALS100::tStatus;

namespace {

const std::string kBoard = "PCI\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\4&2A5E1B0&0&0010";
const std::string kOther = "PCI\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\4&2A5E1B0&0&0018";
constexpr GUID kMainClass = {0x307EC87D, 0x29CC, 0x4584, {0xA9, 0x48, 0x31, 0xD0, 0x57, 0x74, 0x69, 0x9E}};
const std::u16string kBoardName(kBoard.begin(), kBoard.end());

// Two boards with main interfaces of one class; the first board's driver is `driverBaseName`.
class BoardLibraryMachine : public ::testing::Test {
protected:
    void install(const char* driverBaseName, bool withMainInterfaceValue = true) {
        sim::Machine machine;
        machine.addDevice(kOther).addInterface(kMainClass, "main");
        sim::Device& board = machine.addDevice(kBoard);
        sim::RegistryKey& properties = board.addInterface(BoardInterfaceClassGuid).key().subkey("Properties");
        properties.set("driverBaseName", driverBaseName);
        if (withMainInterfaceValue) {
            properties.set("mainInterface", kMainClass);
        }
        board.addInterface(kMainClass, "main");
        sim::installMachine(machine);
    }
    void TearDown() override { sim::uninstallMachine(); }

};

// The driver library as the operations reach it through a board's context: its name, with the
// library loaded; empty when the status holds an error.
std::string loadDriverLibrary(BoardContext& board, tStatus* status) {
    const BoardDriverLibrary* library = board.driverLibrary(status);
    return library != nullptr ? library->name() : std::string();
}

TEST_F(BoardLibraryMachine, the_main_interface_path_is_that_of_the_boards_own_interface_of_the_main_class) {
    install("qvkelpdrv");
    tStatus status;
    BoardContext board(kBoardName.c_str());
    const nQVOSALS100::tDevicePath& path = board.mainPath(&status);
    EXPECT_EQ(status.code, 0);
    const std::string expected = sim::devicePathOf(kBoard, kMainClass, "main");
    EXPECT_STREQ(path.text, expected.c_str());
    EXPECT_EQ(path.length, expected.size() + 1);
}

TEST_F(BoardLibraryMachine, a_board_without_a_main_interface_class_reports_the_registry_failure) {
    install("qvkelpdrv", false);
    tStatus status;
    BoardContext board(kBoardName.c_str());
    board.mainPath(&status);
    EXPECT_TRUE(status.isFatal());
}

TEST_F(BoardLibraryMachine, the_driver_library_is_loaded_once_and_named_by_the_registry) {
    install("qvkelpmdrv");
    CallLogFile log;
    {
        BoardContext board(kBoardName.c_str());
        tStatus status;
        EXPECT_EQ(loadDriverLibrary(board, &status), "qvkelpmdrvu");
        EXPECT_EQ(loadDriverLibrary(board, &status), "qvkelpmdrvu");
        EXPECT_EQ(status.code, 0);
        EXPECT_NE(board.driverLibrary(&status)->function<boardlib::SelfTestFunction>(boardlib::kSelfTestSuffix),
                  nullptr);
    }
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"LoadLibraryExW qvkelpmdrvu", "FreeLibrary qvkelpmdrvu"}));
}

TEST_F(BoardLibraryMachine, nothing_is_loaded_after_an_error_and_a_missing_library_throws) {
    install("qvkelpnosuch");
    CallLogFile log;
    tStatus failed;
    failed.setCode(nQVOSALS100::osalStatusUnexpected, nQVOSALS100::kComponentName, __FILE__, __LINE__);
    BoardContext failedBoard(kBoardName.c_str());
    EXPECT_EQ(loadDriverLibrary(failedBoard, &failed), "");
    EXPECT_TRUE(log.lines().empty());
    tStatus status;
    {
        BoardContext board(kBoardName.c_str());
        EXPECT_THROW(loadDriverLibrary(board, &status), qverr::Exception);
    }
    // Nothing was held, so nothing was freed.
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"LoadLibraryExW qvkelpnosuchu -> error 126"}));
    BoardContext unnamable(u"\u0100");
    EXPECT_THROW(loadDriverLibrary(unnamable, &status), std::runtime_error);
}

} // namespace
