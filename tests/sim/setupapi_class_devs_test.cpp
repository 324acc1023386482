// SetupDiGetClassDevsA, SetupDiCreateDeviceInfoList, SetupDiEnumDeviceInterfaces,
// SetupDiEnumDeviceInfo and SetupDiDestroyDeviceInfoList, call by call.
#include "board_machine.h"

#include <cctype>

using namespace simtest;

namespace {

constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
constexpr DWORD kOneDeviceInterfaces = DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_DEVICEINTERFACE;

class ClassDevs : public BoardMachineTest {};

} // namespace

TEST_F(ClassDevs, a_class_set_lists_the_present_interfaces_of_that_class_in_description_order) {
    SetLastError(0xDEADBEEF);
    ScopedSet set(SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, kPresentInterfaces));
    ASSERT_NE(set.get(), INVALID_HANDLE_VALUE);
    ASSERT_NE(set.get(), nullptr);

    SP_DEVICE_INTERFACE_DATA data = emptyInterfaceData();
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kBoardClass, 0, &data));
    EXPECT_EQ(data.cbSize, sizeof data);
    EXPECT_EQ(data.InterfaceClassGuid, kBoardClass);
    EXPECT_EQ(data.Flags, SPINT_ACTIVE);
    EXPECT_NE(data.Reserved, 0u);

    EXPECT_EQ(interfaceOwner(set.get(), kBoardClass, 0), kBoardA);
    EXPECT_EQ(interfaceOwner(set.get(), kBoardClass, 1), kBoardC);

    SP_DEVICE_INTERFACE_DATA past = emptyInterfaceData();
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kBoardClass, 2, &past));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(past.Reserved, 0u);
}

TEST_F(ClassDevs, without_DIGCF_PRESENT_the_interfaces_of_absent_devices_are_listed_as_inactive) {
    ScopedSet set(SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_DEVICEINTERFACE));
    ASSERT_NE(set.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(interfaceOwner(set.get(), kBoardClass, 0), kBoardA);
    EXPECT_EQ(interfaceOwner(set.get(), kBoardClass, 1), kBoardB);
    EXPECT_EQ(interfaceOwner(set.get(), kBoardClass, 2), kBoardC);

    SP_DEVICE_INTERFACE_DATA data = emptyInterfaceData();
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kBoardClass, 1, &data));
    EXPECT_EQ(data.Flags, 0u);
}

TEST_F(ClassDevs, an_instance_id_as_enumerator_restricts_the_set_to_that_device_in_any_case) {
    std::string lowered = kBoardA;
    for (char& c : lowered) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    SetLastError(0xDEADBEEF);
    ScopedSet set(SetupDiGetClassDevsA(&kBoardClass, lowered.c_str(), nullptr, kOneDeviceInterfaces));
    ASSERT_NE(set.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(interfaceOwner(set.get(), kBoardClass, 0), kBoardA);
    EXPECT_EQ(interfaceOwner(set.get(), kBoardClass, 1), "(error 259)");
    // DIGCF_ALLCLASSES takes every interface of the device; enumeration picks one class.
    EXPECT_EQ(interfaceOwner(set.get(), kRegisterClass, 0), kBoardA);
    EXPECT_EQ(interfaceOwner(set.get(), kRoutingClass, 0), "(error 259)");
}

TEST_F(ClassDevs, a_device_without_matching_interfaces_or_not_present_gives_an_empty_set) {
    const std::pair<std::string, DWORD> cases[] = {
        {kLegacyId, kOneDeviceInterfaces},
        {kBoardC, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE},    // no register interface
        {kBoardB, kOneDeviceInterfaces},                     // not present
        {"PCI\\VEN_FFFF&DEV_FFFF\\0", kOneDeviceInterfaces}, // well formed, no such device
    };
    for (const auto& [enumerator, flags] : cases) {
        const GUID& interfaceClass = enumerator == kBoardC ? kRegisterClass : kBoardClass;
        SetLastError(0xDEADBEEF);
        ScopedSet set(SetupDiGetClassDevsA(&interfaceClass, enumerator.c_str(), nullptr, flags));
        ASSERT_NE(set.get(), INVALID_HANDLE_VALUE) << enumerator;
        SP_DEVICE_INTERFACE_DATA data = emptyInterfaceData();
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set.get(), nullptr, &interfaceClass, 0, &data))
            << enumerator;
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS) << enumerator;
    }
}

TEST_F(ClassDevs, a_created_list_is_an_empty_set_through_which_no_interface_key_opens) {
    SetLastError(0xDEADBEEF);
    ScopedSet set(SetupDiCreateDeviceInfoList(&kBoardClass, nullptr));
    ASSERT_NE(set.get(), INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data = emptyInterfaceData();
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kBoardClass, 0, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetupDiOpenDeviceInterfaceRegKey(set.get(), &data, 0, KEY_READ),
              reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ClassDevs, an_enumerator_that_is_not_an_existing_instance_id_fails_with_invalid_data) {
    for (const char* enumerator : {"ROOT", "ROOT\\ACPI_HAL", "PCI", "ROOT\\ACPI_HAL\\0000\\X", "\\\\"}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(SetupDiGetClassDevsA(&kBoardClass, enumerator, nullptr, kOneDeviceInterfaces),
                  INVALID_HANDLE_VALUE)
            << enumerator;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA) << enumerator;
    }
}

TEST_F(ClassDevs, a_null_class_needs_DIGCF_ALLCLASSES) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, kPresentInterfaces), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    ScopedSet set(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, kOneDeviceInterfaces));
    ASSERT_NE(set.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(interfaceOwner(set.get(), kRegisterClass, 0), kBoardA);
    EXPECT_EQ(interfaceOwner(set.get(), kBoardClass, 1), kBoardC);
}

TEST_F(ClassDevs, an_empty_enumerator_text_selects_no_device) {
    for (const DWORD flags : {kOneDeviceInterfaces, DWORD{DIGCF_ALLCLASSES | DIGCF_PRESENT}}) {
        ScopedSet set(SetupDiGetClassDevsA(&kBoardClass, "", nullptr, flags));
        ASSERT_NE(set.get(), INVALID_HANDLE_VALUE) << flags;
        SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(SetupDiEnumDeviceInfo(set.get(), 0, &deviceInfo)) << flags;
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS) << flags;
    }
}

TEST_F(ClassDevs, a_device_set_by_enumerator_name_holds_the_devices_of_that_enumerator) {
    ScopedSet set(SetupDiGetClassDevsA(nullptr, "pci", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
    ASSERT_NE(set.get(), INVALID_HANDLE_VALUE);
    std::vector<std::string> ids;
    SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set.get(), index, &deviceInfo); ++index) {
        ids.push_back(instanceIdOf(set.get(), &deviceInfo));
    }
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(ids, (std::vector<std::string>{kRootPortId, kBoardA, kBoardC}));

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetupDiGetClassDevsA(nullptr, kBoardA.c_str(), nullptr, DIGCF_ALLCLASSES),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
}

TEST_F(ClassDevs, enumeration_checks_its_structure_and_class_and_an_optional_device) {
    ScopedSet set(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_DEVICEINTERFACE));
    SP_DEVICE_INTERFACE_DATA data = emptyInterfaceData();

    data.cbSize = sizeof data - 4;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kBoardClass, 0, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
    EXPECT_EQ(data.Reserved, 0u);

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kBoardClass, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);

    data.cbSize = sizeof data;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set.get(), nullptr, nullptr, 0, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    SP_DEVINFO_DATA zeroed = emptyDeviceInfo();
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set.get(), &zeroed, &kBoardClass, 0, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    // With a device the index runs over that device's interfaces only.
    SP_DEVINFO_DATA boardC = emptyDeviceInfo();
    ASSERT_TRUE(SetupDiOpenDeviceInfoA(set.get(), kBoardC.c_str(), nullptr, 0, &boardC));
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(SetupDiEnumDeviceInterfaces(set.get(), &boardC, &kBoardClass, 0, &data));
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set.get(), &boardC, &kBoardClass, 1, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
}

TEST_F(ClassDevs, a_destroyed_null_or_made_up_set_is_an_invalid_handle) {
    HDEVINFO set = SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, kPresentInterfaces);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));

    SP_DEVICE_INTERFACE_DATA data = emptyInterfaceData();
    SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
    for (HDEVINFO invalid : {set, static_cast<HDEVINFO>(nullptr), INVALID_HANDLE_VALUE,
                             reinterpret_cast<HDEVINFO>(static_cast<std::uintptr_t>(0x1234))}) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(SetupDiDestroyDeviceInfoList(invalid));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(SetupDiEnumDeviceInterfaces(invalid, nullptr, &kBoardClass, 0, &data));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(SetupDiEnumDeviceInfo(invalid, 0, &deviceInfo));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
}

TEST(ClassDevsOnEmptyMachine, an_empty_machine_gives_an_empty_set_and_not_a_failure) {
    ScopedMachineVariable noMachine(std::nullopt);
    SetLastError(0xDEADBEEF);
    ScopedSet set(SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, kPresentInterfaces));
    ASSERT_NE(set.get(), INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data = emptyInterfaceData();
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kBoardClass, 0, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
}
