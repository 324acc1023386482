#include "host/timeText.h"

#include "host/output.h"
#include "platform/win32.h"

#include <algorithm>
#include <cctype>
#include <chrono>
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

namespace {

// The shapes a date may take, 'd' for a digit and '+' for either sign: every field has all its
// digits, so that "2026-1-5" is not read as some day the user did not mean.
bool hasShape(const std::string& text) {
    static const char* const kShapes[] = {"dddd-dd-dd", "dddd-dd-ddTdd:ddZ", "dddd-dd-ddTdd:dd:ddZ",
                                          "dddd-dd-ddTdd:dd+dd:dd", "dddd-dd-ddTdd:dd:dd+dd:dd"};
    for (const std::string shape : kShapes) {
        const bool fits =
            std::equal(shape.begin(), shape.end(), text.begin(), text.end(), [](char want, char got) {
                return want == 'd'   ? std::isdigit(static_cast<unsigned char>(got)) != 0
                       : want == '+' ? got == '+' || got == '-'
                                     : want == got;
            });
        if (fits) {
            return true;
        }
    }
    return false;
}

// An offset from UTC is less than a day: hours 00 to 23, minutes 00 to 59.
bool hasPossibleOffset(const std::string& text) {
    const std::size_t sign = text.find_first_of("+-", 10);
    if (sign == std::string::npos) {
        return true;
    }
    return std::stoi(text.substr(sign + 1, 2)) <= 23 && std::stoi(text.substr(sign + 4, 2)) <= 59;
}

// The offset a local time is written with: the zone's, in whole minutes and less than a day, as
// the parser takes it. A zone's offset may have seconds (Amsterdam's +00:19:32 before 1937) or, from
// a TZ value, reach a day or more; the moment is then written in the nearest offset the parser takes.
std::chrono::seconds writableOffset(std::chrono::seconds zoneOffset) {
    constexpr std::chrono::minutes kLargest{23 * 60 + 59};
    const std::chrono::minutes minutes = date::round<std::chrono::minutes>(zoneOffset);
    return std::clamp(minutes, -kLargest, kLargest);
}

SYSTEMTIME systemTimeOf(Time time) {
    const date::sys_days day = date::floor<date::days>(time);
    const date::year_month_day ymd{day};
    const date::hh_mm_ss<std::chrono::seconds> clock{time - day};
    SYSTEMTIME fields{};
    fields.wYear = static_cast<WORD>(static_cast<int>(ymd.year()));
    fields.wMonth = static_cast<WORD>(static_cast<unsigned>(ymd.month()));
    fields.wDay = static_cast<WORD>(static_cast<unsigned>(ymd.day()));
    fields.wHour = static_cast<WORD>(clock.hours().count());
    fields.wMinute = static_cast<WORD>(clock.minutes().count());
    fields.wSecond = static_cast<WORD>(clock.seconds().count());
    return fields;
}

date::local_seconds localTimeOf(const SYSTEMTIME& fields) {
    return date::local_days{date::year{fields.wYear} / date::month{fields.wMonth} / date::day{fields.wDay}} +
           std::chrono::hours{fields.wHour} + std::chrono::minutes{fields.wMinute} +
           std::chrono::seconds{fields.wSecond};
}

// How far the system's time zone is ahead of UTC at a moment. A Windows program takes the zone the
// system is set to, with the daylight-saving rules of the moment's year, not TZ as the C runtime
// reads it; nothing when the system cannot convert the moment.
std::optional<std::chrono::seconds> systemZoneOffset(Time time) {
    const SYSTEMTIME universal = systemTimeOf(time);
    TIME_ZONE_INFORMATION rules{};
    SYSTEMTIME local{};
    if (!GetTimeZoneInformationForYear(universal.wYear, nullptr, &rules) ||
        !SystemTimeToTzSpecificLocalTime(&rules, &universal, &local)) {
        return std::nullopt;
    }
    return localTimeOf(local).time_since_epoch() - time.time_since_epoch();
}

} // namespace

Time parseTime(const std::string& text) {
    static const char* const kFormats[] = {"%F", "%FT%TZ", "%FT%T%Ez", "%FT%RZ", "%FT%R%Ez"};
    if (!hasShape(text)) {
        throw std::invalid_argument(wordShown(text) +
                                    " is not a date such as 2026-03-18 or 2026-03-18T07:42:10Z (every field "
                                    "with all its digits)");
    }
    if (!hasPossibleOffset(text)) {
        throw std::invalid_argument(wordShown(text) + " has an offset from UTC outside -23:59 to +23:59");
    }
    for (const char* format : kFormats) {
        if (const std::optional<Time> time = parseAs(text, format)) {
            if (*time < kStampEpoch || *time >= lastStorableTime()) {
                throw std::invalid_argument(wordShown(text) + " is outside 1904-01-01 to 9999-12-31");
            }
            return *time;
        }
    }
    throw std::invalid_argument(wordShown(text) + " is not a day or time of the calendar");
}

Time lastStorableTime() {
    return kLastDay + date::days{1};
}

std::string isoTime(Time time) {
    return formatted(time, "%FT%TZ");
}

std::string isoDate(Time time) {
    return formatted(time, "%F");
}

std::string localTimeText(Time time) {
    const std::optional<std::chrono::seconds> zoneOffset = systemZoneOffset(time);
    if (!zoneOffset) {
        return "?";
    }
    const std::chrono::seconds offset = writableOffset(*zoneOffset);
    // The date library writes the offset ("-04:00") as hwconfig's parser reads it, on every system
    // alike; the clock time is the moment's in that offset, so the text reads back to the moment.
    std::ostringstream out;
    out.imbue(std::locale::classic());
    date::to_stream(out, "%FT%T%Ez", date::local_seconds{time.time_since_epoch() + offset}, nullptr, &offset);
    return out.str();
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
