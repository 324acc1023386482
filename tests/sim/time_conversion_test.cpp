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

SYSTEMTIME systemTime(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    return time;
}

TEST(SystemTimeToTzSpecificLocalTime, converts_by_the_system_zone_s_rules_of_the_moment_s_year) {
#ifdef _WIN32
    GTEST_SKIP() << "the system's zone comes from TZ only in the simulation";
#endif
    struct Case {
        const char* zone;
        SYSTEMTIME universal;
        WORD localDay, localHour, localMinute;
    };
    const Case cases[] = {
        {"Asia/Kolkata", systemTime(2026, 2, 11, 7, 42), 11, 13, 12},
        {"America/New_York", systemTime(2025, 7, 1, 2, 0), 30, 22, 0},
        {"America/New_York", systemTime(2025, 1, 1, 2, 0), 31, 21, 0},
        {"America/New_York", systemTime(2025, 11, 2, 5, 59), 2, 1, 59}, // a minute before daylight time ends
        {"America/New_York", systemTime(2025, 11, 2, 6, 0), 2, 1, 0},
        {"Australia/Sydney", systemTime(2025, 1, 1, 0, 0), 1, 11, 0},   // daylight time across the new year
        {"Australia/Sydney", systemTime(2025, 7, 1, 0, 0), 1, 10, 0},
        // Amsterdam kept +00:19:32 in 1904; Windows keeps a bias in whole minutes.
        {"Europe/Amsterdam", systemTime(1904, 6, 1, 0, 0), 1, 0, 20},
    };
    for (const Case& c : cases) {
        TimeZoneOverride zone(c.zone);
        TIME_ZONE_INFORMATION rules{};
        ASSERT_TRUE(GetTimeZoneInformationForYear(c.universal.wYear, nullptr, &rules)) << c.zone;
        for (const TIME_ZONE_INFORMATION* given : {&rules, static_cast<TIME_ZONE_INFORMATION*>(nullptr)}) {
            SYSTEMTIME local{};
            ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(given, &c.universal, &local)) << c.zone;
            EXPECT_EQ(local.wDay, c.localDay) << c.zone << " " << c.universal.wMonth;
            EXPECT_EQ(local.wHour, c.localHour) << c.zone << " " << c.universal.wMonth;
            EXPECT_EQ(local.wMinute, c.localMinute) << c.zone << " " << c.universal.wMonth;
        }
    }
}

TEST(SystemTimeToTzSpecificLocalTime, takes_a_zone_without_daylight_time_by_its_bias_and_refuses_a_time_that_is_no_day) {
    TIME_ZONE_INFORMATION fixed{};
    fixed.Bias = -330;
    const SYSTEMTIME lastOfYear = systemTime(2025, 12, 31, 20, 0);
    SYSTEMTIME local{};
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(&fixed, &lastOfYear, &local));
    EXPECT_EQ(local.wYear, 2026);
    EXPECT_EQ(local.wMonth, 1);
    EXPECT_EQ(local.wDay, 1);
    EXPECT_EQ(local.wHour, 1);
    EXPECT_EQ(local.wMinute, 30);
    EXPECT_EQ(local.wDayOfWeek, 4); // a Thursday

    for (const SYSTEMTIME& noDay : {systemTime(2025, 2, 29, 0, 0), systemTime(2025, 13, 1, 0, 0),
                                    systemTime(2025, 1, 1, 24, 0)}) {
        if (noDay.wDay == 29 && hostplatform::runningUnderWine()) {
            continue; // Wine takes a 29th of February in any year (windows_choices.h)
        }
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(&fixed, &noDay, &local)) << noDay.wMonth << "-" << noDay.wDay;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
}

} // namespace
