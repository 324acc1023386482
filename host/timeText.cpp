#include "host/timeText.h"

#include "host/output.h"

#include <algorithm>
#include <cctype>
#include <chrono>
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
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm parts{};
#ifdef _WIN32
    const bool converted = localtime_s(&parts, &seconds) == 0;
#else
    const bool converted = localtime_r(&seconds, &parts) != nullptr;
#endif
    if (!converted) {
        return "?";
    }
    // The C runtime gives the local fields; the offset is what separates them from UTC.
    const date::local_seconds local = date::local_days{date::year{parts.tm_year + 1900} /
                                                       date::month{static_cast<unsigned>(parts.tm_mon + 1)} /
                                                       date::day{static_cast<unsigned>(parts.tm_mday)}} +
                                      std::chrono::hours{parts.tm_hour} + std::chrono::minutes{parts.tm_min} +
                                      std::chrono::seconds{parts.tm_sec};
    const std::chrono::seconds offset = writableOffset(local.time_since_epoch() - time.time_since_epoch());
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
