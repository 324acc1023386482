#include "platform/sim/device/machine.h"
#include "support/errorStatus.h"
#include "support/stdpath.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

class StandardPathsTest : public ::testing::Test {
protected:
    void TearDown() override { sim::uninstallMachine(); }

    std::string companyFolderFor(const std::u16string& commonAppData) {
        machine_.commonAppData = commonAppData;
        sim::installMachine(machine_);
        std::string path = "left over";
        stdpath::getCompanyDataFolder(path, status_);
        return path;
    }

    sim::Machine machine_;
    qverr::Status status_;
};

} // namespace

TEST_F(StandardPathsTest, the_company_folder_follows_one_backslash_and_comes_back_as_utf8) {
    EXPECT_EQ(companyFolderFor(u"C:\\ProgramData"), "C:\\ProgramData\\Quorvel");
    EXPECT_EQ(companyFolderFor(u" D:\\Shared Data \\\\ "), "D:\\Shared Data\\Quorvel");
    EXPECT_EQ(companyFolderFor(u"C:\\Donn\u00E9es\\\u6570"), "C:\\Donn\xC3\xA9"
                                                             "es\\\xE6\x95\xB0\\Quorvel");
    EXPECT_EQ(companyFolderFor(u"C:\\\U0001F600"), "C:\\\xF0\x9F\x98\x80\\Quorvel");
    // A surrogate without its partner neither swallows the next character nor reads past the end.
    EXPECT_EQ(companyFolderFor(u"C:\\\xD83Dx"), "C:\\\xED\xA0\xBDx\\Quorvel");
    EXPECT_EQ(status_.code, 0);
}

TEST_F(StandardPathsTest, a_failing_shell_leaves_resource_not_found_with_its_hresult_and_a_bare_suffix) {
    machine_.addFault({"SHGetFolderPathW", static_cast<DWORD>(E_FAIL), std::nullopt, 0, std::nullopt});
    EXPECT_EQ(companyFolderFor(u"C:\\ProgramData"), "\\Quorvel");
    EXPECT_EQ(status_.code, -52006);
    ASSERT_NE(status_.payload, nullptr);
    EXPECT_EQ(
        std::regex_replace(status_.payload, std::regex("\"line\":[0-9]+,"), "\"line\":L,"),
        "{\"error_constant\":\"osalStatusResourceNotFound\",\"file\":\"support/stdpath.cpp\",\"line\":L,"
        "\"component\":\"qvkelpsysapiexpertu\",\"internal_error\":{\"api\":\"hresult\",\"code\":-2147467259},"
        "\"qvsysq_debug\":{\"desc\":\"SHGetFolderPathW failed\"}}");
}
