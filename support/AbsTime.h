// The module's absolute time stamp and its conversion to counts of a unit since an epoch and to
// local calendar time.
#pragma once

#include <cstdint>
#include <ctime>

namespace qv::brix {

// A signed 64.64 fixed-point count of seconds since 1904-01-01 00:00:00 UTC: the unsigned
// fraction word (units of 2^-64 s) first, then the signed whole seconds. The layout is that of the
// host's time stamp.
struct AbsTime {
    std::uint64_t fraction;
    std::int64_t seconds;
};

enum class TimeUnit : int {
    attosecond,
    femtosecond,
    picosecond,
    nanosecond,
    hundredNanoseconds,
    microsecond,
    millisecond,
    second,
    minute,
    hour,
    day,
};

enum class RoundingMode : int {
    nearestEven = 1,
    towardZero = 2,
    towardPlusInfinity = 3,
    towardMinusInfinity = 4,
};

// Status codes of the time arithmetic (0 is good; the first failure is kept).
constexpr std::int32_t kTimeStatusInvalidArgument = -50003; // epoch, unit or rounding mode unknown
constexpr std::int32_t kTimeStatusOutOfRange = -50175;

// The stamp as a count of `unit` since 1 January of `epochYear` (1, 1601 or 1970), rounded by
// `mode`. Problems are recorded in *status when it is given; a count out of range comes back
// saturated to the nearest 64-bit limit. Never throws.
std::int64_t AbsTimeToCount(const AbsTime& stamp, int epochYear, TimeUnit unit, RoundingMode mode,
                            std::int32_t* status = nullptr);

// Seconds since 1970-01-01 00:00:00 UTC, rounded to nearest (ties to even) or toward zero.
std::int64_t AbsTimeToTime64(const AbsTime& stamp, bool nearest, std::int32_t* status = nullptr);

// The stamp as local broken-down time. Stamps the runtime's local time cannot convert (before 1970,
// after 3000) are converted through the system's file time with the daylight-saving flag -1.
// Throws OutOfRange for stamps before 1601 or in the year 10000 or later.
struct tm AbsTimeToLocalCalendar(const AbsTime& stamp, bool nearest);

} // namespace qv::brix
