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

    std::string companyFolderFor(const std::u16string& commonAppData, qverr::Status& status,
                                 UINT ansiCodePage = 1252) {
        machine_.commonAppData = commonAppData;
        machine_.ansiCodePage = ansiCodePage;
        sim::installMachine(machine_);
        std::string path = "left over";
        stdpath::getCompanyDataFolder(path, status);
        return path;
    }

    sim::Machine machine_;
    qverr::Status status_;
};

} // namespace

// The path is for the A functions and fopen, which read the ANSI code page: converted whole, so that
// a double-byte character ending in 0x5C keeps its second byte, and refused where the page lacks a
// character, which those functions would otherwise take for another.
TEST_F(StandardPathsTest, the_company_folder_follows_one_backslash_in_the_ansi_code_page) {
    struct Row {
        std::u16string commonAppData;
        UINT codePage;
        const char* path; // null: the folder cannot be named in the page
    };
    const Row rows[] = {
        {u"C:\\ProgramData", 1252, "C:\\ProgramData\\Quorvel"},
        {u" D:\\Shared Data \\\\ ", 1252, "D:\\Shared Data\\Quorvel"},
        {u"C:\\Donn\u00E9es", 1252, "C:\\Donn\xE9" "es\\Quorvel"},
        {u"C:\\\u30BD", 932, "C:\\\x83\x5C\\Quorvel"}, // katakana so: 83 5C
        {u"C:\\\u6570", 1252, nullptr},
        {u"C:\\\U0001F600", 932, nullptr},
        {u"C:\\\xD83Dx", 1252, nullptr}, // a surrogate without its partner
    };
    for (const Row& row : rows) {
        qverr::Status status;
        const std::string path = companyFolderFor(row.commonAppData, status, row.codePage);
        EXPECT_EQ(path, row.path != nullptr ? row.path : "\\Quorvel");
        EXPECT_EQ(status.code, row.path != nullptr ? 0 : -52006);
    }
}

TEST_F(StandardPathsTest, a_failing_shell_leaves_resource_not_found_with_its_hresult_and_a_bare_suffix) {
    machine_.addFault({"SHGetFolderPathW", static_cast<DWORD>(E_FAIL), std::nullopt, 0, std::nullopt});
    EXPECT_EQ(companyFolderFor(u"C:\\ProgramData", status_), "\\Quorvel");
    EXPECT_EQ(status_.code, -52006);
    ASSERT_NE(status_.payload, nullptr);
    EXPECT_EQ(
        std::regex_replace(status_.payload, std::regex("\"line\":[0-9]+,"), "\"line\":L,"),
        "{\"error_constant\":\"osalStatusResourceNotFound\",\"file\":\"support/stdpath.cpp\",\"line\":L,"
        "\"component\":\"qvkelpsysapiexpertu\",\"internal_error\":{\"api\":\"hresult\",\"code\":-2147467259},"
        "\"qvsysq_debug\":{\"desc\":\"SHGetFolderPathW failed\"}}");
}
