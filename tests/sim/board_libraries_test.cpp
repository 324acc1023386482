// The simulated board driver, self-calibration and reset libraries, loaded as the module loads them.
#include "board_machine.h"

#include "abi/boardLibraries.h"
#include "common/call_log_file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <cstdlib>
#include <ctime>
#include <functional>

namespace {

using namespace simtest;

const std::string kMainPath = sim::devicePathOf(kBoardA, kRegisterClass, "main");
constexpr std::int64_t kJune2025 = 3831580800; // 2025-06-01T00:00:00Z on the 1904 epoch

// Board A's state; its main interface is the register interface at kMainPath.
sim::Machine machineWithBoard(const std::string& board) {
    sim::Machine machine = boardMachine();
    sim::Device& boardA = machine.devices[4];
    boardA.interfaces[1].reference = "main";
    boardA.board = board;
    return machine;
}

const std::string kBoard = R"({"selfCal": {"time": {"seconds": 3855000000, "fraction": "9223372036854775808"},
                                            "temperature": 35.5},
                               "externalCal": {"time": "2025-06-01T00:00:00Z", "intervalDays": 365, "password": "kelp"},
                               "temperatures": [41.25, 55.0, 38.5], "selfTest": 7})";

// A library loaded through LoadLibraryExW, its exports fetched through GetProcAddress.
class Library {
public:
    explicit Library(const std::u16string& name) : module_(LoadLibraryExW(name.c_str(), nullptr, 0)) {}
    ~Library() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    template <typename Function> Function get(const std::string& name) const {
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name.c_str())));
    }

private:
    HMODULE module_;
};

struct Driver {
    Library library{u"qvkelpdrvu"};
    boardlib::SelfTestFunction selfTest = library.get<boardlib::SelfTestFunction>("qvkelpdrvu_selfTest");
    boardlib::ReadTemperatureFunction readTemperature =
        library.get<boardlib::ReadTemperatureFunction>("qvkelpdrvu_readTemperature");
    boardlib::ReadSelfCalTimeFunction readSelfCalTime =
        library.get<boardlib::ReadSelfCalTimeFunction>("qvkelpdrvu_readSelfCalTime");
    boardlib::ReadSelfCalTemperatureFunction readSelfCalTemperature =
        library.get<boardlib::ReadSelfCalTemperatureFunction>("qvkelpdrvu_readSelfCalTemperature");
    boardlib::ReadExternalCalVerificationTimeFunction readCalTime =
        library.get<boardlib::ReadExternalCalVerificationTimeFunction>("qvkelpdrvu_readExternalCalVerificationTime");
    boardlib::ReadExternalCalIntervalFunction readInterval =
        library.get<boardlib::ReadExternalCalIntervalFunction>("qvkelpdrvu_readExternalCalInterval");
    boardlib::WriteExternalCalVerificationTimeFunction writeCalTime =
        library.get<boardlib::WriteExternalCalVerificationTimeFunction>("qvkelpdrvu_writeExternalCalVerificationTime");
    boardlib::WriteExternalCalIntervalFunction writeInterval =
        library.get<boardlib::WriteExternalCalIntervalFunction>("qvkelpdrvu_writeExternalCalInterval");
    boardlib::ChangeExternalCalPasswordFunction changePassword =
        library.get<boardlib::ChangeExternalCalPasswordFunction>("qvkelpdrvu_changeExternalCalPassword");

    std::int32_t interval(const std::string& path = kMainPath) const {
        std::int32_t days = -1;
        return readInterval(path.c_str(), &days) == 0 ? days : -1;
    }
    std::int64_t calSeconds() const {
        std::int64_t seconds = 0;
        std::uint64_t fraction = 0;
        return readCalTime(kMainPath.c_str(), &seconds, &fraction) == 0 ? seconds : -1;
    }
};

TEST(BoardDriverLibrary, reads_answer_from_the_board_state_of_the_main_interface_path) {
    ScopedMachine machine(machineWithBoard(kBoard));
    Driver driver;
    std::string upperPath = kMainPath;
    for (char& c : upperPath) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(driver.selfTest(upperPath.c_str()), 7);
    std::int64_t seconds = 0;
    std::uint64_t fraction = 0;
    EXPECT_EQ(driver.readSelfCalTime(kMainPath.c_str(), &seconds, &fraction), 0);
    EXPECT_EQ(seconds, 3855000000);
    EXPECT_EQ(fraction, 9223372036854775808u);
    EXPECT_EQ(driver.readCalTime(kMainPath.c_str(), &seconds, &fraction), 0);
    EXPECT_EQ(seconds, kJune2025);
    EXPECT_EQ(fraction, 0u);
    double temperature = 0;
    EXPECT_EQ(driver.readSelfCalTemperature(kMainPath.c_str(), &temperature), 0);
    EXPECT_EQ(temperature, 35.5);
    EXPECT_EQ(driver.readTemperature(kMainPath.c_str(), 1, &temperature), 0);
    EXPECT_EQ(temperature, 55.0);
    EXPECT_EQ(driver.interval(), 365);
}

TEST(BoardDriverLibrary, bad_arguments_and_unknown_boards_get_failure_codes) {
    ScopedMachine machine(machineWithBoard(R"({"temperatures": [41.25]})"));
    Driver driver;
    const std::string longPath(300, 'x');
    double temperature = 0;
    const struct {
        std::function<std::int32_t()> call;
        std::int32_t code;
    } cases[] = {
        {[&] { return driver.selfTest(nullptr); }, -52005},
        {[&] { return driver.selfTest(longPath.c_str()); }, -52005},
        {[&] { return driver.selfTest(kBoardAPath.c_str()); }, -52006}, // the board interface is not the main one
        {[&] { return driver.selfTest("\\\\?\\nowhere"); }, -52006},
        {[&] { return driver.readTemperature(kMainPath.c_str(), 4, &temperature); }, -52005},
        {[&] { return driver.readTemperature(kMainPath.c_str(), -1, &temperature); }, -52005},
        {[&] { return driver.readTemperature(kMainPath.c_str(), 0, nullptr); }, -52005},
        {[&] { return driver.readTemperature(kMainPath.c_str(), 1, &temperature); }, -52012},
        {[&] { return driver.readInterval(kMainPath.c_str(), nullptr); }, -52005},
        {[&] { return driver.readSelfCalTemperature(kMainPath.c_str(), &temperature); }, -52012},
        {[&] { return driver.writeInterval(kMainPath.c_str(), 0x80000000u, ""); }, -52005},
        {[&] { return driver.writeInterval(kMainPath.c_str(), 1, nullptr); }, -52005},
        {[&] { return driver.changePassword(kMainPath.c_str(), longPath.c_str(), ""); }, -52005},
        {[&] { return driver.writeInterval("\\\\?\\nowhere", 1, ""); }, -52006},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].call(), cases[i].code) << "case " << i;
    }
    EXPECT_EQ(driver.interval(), -1);
}

TEST(BoardDriverLibrary, each_build_exports_its_functions_under_its_own_name) {
    ScopedMachine machine(machineWithBoard(kBoard));
    Library other(u"qvkelpmdrvu");
    const auto selfTest = other.get<boardlib::SelfTestFunction>("qvkelpmdrvu_selfTest");
    ASSERT_NE(selfTest, nullptr);
    EXPECT_EQ(selfTest(kMainPath.c_str()), 7);
    EXPECT_EQ(other.get<boardlib::SelfTestFunction>("qvkelpdrvu_selfTest"), nullptr);
}

TEST(BoardDriverLibrary, writes_need_the_current_password_and_a_refused_write_changes_nothing) {
    ScopedMachine machine(machineWithBoard(kBoard));
    Driver driver;
    const char* path = kMainPath.c_str();
    EXPECT_EQ(driver.writeInterval(path, 30, "wrong"), boardlib::kCalPasswordInvalid);
    EXPECT_EQ(driver.writeCalTime(path, 100, 0, "KELP"), boardlib::kCalPasswordInvalid);
    EXPECT_EQ(driver.interval(), 365);
    EXPECT_EQ(driver.calSeconds(), kJune2025);

    EXPECT_EQ(driver.writeInterval(path, 30, "kelp"), 0);
    EXPECT_EQ(driver.writeCalTime(path, kJune2025 + 86400, 5, "kelp"), 0);
    EXPECT_EQ(driver.changePassword(path, "reef", "kelp"), 0);
    EXPECT_EQ(driver.writeInterval(path, 60, "kelp"), boardlib::kCalPasswordInvalid);
    EXPECT_EQ(driver.interval(), 30);
    EXPECT_EQ(driver.calSeconds(), kJune2025 + 86400);
    EXPECT_EQ(driver.writeInterval(path, 60, "reef"), 0);
    EXPECT_EQ(driver.interval(), 60);
}

TEST(BoardDriverLibrary, injected_failures_return_the_chosen_code) {
    sim::Machine described = machineWithBoard(
        R"({"temperatures": [1, 2, 3, 4], "fail": {"_readTemperature": {"code": -52003, "sensor": 2},
                                                    "_readExternalCalInterval": 17}})");
    described.addFault({"qvkelpdrvu_selfTest", static_cast<DWORD>(-50), kMainPath, 0, 1});
    described.addFault({"GetProcAddress", ERROR_PROC_NOT_FOUND, std::string("qvkelpdrvu_readSelfCalTime"), 0, {}});
    ScopedMachine machine(described);
    Driver driver;
    double temperature = 0;
    EXPECT_EQ(driver.readTemperature(kMainPath.c_str(), 1, &temperature), 0);
    EXPECT_EQ(driver.readTemperature(kMainPath.c_str(), 2, &temperature), -52003);
    std::int32_t days = 0;
    EXPECT_EQ(driver.readInterval(kMainPath.c_str(), &days), 17);
    EXPECT_EQ(driver.selfTest(kMainPath.c_str()), -50);
    EXPECT_EQ(driver.selfTest(kMainPath.c_str()), 0);
    EXPECT_EQ(driver.readSelfCalTime, nullptr);
}

TEST(SelfCalibrationLibrary, a_successful_run_records_the_time_now_at_the_temperature_of_sensor_0) {
    ScopedMachine machine(machineWithBoard(R"({"temperatures": [41.25, 55.0], "selfCalibration": 3})"));
    Library selfCal(u"qvKELPVRXGroupASelfCal");
    const auto calibrate =
        selfCal.get<boardlib::SelfCalibrateFunction>("qvKELPVRXGroupASelfCal_SelfCalibrateFromCFG");
    Driver driver;
    const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr)) + 2082844800;
    EXPECT_EQ(calibrate(kBoardA.c_str()), 3);
    std::int64_t seconds = 0;
    std::uint64_t fraction = 0;
    EXPECT_EQ(driver.readSelfCalTime(kMainPath.c_str(), &seconds, &fraction), 0);
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, before + 60);
    double temperature = 0;
    EXPECT_EQ(driver.readSelfCalTemperature(kMainPath.c_str(), &temperature), 0);
    EXPECT_EQ(temperature, 41.25);
    EXPECT_EQ(calibrate("PCI\\VEN_0000\\NOBOARD"), -52006);
    EXPECT_EQ(calibrate(nullptr), -52005);

    Library groupB(u"qvKELPVRXGroupBSelfCal");
    EXPECT_NE(groupB.get<boardlib::SelfCalibrateFunction>("qvKELPVRXGroupBSelfCal_SelfCalibrate"), nullptr);
    SetLastError(0);
    Library pin(u"qvKELPVRXGroupBSelfCal_pin");
    EXPECT_EQ(GetLastError(), 0u);
}

TEST(SelfCalibrationLibrary, a_failing_run_records_nothing) {
    ScopedMachine machine(machineWithBoard(R"({"temperatures": [41.25], "selfCalibration": -52003})"));
    Library selfCal(u"qvKELPVRXGroupASelfCal");
    Driver driver;
    EXPECT_EQ(selfCal.get<boardlib::SelfCalibrateFunction>("qvKELPVRXGroupASelfCal_SelfCalibrateFromCFG")(
                  kBoardA.c_str()),
              -52003);
    std::int64_t seconds = 0;
    std::uint64_t fraction = 0;
    EXPECT_EQ(driver.readSelfCalTime(kMainPath.c_str(), &seconds, &fraction), -52012);
}

// A qverr::Status as the module lays it out, with a reserve function of the test's own.
struct TestStatus {
    qverr::StatusLayout layout{0, 0, &reserve, nullptr};
    ~TestStatus() { std::free(layout.payload); }
    qverr::Status* get() { return reinterpret_cast<qverr::Status*>(&layout); }
    static bool reserve(qverr::Status& status, std::uint32_t requested) {
        qverr::StatusLayout& layout = qverr::layoutOf(status);
        if (requested <= layout.capacity) {
            return true;
        }
        char* grown = static_cast<char*>(std::realloc(layout.payload, requested));
        if (grown == nullptr) {
            return false;
        }
        layout.payload = grown;
        layout.capacity = requested;
        return true;
    }
};

TEST(ResetLibrary, reports_the_boards_reset_code_and_returns_a_session_even_when_creation_fails) {
    sim::Machine described = machineWithBoard(R"({"reset": {"initiateDeviceReset": -52010}})");
    described.addFault({"qvrocoapi_createSession", static_cast<DWORD>(-52003), std::nullopt, 1, 1});
    ScopedMachine machine(described);
    Library reset(u"qvrocoapi");
    const auto create = reset.get<boardlib::CreateResetSessionFunction>("qvrocoapi_createSession");
    const auto initiate = reset.get<boardlib::InitiateDeviceResetFunction>("qvrocoapi_initiateDeviceReset");
    const auto destroy = reset.get<boardlib::DestroyResetSessionFunction>("qvrocoapi_destroySession");
    const auto openSessions = reset.get<std::uint32_t (*)()>("qvrocoapiSim_openSessionCount");

    TestStatus first;
    const boardlib::ResetSession session = create(first.get());
    EXPECT_EQ(first.layout.code, 0);
    initiate(session, kBoardA.c_str(), first.get());
    EXPECT_EQ(first.layout.code, -52010);
    EXPECT_STREQ(first.layout.payload, R"({"component":"qvrocoapi","function":"qvrocoapi_initiateDeviceReset"})");
    EXPECT_EQ(first.layout.payload[first.layout.capacity - 1], qverr::kPayloadSentinel);

    TestStatus failed;
    const boardlib::ResetSession failedSession = create(failed.get());
    EXPECT_NE(failedSession, nullptr);
    EXPECT_EQ(failed.layout.code, -52003);
    EXPECT_EQ(openSessions(), 2u);
    destroy(session);
    destroy(failedSession);
    EXPECT_EQ(openSessions(), 0u);

    TestStatus stale;
    initiate(session, kBoardA.c_str(), stale.get());
    EXPECT_EQ(stale.layout.code, -52005);
}

TEST(CallLog, records_loads_frees_and_board_functions_in_order) {
    ScopedMachine machine(machineWithBoard(kBoard));
    CallLogFile log;
    {
        Driver driver;
        driver.selfTest(kMainPath.c_str());
        driver.selfTest(nullptr);
        Library missing(u"qvkelpnosuch");
        Library reset(u"qvrocoapi");
        TestStatus status;
        const auto session = reset.get<boardlib::CreateResetSessionFunction>("qvrocoapi_createSession")(status.get());
        reset.get<boardlib::DestroyResetSessionFunction>("qvrocoapi_destroySession")(session);
    }
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "LoadLibraryExW qvkelpdrvu",
                               "qvkelpdrvu_selfTest " + kMainPath,
                               "qvkelpdrvu_selfTest (null)",
                               "LoadLibraryExW qvkelpnosuch -> error 126",
                               "LoadLibraryExW qvrocoapi",
                               "qvrocoapi_createSession",
                               "qvrocoapi_destroySession",
                               "FreeLibrary qvrocoapi",
                               "FreeLibrary qvkelpdrvu",
                           }));
}

// A description file whose writes land in the state file beside it, seen by every process.
class BoardStateFile : public ::testing::Test {
protected:
    void SetUp() override {
        description_ = folder_.file("machine.json");
        writeFile(description_, descriptionText());
    }

    std::string descriptionText() const {
        return R"({"devices": [{"id": ")" + escaped(kBoardA) + R"(",
          "interfaces": [{"class": "{7729C356-96D6-4FAB-8D01-9266FB3D1BD7}",
                          "key": {"Properties": {"mainInterface": {"guid": "{307EC87D-29CC-4584-A948-31D05774699E}"}}}},
                         {"class": "{307EC87D-29CC-4584-A948-31D05774699E}", "reference": "main"}],
          "board": )" + kBoard + "}]}";
    }

    static std::string escaped(const std::string& text) {
        std::string out;
        for (const char c : text) {
            out += c == '\\' ? std::string("\\\\") : std::string(1, c);
        }
        return out;
    }

    // Runs `work` in a child process and returns its exit status.
    static int inChild(const std::function<int()>& work) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::_exit(work());
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TempFolder folder_;
    std::string description_;
};

TEST_F(BoardStateFile, a_write_is_seen_by_a_second_process_and_concurrent_writers_lose_nothing) {
    ScopedMachineVariable variable(description_);
    Driver driver;
    EXPECT_EQ(inChild([&] { return driver.writeInterval(kMainPath.c_str(), 90, "kelp") == 0 ? 0 : 1; }), 0);
    EXPECT_EQ(driver.interval(), 90);

    constexpr int kWrites = 40;
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = ::fork();
        if (writers[w] == 0) {
            int failures = 0;
            for (int i = 1; i <= kWrites; ++i) {
                failures += (w == 0 ? driver.writeInterval(kMainPath.c_str(), static_cast<std::uint32_t>(i), "kelp")
                                    : driver.writeCalTime(kMainPath.c_str(), i, 0, "kelp")) != 0;
            }
            ::_exit(failures);
        }
    }
    for (const pid_t writer : writers) {
        int status = -1;
        ::waitpid(writer, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(driver.interval(), kWrites);
    EXPECT_EQ(driver.calSeconds(), kWrites);
    EXPECT_TRUE(std::filesystem::exists(description_ + ".state.json"));
}

TEST(BoardDescription, a_board_member_of_the_wrong_shape_is_refused_naming_its_path) {
    const struct {
        const char* board;
        const char* problem;
    } cases[] = {
        {R"({"temperatures": [1, "hot"]})", "devices[4].board.temperatures[1]: expected a number"},
        {R"({"temperatures": [1, 2, 3, 4, 5]})", "devices[4].board.temperatures[4]: a board has 4 sensors"},
        {R"({"selfCal": {"time": "2026-02-30T00:00:00Z"}})", "devices[4].board.selfCal.time: \"2026-02-30"},
        {R"({"externalCal": {"colour": 1}})", "devices[4].board.externalCal.colour: unknown member"},
        {R"({"fail": {"_explode": -1}})", "devices[4].board.fail._explode: names no board driver function"},
        {R"({"fail": {"_selfTest": {"code": -1, "sensor": 1}}})", "devices[4].board.fail._selfTest.sensor: unknown"},
        {R"({"reset": {"createSession": -1}})", "devices[4].board.reset.createSession: unknown member"},
        {R"({"selfTest": 2147483648})", "devices[4].board.selfTest: the number"},
    };
    for (const auto& item : cases) {
        try {
            sim::installMachine(machineWithBoard(item.board));
            sim::uninstallMachine();
            ADD_FAILURE() << item.board << " was accepted";
        } catch (const std::invalid_argument& refused) {
            EXPECT_EQ(std::string(refused.what()).rfind(item.problem, 0), 0u) << refused.what();
        }
    }
}

} // namespace

// A write that fails for lack of room (a file-size limit here) or that is killed leaves no temporary
// file behind once the next write has run; the state file is the old one or the new one.
TEST_F(BoardStateFile, no_temporary_file_stays_behind_a_failed_or_killed_write) {
    ScopedMachineVariable variable(description_);
    Driver driver;
    EXPECT_NE(inChild([&] {
                  const rlimit limit{16, 16};
                  ::signal(SIGXFSZ, SIG_IGN);
                  ::setrlimit(RLIMIT_FSIZE, &limit);
                  try {
                      return driver.writeInterval(kMainPath.c_str(), 90, "kelp") == 0 ? 0 : 1;
                  } catch (...) {
                      return 1;
                  }
              }),
              0);
    const pid_t killed = ::fork();
    if (killed == 0) {
        for (std::uint32_t days = 1;; ++days) {
            driver.writeInterval(kMainPath.c_str(), days, "kelp");
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::kill(killed, SIGKILL);
    ::waitpid(killed, nullptr, 0);
    EXPECT_EQ(driver.writeInterval(kMainPath.c_str(), 30, "kelp"), 0);
    EXPECT_EQ(driver.interval(), 30);
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    }
}
