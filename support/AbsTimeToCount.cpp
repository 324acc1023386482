#include "support/AbsTime.h"

#include "abi/boardLibraries.h"

namespace qv::brix {

namespace {

__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 UInt128;

constexpr UInt128 kFractionDenominator = UInt128{1} << 64;

// A value split as whole + remainder / denominator with 0 <= remainder < denominator, whole being
// rounded toward minus infinity (the form a 64.64 two's-complement stamp is already in).
struct ExactValue {
    Int128 whole;
    UInt128 remainder;
    UInt128 denominator;
};

void record(std::int32_t* status, std::int32_t code) {
    if (*status >= 0) {
        *status = code;
    }
}

bool epochSeconds(int epochYear, std::int64_t* seconds) {
    switch (epochYear) {
    case 1:
        *seconds = 60052752000;
        return true;
    case 1601:
        *seconds = 9561628800;
        return true;
    case 1970:
        *seconds = -boardlib::kSecondsFrom1904To1970;
        return true;
    default:
        return false;
    }
}

// How many of the unit make a second (finer units), or how many seconds make the unit (coarser).
struct UnitScale {
    std::uint64_t perSecond;
    std::uint64_t secondsPerUnit;
};

bool unitScale(TimeUnit unit, UnitScale* scale) {
    switch (unit) {
    case TimeUnit::attosecond:
        *scale = {1000000000000000000ull, 1};
        return true;
    case TimeUnit::femtosecond:
        *scale = {1000000000000000ull, 1};
        return true;
    case TimeUnit::picosecond:
        *scale = {1000000000000ull, 1};
        return true;
    case TimeUnit::nanosecond:
        *scale = {1000000000ull, 1};
        return true;
    case TimeUnit::hundredNanoseconds:
        *scale = {10000000ull, 1};
        return true;
    case TimeUnit::microsecond:
        *scale = {1000000ull, 1};
        return true;
    case TimeUnit::millisecond:
        *scale = {1000ull, 1};
        return true;
    case TimeUnit::second:
        *scale = {1, 1};
        return true;
    case TimeUnit::minute:
        *scale = {1, 60};
        return true;
    case TimeUnit::hour:
        *scale = {1, 3600};
        return true;
    case TimeUnit::day:
        *scale = {1, 86400};
        return true;
    }
    return false;
}

// seconds + fraction / 2^64 expressed in the unit, exactly. |seconds| < 2^63 and the factors stay
// below 2^60, so no intermediate exceeds 2^124.
ExactValue scale(std::int64_t seconds, std::uint64_t fraction, const UnitScale& unit) {
    if (unit.secondsPerUnit > 1) {
        const Int128 value = Int128{seconds} * static_cast<Int128>(kFractionDenominator) + Int128{fraction};
        const auto denominator = static_cast<Int128>(UInt128{unit.secondsPerUnit} * kFractionDenominator);
        Int128 whole = value / denominator;
        if (value % denominator < 0) {
            --whole;
        }
        return ExactValue{whole, static_cast<UInt128>(value - whole * denominator),
                          static_cast<UInt128>(denominator)};
    }
    const UInt128 scaledFraction = UInt128{fraction} * unit.perSecond;
    const Int128 whole =
        Int128{seconds} * static_cast<Int128>(unit.perSecond) + static_cast<Int128>(scaledFraction >> 64);
    return ExactValue{whole, scaledFraction & (kFractionDenominator - 1), kFractionDenominator};
}

Int128 roundToWhole(const ExactValue& value, RoundingMode mode, std::int32_t* status) {
    const bool exact = value.remainder == 0;
    const bool negative = value.whole < 0;
    const bool positive = value.whole > 0 || (value.whole == 0 && !exact);
    // Truncation toward zero and the magnitude of what it drops, as a numerator over denominator.
    const Int128 truncated = negative && !exact ? value.whole + 1 : value.whole;
    const UInt128 dropped = negative && !exact ? value.denominator - value.remainder : value.remainder;
    const Int128 awayFromZero = negative ? -1 : 1;
    switch (mode) {
    case RoundingMode::nearestEven: {
        const UInt128 twiceDropped = dropped * 2;
        const bool odd = (truncated & 1) != 0;
        return twiceDropped > value.denominator || (twiceDropped == value.denominator && odd)
                   ? truncated + awayFromZero
                   : truncated;
    }
    case RoundingMode::towardZero:
        return truncated;
    case RoundingMode::towardPlusInfinity:
        return positive && !exact ? truncated + 1 : truncated;
    case RoundingMode::towardMinusInfinity:
        return negative && !exact ? truncated - 1 : truncated;
    }
    record(status, kTimeStatusInvalidArgument);
    return truncated;
}

std::int64_t saturate(Int128 value, std::int32_t* status) {
    if (value > INT64_MAX) {
        record(status, kTimeStatusOutOfRange);
        return INT64_MAX;
    }
    if (value < INT64_MIN) {
        record(status, kTimeStatusOutOfRange);
        return INT64_MIN;
    }
    return static_cast<std::int64_t>(value);
}

} // namespace

std::int64_t AbsTimeToCount(const AbsTime& stamp, int epochYear, TimeUnit unit, RoundingMode mode,
                            std::int32_t* status) {
    std::int32_t localStatus = 0;
    std::int32_t* const result = status == nullptr ? &localStatus : status;

    std::int64_t epochOffset = 0;
    if (!epochSeconds(epochYear, &epochOffset)) {
        record(result, kTimeStatusInvalidArgument);
    }
    std::int64_t seconds = 0;
    if (__builtin_add_overflow(stamp.seconds, epochOffset, &seconds)) {
        record(result, kTimeStatusOutOfRange);
        return stamp.seconds < 0 ? INT64_MIN : INT64_MAX;
    }
    UnitScale unitScaling{1, 1};
    if (!unitScale(unit, &unitScaling)) {
        record(result, kTimeStatusInvalidArgument);
    }
    return saturate(roundToWhole(scale(seconds, stamp.fraction, unitScaling), mode, result), result);
}

std::int64_t AbsTimeToTime64(const AbsTime& stamp, bool nearest, std::int32_t* status) {
    return AbsTimeToCount(stamp, 1970, TimeUnit::second,
                          nearest ? RoundingMode::nearestEven : RoundingMode::towardZero, status);
}

} // namespace qv::brix
