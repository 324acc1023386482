#include "support/status.h"
#include "support/statusCodes.h"

#include <gtest/gtest.h>

#include <string>

using nQVOSALS100::tStatus;

TEST(StatusRecord, the_first_error_wins_and_an_error_replaces_a_warning) {
    tStatus status;
    EXPECT_TRUE(status.setCode(52011, "qvkelpsysapiexpertu", "a.cpp", 1));
    EXPECT_TRUE(status.setCode(-52005, "qvkelpsysapiexpertu", "b.cpp", 2));
    EXPECT_FALSE(status.setCode(-52003, "qvkelpsysapiexpertu", "c.cpp", 3));
    EXPECT_FALSE(status.setCode(0, "qvkelpsysapiexpertu", "d.cpp", 4));
    EXPECT_EQ(status.code, -52005);
    EXPECT_STREQ(status.component, "qvkelpsys");
    EXPECT_STREQ(status.file, "b.cpp");
    EXPECT_EQ(status.line, 2u);
}

TEST(StatusRecord, a_long_file_name_keeps_both_ends) {
    const std::string name = std::string(60, 'a') + std::string(60, 'z');
    tStatus status;
    status.setCode(-1, "x", name.c_str(), 1);
    EXPECT_EQ(std::string(status.file), std::string(49, 'a') + ".." + std::string(49, 'z'));

    const std::string exact(100, 'q');
    tStatus second;
    second.setCode(-1, "x", exact.c_str(), 1);
    EXPECT_EQ(std::string(second.file), exact);
}

TEST(StatusRecord, a_short_record_receives_codes_but_no_diagnostics) {
    tStatus status;
    status.structSize = 8;
    nQVOSALS100::setStatusFromWin32Error(6, &status, "f.cpp", 7);
    EXPECT_EQ(status.code, -52003);
    EXPECT_STREQ(status.component, "");
    EXPECT_EQ(status.line, 0u);
}
