#include "platform/sim/machine.h"
#include "support/error_exception.h"
#include "support/stdpath.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

class StandardPathsTest : public ::testing::Test {
protected:
    void TearDown() override { sim::uninstallMachine(); }

    // The company folder for a machine whose common application-data folder is
    // `commonAppData`.
    std::string companyFolderFor(const std::u16string& commonAppData) {
        machine_.commonAppData = commonAppData;
        sim::installMachine(machine_);
        std::string path = "left over";
        stdpath::getCompanyDataFolder(path, status_);
        EXPECT_EQ(status_.code, 0);
        return path;
    }

    sim::Machine machine_;
    qverr::Status status_;
};

} // namespace

TEST_F(StandardPathsTest, the_company_folder_follows_the_common_application_data_folder_after_one_backslash) {
    EXPECT_EQ(companyFolderFor(u"C:\\ProgramData"), "C:\\ProgramData\\Quorvel");
    EXPECT_EQ(companyFolderFor(u"C:\\ProgramData\\"), "C:\\ProgramData\\Quorvel");
    EXPECT_EQ(companyFolderFor(u"  D:\\Shared Data \\\\ "), "D:\\Shared Data\\Quorvel");
}

TEST_F(StandardPathsTest, a_folder_name_outside_ascii_comes_back_as_utf8) {
    EXPECT_EQ(companyFolderFor(u"C:\\Donn\u00E9es\\\u6570\u636E"), "C:\\Donn\xC3\xA9"
                                                                   "es\\\xE6\x95\xB0\xE6\x8D\xAE\\Quorvel");
    EXPECT_EQ(companyFolderFor(u"C:\\\U0001F600"), "C:\\\xF0\x9F\x98\x80\\Quorvel");
}

TEST_F(StandardPathsTest, a_lone_surrogate_keeps_the_character_after_it) {
    EXPECT_EQ(companyFolderFor(u"C:\\\xD83Dx"), "C:\\\xED\xA0\xBDx\\Quorvel");
}

TEST_F(StandardPathsTest, the_shell_answer_arrives_in_a_zero_filled_buffer_of_max_path_characters) {
    sim::installMachine(machine_);
    std::basic_string<WCHAR> widePath(3, u'x');
    stdpath::getFolderPath(CSIDL_COMMON_APPDATA, widePath, status_);
    ASSERT_EQ(widePath.size(), 260u);
    EXPECT_EQ(widePath.substr(0, 14), u"C:\\ProgramData");
    EXPECT_EQ(widePath.find_first_not_of(u'\0', 14), std::u16string::npos);
}

TEST_F(StandardPathsTest, a_failing_shell_leaves_resource_not_found_with_its_hresult_and_a_bare_suffix) {
    machine_.addFault({"SHGetFolderPathW", static_cast<DWORD>(E_FAIL), std::nullopt, 0, std::nullopt});
    sim::installMachine(machine_);
    std::string path;
    stdpath::getCompanyDataFolder(path, status_);
    EXPECT_EQ(path, "\\Quorvel");
    EXPECT_EQ(status_.code, -52006);
    ASSERT_NE(status_.payload, nullptr);
    const std::string payload =
        std::regex_replace(status_.payload, std::regex("\"line\":[0-9]+,"), "\"line\":L,");
    EXPECT_EQ(payload, "{\"error_constant\":\"osalStatusResourceNotFound\","
                       "\"file\":\"support/stdpath.cpp\",\"line\":L,"
                       "\"component\":\"qvkelpsysapiexpertu\",\"internal_error\":"
                       "{\"api\":\"hresult\","
                       "\"code\":-2147467259},\"qvsysq_debug\":{\"desc\":"
                       "\"SHGetFolderPathW failed\"}}");
}

TEST_F(StandardPathsTest, a_status_that_already_failed_keeps_its_error_and_the_shell_is_not_asked) {
    sim::installMachine(machine_);
    status_.setCode(-52005);
    std::basic_string<WCHAR> widePath(3, u'x');
    stdpath::getFolderPath(CSIDL_COMMON_APPDATA, widePath, status_);
    EXPECT_EQ(widePath, u"xxx");
    EXPECT_EQ(status_.code, -52005);
}
