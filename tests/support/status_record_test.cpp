#include "support/status.h"
#include "support/statusCodes.h"
#include "support/statusToHResult.h"

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

TEST(StatusRecord, win32_errors_translate_by_the_table) {
    const std::pair<std::uint32_t, std::int32_t> cases[] = {
        {0, 0},           {997, 52011},     {8, -52000},      {1450, -52000},        {50, -52002},
        {1, -52002},      {31, -52003},     {1117, -52003},   {87, -52005},          {2, -52006},
        {0xE0000204u, -52006}, {121, -52007}, {258, -52007},  {1359, -52008},        {5, -52009},
        {21, -52010},     {38, -52012},     {183, -52013},    {122, -52019},         {1617, -52020},
        {639, -52021},    {6, -52003},      {13, -52003},
    };
    for (const auto& [win32Error, code] : cases) {
        tStatus status;
        nQVOSALS100::setStatusFromWin32Error(win32Error, &status, "f.cpp", 7);
        EXPECT_EQ(status.code, code) << "Win32 error " << win32Error;
    }
}

TEST(StatusRecord, a_short_record_receives_codes_but_no_diagnostics) {
    tStatus status;
    status.structSize = 8;
    nQVOSALS100::setStatusFromWin32Error(6, &status, "f.cpp", 7);
    EXPECT_EQ(status.code, -52003);
    EXPECT_STREQ(status.component, "");
    EXPECT_EQ(status.line, 0u);
}

TEST(StatusTable, codes_map_to_host_results) {
    using nQVOSALS100::statusToHResult;
    EXPECT_EQ(statusToHResult(0), S_OK);
    EXPECT_EQ(statusToHResult(1), S_FALSE);
    EXPECT_EQ(statusToHResult(-52000), E_OUTOFMEMORY);
    EXPECT_EQ(statusToHResult(-52002), E_NOTIMPL);
    EXPECT_EQ(statusToHResult(-52003), E_UNEXPECTED);
    EXPECT_EQ(statusToHResult(-52005), E_INVALIDARG);
    EXPECT_EQ(statusToHResult(-52007), HW_E_TIMEOUT);
    EXPECT_EQ(statusToHResult(-52026), HW_E_FILE_ACCESS_DENIED);
    EXPECT_EQ(statusToHResult(-1074097898), HW_E_CAL_PASSWORD_INVALID);
    EXPECT_EQ(statusToHResult(-52006), E_FAIL);
    EXPECT_EQ(statusToHResult(-1), E_FAIL);
}
