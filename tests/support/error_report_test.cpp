#include "support/errorException.h"
#include "support/errorReport.h"

#include <gtest/gtest.h>

#include <string>

using qverr::Status;

TEST(ErrorReport, a_report_writes_the_standard_members_in_order) {
    Status status;
    qverr::reportError(status, -52008, "nQVOSALS100::tStatus::kOSFault", "support/lock.cpp", 42);
    EXPECT_STREQ(status.payload,
                 R"({"error_constant":"nQVOSALS100::tStatus::kOSFault","file":"support/lock.cpp",)"
                 R"("line":42,"component":"qvkelpsysapiexpertu"})");
    Status bare;
    qverr::reportError(bare, -52005, nullptr, "a.cpp", -1, nullptr);
    EXPECT_STREQ(bare.payload, R"({"file":"a.cpp","line":-1})");
}

TEST(ErrorReport, a_report_replaces_a_warning_and_its_payload_but_leaves_an_error_alone) {
    Status status;
    qverr::reportError(status, 52011, "pending", "first.cpp", 1);
    qverr::reportError(status, -52008, nullptr, "second.cpp", 2);
    EXPECT_EQ(status.code, -52008);
    EXPECT_STREQ(status.payload, R"({"file":"second.cpp","line":2,"component":"qvkelpsysapiexpertu"})");

    const std::string before(status.payload, status.capacity);
    EXPECT_TRUE(qverr::reportError(status, -52005, "x", "third.cpp", 3).isEmpty());
    EXPECT_EQ(status.code, -52008);
    EXPECT_EQ(std::string(status.payload, status.capacity), before);
}

TEST(ErrorReport, a_win32_error_carries_its_system_message) {
    Status status;
    qverr::PayloadCursor cursor = qverr::reportError(status, -52008, nullptr, "f.cpp", 7, nullptr);
    qverr::addWin32Error(cursor, ERROR_LOCK_VIOLATION).addString("after", "x");
    EXPECT_STREQ(status.payload,
                 R"({"file":"f.cpp","line":7,"internal_error":{"api":"win32","code":33,"string":)"
                 R"("The process cannot access the file because another process has locked a )"
                 R"(portion of the file.\r\n"},"after":"x"})");
}

TEST(ErrorReport, an_error_without_system_text_has_no_string_and_an_hresult_prints_signed) {
    Status setupApi;
    qverr::PayloadCursor cursor = qverr::reportError(setupApi, -52006, nullptr, "f.cpp", 1, nullptr);
    SetLastError(0xDEADBEEF);
    qverr::addWin32Error(cursor, ERROR_KEY_DOES_NOT_EXIST);
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu) << "the failed text lookup leaves the last error alone";
    EXPECT_STREQ(setupApi.payload,
                 R"({"file":"f.cpp","line":1,"internal_error":{"api":"win32","code":3758096900}})");

    Status shell;
    qverr::PayloadCursor shellCursor = qverr::reportError(shell, -52006, nullptr, "f.cpp", 1, nullptr);
    qverr::addHResultError(shellCursor, E_FAIL);
    EXPECT_STREQ(shell.payload,
                 R"({"file":"f.cpp","line":1,"internal_error":{"api":"hresult","code":-2147467259}})");
}

TEST(ErrorReport, a_thrown_report_carries_its_code_and_payload) {
    try {
        qverr::throwError(-52005, nullptr, "json.cpp", 9);
        FAIL() << "nothing thrown";
    } catch (const qverr::Exception& e) {
        EXPECT_EQ(e.code(), -52005);
        EXPECT_STREQ(e.what(), R"({"file":"json.cpp","line":9,"component":"qvkelpsysapiexpertu"})");
    }
}
