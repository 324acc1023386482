// Injected faults: chosen by call and argument, after a number of counted calls, a number of
// times; reported as each call reports its failures.
#include "board_machine.h"

#include <algorithm>
#include <cctype>

using namespace simtest;

namespace {

const HKEY kInvalidKey = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);

// Installs the board machine with the given faults.
class InjectedFaults : public testing::Test {
protected:
    void install(std::vector<sim::Fault> faults) {
        sim::Machine machine = boardMachine();
        machine.faults = std::move(faults);
        sim::installMachine(machine);
    }
    void TearDown() override {
        sim::uninstallMachine();
        EXPECT_EQ(sim::openDeviceInfoSetCount(), 0u);
        EXPECT_EQ(sim::openRegistryKeyCount(), 0u);
    }

    static HDEVINFO openBoard(const std::string& id) {
        return SetupDiGetClassDevsA(&kBoardClass, id.c_str(), nullptr,
                                    DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_DEVICEINTERFACE);
    }

    // The DeviceProperties subkey of board A, opened through its set.
    static HKEY devicePropertiesOfBoardA() {
        ScopedSet set(openBoard(kBoardA));
        SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
        SetupDiOpenDeviceInfoA(set.get(), kBoardA.c_str(), nullptr, 0, &deviceInfo);
        ScopedKey hardware(
            SetupDiOpenDevRegKey(set.get(), &deviceInfo, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
        HKEY properties = nullptr;
        RegOpenKeyExA(hardware.get(), "DeviceProperties", 0, KEY_READ, &properties);
        return properties;
    }

    static LSTATUS query(HKEY key, const char* name) {
        char buffer[64];
        DWORD size = sizeof buffer;
        return RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    }
};

} // namespace

TEST_F(InjectedFaults, a_fault_for_one_argument_fails_only_the_calls_for_it_in_any_case) {
    install({{"SetupDiGetClassDevsA", ERROR_NOT_ENOUGH_MEMORY, kBoardA, 0, std::nullopt}});
    std::string lowered = kBoardA;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](char c) { return static_cast<char>(std::tolower(c)); });

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(openBoard(lowered), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);

    ScopedSet other(openBoard(kBoardC));
    EXPECT_NE(other.get(), INVALID_HANDLE_VALUE);
    ScopedSet all(
        SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    EXPECT_NE(all.get(), INVALID_HANDLE_VALUE);
}

TEST_F(InjectedFaults, after_and_times_pick_which_of_the_matching_calls_fail) {
    install({{"RegQueryValueExA", ERROR_GEN_FAILURE, std::string("serialNumber"), 2, 1}});
    ScopedKey properties(devicePropertiesOfBoardA());
    ASSERT_NE(properties.get(), nullptr);

    std::vector<LSTATUS> results;
    for (int call = 0; call < 4; ++call) {
        EXPECT_EQ(query(properties.get(), "modelName"), 0); // does not match, does not count
        results.push_back(query(properties.get(), "SERIALNUMBER"));
    }
    EXPECT_EQ(results, (std::vector<LSTATUS>{0, 0, static_cast<LSTATUS>(ERROR_GEN_FAILURE), 0}));
}

TEST_F(InjectedFaults, without_times_every_call_after_the_first_ones_fails_with_the_configret) {
    install({{"CM_Get_Parent", CR_NO_SUCH_DEVNODE, std::nullopt, 1, std::nullopt}});
    ScopedSet set(openBoard(kBoardA));
    SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
    ASSERT_TRUE(SetupDiOpenDeviceInfoA(set.get(), kBoardA.c_str(), nullptr, 0, &deviceInfo));

    DEVINST parent = 0;
    EXPECT_EQ(CM_Get_Parent(&parent, deviceInfo.DevInst, 0), CR_SUCCESS);
    for (int call = 0; call < 3; ++call) {
        parent = 0xDEADBEEF;
        EXPECT_EQ(CM_Get_Parent(&parent, deviceInfo.DevInst, 0), CR_NO_SUCH_DEVNODE);
        EXPECT_EQ(parent, 0u);
    }
}

TEST_F(InjectedFaults, calls_returning_handles_or_bool_fail_through_the_last_error_and_write_no_output) {
    install({{"SetupDiOpenDevRegKey", ERROR_ACCESS_DENIED, std::nullopt, 0, std::nullopt},
             {"SetupDiGetDeviceInterfaceDetailA", ERROR_DEVICE_REMOVED, std::nullopt, 0, std::nullopt}});
    ScopedSet set(openBoard(kBoardA));
    SP_DEVICE_INTERFACE_DATA data = emptyInterfaceData();
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kBoardClass, 0, &data));

    DWORD required = 0xDEADBEEF;
    SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set.get(), &data, nullptr, 0, &required, &deviceInfo));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_REMOVED);
    EXPECT_EQ(required, 0xDEADBEEF);
    EXPECT_EQ(deviceInfo.DevInst, 0u);

    ASSERT_TRUE(SetupDiOpenDeviceInfoA(set.get(), kBoardA.c_str(), nullptr, 0, &deviceInfo));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetupDiOpenDevRegKey(set.get(), &deviceInfo, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ),
              kInvalidKey);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(InjectedFaults, a_failed_close_or_destroy_still_releases_the_handle) {
    install({{"RegCloseKey", ERROR_INVALID_HANDLE, std::nullopt, 0, std::nullopt},
             {"SetupDiDestroyDeviceInfoList", ERROR_INTERNAL_ERROR, std::nullopt, 0, std::nullopt}});
    HKEY properties = devicePropertiesOfBoardA(); // its set and hardware key were released with faults
    ASSERT_NE(properties, nullptr);
    EXPECT_EQ(RegCloseKey(properties), static_cast<LSTATUS>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(sim::openRegistryKeyCount(), 0u);

    HDEVINFO set = openBoard(kBoardA);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(GetLastError(), ERROR_INTERNAL_ERROR);
    EXPECT_EQ(sim::openDeviceInfoSetCount(), 0u);
}

TEST_F(InjectedFaults, installing_a_machine_again_starts_its_faults_afresh) {
    const std::vector<sim::Fault> once = {{"SetupDiGetClassDevsA", ERROR_NOT_READY, std::nullopt, 0, 1}};
    for (int round = 0; round < 2; ++round) {
        install(once);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(openBoard(kBoardA), INVALID_HANDLE_VALUE) << round;
        EXPECT_EQ(GetLastError(), ERROR_NOT_READY) << round;
        ScopedSet second(openBoard(kBoardA));
        EXPECT_NE(second.get(), INVALID_HANDLE_VALUE) << round;
    }
}

TEST(InjectedFaultsFromFile, faults_are_read_from_the_description_with_hexadecimal_errors) {
    ScopedMachineVariable variable(examplePath("tests/faults.json"));
    ScopedSet set(
        SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    ASSERT_NE(set.get(), INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiOpenDeviceInfoA(set.get(), "ACPI\\PNP0A08\\0", nullptr, 0, &deviceInfo));
    EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_DEVINST);
    ASSERT_TRUE(SetupDiOpenDeviceInfoA(set.get(), kBoardA.c_str(), nullptr, 0, &deviceInfo));

    DEVINST parent = 0;
    EXPECT_EQ(CM_Get_Parent(&parent, deviceInfo.DevInst, 0), 13u);

    ScopedKey hardware(
        SetupDiOpenDevRegKey(set.get(), &deviceInfo, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
    ScopedKey properties;
    ASSERT_EQ(RegOpenKeyExA(hardware.get(), "DeviceProperties", 0, KEY_READ, properties.out()), 0);
    char serial[16];
    std::vector<LSTATUS> results;
    for (int call = 0; call < 3; ++call) {
        DWORD size = sizeof serial;
        results.push_back(RegQueryValueExA(properties.get(), "serialNumber", nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(serial), &size));
    }
    EXPECT_EQ(results, (std::vector<LSTATUS>{0, 1117, 0}));
}

TEST_F(InjectedFaults, a_fault_for_every_call_counts_calls_of_all_kinds_and_the_machine_records_them) {
    sim::Machine machine = boardMachine();
    machine.recordCalls = true;
    machine.faults = {{"*", ERROR_NOT_ENOUGH_MEMORY, std::nullopt, 2, 1}};
    sim::installMachine(machine);
    {
        ScopedSet set(openBoard(kBoardA));
        SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
        ASSERT_TRUE(SetupDiOpenDeviceInfoA(set.get(), kBoardA.c_str(), nullptr, 0, &deviceInfo));

        SetLastError(0xDEADBEEF);
        EXPECT_EQ(SetupDiOpenDevRegKey(set.get(), &deviceInfo, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ), kInvalidKey);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
        ScopedKey spent(SetupDiOpenDevRegKey(set.get(), &deviceInfo, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
        EXPECT_NE(spent.get(), kInvalidKey);
    }
    EXPECT_EQ(sim::recordedCalls(),
              (std::vector<std::string>{"SetupDiGetClassDevsA", "SetupDiOpenDeviceInfoA", "SetupDiOpenDevRegKey",
                                        "SetupDiOpenDevRegKey", "RegCloseKey", "SetupDiDestroyDeviceInfoList"}));
}
