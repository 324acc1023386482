// SHGetFolderPathW: the common application-data folder of the machine.
#include "sim_fixture.h"

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

constexpr int kCsidlAppData = 0x001A;
constexpr int kCsidlFlagCreate = 0x8000;

// Calls the shell with a buffer full of 'x', so that what the call writes shows.
HRESULT folderPath(int csidl, std::u16string* path) {
    WCHAR buffer[MAX_PATH];
    std::fill(std::begin(buffer), std::end(buffer), u'x');
    const HRESULT result = SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
    const auto end = std::find(std::begin(buffer), std::end(buffer), u'\0');
    *path = end == std::end(buffer) ? u"<not terminated>" : std::u16string(buffer, end);
    return result;
}

TEST(CommonAppDataFolder, the_empty_machine_has_C_ProgramData_whatever_the_folder_flags) {
    simtest::ScopedMachineVariable noMachine(std::nullopt);
    std::u16string path;
    EXPECT_EQ(S_OK, folderPath(CSIDL_COMMON_APPDATA, &path));
    EXPECT_EQ(u"C:\\ProgramData", path);
    EXPECT_EQ(S_OK, folderPath(CSIDL_COMMON_APPDATA | kCsidlFlagCreate, &path));
    EXPECT_EQ(u"C:\\ProgramData", path);
}

TEST(CommonAppDataFolder, the_machine_folder_comes_without_its_trailing_backslash_as_utf16) {
    sim::Machine described;
    described.commonAppData = u"D:\\Donn\u00E9es \U0001F4C1\\";
    simtest::ScopedMachine machine(described);
    std::u16string path;
    EXPECT_EQ(S_OK, folderPath(CSIDL_COMMON_APPDATA, &path));
    EXPECT_EQ(u"D:\\Donn\u00E9es \U0001F4C1", path);
}

TEST(CommonAppDataFolder, another_folder_and_an_injected_failure_leave_an_empty_buffer) {
    std::u16string path;
    EXPECT_EQ(E_INVALIDARG, folderPath(kCsidlAppData, &path));
    EXPECT_EQ(u"", path);

    sim::Machine described;
    described.addFault(
        {"SHGetFolderPathW", static_cast<DWORD>(E_ACCESSDENIED), std::nullopt, 0, std::nullopt});
    simtest::ScopedMachine machine(described);
    EXPECT_EQ(E_ACCESSDENIED, folderPath(CSIDL_COMMON_APPDATA, &path));
    EXPECT_EQ(u"", path);
}

} // namespace
