// SetupDiGetDeviceInterfaceDetailA: the size protocol, the structure checks and the device
// information it hands back with the path.
#include "board_machine.h"

#include <cstddef>
#include <vector>

using namespace simtest;

namespace {

class InterfaceDetail : public BoardMachineTest {
protected:
    void SetUp() override {
        BoardMachineTest::SetUp();
        set_ = SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        ASSERT_NE(set_, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set_, nullptr, &kBoardClass, 0, &boardA_));
    }
    void TearDown() override {
        SetupDiDestroyDeviceInfoList(set_);
        BoardMachineTest::TearDown();
    }

    static DWORD requiredFor(const std::string& path) {
        return static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    }

    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    SP_DEVICE_INTERFACE_DATA boardA_ = emptyInterfaceData();
};

std::vector<std::uint8_t> detailBuffer(DWORD size) {
    std::vector<std::uint8_t> buffer(size, 0xCC);
    reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data())->cbSize =
        sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    return buffer;
}

} // namespace

TEST_F(InterfaceDetail,
       a_size_query_fails_with_insufficient_buffer_but_reports_the_size_and_fills_the_device) {
    DWORD required = 0xDEADBEEF;
    SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set_, &boardA_, nullptr, 0, &required, &deviceInfo));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, requiredFor(kBoardAPath));
    EXPECT_EQ(deviceInfo.cbSize, sizeof deviceInfo);
    EXPECT_NE(deviceInfo.DevInst, 0u);
    EXPECT_NE(deviceInfo.Reserved, 0u);
    EXPECT_EQ(instanceIdOf(set_, &deviceInfo), kBoardA);
}

TEST_F(InterfaceDetail, the_exact_size_receives_the_windows_like_default_path) {
    std::vector<std::uint8_t> buffer = detailBuffer(requiredFor(kBoardAPath));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    DWORD required = 0;
    SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailA(set_, &boardA_, detail, static_cast<DWORD>(buffer.size()),
                                                 &required, &deviceInfo));
    EXPECT_EQ(std::string(detail->DevicePath), kBoardAPath);
    EXPECT_EQ(required, buffer.size());
    EXPECT_EQ(detail->cbSize, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
    EXPECT_EQ(instanceIdOf(set_, &deviceInfo), kBoardA);
}

// Windows keeps instance IDs in upper case and makes each interface's path of the ID, the class and
// the reference string, which tells apart two interfaces of one class on one device.
TEST_F(InterfaceDetail, paths_come_of_the_id_the_class_and_the_reference_string_and_ids_read_in_upper_case) {
    sim::Machine machine;
    sim::Device& board = machine.addDevice("root\\kelp\\0000");
    board.addInterface(kBoardClass);
    board.addInterface(kBoardClass, "Second");
    sim::installMachine(machine);
    const HDEVINFO set = SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    std::vector<std::string> paths;
    SP_DEVICE_INTERFACE_DATA data = emptyInterfaceData();
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &kBoardClass, index, &data); ++index) {
        std::vector<std::uint8_t> buffer = detailBuffer(256);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
        ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, 256, nullptr, &deviceInfo));
        paths.emplace_back(detail->DevicePath);
        EXPECT_EQ(instanceIdOf(set, &deviceInfo), "ROOT\\KELP\\0000");
    }
    SetupDiDestroyDeviceInfoList(set);
    EXPECT_EQ(paths, (std::vector<std::string>{"\\\\?\\root#kelp#0000#{7729c356-96d6-4fab-8d01-9266fb3d1bd7}",
                                               "\\\\?\\root#kelp#0000#{7729c356-96d6-4fab-8d01-9266fb3d1bd7}\\second"}));
}

TEST_F(InterfaceDetail, one_byte_too_few_fails_with_insufficient_buffer_and_the_size) {
    std::vector<std::uint8_t> buffer = detailBuffer(requiredFor(kBoardAPath) - 1);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    DWORD required = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set_, &boardA_, detail, static_cast<DWORD>(buffer.size()),
                                                  &required, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, requiredFor(kBoardAPath));
}

TEST_F(InterfaceDetail, a_wrong_detail_size_field_fails_with_invalid_user_buffer_and_reports_no_size) {
    for (const DWORD cbSize : {0u, 5u, 6u, 7u, 9u, 256u}) {
        std::vector<std::uint8_t> buffer = detailBuffer(256);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        detail->cbSize = cbSize;
        DWORD required = 0xDEADBEEF;
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set_, &boardA_, detail, 256, &required, nullptr))
            << cbSize;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER) << cbSize;
        EXPECT_EQ(required, 0xDEADBEEF) << cbSize;
    }
}

TEST_F(InterfaceDetail, a_null_detail_with_a_size_fails_with_invalid_user_buffer) {
    DWORD required = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set_, &boardA_, nullptr, 100, &required, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
    EXPECT_EQ(required, 0xDEADBEEF);
}

TEST_F(InterfaceDetail, a_device_structure_of_the_wrong_size_is_refused_before_anything_is_written) {
    SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
    deviceInfo.cbSize = 28;
    DWORD required = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set_, &boardA_, nullptr, 0, &required, &deviceInfo));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
    EXPECT_EQ(required, 0xDEADBEEF);
    EXPECT_EQ(deviceInfo.DevInst, 0u);
}

TEST_F(InterfaceDetail, interface_data_that_names_no_interface_of_the_set_is_an_invalid_parameter) {
    SP_DEVICE_INTERFACE_DATA zeroed = emptyInterfaceData();
    SP_DEVICE_INTERFACE_DATA wrongSize = boardA_;
    wrongSize.cbSize = 28;
    SP_DEVICE_INTERFACE_DATA fromOtherSet = emptyInterfaceData();
    ScopedSet other(
        SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(other.get(), nullptr, &kBoardClass, 0, &fromOtherSet));

    for (SP_DEVICE_INTERFACE_DATA* data :
         {static_cast<SP_DEVICE_INTERFACE_DATA*>(nullptr), &zeroed, &wrongSize, &fromOtherSet}) {
        DWORD required = 0xDEADBEEF;
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set_, data, nullptr, 0, &required, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(required, 0xDEADBEEF);
    }
}

TEST_F(InterfaceDetail, a_null_set_is_an_invalid_handle) {
    DWORD required = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(nullptr, &boardA_, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(required, 0xDEADBEEF);
}
