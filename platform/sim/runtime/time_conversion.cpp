// _localtime64_s, FileTimeToLocalFileTime and FileTimeToSystemTime. The local zone is the one the
// TZ environment variable names, read afresh on every call so that tests can change it.
#include "platform/sim/runtime/win32_memstr.h"
#include "platform/sim/win32_error.h"

#include <cerrno>
#include <cstdint>
#include <ctime>

namespace {

constexpr __time64_t kLatestLocalTime64 = 32535215999; // 3000-12-31 23:59:59 UTC, the runtime's limit
constexpr std::uint64_t kFileTimeUnitsPerSecond = 10000000;
constexpr std::uint64_t kFirstInvalidFileTime = 0x8000000000000000ull;
constexpr std::int64_t kDaysFrom1601To1970 = 134774;

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

// Seconds east of UTC of the local zone as it is now, daylight saving included.
std::int64_t currentZoneOffsetSeconds() {
    tzset();
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    if (localtime_r(&now, &local) == nullptr) {
        return 0;
    }
    return local.tm_gmtoff;
}

struct CivilDate {
    std::int64_t year;
    unsigned month; // 1-12
    unsigned day;   // 1-31
};

// Proleptic Gregorian date of a count of days since 1970-01-01 (the well-known era algorithm).
CivilDate civilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    return CivilDate{static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
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
    const std::uint64_t milliseconds = units / 10000;
    const std::uint64_t seconds = milliseconds / 1000;
    const std::uint64_t secondOfDay = seconds % 86400;
    const auto days = static_cast<std::int64_t>(seconds / 86400);
    const CivilDate date = civilFromDays(days - kDaysFrom1601To1970);
    systemTime->wYear = static_cast<WORD>(date.year);
    systemTime->wMonth = static_cast<WORD>(date.month);
    systemTime->wDay = static_cast<WORD>(date.day);
    systemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7); // 1601-01-01 was a Monday
    systemTime->wHour = static_cast<WORD>(secondOfDay / 3600);
    systemTime->wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    systemTime->wSecond = static_cast<WORD>(secondOfDay % 60);
    systemTime->wMilliseconds = static_cast<WORD>(milliseconds % 1000);
    return TRUE;
}
