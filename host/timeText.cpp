#include "host/timeText.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <locale>
#include <sstream>
#include <stdexcept>

namespace hwconfig {
namespace {

// The host's time stamps count from here; nothing earlier can be stored.
constexpr date::sys_days kStampEpoch = date::year{1904} / date::January / 1;
constexpr date::sys_days kLastDay = date::year{9999} / date::December / 31;

std::optional<Time> parseAs(const std::string& text, const char* format) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    Time time;
    in >> date::parse(format, time);
    if (in.fail() || in.peek() != std::char_traits<char>::eof()) {
        return std::nullopt;
    }
    return time;
}

std::string formatted(Time time, const char* format) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << date::format(format, time);
    return out.str();
}

} // namespace

Time parseTime(const std::string& text) {
    static const char* const kFormats[] = {"%F", "%FT%TZ", "%FT%T%Ez", "%FT%RZ", "%FT%R%Ez"};
    for (const char* format : kFormats) {
        if (const std::optional<Time> time = parseAs(text, format)) {
            if (*time < kStampEpoch || *time >= kLastDay + date::days{1}) {
                throw std::invalid_argument(text + " is outside 1904-01-01 to 9999-12-31");
            }
            return *time;
        }
    }
    throw std::invalid_argument(text + " is not a date such as 2026-03-18 or 2026-03-18T07:42:10Z");
}

std::string isoTime(Time time) {
    return formatted(time, "%FT%TZ");
}

std::string isoDate(Time time) {
    return formatted(time, "%F");
}

std::string localTimeText(Time time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm parts{};
#ifdef _WIN32
    const bool converted = localtime_s(&parts, &seconds) == 0;
#else
    const bool converted = localtime_r(&seconds, &parts) != nullptr;
#endif
    char text[40] = "?";
    if (converted) {
        // strftime's %z is the zone's offset in C99 and POSIX but its name in Windows' C runtime
        // (msvcrt.dll), so the offset is written from the broken-down time itself.
        const date::sys_seconds asIfUtc = date::sys_days(date::year{parts.tm_year + 1900} /
                                                         (parts.tm_mon + 1) / parts.tm_mday) +
                                          std::chrono::hours(parts.tm_hour) + std::chrono::minutes(parts.tm_min) +
                                          std::chrono::seconds(parts.tm_sec);
        const long offsetMinutes = static_cast<long>((asIfUtc.time_since_epoch().count() - seconds) / 60);
        const long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
        const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
        std::snprintf(text + length, sizeof text - length, "%c%02ld%02ld", offsetMinutes < 0 ? '-' : '+',
                      magnitude / 60, magnitude % 60);
    }
    return text;
}

bool isMidnight(Time time) {
    return date::floor<date::days>(time) == time;
}

long calendarDaysBetween(Time from, Time to) {
    return static_cast<long>((date::floor<date::days>(to) - date::floor<date::days>(from)).count());
}

Time now() {
    return date::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

std::optional<Time> timeOfStamp(const hwSysAttrTimestampUTC& stamp) {
    if (stamp.seconds == 0 && stamp.fraction == 0) {
        return std::nullopt;
    }
    return Time(kStampEpoch) + std::chrono::seconds(stamp.seconds);
}

hwSysAttrTimestampUTC stampOf(Time time) {
    return {0, static_cast<decltype(hwSysAttrTimestampUTC::seconds)>((time - Time(kStampEpoch)).count())};
}

} // namespace hwconfig
