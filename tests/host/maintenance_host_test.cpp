// Self-test and self-calibration as a host runs them through IhwSysExpertDiagnostic, seen in the
// results, the error text and the call log of the simulated libraries.
#include "host_module.h"
#include "common/call_log_checks.h"
#include "platform/win32.h"

#include <gtest/gtest.h>
#include "common/host_platform.h"
#include "platform/sim/device/machine.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace hosttest;
namespace fs = std::filesystem;

namespace {

const std::string kBoardPrefix = "PCI\\VEN_1F2B&DEV_7A2";
// Board n of maintenance.json: 1 version 3 asking for a reset, 2 version 4 without reset and
// warning codes, 3 version 4 with reset and failure codes, 4 a failing reset, 5 missing libraries,
// 6 a missing self-calibration function, 7 no interface version.
std::string itemName(int board) {
    char tail[64];
    std::snprintf(tail, sizeof tail, "%d&SUBSYS_7A2%d1F2B&REV_01\\3&11583659&0&%02X", board, board, 8 * board);
    return kBoardPrefix + tail;
}

std::u16string wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

struct Outcome {
    HRESULT result;
    std::string errorText; // "(none)" when the module handed back none
    std::vector<std::string> log;
};

class MaintenanceHost : public LoadedModuleTest {
protected:
    // A copy of the machine per test, since a self-calibration writes its state beside it.
    void useMachine(const std::string& file) {
        folder_ = fs::path(QV_BINARY_DIR) / "maintenance_host" /
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        fs::copy_file(kMachines + file, folder_ / file);
        hostplatform::setEnvironment("QVKELP_MACHINE", (folder_ / file).string());
        hostplatform::setEnvironment("QVKELP_CALL_LOG", (folder_ / "calls.log").string());
    }
    void TearDown() override {
        hostplatform::unsetEnvironment("QVKELP_MACHINE");
        hostplatform::unsetEnvironment("QVKELP_CALL_LOG");
    }

    template <typename Action> Outcome run(Action action) {
        fs::remove(folder_ / "calls.log");
        ComRef<IhwSysExpert2> expert;
        EXPECT_EQ(create(expert.put()), S_OK);
        ComRef<IhwSysExpertDiagnostic> diagnostic;
        EXPECT_EQ(expert->QueryInterface(IID_IhwSysExpertDiagnostic, diagnostic.put_void()), S_OK);
        CqvBStr text;
        Outcome outcome{action(diagnostic.get(), text.address()), "(none)", {}};
        if (text.get() != nullptr) {
            outcome.errorText.assign(text.get(), text.get() + SysStringLen(text.get()));
        }
        std::ifstream log(folder_ / "calls.log");
        for (std::string line; std::getline(log, line);) {
            outcome.log.push_back(line);
        }
        return outcome;
    }
    Outcome selfTest(int board, ULONG mode) {
        return run([&](IhwSysExpertDiagnostic* diagnostic, BSTR* text) {
            return diagnostic->SelfTestResource(ole(wide(itemName(board))), mode, text);
        });
    }
    Outcome selfCalibrate(int board) {
        return run([&](IhwSysExpertDiagnostic* diagnostic, BSTR* text) {
            return diagnostic->SelfCalibrateResource(ole(wide(itemName(board))), text);
        });
    }

    fs::path folder_;
};

bool isLoaderLine(const std::string& line) {
    return line.rfind("LoadLibraryExW ", 0) == 0 || line.rfind("FreeLibrary ", 0) == 0;
}

// The log holds `expected` in this order, other lines between them allowed. The system's own loader
// (on Windows) writes no lines.
void expectInOrder(const std::vector<std::string>& log, const std::vector<std::string>& expected) {
    auto position = log.begin();
    for (const std::string& line : expected) {
        if (!kRuntimeIsSimulated && isLoaderLine(line)) {
            continue;
        }
        position = std::find(position, log.end(), line);
        ASSERT_NE(position, log.end()) << "missing or out of order: " << line;
    }
}

} // namespace

TEST_F(MaintenanceHost, the_self_test_result_error_text_and_mode_check_follow_the_board_library) {
    useMachine("maintenance.json");
    const std::string selfTestCall = "qvkelpdrvu_selfTest ";
    struct Case {
        int board;
        ULONG mode;
        HRESULT result;
        const char* errorText;
        std::size_t selfTestCalls;
    } const cases[] = {
        {1, 0, S_OK, "(none)", 1},
        {3, 0, E_UNEXPECTED, "-52003", 1},
        {2, 0, S_FALSE, "(none)", 1},
        {1, 1, HW_E_UNSUPPORTED_TEST_MODE, "(none)", 0},
        {5, 7, E_FAIL, "(none)", 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE("board " + std::to_string(test.board) + " mode " + std::to_string(test.mode));
        const Outcome outcome = selfTest(test.board, test.mode);
        EXPECT_EQ(outcome.result, test.result);
        EXPECT_EQ(outcome.errorText, test.errorText);
        EXPECT_EQ(countStartingWith(outcome.log, selfTestCall), test.selfTestCalls);
        expectEverythingReleased(outcome.log);
    }
}

TEST_F(MaintenanceHost, the_interface_version_chooses_the_reset_and_the_self_calibration_library) {
    useMachine("maintenance.json");
    const std::string groupA = "qvKELPVRXGroupASelfCal", groupB = "qvKELPVRXGroupBSelfCal";
    struct Case {
        int board;
        HRESULT result;
        const char* errorText;
        std::vector<std::string> calls;
        bool resets;
    } const cases[] = {
        {1, S_OK, "(none)",
         {"LoadLibraryExW " + groupA, groupA + "_SelfCalibrateFromCFG " + itemName(1), "FreeLibrary " + groupA}, false},
        {2, S_FALSE, "(none)",
         {"LoadLibraryExW " + groupB + "_pin", "LoadLibraryExW " + groupB,
          groupB + "_SelfCalibrate " + itemName(2), "FreeLibrary " + groupB}, false},
        {3, E_UNEXPECTED, "-52003",
         {"LoadLibraryExW qvrocoapi", "qvrocoapi_createSession", "qvrocoapi_initiateDeviceReset " + itemName(3),
          groupB + "_SelfCalibrate " + itemName(3), "qvrocoapi_destroySession", "FreeLibrary qvrocoapi",
          "FreeLibrary " + groupB}, true},
        {4, E_FAIL, "(none)",
         {"qvrocoapi_initiateDeviceReset " + itemName(4), "qvrocoapi_destroySession", "FreeLibrary qvrocoapi"}, true},
        {5, E_FAIL, "(none)", {"LoadLibraryExW qvKELPVRXGroupZSelfCal -> error 126"}, false},
        {6, E_FAIL, "(none)", {"LoadLibraryExW " + groupB, "FreeLibrary " + groupB}, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE("board " + std::to_string(test.board));
        const Outcome outcome = selfCalibrate(test.board);
        EXPECT_EQ(outcome.result, test.result);
        EXPECT_EQ(outcome.errorText, test.errorText);
        expectInOrder(outcome.log, test.calls);
        EXPECT_EQ(countStartingWith(outcome.log, "qvrocoapi_createSession"), test.resets ? 1u : 0u);
        EXPECT_EQ(countStartingWith(outcome.log, "FreeLibrary " + groupB + "_pin"), 0u);
        expectEverythingReleased(outcome.log);
    }
    // A failing reset stops before any self-calibration library is touched.
    EXPECT_EQ(countStartingWith(selfCalibrate(4).log, "LoadLibraryExW " + groupB), 0u);
}

TEST_F(MaintenanceHost, a_board_whose_settings_cannot_be_read_loads_no_library) {
    useMachine("maintenance.json");
    for (const Outcome& outcome : {selfTest(7, 0), selfCalibrate(7)}) {
        EXPECT_EQ(outcome.result, E_FAIL); // the missing value: -52006, not a library failure
        EXPECT_EQ(outcome.errorText, "(none)");
        EXPECT_EQ(countStartingWith(outcome.log, "LoadLibraryExW"), 0u);
    }
}

TEST_F(MaintenanceHost, a_failing_session_creation_still_destroys_the_session_once) {
    useMachine("maintenance-session-fault.json");
    const Outcome outcome = selfCalibrate(3);
    EXPECT_EQ(outcome.result, E_FAIL);
    EXPECT_EQ(outcome.errorText, "(none)");
    expectInOrder(outcome.log, {"qvrocoapi_createSession", "qvrocoapi_destroySession", "FreeLibrary qvrocoapi"});
    EXPECT_EQ(countStartingWith(outcome.log, "qvrocoapi_initiateDeviceReset"), 0u);
    EXPECT_EQ(countStartingWith(outcome.log, "LoadLibraryExW qvKELPVRXGroupBSelfCal"), 0u);
    expectEverythingReleased(outcome.log);
}

TEST_F(MaintenanceHost, null_arguments_give_e_pointer_and_clear_the_error_text) {
    useMachine("maintenance.json");
    const Outcome outcome = run([](IhwSysExpertDiagnostic* diagnostic, BSTR* text) {
        *text = reinterpret_cast<BSTR>(1); // must be cleared before the item name is refused
        const HRESULT calibrated = diagnostic->SelfCalibrateResource(nullptr, text);
        EXPECT_EQ(*text, nullptr);
        EXPECT_EQ(diagnostic->SelfTestResource(OLESTR("x"), 0, nullptr), E_POINTER);
        return calibrated;
    });
    EXPECT_EQ(outcome.result, E_POINTER);
    EXPECT_TRUE(outcome.log.empty());
}

TEST_F(MaintenanceHost, a_successful_self_calibration_is_the_time_the_driver_library_reads_back) {
    useMachine("maintenance.json");
    using ReadSelfCalTime = std::int32_t (*)(const char*, std::int64_t*, std::uint64_t*);
    const HMODULE driver = LoadLibraryExW(OLESTR("qvkelpdrvu"), nullptr, 0);
    ASSERT_NE(driver, nullptr);
    const auto readSelfCalTime = reinterpret_cast<ReadSelfCalTime>(
        reinterpret_cast<void (*)()>(GetProcAddress(driver, "qvkelpdrvu_readSelfCalTime")));
    ASSERT_NE(readSelfCalTime, nullptr);
    constexpr GUID kMainClass = {0x6A2F9D13, 0x8C47, 0x4E0B, {0xB5, 0xD8, 0x3F, 0x1C, 0x27, 0xE9, 0xA0, 0x46}};
    const std::string mainPath =
        sim::devicePathOf("PCI\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\3&11583659&0&08", kMainClass);
    const char* const mainInterface = mainPath.c_str();
    constexpr std::int64_t kSecondsFrom1904To1970 = 2082844800;
    std::int64_t seconds = 0;
    std::uint64_t fraction = 0;
    EXPECT_LT(readSelfCalTime(mainInterface, &seconds, &fraction), 0) << "board 1 starts without a record";

    const std::int64_t before = std::time(nullptr) + kSecondsFrom1904To1970;
    ASSERT_EQ(selfCalibrate(1).result, S_OK);
    const std::int64_t after = std::time(nullptr) + kSecondsFrom1904To1970;
    EXPECT_EQ(readSelfCalTime(mainInterface, &seconds, &fraction), 0);
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
    FreeLibrary(driver);
}
