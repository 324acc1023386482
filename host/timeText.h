// hwconfig's one reading and writing of dates and times (ISO-8601, in UTC) and its one conversion
// to and from the host's time stamps, which count seconds from 1904-01-01.
#pragma once

#include "hwsys/hwsys_types.h"

#include <date/date.h>

#include <optional>
#include <string>

namespace hwconfig {

using Time = date::sys_seconds;

// "2026-03-18" (midnight UTC), "2026-03-18T07:42Z", "2026-03-18T07:42:10Z" or with an offset,
// "2026-03-18T09:42:10+02:00". Throws std::invalid_argument with words for the user: not such a
// text, no such day, an offset of a day or more, or a time before 1904 or after 9999, which no time stamp can
// hold.
Time parseTime(const std::string& text);

// "2026-03-18T00:00:00Z"
std::string isoTime(Time time);
// "2026-03-18"
std::string isoDate(Time time);
// The first moment after 9999-12-31, which parseTime refuses and nothing hwconfig writes may reach.
Time lastStorableTime();
// "2026-03-18T01:00:00+01:00": the same moment in the machine's time zone.
std::string localTimeText(Time time);
bool isMidnight(Time time);
// Calendar days (UTC) from the day of `from` to the day of `to`: -1 for yesterday, 1 for tomorrow.
long calendarDaysBetween(Time from, Time to);
Time now();

// The moment of a host time stamp (its fraction of a second dropped); nothing for "not set", the
// stamp that is zero.
std::optional<Time> timeOfStamp(const hwSysAttrTimestampUTC& stamp);
hwSysAttrTimestampUTC stampOf(Time time);

} // namespace hwconfig
