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

} // namespace
