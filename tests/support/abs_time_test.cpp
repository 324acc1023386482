// The absolute time stamp: counts by epoch, unit and rounding mode, and local calendar time.
#include "common/time_zone_override.h"
#include "support/AbsTime.h"
#include "support/BrixException.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qv::brix::AbsTime;
using qv::brix::AbsTimeToCount;
using qv::brix::AbsTimeToLocalCalendar;
using qv::brix::AbsTimeToTime64;
using qv::brix::RoundingMode;
using qv::brix::TimeUnit;

constexpr std::int64_t kUnixEpoch = 2082844800; // 1970-01-01 in seconds since 1904-01-01
constexpr std::uint64_t kHalf = 0x8000000000000000ull;
constexpr std::uint64_t kQuarter = 0x4000000000000000ull;

// A stamp `whole` + fraction/2^64 seconds from 1970, where whole may be negative.
AbsTime sinceUnixEpoch(std::int64_t whole, std::uint64_t fraction = 0) {
    return AbsTime{fraction, kUnixEpoch + whole};
}

std::int64_t seconds1970(const AbsTime& stamp, RoundingMode mode, std::int32_t* status = nullptr) {
    return AbsTimeToCount(stamp, 1970, TimeUnit::second, mode, status);
}

TEST(AbsTimeRounding, half_seconds_follow_each_mode_on_both_sides_of_zero) {
    struct Case {
        AbsTime stamp;
        std::int64_t nearest, towardZero, up, down;
    };
    const Case cases[] = {
        {sinceUnixEpoch(0, kHalf), 0, 0, 1, 0},             // +0.5
        {sinceUnixEpoch(1, kHalf), 2, 1, 2, 1},             // +1.5
        {sinceUnixEpoch(2, kHalf), 2, 2, 3, 2},             // +2.5
        {sinceUnixEpoch(-1, kHalf), 0, 0, 0, -1},           // -0.5
        {sinceUnixEpoch(-2, kHalf), -2, -1, -1, -2},        // -1.5
        {sinceUnixEpoch(-3, kHalf), -2, -2, -2, -3},        // -2.5
        {sinceUnixEpoch(-2, 3 * kQuarter), -1, -1, -1, -2}, // -1.25
        {sinceUnixEpoch(-2, kQuarter), -2, -1, -1, -2},     // -1.75
        {sinceUnixEpoch(1, 3 * kQuarter), 2, 1, 2, 1},      // +1.75
        {sinceUnixEpoch(-4), -4, -4, -4, -4},               // exact
    };
    for (const Case& c : cases) {
        const std::string where = std::to_string(c.stamp.seconds - kUnixEpoch) + " s + fraction " +
                                  std::to_string(c.stamp.fraction);
        EXPECT_EQ(seconds1970(c.stamp, RoundingMode::nearestEven), c.nearest) << where;
        EXPECT_EQ(seconds1970(c.stamp, RoundingMode::towardZero), c.towardZero) << where;
        EXPECT_EQ(seconds1970(c.stamp, RoundingMode::towardPlusInfinity), c.up) << where;
        EXPECT_EQ(seconds1970(c.stamp, RoundingMode::towardMinusInfinity), c.down) << where;
    }
    EXPECT_EQ(AbsTimeToTime64(sinceUnixEpoch(0, kHalf + 1), true), 1);
    EXPECT_EQ(AbsTimeToTime64(sinceUnixEpoch(0, kHalf + 1), false), 0);
}

TEST(AbsTimeCounts, every_epoch_rebases_the_stamp) {
    const AbsTime origin{0, 0}; // 1904-01-01
    EXPECT_EQ(AbsTimeToCount(origin, 1, TimeUnit::day, RoundingMode::towardZero), 695055);
    EXPECT_EQ(AbsTimeToCount(origin, 1601, TimeUnit::day, RoundingMode::towardZero), 110667);
    EXPECT_EQ(AbsTimeToCount(origin, 1970, TimeUnit::day, RoundingMode::towardZero), -24107);
    EXPECT_EQ(
        AbsTimeToCount(sinceUnixEpoch(0), 1601, TimeUnit::hundredNanoseconds, RoundingMode::nearestEven),
        116444736000000000);
}

TEST(AbsTimeCounts, every_unit_scales_the_exact_value) {
    const AbsTime oneAndHalf = sinceUnixEpoch(1, kHalf);
    const std::pair<TimeUnit, std::int64_t> finer[] = {{TimeUnit::attosecond, 1500000000000000000},
                                                       {TimeUnit::femtosecond, 1500000000000000},
                                                       {TimeUnit::picosecond, 1500000000000},
                                                       {TimeUnit::nanosecond, 1500000000},
                                                       {TimeUnit::hundredNanoseconds, 15000000},
                                                       {TimeUnit::microsecond, 1500000},
                                                       {TimeUnit::millisecond, 1500},
                                                       {TimeUnit::second, 2}};
    for (const auto& [unit, count] : finer) {
        EXPECT_EQ(AbsTimeToCount(oneAndHalf, 1970, unit, RoundingMode::nearestEven), count);
    }
    const AbsTime minusNinety = sinceUnixEpoch(-90);
    EXPECT_EQ(AbsTimeToCount(minusNinety, 1970, TimeUnit::minute, RoundingMode::nearestEven), -2);
    EXPECT_EQ(AbsTimeToCount(minusNinety, 1970, TimeUnit::minute, RoundingMode::towardZero), -1);
    EXPECT_EQ(AbsTimeToCount(sinceUnixEpoch(5400), 1970, TimeUnit::hour, RoundingMode::nearestEven), 2);
    EXPECT_EQ(AbsTimeToCount(sinceUnixEpoch(-1), 1970, TimeUnit::day, RoundingMode::towardMinusInfinity), -1);
    const AbsTime tiny = sinceUnixEpoch(0, 1); // 2^-64 s, about 0.054 attoseconds
    EXPECT_EQ(AbsTimeToCount(tiny, 1970, TimeUnit::attosecond, RoundingMode::nearestEven), 0);
    EXPECT_EQ(AbsTimeToCount(tiny, 1970, TimeUnit::attosecond, RoundingMode::towardPlusInfinity), 1);
}

TEST(AbsTimeStatus, unknown_epochs_units_and_modes_are_reported) {
    std::int32_t status = 0;
    EXPECT_EQ(AbsTimeToCount(sinceUnixEpoch(0), 2000, TimeUnit::second, RoundingMode::towardZero, &status),
              kUnixEpoch);
    EXPECT_EQ(status, qv::brix::kTimeStatusInvalidArgument);

    status = 0;
    EXPECT_EQ(
        AbsTimeToCount(sinceUnixEpoch(7), 1970, static_cast<TimeUnit>(99), RoundingMode::towardZero, &status),
        7);
    EXPECT_EQ(status, qv::brix::kTimeStatusInvalidArgument);

    status = 0;
    EXPECT_EQ(seconds1970(sinceUnixEpoch(7, kHalf), static_cast<RoundingMode>(0), &status), 7);
    EXPECT_EQ(status, qv::brix::kTimeStatusInvalidArgument);
}

TEST(AbsTimeStatus, results_beyond_64_bits_are_reported_and_saturated) {
    std::int32_t status = 0;
    EXPECT_EQ(
        AbsTimeToCount(sinceUnixEpoch(9), 1970, TimeUnit::attosecond, RoundingMode::nearestEven, &status),
        9000000000000000000);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(
        AbsTimeToCount(sinceUnixEpoch(10), 1970, TimeUnit::attosecond, RoundingMode::nearestEven, &status),
        INT64_MAX);
    EXPECT_EQ(status, qv::brix::kTimeStatusOutOfRange);

    status = 0;
    EXPECT_EQ(AbsTimeToCount(AbsTime{0, INT64_MAX}, 1601, TimeUnit::day, RoundingMode::nearestEven, &status),
              INT64_MAX);
    EXPECT_EQ(status, qv::brix::kTimeStatusOutOfRange);
    status = 0;
    AbsTimeToCount(AbsTime{0, INT64_MIN}, 1970, TimeUnit::second, RoundingMode::nearestEven, &status);
    EXPECT_EQ(status, qv::brix::kTimeStatusOutOfRange);
}

TEST(AbsTimeStatus, the_first_failure_wins_and_an_error_replaces_a_warning) {
    std::int32_t status = qv::brix::kTimeStatusInvalidArgument;
    AbsTimeToCount(sinceUnixEpoch(10), 1970, TimeUnit::attosecond, RoundingMode::nearestEven, &status);
    EXPECT_EQ(status, qv::brix::kTimeStatusInvalidArgument);

    status = 0;
    AbsTimeToCount(sinceUnixEpoch(10), 1999, TimeUnit::attosecond, RoundingMode::nearestEven, &status);
    EXPECT_EQ(status, qv::brix::kTimeStatusInvalidArgument);

    status = 5;
    AbsTimeToCount(sinceUnixEpoch(10), 1970, TimeUnit::attosecond, RoundingMode::nearestEven, &status);
    EXPECT_EQ(status, qv::brix::kTimeStatusOutOfRange);
}

TEST(LocalCalendar, recent_stamps_use_the_runtime_local_time_with_daylight_saving) {
    TimeZoneOverride zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const struct tm t = AbsTimeToLocalCalendar(AbsTime{kHalf, 3802680000}, true); // 2024-07-01 12:00:00.5 UTC
    EXPECT_EQ(t.tm_year, 124);
    EXPECT_EQ(t.tm_mon, 6);
    EXPECT_EQ(t.tm_mday, 1);
    EXPECT_EQ(t.tm_hour, 14);
    EXPECT_EQ(t.tm_sec, 0) << "the tie rounds to the even second";
    EXPECT_EQ(t.tm_isdst, 1);
}

TEST(LocalCalendar, a_stamp_in_1650_goes_through_the_file_time_with_daylight_saving_undetermined) {
    TimeZoneOverride zone("JST-9");
    const struct tm t = AbsTimeToLocalCalendar(AbsTime{0, -8001028800}, true); // 1650-06-15 12:00 UTC
    EXPECT_EQ(t.tm_year, 1650 - 1900);
    EXPECT_EQ(t.tm_mon, 5);
    EXPECT_EQ(t.tm_mday, 15);
    EXPECT_EQ(t.tm_hour, 21);
    EXPECT_EQ(t.tm_min, 0);
    EXPECT_EQ(t.tm_wday, 3);
    EXPECT_EQ(t.tm_yday, 165);
    EXPECT_EQ(t.tm_isdst, -1);
}

TEST(LocalCalendar, the_day_of_the_year_counts_the_leap_day_only_in_leap_years) {
    TimeZoneOverride zone("UTC0");
    const struct tm leap = AbsTimeToLocalCalendar(AbsTime{0, 66148617600}, false); // 4000-03-01
    EXPECT_EQ(leap.tm_year, 2100);
    EXPECT_EQ(leap.tm_yday, 60);
    EXPECT_EQ(leap.tm_wday, 3);
    const struct tm common = AbsTimeToLocalCalendar(AbsTime{0, 97705526400}, false); // 5000-03-01
    EXPECT_EQ(common.tm_yday, 59);
    EXPECT_EQ(common.tm_isdst, -1);
}

TEST(LocalCalendar, stamps_before_1601_or_from_the_year_10000_on_are_out_of_range) {
    TimeZoneOverride zone("UTC0");
    const struct tm last = AbsTimeToLocalCalendar(AbsTime{0, 255485145599}, false); // 9999-12-31 23:59:59
    EXPECT_EQ(last.tm_year, 9999 - 1900);
    EXPECT_EQ(last.tm_yday, 364);

    const AbsTime refused[] = {AbsTime{0, 255485145600}, AbsTime{0, -9561628801}, AbsTime{0, INT64_MAX},
                               AbsTime{0, INT64_MIN}};
    for (const AbsTime& stamp : refused) {
        EXPECT_THROW(AbsTimeToLocalCalendar(stamp, true), qv::brix::exception::OutOfRange) << stamp.seconds;
    }
}

} // namespace
