// Data types of the host interfaces: time structures, property type codes, the expert's GUID.
#pragma once

#include "hwsys/hwsys_base.h"

#include <cstdint>

// A point in time as a signed 64.64 fixed-point count of seconds since 1904-01-01 00:00:00 UTC.
// All sixteen bytes zero means that no time is set.
struct hwSysAttrTimestampUTC {
    std::uint64_t fraction; // units of 2^-64 s
    std::int64_t seconds;
};
static_assert(sizeof(hwSysAttrTimestampUTC) == 16, "the host reads the time stamp as 16 bytes");

// Calendar date and time in local time; all six fields -1 means that no time is set.
struct hwSysAttrDateTime {
    std::int32_t year;
    std::int32_t month;
    std::int32_t day;
    std::int32_t hour;
    std::int32_t minute;
    std::int32_t second;
};
static_assert(sizeof(hwSysAttrDateTime) == 24, "the host reads the date-time as six 32-bit fields");

// The type code of a stored property value, as GetPropertyType reports it.
enum hwSysPropertyType : std::uint32_t {
    hwSysPropertyTypeBool = 1,
    hwSysPropertyTypeLong = 2,
    hwSysPropertyTypeULong = 3,
    hwSysPropertyTypeDouble = 4,
    hwSysPropertyTypeGuid = 5,
    hwSysPropertyTypeString = 6,
    hwSysPropertyTypeTimestamp = 7,
};

// The identity of the QV-KELP expert among the host's experts.
inline constexpr GUID hwSysExpertGuidQVKELP = {
    0xC7110F75, 0x8354, 0x442E, {0x8E, 0xE8, 0x24, 0x55, 0x6D, 0xC6, 0x87, 0x14}};
