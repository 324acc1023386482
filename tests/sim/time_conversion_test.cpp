// _localtime64_s, FileTimeToLocalFileTime and FileTimeToSystemTime of the simulated Windows.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

// Sets TZ for one test and restores the previous zone afterwards.
class TimeZone : public testing::Test {
protected:
    void SetUp() override {
        const char* previous = std::getenv("TZ");
        hadZone = previous != nullptr;
        savedZone = hadZone ? previous : "";
    }
    void TearDown() override {
        if (hadZone) {
            setenv("TZ", savedZone.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
    }
    static void useZone(const char* zone) { setenv("TZ", zone, 1); }

private:
    bool hadZone = false;
    std::string savedZone;
};

constexpr std::uint64_t kUnitsPerSecond = 10000000;
constexpr std::uint64_t kUnixEpochFileTime = 116444736000000000ull;

FILETIME fileTime(std::uint64_t units) {
    return FILETIME{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
}

std::uint64_t units(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

void expectAllFieldsInvalid(const struct tm& t) {
    for (int field :
         {t.tm_sec, t.tm_min, t.tm_hour, t.tm_mday, t.tm_mon, t.tm_year, t.tm_wday, t.tm_yday, t.tm_isdst}) {
        EXPECT_EQ(field, -1);
    }
}

TEST_F(TimeZone, localtime_converts_in_the_zone_that_tz_names) {
    struct tm t {};
    useZone("UTC0");
    __time64_t epoch = 0;
    ASSERT_EQ(_localtime64_s(&t, &epoch), 0);
    EXPECT_EQ(t.tm_year, 70);
    EXPECT_EQ(t.tm_mday, 1);
    EXPECT_EQ(t.tm_hour, 0);
    EXPECT_EQ(t.tm_wday, 4);
    EXPECT_EQ(t.tm_isdst, 0);

    useZone("CET-1CEST,M3.5.0,M10.5.0/3");
    __time64_t summerNoonUtc = 1719835200; // 2024-07-01 12:00:00 UTC
    ASSERT_EQ(_localtime64_s(&t, &summerNoonUtc), 0);
    EXPECT_EQ(t.tm_hour, 14);
    EXPECT_EQ(t.tm_isdst, 1);
    EXPECT_EQ(t.tm_yday, 182);
}

TEST_F(TimeZone, localtime_refuses_negative_times_and_times_after_the_year_3000) {
    useZone("UTC0");
    struct tm t {};
    __time64_t last = 32535215999;
    ASSERT_EQ(_localtime64_s(&t, &last), 0);
    EXPECT_EQ(t.tm_year, 1100);
    EXPECT_EQ(t.tm_mon, 11);
    EXPECT_EQ(t.tm_sec, 59);

    for (__time64_t refused : {__time64_t{-1}, __time64_t{32535216000}}) {
        errno = 0;
        EXPECT_EQ(_localtime64_s(&t, &refused), EINVAL);
        EXPECT_EQ(errno, EINVAL);
        expectAllFieldsInvalid(t);
    }
    EXPECT_EQ(_localtime64_s(&t, nullptr), EINVAL);
    expectAllFieldsInvalid(t);
}

TEST(FileTimeToSystemTime, computes_the_calendar_from_1601_on) {
    SYSTEMTIME s{};
    FILETIME start = fileTime(0);
    ASSERT_TRUE(FileTimeToSystemTime(&start, &s));
    EXPECT_EQ(s.wYear, 1601);
    EXPECT_EQ(s.wMonth, 1);
    EXPECT_EQ(s.wDay, 1);
    EXPECT_EQ(s.wDayOfWeek, 1);

    FILETIME leapDay = fileTime(kUnixEpochFileTime + (951782400ull * kUnitsPerSecond) + 1234 * 10000ull);
    ASSERT_TRUE(FileTimeToSystemTime(&leapDay, &s)); // 2000-02-29 00:00:01.234 UTC, a Tuesday
    EXPECT_EQ(s.wYear, 2000);
    EXPECT_EQ(s.wMonth, 2);
    EXPECT_EQ(s.wDay, 29);
    EXPECT_EQ(s.wDayOfWeek, 2);
    EXPECT_EQ(s.wSecond, 1);
    EXPECT_EQ(s.wMilliseconds, 234);

    FILETIME last = fileTime(0x7FFFFFFFFFFFFFFFull);
    ASSERT_TRUE(FileTimeToSystemTime(&last, &s));
    EXPECT_EQ(s.wYear, 30828);
    EXPECT_EQ(s.wMonth, 9);
    EXPECT_EQ(s.wDay, 14);
    EXPECT_EQ(s.wHour, 2);
    EXPECT_EQ(s.wMinute, 48);
    EXPECT_EQ(s.wSecond, 5);
    EXPECT_EQ(s.wMilliseconds, 477);
}

TEST(FileTimeToSystemTime, refuses_values_with_the_top_bit_set) {
    SYSTEMTIME s{};
    FILETIME tooLate = fileTime(0x8000000000000000ull);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(FileTimeToSystemTime(&tooLate, &s));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(TimeZone, local_file_time_adds_the_current_zone_bias) {
    FILETIME local{};
    FILETIME noon = fileTime(kUnixEpochFileTime + 43200 * kUnitsPerSecond);
    useZone("JST-9");
    ASSERT_TRUE(FileTimeToLocalFileTime(&noon, &local));
    EXPECT_EQ(units(local), units(noon) + 9 * 3600 * kUnitsPerSecond);

    useZone("EST5");
    ASSERT_TRUE(FileTimeToLocalFileTime(&noon, &local));
    EXPECT_EQ(units(local), units(noon) - 5 * 3600 * kUnitsPerSecond);

    FILETIME start = fileTime(0);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(FileTimeToLocalFileTime(&start, &local));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

} // namespace
