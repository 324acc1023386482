// Writing a board's external-calibration record as a host does: a request bag whose changed tags
// say what to write, handed to ValidateResourceProperties and SaveResourceProperties through the
// expert's interface table. What reached the board is read back from its driver library.
#include "host_module.h"
#include "host_request_bag.h"

#include "abi/boardLibraries.h"
#include "platform/sim/device/machine.h"
#include "platform/win32.h"

#include <gtest/gtest.h>
#include "common/host_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

using namespace hosttest;

namespace {

constexpr char16_t kItemName[] = u"PCI\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\6&3A1C9E2&0&000800E0";
constexpr GUID kMainClass = {0x6A2F9D13, 0x8C47, 0x4E0B, {0xB5, 0xD8, 0x3F, 0x1C, 0x27, 0xE9, 0xA0, 0x46}};
const std::string kDevicePath =
    sim::devicePathOf("PCI\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\6&3A1C9E2&0&000800E0", kMainClass);
constexpr std::int64_t kSecondsPerDay = 86400;
// 2025-03-18 00:00:00 UTC on the 1904 epoch: the calibration the board holds.
constexpr std::int64_t kBoardCalibration = 3825100800;
constexpr std::int32_t kBoardInterval = 365;
constexpr HRESULT kPasswordRefused = static_cast<HRESULT>(0x8004038Eu);

hwSysAttrTimestampUTC at(std::int64_t seconds) {
    return {0, seconds};
}

// The board's record as its driver library reports it.
struct BoardRecord {
    std::int64_t calibration = 0;
    std::int32_t interval = 0;
    bool operator==(const BoardRecord& other) const {
        return calibration == other.calibration && interval == other.interval;
    }
};

// With `missingFunction`, the system does not find that export of the board library.
std::string machineText(const std::string& driverBaseName, const std::string& missingFunction) {
    return R"({ "devices": [ { "id": "PCI\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\6&3A1C9E2&0&000800E0",
      "interfaces": [
        { "class": "{7729C356-96D6-4FAB-8D01-9266FB3D1BD7}",
          "key": { "Properties": { "interfaceVersion": 4, "driverBaseName": ")" +
           driverBaseName + R"(",
                                   "mainInterface": { "guid": "{6A2F9D13-8C47-4E0B-B5D8-3F1C27E9A046}" } } } },
        { "class": "{6A2F9D13-8C47-4E0B-B5D8-3F1C27E9A046}" } ],
      "board": { "externalCal": { "time": "2025-03-18T00:00:00Z", "intervalDays": 365, "password": "kelp" } } } ],
  "faults": [ { "call": "GetProcAddress", "argument": ")" +
           missingFunction + R"(", "error": 127 } ] })";
}

// The expert, the request bags and the board's side, on whatever machine QVKELP_MACHINE names.
class CalibrationHost : public LoadedModuleTest {
protected:
    void SetUp() override {
        IhwSysExpert2* raw = nullptr;
        ASSERT_EQ(create(&raw), S_OK);
        expert = ComRef<IhwSysExpert2>::attach(raw);
    }

    // The board's record as the host last read it; nothing marked as changed.
    static void holdBoardRecord(HostRequestBag& bag) {
        bag.hold(hwSysTagMainDevicePath, std::u16string(kDevicePath.begin(), kDevicePath.end()));
        bag.hold(hwSysTagExternalCalTime, at(kBoardCalibration));
        bag.hold(hwSysTagExternalCalDue, at(kBoardCalibration + kBoardInterval * kSecondsPerDay));
        bag.hold(hwSysTagExternalCalPassword, std::u16string(u"kelp"));
    }
    HRESULT save(HostRequestBag& bag) {
        ULONG reserved = 7;
        const HRESULT result = expert->SaveResourceProperties(ole(kItemName), &bag, &reserved);
        EXPECT_EQ(reserved, 0u);
        EXPECT_EQ(bag.references(), 1u) << "the expert kept a reference on the request bag";
        return result;
    }

    HRESULT validate(HostRequestBag& bag, std::vector<ULONG>* accepted) {
        ULONG_PTR reserved = 7;
        IhwSysEnumPropertyTag* tags = nullptr;
        const HRESULT result = expert->ValidateResourceProperties(ole(kItemName), &bag, &reserved, &tags);
        EXPECT_EQ(reserved, 0u);
        if (tags != nullptr) {
            ULONG tag = 0;
            while (tags->Next(1, &tag, nullptr) == S_OK) {
                accepted->push_back(tag);
            }
            EXPECT_EQ(tags->Release(), 0u);
        }
        return result;
    }

    // Read through the board's own library, as the board now holds it.
    static BoardRecord boardRecord() {
        const HMODULE library = LoadLibraryExW(OLESTR("qvkelpdrvu"), nullptr, 0);
        EXPECT_NE(library, nullptr);
        const auto readTime =
            reinterpret_cast<boardlib::ReadExternalCalVerificationTimeFunction>(reinterpret_cast<void (*)()>(
                GetProcAddress(library, "qvkelpdrvu_readExternalCalVerificationTime")));
        const auto readInterval = reinterpret_cast<boardlib::ReadExternalCalIntervalFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "qvkelpdrvu_readExternalCalInterval")));
        BoardRecord record;
        std::uint64_t fraction = 0;
        EXPECT_EQ(readTime(kDevicePath.c_str(), &record.calibration, &fraction), 0);
        EXPECT_EQ(readInterval(kDevicePath.c_str(), &record.interval), 0);
        FreeLibrary(library);
        return record;
    }

    // The board accepts this password: changing it to itself succeeds.
    static bool boardTakesPassword(const char* password) {
        const HMODULE library = LoadLibraryExW(OLESTR("qvkelpdrvu"), nullptr, 0);
        const auto change = reinterpret_cast<boardlib::ChangeExternalCalPasswordFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "qvkelpdrvu_changeExternalCalPassword")));
        const bool taken = change(kDevicePath.c_str(), password, password) == 0;
        FreeLibrary(library);
        return taken;
    }

    ComRef<IhwSysExpert2> expert;
};

// Each test on a machine of its own, in a folder that also takes the board's state file.
class CalibrationWrites : public CalibrationHost {
protected:
    void SetUp() override {
        folder = hostplatform::makeTemporaryFolder("calwrites");
        useMachine("qvkelpdrv");
        CalibrationHost::SetUp();
    }
    void TearDown() override {
        hostplatform::unsetEnvironment("QVKELP_MACHINE");
        std::filesystem::remove_all(folder);
    }

    // A new description file each time, so that the simulation reads it afresh.
    void useMachine(const std::string& driverBaseName, const std::string& missingFunction = "none") {
        const std::filesystem::path machine = folder / (driverBaseName + missingFunction + ".json");
        std::ofstream(machine) << machineText(driverBaseName, missingFunction);
        hostplatform::setEnvironment("QVKELP_MACHINE", machine.string());
    }

    std::filesystem::path folder;
};

const BoardRecord kUntouched{kBoardCalibration, kBoardInterval};

TEST_F(CalibrationWrites, a_due_date_alone_is_written_as_whole_days_after_the_calibration_date) {
    struct Case {
        const char* what;
        std::int64_t dueSeconds;
        HRESULT result;
        BoardRecord board;
    };
    const Case cases[] = {
        {"the next day, late", kBoardCalibration + kSecondsPerDay + 86399, S_OK, {kBoardCalibration, 1}},
        {"the same day", kBoardCalibration + 86399, HW_E_INVALID_CAL_DATE, kUntouched},
        {"the day before", kBoardCalibration - 1, HW_E_INVALID_CAL_DATE, kUntouched},
        {"no due date", 0, S_OK, {kBoardCalibration, 0}},
        {"2^31 days on", kBoardCalibration + 0x80000000LL * kSecondsPerDay, HW_E_CAL_INTERVAL_TOO_LONG,
         kUntouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        useMachine("qvkelpdrv");
        std::filesystem::remove(folder / "qvkelpdrvnone.json.state.json");
        HostRequestBag bag;
        holdBoardRecord(bag);
        bag.change(hwSysTagExternalCalDue, at(c.dueSeconds));
        EXPECT_EQ(save(bag), c.result);
        EXPECT_TRUE(boardRecord() == c.board);
    }
}

TEST_F(CalibrationWrites, a_request_bag_without_what_a_write_needs_is_refused_before_the_board_is_asked) {
    struct Case {
        const char* what;
        ULONG removed;
        HRESULT result;
    };
    const Case cases[] = {
        {"no device path", hwSysTagMainDevicePath, HW_E_PROPERTY_NOT_FOUND},
        {"no calibration date", hwSysTagExternalCalTime, HW_E_PROPERTY_NOT_FOUND},
        {"no current password", hwSysTagExternalCalPassword, kPasswordRefused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostRequestBag full;
        holdBoardRecord(full);
        HostRequestBag bag;
        for (ULONG tag : {hwSysTagMainDevicePath, hwSysTagExternalCalTime, hwSysTagExternalCalPassword}) {
            if (tag != c.removed) {
                bag.hold(tag, *full.find(tag));
            }
        }
        bag.change(hwSysTagExternalCalDue, at(kBoardCalibration + 30 * kSecondsPerDay));
        EXPECT_EQ(save(bag), c.result);
        EXPECT_TRUE(boardRecord() == kUntouched);
    }
    HostRequestBag wrongType;
    holdBoardRecord(wrongType);
    wrongType.change(hwSysTagExternalCalTime, std::u16string(u"2026-03-18"));
    EXPECT_EQ(save(wrongType), HW_E_PROPERTY_TYPE_MISMATCH);
    HostRequestBag unset;
    holdBoardRecord(unset);
    unset.change(hwSysTagExternalCalTime, at(0));
    EXPECT_EQ(save(unset), HW_E_INVALID_CAL_DATE);
    EXPECT_TRUE(boardRecord() == kUntouched);
}

TEST_F(CalibrationWrites, a_wrong_password_is_refused_by_the_board_and_leaves_its_record_as_it_was) {
    HostRequestBag bag;
    holdBoardRecord(bag);
    bag.change(hwSysTagExternalCalPassword, std::u16string(u"reef"));
    bag.change(hwSysTagExternalCalTime, at(kBoardCalibration + 10 * kSecondsPerDay));
    bag.change(hwSysTagNewExternalCalPassword, std::u16string(u"tide"));
    EXPECT_EQ(save(bag), kPasswordRefused);
    EXPECT_TRUE(boardRecord() == kUntouched);
    EXPECT_TRUE(boardTakesPassword("kelp"));
    std::vector<ULONG> accepted;
    EXPECT_EQ(validate(bag, &accepted), kPasswordRefused);
    EXPECT_TRUE(accepted.empty());
}

TEST_F(CalibrationWrites, writes_after_a_password_change_pass_the_new_password_and_writes_before_it_the_old) {
    const std::int64_t recalibrated = kBoardCalibration + 10 * kSecondsPerDay;
    for (bool changeFirst : {false, true}) {
        SCOPED_TRACE(changeFirst ? "change first" : "change last");
        useMachine("qvkelpdrv");
        std::filesystem::remove(folder / "qvkelpdrvnone.json.state.json");
        HostRequestBag bag;
        holdBoardRecord(bag);
        if (changeFirst) {
            bag.change(hwSysTagNewExternalCalPassword, std::u16string(u"tide"));
        }
        bag.change(hwSysTagExternalCalTime, at(recalibrated));
        if (!changeFirst) {
            bag.change(hwSysTagNewExternalCalPassword, std::u16string(u"tide"));
        }
        EXPECT_EQ(save(bag), S_OK);
        EXPECT_EQ(boardRecord().calibration, recalibrated);
        EXPECT_TRUE(boardTakesPassword("tide"));
        EXPECT_FALSE(boardTakesPassword("kelp"));
        EXPECT_TRUE(std::get<std::u16string>(*bag.find(hwSysTagExternalCalPassword)) == u"tide");
    }
}

TEST_F(CalibrationWrites, validation_accepts_the_calibration_tags_in_the_bags_order_and_writes_nothing) {
    HostRequestBag bag;
    holdBoardRecord(bag);
    bag.change(hwSysTagNewExternalCalPassword, std::u16string(u"tide"));
    bag.change(hwSysTagAlias, std::u16string(u"bench 3"));
    bag.change(hwSysTagExternalCalDue, at(kBoardCalibration + 2 * kSecondsPerDay));
    bag.change(hwSysTagExternalCalPassword, std::u16string(u"kelp"));
    bag.change(hwSysTagExternalCalTime, at(kBoardCalibration + kSecondsPerDay));
    std::vector<ULONG> accepted;
    EXPECT_EQ(validate(bag, &accepted), S_OK);
    EXPECT_EQ(accepted, (std::vector<ULONG>{hwSysTagNewExternalCalPassword, hwSysTagExternalCalDue,
                                            hwSysTagExternalCalPassword, hwSysTagExternalCalTime}));
    EXPECT_TRUE(boardRecord() == kUntouched);
    EXPECT_TRUE(boardTakesPassword("kelp"));

    HostRequestBag unchanged;
    holdBoardRecord(unchanged);
    accepted.clear();
    EXPECT_EQ(validate(unchanged, &accepted), S_FALSE);
    EXPECT_TRUE(accepted.empty());
    EXPECT_EQ(save(unchanged), S_FALSE);
}

TEST_F(CalibrationWrites, a_missing_library_or_function_fails_the_save_with_E_FAIL) {
    HostRequestBag bag;
    holdBoardRecord(bag);
    bag.change(hwSysTagExternalCalDue, at(kBoardCalibration + 30 * kSecondsPerDay));
    useMachine("qvnosuchdrv");
    EXPECT_EQ(save(bag), E_FAIL);
    if (kRuntimeIsSimulated) { // a missing function is a fault of the simulated loader
        useMachine("qvkelpdrv", "qvkelpdrvu_writeExternalCalInterval");
        EXPECT_EQ(save(bag), E_FAIL);
    }
}

// The board is found once per call, however many changes the call writes.
TEST_F(CalibrationWrites, a_save_of_several_changes_finds_the_board_once) {
    constexpr GUID kBoardClass = {0x7729C356, 0x96D6, 0x4FAB, {0x8D, 0x01, 0x92, 0x66, 0xFB, 0x3D, 0x1B, 0xD7}};
    sim::Machine machine;
    machine.recordCalls = true;
    sim::Device& board = machine.addDevice("PCI\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\6&3A1C9E2&0&000800E0");
    board.addInterface(kBoardClass)
        .key()
        .subkey("Properties")
        .set("interfaceVersion", 4)
        .set("driverBaseName", "qvkelpdrv")
        .set("mainInterface", kMainClass);
    board.addInterface(kMainClass);
    board.board = R"({ "externalCal": { "time": "2025-03-18T00:00:00Z", "intervalDays": 365, "password": "kelp" } })";
    sim::installMachine(machine);
    HostRequestBag bag;
    holdBoardRecord(bag);
    bag.change(hwSysTagExternalCalTime, at(kBoardCalibration + 10 * kSecondsPerDay));
    bag.change(hwSysTagExternalCalDue, at(kBoardCalibration + 40 * kSecondsPerDay));
    bag.change(hwSysTagNewExternalCalPassword, std::u16string(u"tide"));
    EXPECT_EQ(save(bag), S_OK);
    const std::vector<std::string> calls = sim::recordedCalls();
    sim::uninstallMachine();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetupDiGetClassDevsA"), 1);
    if (kRuntimeIsSimulated) { // elsewhere the loader is the system's own and records no call
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "LoadLibraryExW"), 1);
    }
}

} // namespace

namespace {

// What the first process saves and the second one must find.
constexpr std::int64_t kSavedCalibration = kBoardCalibration + 10 * kSecondsPerDay;
constexpr std::int32_t kSavedInterval = 30;
constexpr std::int32_t kSecondProcessInterval = 60;
constexpr char kSecondProcessVariable[] = "QVKELP_CAL_SECOND_PROCESS";

// The second process of the test after it: with nothing saved before it there is nothing to check.
class CalibrationInSecondProcess : public CalibrationHost {
protected:
    void SetUp() override {
        if (std::getenv(kSecondProcessVariable) == nullptr) {
            GTEST_SKIP() << "runs only as the second process of "
                            "CalibrationWrites.a_saved_record_and_password_are_what_a_new_process_finds";
        }
        CalibrationHost::SetUp();
    }
};

TEST_F(CalibrationInSecondProcess, finds_the_saved_record_and_refuses_the_old_password) {
    EXPECT_TRUE(boardRecord() == (BoardRecord{kSavedCalibration, kSavedInterval}));
    HostRequestBag bag;
    holdBoardRecord(bag);
    bag.hold(hwSysTagExternalCalTime, at(kSavedCalibration));
    bag.change(hwSysTagExternalCalDue, at(kSavedCalibration + kSecondProcessInterval * kSecondsPerDay));
    EXPECT_EQ(save(bag), kPasswordRefused);
    EXPECT_TRUE(boardRecord() == (BoardRecord{kSavedCalibration, kSavedInterval}));
    bag.hold(hwSysTagExternalCalPassword, std::u16string(u"tide"));
    EXPECT_EQ(save(bag), S_OK);
}

TEST_F(CalibrationWrites, a_saved_record_and_password_are_what_a_new_process_finds) {
    HostRequestBag bag;
    holdBoardRecord(bag);
    bag.change(hwSysTagExternalCalTime, at(kSavedCalibration));
    bag.change(hwSysTagExternalCalDue, at(kSavedCalibration + kSavedInterval * kSecondsPerDay));
    bag.change(hwSysTagNewExternalCalPassword, std::u16string(u"tide"));
    ASSERT_EQ(save(bag), S_OK);

    hostplatform::setEnvironment(kSecondProcessVariable, "1");
    const hostplatform::ProgramRun second = hostplatform::runThisProgram("CalibrationInSecondProcess.*");
    hostplatform::unsetEnvironment(kSecondProcessVariable);
    EXPECT_EQ(second.exitCode, 0) << second.output;
    EXPECT_NE(second.output.find("[  PASSED  ] 1 test"), std::string::npos) << second.output;
    EXPECT_TRUE(boardRecord() == (BoardRecord{kSavedCalibration, kSecondProcessInterval}));
}

} // namespace
