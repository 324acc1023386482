// Hardware and interface keys (SetupDiOpenDevRegKey, SetupDiOpenDeviceInterfaceRegKey) and the
// registry calls on them (RegOpenKeyExA, RegQueryValueExA, RegCloseKey). Registry calls report
// through their result and leave the last error alone.
#include "board_machine.h"

#include <cstring>

using namespace simtest;

namespace {

class RegistryKeys : public BoardMachineTest {
protected:
    void SetUp() override {
        BoardMachineTest::SetUp();
        set_ = SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        ASSERT_NE(set_, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set_, nullptr, &kBoardClass, 0, &boardAInterface_));
        ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set_, nullptr, &kBoardClass, 1, &boardCInterface_));
        SetupDiGetDeviceInterfaceDetailA(set_, &boardAInterface_, nullptr, 0, nullptr, &boardA_);
        SetupDiGetDeviceInterfaceDetailA(set_, &boardCInterface_, nullptr, 0, nullptr, &boardC_);
    }
    void TearDown() override {
        SetupDiDestroyDeviceInfoList(set_);
        BoardMachineTest::TearDown();
    }

    HKEY hardwareKey(SP_DEVINFO_DATA* deviceInfo) {
        return SetupDiOpenDevRegKey(set_, deviceInfo, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    }

    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    SP_DEVICE_INTERFACE_DATA boardAInterface_ = emptyInterfaceData();
    SP_DEVICE_INTERFACE_DATA boardCInterface_ = emptyInterfaceData();
    SP_DEVINFO_DATA boardA_ = emptyDeviceInfo();
    SP_DEVINFO_DATA boardC_ = emptyDeviceInfo();
};

const HKEY kInvalidKey = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);

} // namespace

TEST_F(RegistryKeys, the_hardware_key_holds_the_described_subkeys_and_values) {
    SetLastError(0xDEADBEEF);
    ScopedKey key(hardwareKey(&boardA_));
    ASSERT_NE(key.get(), kInvalidKey);
    ASSERT_NE(key.get(), nullptr);

    ScopedKey bus;
    SetLastError(0xDEADBEEF);
    ASSERT_EQ(RegOpenKeyExA(key.get(), "busproperties", 0, KEY_READ, bus.out()),
              static_cast<LSTATUS>(ERROR_SUCCESS));
    DWORD vendor = 0;
    DWORD size = sizeof vendor;
    DWORD type = 0;
    EXPECT_EQ(
        RegQueryValueExA(bus.get(), "PCIVENDORID", nullptr, &type, reinterpret_cast<BYTE*>(&vendor), &size),
        0);
    EXPECT_EQ(vendor, 0xABCDu);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(GetLastError(), 0xDEADBEEF);
}

TEST_F(RegistryKeys, a_device_without_a_hardware_key_or_a_driver_key_request_fails_with_key_does_not_exist) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(hardwareKey(&boardC_), kInvalidKey);
    EXPECT_EQ(GetLastError(), ERROR_KEY_DOES_NOT_EXIST);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetupDiOpenDevRegKey(set_, &boardA_, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ), kInvalidKey);
    EXPECT_EQ(GetLastError(), ERROR_KEY_DOES_NOT_EXIST);
}

TEST_F(RegistryKeys, the_hardware_key_refuses_bad_scope_key_type_set_and_device) {
    const struct {
        HDEVINFO set;
        SP_DEVINFO_DATA* deviceInfo;
        DWORD scope;
        DWORD keyType;
        DWORD error;
    } cases[] = {
        {set_, &boardA_, 0, DIREG_DEV, ERROR_INVALID_FLAGS},
        {set_, &boardA_, 4, DIREG_DEV, ERROR_INVALID_FLAGS},
        {set_, &boardA_, DICS_FLAG_GLOBAL, 0, ERROR_INVALID_FLAGS},
        {set_, &boardA_, DICS_FLAG_GLOBAL, 4, ERROR_INVALID_FLAGS},
        {nullptr, &boardA_, DICS_FLAG_GLOBAL, DIREG_DEV, ERROR_INVALID_HANDLE},
        {set_, nullptr, DICS_FLAG_GLOBAL, DIREG_DEV, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(SetupDiOpenDevRegKey(c.set, c.deviceInfo, c.scope, 0, c.keyType, KEY_READ), kInvalidKey);
        EXPECT_EQ(GetLastError(), c.error) << "scope " << c.scope << " key type " << c.keyType;
    }
}

TEST_F(RegistryKeys, the_interface_key_opens_and_a_missing_one_fails_with_file_not_found) {
    SetLastError(0xDEADBEEF);
    ScopedKey key(SetupDiOpenDeviceInterfaceRegKey(set_, &boardAInterface_, 0, KEY_READ));
    ASSERT_NE(key.get(), kInvalidKey);
    ScopedKey properties;
    ASSERT_EQ(RegOpenKeyExA(key.get(), "Properties", 0, KEY_READ, properties.out()), 0);
    GUID mainInterface{};
    DWORD size = sizeof mainInterface;
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExA(properties.get(), "mainInterface", nullptr, &type,
                               reinterpret_cast<BYTE*>(&mainInterface), &size),
              0);
    EXPECT_EQ(mainInterface, kRegisterClass);
    EXPECT_EQ(type, REG_BINARY);

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetupDiOpenDeviceInterfaceRegKey(set_, &boardCInterface_, 0, KEY_READ), kInvalidKey);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    SP_DEVICE_INTERFACE_DATA zeroed = emptyInterfaceData();
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetupDiOpenDeviceInterfaceRegKey(set_, &zeroed, 0, KEY_READ), kInvalidKey);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetupDiOpenDeviceInterfaceRegKey(nullptr, &boardAInterface_, 0, KEY_READ), kInvalidKey);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryKeys, subkeys_open_by_nested_paths_and_a_missing_one_clears_the_result) {
    ScopedKey key(hardwareKey(&boardA_));
    ScopedKey nested;
    EXPECT_EQ(RegOpenKeyExA(key.get(), "DeviceProperties\\Calibration", 0, KEY_READ, nested.out()), 0);
    DWORD interval = 0;
    DWORD size = sizeof interval;
    EXPECT_EQ(RegQueryValueExA(nested.get(), "intervalDays", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&interval), &size),
              0);
    EXPECT_EQ(interval, 365u);

    for (const char* missing :
         {"Missing", "DeviceProperties\\Missing", "\\DeviceProperties", "BusProperties\\\\x"}) {
        HKEY result = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x5555));
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(RegOpenKeyExA(key.get(), missing, 0, KEY_READ, &result),
                  static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND))
            << missing;
        EXPECT_EQ(result, nullptr) << missing;
        EXPECT_EQ(GetLastError(), 0xDEADBEEF) << missing;
    }
}

TEST_F(RegistryKeys, an_empty_subkey_opens_a_second_handle_to_the_same_key) {
    ScopedKey key(hardwareKey(&boardA_));
    ScopedKey same;
    ASSERT_EQ(RegOpenKeyExA(key.get(), nullptr, 0, KEY_READ, same.out()), 0);
    ASSERT_NE(same.get(), key.get());
    ScopedKey again;
    ASSERT_EQ(RegOpenKeyExA(key.get(), "", 0, KEY_READ, again.out()), 0);
    ScopedKey bus;
    EXPECT_EQ(RegOpenKeyExA(same.get(), "BusProperties", 0, KEY_READ, bus.out()), 0);
}

TEST_F(RegistryKeys, a_size_query_reports_the_size_and_a_short_buffer_gets_more_data) {
    ScopedKey key(hardwareKey(&boardA_));
    ScopedKey device;
    ASSERT_EQ(RegOpenKeyExA(key.get(), "DeviceProperties", 0, KEY_READ, device.out()), 0);
    const DWORD textSize = sizeof "KELP-4410";

    DWORD size = 0;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(device.get(), "modelName", nullptr, &type, nullptr, &size), 0);
    EXPECT_EQ(size, textSize);
    EXPECT_EQ(type, REG_SZ);

    char small[4];
    size = sizeof small;
    type = 0;
    EXPECT_EQ(
        RegQueryValueExA(device.get(), "modelName", nullptr, &type, reinterpret_cast<BYTE*>(small), &size),
        static_cast<LSTATUS>(ERROR_MORE_DATA));
    EXPECT_EQ(size, textSize);
    EXPECT_EQ(type, REG_SZ);

    char exact[sizeof "KELP-4410"];
    size = sizeof exact;
    EXPECT_EQ(
        RegQueryValueExA(device.get(), "modelName", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size),
        0);
    EXPECT_STREQ(exact, "KELP-4410");
    EXPECT_EQ(size, textSize);

    // A text read into a 4-byte buffer is not converted: it is too large.
    DWORD number = 0;
    size = sizeof number;
    EXPECT_EQ(RegQueryValueExA(device.get(), "serialNumber", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&number), &size),
              static_cast<LSTATUS>(ERROR_MORE_DATA));
    EXPECT_EQ(size, sizeof "01A2B3C4");

    EXPECT_EQ(RegQueryValueExA(device.get(), "modelName", nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(RegistryKeys, a_missing_value_bad_arguments_and_bad_keys_fail_without_touching_the_last_error) {
    ScopedKey key(hardwareKey(&boardA_));
    ScopedKey bus;
    ASSERT_EQ(RegOpenKeyExA(key.get(), "BusProperties", 0, KEY_READ, bus.out()), 0);
    DWORD value = 0xDEADBEEF;
    DWORD size = sizeof value;
    DWORD reserved = 0;

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(
        RegQueryValueExA(bus.get(), "pciSlotPath", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(value, 0xDEADBEEF);
    EXPECT_EQ(RegQueryValueExA(bus.get(), "pciBusNumber", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                               nullptr),
              static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegQueryValueExA(bus.get(), "pciBusNumber", &reserved, nullptr, reinterpret_cast<BYTE*>(&value),
                               &size),
              static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(
        RegQueryValueExA(nullptr, "pciBusNumber", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        static_cast<LSTATUS>(ERROR_INVALID_HANDLE));
    HKEY result = nullptr;
    EXPECT_EQ(RegOpenKeyExA(kInvalidKey, "x", 0, KEY_READ, &result),
              static_cast<LSTATUS>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(RegOpenKeyExA(bus.get(), "x", 0, KEY_READ, nullptr),
              static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetLastError(), 0xDEADBEEF);
}

TEST_F(RegistryKeys, a_closed_key_is_an_invalid_handle) {
    HKEY key = hardwareKey(&boardA_);
    EXPECT_EQ(RegCloseKey(key), 0);
    EXPECT_EQ(RegCloseKey(key), static_cast<LSTATUS>(ERROR_INVALID_HANDLE));
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, nullptr, nullptr, &size),
              static_cast<LSTATUS>(ERROR_INVALID_HANDLE));
}

TEST_F(RegistryKeys, an_open_key_outlives_its_set_and_a_change_of_machine) {
    HKEY key = hardwareKey(&boardA_);
    ASSERT_NE(key, kInvalidKey);
    SetupDiDestroyDeviceInfoList(set_);
    set_ = SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    sim::installMachine(sim::Machine{});

    ScopedKey bus;
    EXPECT_EQ(RegOpenKeyExA(key, "BusProperties", 0, KEY_READ, bus.out()), 0);
    DWORD busNumber = 0;
    DWORD size = sizeof busNumber;
    EXPECT_EQ(RegQueryValueExA(bus.get(), "pciBusNumber", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&busNumber), &size),
              0);
    EXPECT_EQ(busNumber, 5u);
    EXPECT_EQ(RegCloseKey(key), 0);
}
