// SHGetFolderPathW: the common application-data folder of the machine.
#include "scratch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using simtest::ScopedMachine;
using simtest::ScratchFolder;

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

TEST(CommonAppDataFolder, the_empty_machine_has_C_ProgramData) {
    ScopedMachine machine{simtest::NoMachine{}};
    std::u16string path;
    EXPECT_EQ(S_OK, folderPath(CSIDL_COMMON_APPDATA, &path));
    EXPECT_EQ(u"C:\\ProgramData", path);
    EXPECT_EQ(S_OK, folderPath(CSIDL_COMMON_APPDATA | kCsidlFlagCreate, &path));
    EXPECT_EQ(u"C:\\ProgramData", path);
}

TEST(CommonAppDataFolder, the_machine_folder_is_reported_without_a_trailing_backslash) {
    ScratchFolder folder;
    ScopedMachine machine(folder, R"({ "commonAppData": "D:\\Shared Data\\" })");
    std::u16string path;
    EXPECT_EQ(S_OK, folderPath(CSIDL_COMMON_APPDATA, &path));
    EXPECT_EQ(u"D:\\Shared Data", path);
}

TEST(CommonAppDataFolder, a_folder_name_outside_ascii_arrives_as_utf16) {
    ScratchFolder folder;
    ScopedMachine machine(folder, "{ \"commonAppData\": \"C:\\\\Donn\xC3\xA9"
                                  "es\\\\\xF0\x9F\x93\x81\" }");
    std::u16string path;
    EXPECT_EQ(S_OK, folderPath(CSIDL_COMMON_APPDATA, &path));
    EXPECT_EQ(u"C:\\Donn\u00E9es\\\U0001F4C1", path);
}

TEST(CommonAppDataFolder, another_folder_is_refused_with_an_empty_buffer) {
    std::u16string path;
    EXPECT_EQ(E_INVALIDARG, folderPath(kCsidlAppData, &path));
    EXPECT_EQ(u"", path);
    EXPECT_EQ(E_INVALIDARG, SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, nullptr));
}

TEST(CommonAppDataFolder, an_injected_failure_returns_its_hresult_and_an_empty_buffer) {
    ScratchFolder folder;
    ScopedMachine machine(folder, R"({ "faults": [ { "call": "SHGetFolderPathW", "error": 2147942405 } ] })");
    std::u16string path;
    EXPECT_EQ(E_ACCESSDENIED, folderPath(CSIDL_COMMON_APPDATA, &path));
    EXPECT_EQ(u"", path);
}

} // namespace
