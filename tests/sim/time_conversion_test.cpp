// _localtime64_s, FileTimeToLocalFileTime and FileTimeToSystemTime of the simulated Windows.
#include "common/host_platform.h"
#include "common/time_zone_override.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

constexpr std::uint64_t kUnitsPerSecond = 10000000;
constexpr std::uint64_t kUnixEpochFileTime = 116444736000000000ull;

FILETIME fileTime(std::uint64_t units) {
    return FILETIME{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
}
std::uint64_t units(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

TEST(LocalTime64, converts_in_the_zone_that_tz_names_and_refuses_times_outside_1970_to_3000) {
    TimeZoneOverride zone("CET-1CEST,M3.5.0,M10.5.0/3");
    struct tm t {};
    __time64_t summerNoonUtc = 1719835200; // 2024-07-01 12:00:00 UTC
    ASSERT_EQ(_localtime64_s(&t, &summerNoonUtc), 0);
    EXPECT_EQ(t.tm_hour, 14);
    EXPECT_EQ(t.tm_isdst, 1);
    EXPECT_EQ(t.tm_yday, 182);

    TimeZoneOverride::use("UTC0");
    __time64_t last = 32535215999;
    ASSERT_EQ(_localtime64_s(&t, &last), 0);
    EXPECT_EQ(t.tm_year, 1100);
    for (__time64_t refused : {__time64_t{-1}, __time64_t{32535216000}}) {
        if (refused > 0 && hostplatform::runningUnderWine()) {
            continue; // Wine converts times past the documented end of 3000 (windows_choices.h)
        }
        errno = 0;
        EXPECT_EQ(_localtime64_s(&t, &refused), EINVAL);
        EXPECT_EQ(errno, EINVAL);
        for (int field : {t.tm_sec, t.tm_min, t.tm_hour, t.tm_mday, t.tm_mon, t.tm_year, t.tm_wday, t.tm_yday,
                          t.tm_isdst}) {
            EXPECT_EQ(field, -1);
        }
    }
}

TEST(FileTimeToSystemTime, computes_the_calendar_up_to_the_last_valid_value) {
    SYSTEMTIME s{};
    FILETIME leapDay = fileTime(kUnixEpochFileTime + 951782400ull * kUnitsPerSecond + 1234 * 10000ull);
    ASSERT_TRUE(FileTimeToSystemTime(&leapDay, &s)); // 2000-02-29 00:00:01.234 UTC, a Tuesday
    EXPECT_EQ(s.wYear, 2000);
    EXPECT_EQ(s.wMonth, 2);
    EXPECT_EQ(s.wDay, 29);
    EXPECT_EQ(s.wDayOfWeek, 2);
    EXPECT_EQ(s.wSecond, 1);
    EXPECT_EQ(s.wMilliseconds, 234);

    FILETIME last = fileTime(0x7FFFFFFFFFFFFFFFull);
    ASSERT_TRUE(FileTimeToSystemTime(&last, &s)); // 30828-09-14 02:48:05.477
    EXPECT_EQ(s.wYear, 30828);
    EXPECT_EQ(s.wDay, 14);
    EXPECT_EQ(s.wMilliseconds, 477);

    FILETIME tooLate = fileTime(0x8000000000000000ull);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(FileTimeToSystemTime(&tooLate, &s));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(FileTimeToLocalFileTime, adds_the_current_zone_bias) {
#ifdef _WIN32
    // Windows takes the zone from its settings, not from TZ, which the simulation (and this test)
    // uses to name the current zone.
    GTEST_SKIP() << "the zone comes from TZ only in the simulation";
#endif
    TimeZoneOverride zone("JST-9");
    FILETIME local{};
    FILETIME noon = fileTime(kUnixEpochFileTime + 43200 * kUnitsPerSecond);
    ASSERT_TRUE(FileTimeToLocalFileTime(&noon, &local));
    EXPECT_EQ(units(local), units(noon) + 9 * 3600 * kUnitsPerSecond);

    TimeZoneOverride::use("EST5");
    ASSERT_TRUE(FileTimeToLocalFileTime(&noon, &local));
    EXPECT_EQ(units(local), units(noon) - 5 * 3600 * kUnitsPerSecond);
    FILETIME start = fileTime(0);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(FileTimeToLocalFileTime(&start, &local)) << "before 1601 in local time";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

} // namespace
