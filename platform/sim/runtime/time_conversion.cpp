// _localtime64_s, FileTimeToLocalFileTime, FileTimeToSystemTime, GetTimeZoneInformationForYear and
// SystemTimeToTzSpecificLocalTime. The local zone is the one the TZ environment variable names,
// read afresh on every call so that tests can change it.
#include "platform/sim/runtime/win32_memstr.h"
#include "platform/sim/win32_error.h"
#include "platform/sim/windows_choices.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <date/date.h>
#include <optional>

namespace {

constexpr __time64_t kLatestLocalTime64 = 32535215999; // 3000-12-31 23:59:59 UTC, the runtime's limit
constexpr std::uint64_t kFileTimeUnitsPerSecond = 10000000;
constexpr std::uint64_t kFirstInvalidFileTime = 0x8000000000000000ull;
constexpr std::int64_t kDaysFrom1601To1970 = 134774;
constexpr std::int64_t kFirstInvalidMilliseconds = static_cast<std::int64_t>(kFirstInvalidFileTime / 10000);

void markInvalid(struct tm* result) {
    result->tm_sec = result->tm_min = result->tm_hour = -1;
    result->tm_mday = result->tm_mon = result->tm_year = -1;
    result->tm_wday = result->tm_yday = result->tm_isdst = -1;
}

std::uint64_t toUnits(const FILETIME& fileTime) {
    return (std::uint64_t{fileTime.dwHighDateTime} << 32) | fileTime.dwLowDateTime;
}

FILETIME fromUnits(std::uint64_t units) {
    return FILETIME{static_cast<DWORD>(units & 0xFFFFFFFFu), static_cast<DWORD>(units >> 32)};
}

// The local fields of a moment in the zone TZ names, daylight saving included.
struct tm localFields(std::time_t moment) {
    tzset();
    struct tm local {};
    if (localtime_r(&moment, &local) == nullptr) {
        local = tm{};
    }
    return local;
}

// Seconds east of UTC of the local zone as it is now, daylight saving included.
std::int64_t currentZoneOffsetSeconds() {
    return localFields(std::time(nullptr)).tm_gmtoff;
}

struct CivilDate {
    std::int64_t year;
    unsigned month; // 1-12
    unsigned day;   // 1-31
};

// Proleptic Gregorian date of a count of days since 1970-01-01.
CivilDate civilFromDays(std::int64_t days) {
    const date::year_month_day civil{date::sys_days{date::days{days}}};
    return CivilDate{static_cast<int>(civil.year()), static_cast<unsigned>(civil.month()),
                     static_cast<unsigned>(civil.day())};
}

// Days since 1970-01-01 of a proleptic Gregorian date (the inverse of civilFromDays).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    const date::sys_days civil{date::year{static_cast<int>(year)} / date::month{month} / date::day{day}};
    return civil.time_since_epoch().count();
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The calendar fields of a count of milliseconds since 1601-01-01 UTC.
SYSTEMTIME systemTimeOf(std::uint64_t milliseconds) {
    const std::uint64_t seconds = milliseconds / 1000;
    const std::uint64_t secondOfDay = seconds % 86400;
    const auto days = static_cast<std::int64_t>(seconds / 86400);
    const CivilDate date = civilFromDays(days - kDaysFrom1601To1970);
    SYSTEMTIME fields{};
    fields.wYear = static_cast<WORD>(date.year);
    fields.wMonth = static_cast<WORD>(date.month);
    fields.wDay = static_cast<WORD>(date.day);
    fields.wDayOfWeek = static_cast<WORD>((days + 1) % 7); // 1601-01-01 was a Monday
    fields.wHour = static_cast<WORD>(secondOfDay / 3600);
    fields.wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    fields.wSecond = static_cast<WORD>(secondOfDay % 60);
    fields.wMilliseconds = static_cast<WORD>(milliseconds % 1000);
    return fields;
}

// A time Windows can convert: a day of the calendar from 1601 to 30827 (wDayOfWeek is not read).
bool isValid(const SYSTEMTIME& time) {
    static const unsigned kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (time.wYear < 1601 || time.wYear > 30827 || time.wMonth < 1 || time.wMonth > 12 || time.wDay < 1) {
        return false;
    }
    const bool leap = (time.wYear % 4 == 0 && time.wYear % 100 != 0) || time.wYear % 400 == 0;
    const unsigned days = kMonthDays[time.wMonth - 1] + (time.wMonth == 2 && leap ? 1 : 0);
    return time.wDay <= days && time.wHour < 24 && time.wMinute < 60 && time.wSecond < 60 &&
           time.wMilliseconds < 1000;
}

std::int64_t millisecondsSince1601(const SYSTEMTIME& time) {
    const std::int64_t days = daysFromCivil(time.wYear, time.wMonth, time.wDay) + kDaysFrom1601To1970;
    return ((days * 24 + time.wHour) * 60 + time.wMinute) * 60000 + time.wSecond * 1000 + time.wMilliseconds;
}

// Windows keeps every bias in whole minutes.
std::int64_t roundedMinutes(std::int64_t seconds) {
    return static_cast<std::int64_t>(std::lround(static_cast<double>(seconds) / 60.0));
}

struct ZoneState {
    std::int64_t offset; // seconds east of UTC
    bool inDaylightTime;
};

ZoneState stateAt(std::int64_t unixSeconds) {
    const struct tm fields = localFields(static_cast<std::time_t>(unixSeconds));
    return {fields.tm_gmtoff, fields.tm_isdst > 0};
}

// The first second at or after `from` (before `to`) whose daylight flag differs from `from`'s,
// found by halving: the zone database is only asked, never read.
std::int64_t changeOfDaylight(std::int64_t from, std::int64_t to) {
    const bool before = stateAt(from).inDaylightTime;
    while (to - from > 1) {
        const std::int64_t middle = from + (to - from) / 2;
        (stateAt(middle).inDaylightTime == before ? from : to) = middle;
    }
    return to;
}

std::int64_t unixSecondsOf(std::int64_t year, unsigned month, unsigned day) {
    return daysFromCivil(year, month, day) * 86400;
}

SYSTEMTIME absoluteDate(std::int64_t unixSeconds) {
    return systemTimeOf(static_cast<std::uint64_t>((unixSeconds + kDaysFrom1601To1970 * 86400) * 1000));
}

// The zone's rules for one year: its standard bias and, when daylight time starts and ends in the
// year, both transitions as absolute dates in the clock time each leaves.
TIME_ZONE_INFORMATION rulesOfYear(USHORT year) {
    TIME_ZONE_INFORMATION rules{};
    const std::int64_t start = unixSecondsOf(year, 1, 1);
    const std::int64_t end = unixSecondsOf(year + 1, 1, 1);
    std::optional<std::int64_t> daylightStarts, daylightEnds;
    std::optional<ZoneState> standard, daylightState;
    for (std::int64_t day = start; day < end; day += 86400) {
        const ZoneState now = stateAt(day);
        std::optional<ZoneState>& seen = now.inDaylightTime ? daylightState : standard;
        if (!seen) {
            seen = now;
        }
        const std::int64_t last = std::min(day + 86400, end) - 1;
        std::optional<std::int64_t>& change = now.inDaylightTime ? daylightEnds : daylightStarts;
        if (!change && stateAt(last).inDaylightTime != now.inDaylightTime) {
            change = changeOfDaylight(day, last);
        }
    }
    const std::int64_t standardOffset = standard ? standard->offset : stateAt(start).offset - 3600;
    rules.Bias = static_cast<LONG>(-roundedMinutes(standardOffset));
    if (daylightState && daylightStarts && daylightEnds) {
        rules.DaylightBias = static_cast<LONG>(-roundedMinutes(daylightState->offset) - rules.Bias);
        rules.DaylightDate = absoluteDate(*daylightStarts + roundedMinutes(standardOffset) * 60);
        rules.StandardDate = absoluteDate(*daylightEnds + roundedMinutes(daylightState->offset) * 60);
    }
    return rules;
}

} // namespace

WINSIM_API errno_t _localtime64_s(struct tm* result, const __time64_t* time) {
    if (result == nullptr) {
        errno = EINVAL;
        return EINVAL;
    }
    markInvalid(result);
    if (time == nullptr || *time < 0 || *time > kLatestLocalTime64) {
        errno = EINVAL;
        return EINVAL;
    }
    tzset();
    const std::time_t seconds = static_cast<std::time_t>(*time);
    if (localtime_r(&seconds, result) == nullptr) {
        markInvalid(result);
        errno = EINVAL;
        return EINVAL;
    }
    return 0;
}

WINSIM_API BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime) {
    if (fileTime == nullptr || localFileTime == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const std::uint64_t units = toUnits(*fileTime);
    if (units >= kFirstInvalidFileTime) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const std::int64_t bias = currentZoneOffsetSeconds() * static_cast<std::int64_t>(kFileTimeUnitsPerSecond);
    std::int64_t local = 0;
    if (__builtin_add_overflow(static_cast<std::int64_t>(units), bias, &local) || local < 0) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    *localFileTime = fromUnits(static_cast<std::uint64_t>(local));
    return TRUE;
}

WINSIM_API BOOL WINAPI FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    if (fileTime == nullptr || systemTime == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const std::uint64_t units = toUnits(*fileTime);
    if (units >= kFirstInvalidFileTime) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    *systemTime = systemTimeOf(units / 10000);
    return TRUE;
}

WINSIM_API BOOL WINAPI GetTimeZoneInformationForYear(USHORT year, PDYNAMIC_TIME_ZONE_INFORMATION zone,
                                                     LPTIME_ZONE_INFORMATION rules) {
    if (rules == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (zone != nullptr) {
        return fail(winsim::choice::kUnsupportedZoneRulesError);
    }
    *rules = rulesOfYear(year);
    return TRUE;
}

WINSIM_API BOOL WINAPI SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* rules,
                                                       const SYSTEMTIME* universalTime, LPSYSTEMTIME localTime) {
    if (universalTime == nullptr || localTime == nullptr || !isValid(*universalTime)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const TIME_ZONE_INFORMATION system = rules == nullptr ? rulesOfYear(universalTime->wYear) : TIME_ZONE_INFORMATION{};
    const TIME_ZONE_INFORMATION& zone = rules == nullptr ? system : *rules;
    const std::int64_t universal = millisecondsSince1601(*universalTime);
    std::int64_t bias = zone.Bias + zone.StandardBias;
    if (zone.DaylightDate.wMonth != 0) {
        if (zone.DaylightDate.wYear == 0 || zone.StandardDate.wYear == 0) {
            return fail(winsim::choice::kUnsupportedZoneRulesError);
        }
        // A transition is given in the clock time it leaves: daylight time starts at a standard
        // clock time and ends at a daylight one.
        const std::int64_t daylightStarts =
            millisecondsSince1601(zone.DaylightDate) + (zone.Bias + std::int64_t{zone.StandardBias}) * 60000;
        const std::int64_t daylightEnds =
            millisecondsSince1601(zone.StandardDate) + (zone.Bias + std::int64_t{zone.DaylightBias}) * 60000;
        const bool inDaylightTime = daylightStarts < daylightEnds
                                  ? universal >= daylightStarts && universal < daylightEnds
                                  : universal >= daylightStarts || universal < daylightEnds;
        if (inDaylightTime) {
            bias = zone.Bias + zone.DaylightBias;
        }
    }
    const std::int64_t local = universal - bias * 60000;
    if (local < 0 || local >= kFirstInvalidMilliseconds) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    *localTime = systemTimeOf(static_cast<std::uint64_t>(local));
    return TRUE;
}
