// A description edited on disk is seen by the next call that opens a set; a set already open keeps
// the devices it was opened with.
#include "board_machine.h"

using namespace simtest;

namespace {

std::string descriptionWith(const std::string& boards) {
    return R"({ "devices": [ )" + boards + R"( ] })";
}

std::string board(const std::string& instance) {
    return R"({ "id": "PCI\\VEN_ABCD&DEV_1234\\)" + instance +
           R"(", "interfaces": [ { "class": "{7729C356-96D6-4FAB-8D01-9266FB3D1BD7}" } ] })";
}

std::vector<std::string> boardsOf(HDEVINFO set) {
    std::vector<std::string> ids;
    for (DWORD index = 0;; ++index) {
        const std::string owner = interfaceOwner(set, kBoardClass, index);
        if (owner == "(error 259)") {
            return ids;
        }
        ids.push_back(owner);
    }
}

} // namespace

TEST(DescriptionReload, a_description_changed_on_disk_is_seen_by_the_next_set_and_not_by_an_open_one) {
    TempFolder folder;
    const std::string path = folder.file("machine.json");
    writeFile(path, descriptionWith(board("1")));
    setModificationTime(path, 2000000);
    ScopedMachineVariable variable(path);

    ScopedSet before(
        SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    ASSERT_NE(before.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(boardsOf(before.get()), (std::vector<std::string>{"PCI\\VEN_ABCD&DEV_1234\\1"}));

    writeFile(path, descriptionWith(board("1") + ", " + board("2")));
    setModificationTime(path, 2000001);
    ScopedSet after(
        SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    EXPECT_EQ(boardsOf(after.get()),
              (std::vector<std::string>{"PCI\\VEN_ABCD&DEV_1234\\1", "PCI\\VEN_ABCD&DEV_1234\\2"}));

    writeFile(path, descriptionWith(""));
    setModificationTime(path, 2000002);
    EXPECT_EQ(boardsOf(before.get()), (std::vector<std::string>{"PCI\\VEN_ABCD&DEV_1234\\1"}));
    SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(SetupDiOpenDeviceInfoA(after.get(), "PCI\\VEN_ABCD&DEV_1234\\2", nullptr, 0, &deviceInfo));
    ScopedSet emptied(
        SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    EXPECT_TRUE(boardsOf(emptied.get()).empty());
}

TEST(DescriptionReload, the_example_description_loads_with_its_two_boards_in_order) {
    ScopedMachineVariable variable(examplePath("tests/two-boards.json"));
    ScopedSet set(
        SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    EXPECT_EQ(boardsOf(set.get()),
              (std::vector<std::string>{"PCI\\VEN_ABCD&DEV_1234&SUBSYS_5678ABCD&REV_01\\4&2A5E1B0&0&00E0",
                                        "PCI\\VEN_ABCD&DEV_1235&SUBSYS_5679ABCD&REV_02\\4&1F0C3D2&0&00E8"}));
}
