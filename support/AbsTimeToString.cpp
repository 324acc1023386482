#include "support/AbsTime.h"

#include "platform/win32.h"
#include "support/BrixException.h"

namespace qv::brix {

namespace {

constexpr WORD kFirstRefusedYear = 10000;

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int dayOfYear(const SYSTEMTIME& time) {
    static constexpr int kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const int leapDay = time.wMonth > 2 && isLeapYear(time.wYear) ? 1 : 0;
    return kDaysBeforeMonth[time.wMonth - 1] + time.wDay - 1 + leapDay;
}

// The conversion through the system's file time, for stamps the runtime's local time refuses.
// The zone bias is the current one, so whether daylight saving applied is left undetermined.
struct tm calendarThroughFileTime(const AbsTime& stamp) {
    std::int32_t status = 0;
    const std::int64_t units =
        AbsTimeToCount(stamp, 1601, TimeUnit::hundredNanoseconds, RoundingMode::nearestEven, &status);
    if (status < 0 || units < 0) {
        throw exception::OutOfRange(__FILE__, __LINE__);
    }
    const FILETIME utc{static_cast<DWORD>(units & 0xFFFFFFFF),
                       static_cast<DWORD>(static_cast<std::uint64_t>(units) >> 32)};
    FILETIME local{};
    if (!FileTimeToLocalFileTime(&utc, &local)) {
        throw exception::OutOfRange(__FILE__, __LINE__);
    }
    SYSTEMTIME time{};
    if (!FileTimeToSystemTime(&local, &time)) {
        throw exception::OutOfRange(__FILE__, __LINE__);
    }
    if (time.wYear >= kFirstRefusedYear) {
        throw exception::OutOfRange(__FILE__, __LINE__);
    }
    struct tm calendar {};
    calendar.tm_sec = time.wSecond;
    calendar.tm_min = time.wMinute;
    calendar.tm_hour = time.wHour;
    calendar.tm_mday = time.wDay;
    calendar.tm_mon = time.wMonth - 1;
    calendar.tm_year = time.wYear - 1900;
    calendar.tm_wday = time.wDayOfWeek;
    calendar.tm_yday = dayOfYear(time);
    calendar.tm_isdst = -1;
    return calendar;
}

} // namespace

struct tm AbsTimeToLocalCalendar(const AbsTime& stamp, bool nearest) {
    std::int32_t status = 0;
    const __time64_t seconds = AbsTimeToTime64(stamp, nearest, &status);
    struct tm calendar {};
    if (status >= 0 && _localtime64_s(&calendar, &seconds) == 0) {
        return calendar;
    }
    return calendarThroughFileTime(stamp);
}

} // namespace qv::brix
