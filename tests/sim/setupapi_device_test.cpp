// What a set tells about its devices: SetupDiGetDeviceInstanceIdA,
// SetupDiGetDeviceRegistryPropertyA and SetupDiOpenDeviceInfoA.
#include "board_machine.h"

#include <cstring>

using namespace simtest;

namespace {

class SetDevices : public BoardMachineTest {
protected:
    void SetUp() override {
        BoardMachineTest::SetUp();
        set_ = SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        ASSERT_NE(set_, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(SetupDiOpenDeviceInfoA(set_, kBoardA.c_str(), nullptr, 0, &boardA_));
    }
    void TearDown() override {
        SetupDiDestroyDeviceInfoList(set_);
        BoardMachineTest::TearDown();
    }

    SP_DEVINFO_DATA open(const std::string& id) {
        SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
        EXPECT_TRUE(SetupDiOpenDeviceInfoA(set_, id.c_str(), nullptr, 0, &deviceInfo)) << id;
        return deviceInfo;
    }

    std::vector<std::string> devicesOfSet() {
        std::vector<std::string> ids;
        SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
        for (DWORD index = 0; SetupDiEnumDeviceInfo(set_, index, &deviceInfo); ++index) {
            ids.push_back(instanceIdOf(set_, &deviceInfo));
        }
        return ids;
    }

    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA boardA_ = emptyDeviceInfo();
};

} // namespace

TEST_F(SetDevices, the_instance_id_size_query_counts_the_nul_and_a_short_buffer_gets_nothing) {
    DWORD required = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(set_, &boardA_, nullptr, 0, &required));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, kBoardA.size() + 1);

    std::string buffer(kBoardA.size(), '#');
    required = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(set_, &boardA_, buffer.data(), static_cast<DWORD>(buffer.size()),
                                             &required));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, kBoardA.size() + 1);

    std::string exact(kBoardA.size() + 1, '#');
    required = 0;
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(SetupDiGetDeviceInstanceIdA(set_, &boardA_, exact.data(), static_cast<DWORD>(exact.size()),
                                            &required));
    EXPECT_EQ(std::string(exact.c_str()), kBoardA);
    EXPECT_EQ(required, kBoardA.size() + 1);
    EXPECT_TRUE(
        SetupDiGetDeviceInstanceIdA(set_, &boardA_, exact.data(), static_cast<DWORD>(exact.size()), nullptr));
}

TEST_F(SetDevices, the_instance_id_refuses_null_foreign_and_misdeclared_devices) {
    ScopedSet other(
        SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    SP_DEVINFO_DATA foreign = emptyDeviceInfo();
    ASSERT_TRUE(SetupDiOpenDeviceInfoA(other.get(), kBoardA.c_str(), nullptr, 0, &foreign));
    SP_DEVINFO_DATA wrongSize = boardA_;
    wrongSize.cbSize = 28;
    SP_DEVINFO_DATA zeroed = emptyDeviceInfo();
    char buffer[MAX_DEVICE_ID_LEN];

    for (SP_DEVINFO_DATA* deviceInfo :
         {static_cast<SP_DEVINFO_DATA*>(nullptr), &foreign, &wrongSize, &zeroed}) {
        DWORD required = 0xDEADBEEF;
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(set_, deviceInfo, buffer, sizeof buffer, &required));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(required, 0xDEADBEEF);
    }
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(nullptr, &boardA_, buffer, sizeof buffer, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(set_, &boardA_, nullptr, 10, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(SetDevices, the_enumerator_name_is_a_text_whose_size_counts_the_nul) {
    DWORD type = 0xDEADBEEF;
    DWORD required = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &boardA_, SPDRP_ENUMERATOR_NAME, &type, nullptr, 0,
                                                   &required));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(required, 4u);

    BYTE small[3] = {0xCC, 0xCC, 0xCC};
    required = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &boardA_, SPDRP_ENUMERATOR_NAME, nullptr, small, 3,
                                                   &required));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, 4u);

    BYTE buffer[16];
    std::memset(buffer, 0xCC, sizeof buffer);
    type = 0;
    required = 0;
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set_, &boardA_, SPDRP_ENUMERATOR_NAME, &type, buffer,
                                                  sizeof buffer, &required));
    EXPECT_STREQ(reinterpret_cast<const char*>(buffer), "PCI");
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(required, 4u);

    SP_DEVINFO_DATA bridge = open(kHostBridgeId);
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set_, &bridge, SPDRP_ENUMERATOR_NAME, nullptr, buffer,
                                                  sizeof buffer, nullptr));
    EXPECT_STREQ(reinterpret_cast<const char*>(buffer), "ACPI");
}

TEST_F(SetDevices, the_address_is_a_dword_and_a_device_without_one_has_invalid_data) {
    SP_DEVINFO_DATA boardC = open(kBoardC);
    DWORD address = 0;
    DWORD type = 0;
    DWORD required = 0;
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(
        set_, &boardC, SPDRP_ADDRESS, &type, reinterpret_cast<BYTE*>(&address), sizeof address, &required));
    EXPECT_EQ(address, 0x00020005u);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(required, 4u);

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(
        SetupDiGetDeviceRegistryPropertyA(set_, &boardC, SPDRP_ADDRESS, nullptr, nullptr, 0, &required));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    SP_DEVINFO_DATA legacy = open(kLegacyId);
    address = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(
        set_, &legacy, SPDRP_ADDRESS, nullptr, reinterpret_cast<BYTE*>(&address), sizeof address, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
    EXPECT_EQ(address, 0xDEADBEEF);

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(
        set_, nullptr, SPDRP_ADDRESS, nullptr, reinterpret_cast<BYTE*>(&address), sizeof address, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(SetDevices, opening_a_device_adds_it_once_and_describes_it) {
    EXPECT_EQ(devicesOfSet(), (std::vector<std::string>{kBoardA, kBoardC}));
    SP_DEVINFO_DATA again = emptyDeviceInfo();
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(SetupDiOpenDeviceInfoA(
        set_, "pci\\ven_abcd&dev_1234&subsys_5678abcd&rev_01\\4&2a5e1b0&0&00e0", nullptr, 0, &again));
    EXPECT_EQ(again.DevInst, boardA_.DevInst);
    EXPECT_EQ(again.Reserved, boardA_.Reserved);

    SP_DEVINFO_DATA root = open("HTREE\\ROOT\\0");
    EXPECT_NE(root.DevInst, 0u);
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(SetupDiOpenDeviceInfoA(set_, kBoardB.c_str(), nullptr, DIOD_INHERIT_CLASSDRVS, nullptr));
    EXPECT_EQ(devicesOfSet(), (std::vector<std::string>{kBoardA, kBoardC, "HTREE\\ROOT\\0", kBoardB}));
}

TEST_F(SetDevices, a_device_structure_of_the_wrong_size_is_refused_but_the_device_still_joins) {
    SP_DEVINFO_DATA wrongSize = emptyDeviceInfo();
    wrongSize.cbSize = 28;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiOpenDeviceInfoA(set_, kLegacyId.c_str(), nullptr, 0, &wrongSize));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
    EXPECT_EQ(wrongSize.DevInst, 0u);
    EXPECT_EQ(devicesOfSet(), (std::vector<std::string>{kBoardA, kBoardC, kLegacyId}));
}

TEST_F(SetDevices, opening_an_unknown_or_malformed_id_fails_with_the_setupapi_codes) {
    const std::pair<const char*, DWORD> cases[] = {
        {"PCI\\VEN_FFFF&DEV_FFFF\\0", ERROR_NO_SUCH_DEVINST},
        {"ROOT\\ACPI_HAL", ERROR_INVALID_DEVINST_NAME},
        {"", ERROR_INVALID_DEVINST_NAME},
        {"ROOT\\ACPI HAL\\0000", ERROR_INVALID_DEVINST_NAME},
    };
    for (const auto& [id, error] : cases) {
        SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(SetupDiOpenDeviceInfoA(set_, id, nullptr, 0, &deviceInfo)) << id;
        EXPECT_EQ(GetLastError(), error) << id;
        EXPECT_EQ(deviceInfo.DevInst, 0u) << id;
    }
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiOpenDeviceInfoA(set_, nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiOpenDeviceInfoA(nullptr, kBoardA.c_str(), nullptr, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiOpenDeviceInfoA(set_, kBoardA.c_str(), nullptr, 1, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
    EXPECT_EQ(devicesOfSet(), (std::vector<std::string>{kBoardA, kBoardC}));
}

TEST_F(SetDevices, device_enumeration_checks_its_structure_and_stops_with_no_more_items) {
    SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
    deviceInfo.cbSize = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set_, 0, &deviceInfo));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
    deviceInfo.cbSize = sizeof deviceInfo;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set_, 2, &deviceInfo));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
}
