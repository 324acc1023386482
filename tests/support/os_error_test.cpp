// Exceptions for operating-system failures: OSException and WinError.
#include "support/OSException.h"

#include <gtest/gtest.h>

namespace {

using qv::brix::osdep::OSException;
using qv::brix::osdep::WinError;

WinError winErrorFor(DWORD error) {
    SetLastError(error);
    return WinError("where.cpp", 12);
}

TEST(OSException, without_a_message_says_unknown_error) {
    const OSException error;
    EXPECT_STREQ(error.what(), "Unknown error");
    EXPECT_EQ(error.getCode(), 42u);
    EXPECT_EQ(error.getOSError(), 0u);

    const OSException described("disk on fire", 31);
    EXPECT_STREQ(described.what(), "disk on fire");
    EXPECT_EQ(described.getOSError(), 31u);
}

TEST(WinError, takes_the_system_text_without_its_final_period) {
    const WinError error = winErrorFor(ERROR_ACCESS_DENIED);
    EXPECT_EQ(error.getOSError(), 5u);
    EXPECT_EQ(error.getCode(), 0x80070005u);
    EXPECT_STREQ(error.what(), "Access is denied");
    EXPECT_STREQ(error.getFile(), "where.cpp");
    EXPECT_EQ(error.getLine(), 12u);
}

TEST(WinError, keeps_unknown_error_when_the_system_has_no_text) {
    const WinError error = winErrorFor(0xE0000204u);
    EXPECT_STREQ(error.what(), "Unknown error");
    EXPECT_EQ(error.getCode(), 42u);
}

TEST(WinError, leaves_the_last_error_as_it_found_it) {
    SetLastError(ERROR_INVALID_PARAMETER);
    const WinError error;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_STREQ(error.what(), "The parameter is incorrect");
}

TEST(WinError, maps_win32_errors_to_the_module_codes) {
    const std::pair<DWORD, std::uint32_t> table[] = {{0, 0},
                                                     {2, 7},
                                                     {3, 7},
                                                     {15, 7},
                                                     {4, 11},
                                                     {6, 1},
                                                     {87, 1},
                                                     {8, 2},
                                                     {14, 2},
                                                     {11, 23},
                                                     {16, 8},
                                                     {19, 8},
                                                     {32, 8},
                                                     {33, 8},
                                                     {20, 37},
                                                     {23, static_cast<std::uint32_t>(-508)},
                                                     {38, 4},
                                                     {39, 9},
                                                     {80, static_cast<std::uint32_t>(-98)},
                                                     {1, 42},
                                                     {122, 42}};
    for (const auto& [error, code] : table) {
        EXPECT_EQ(winErrorFor(error).getCode(), code) << "Win32 error " << error;
    }
}

} // namespace
