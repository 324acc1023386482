// Property tags: the numbers under which the host and the expert exchange a board's properties.
// Tags whose meaning the host does not name to experts carry their number in their name.
#pragma once

#include "hwsys/hwsys_base.h"

// Identity and location of the board.
constexpr ULONG hwSysTagFixed1001000 = 0x1001000;
constexpr ULONG hwSysTagFixed1002000 = 0x1002000;
constexpr ULONG hwSysTagPciVendorId = 0x1003000;
constexpr ULONG hwSysTagManufacturerName = 0x1004000;
constexpr ULONG hwSysTagPciSubsystemId = 0x1005000;
constexpr ULONG hwSysTagModelName = 0x1006000;
constexpr ULONG hwSysTagSerialNumber = 0x1007000;
constexpr ULONG hwSysTagIsProductQV = 0x1008000;
constexpr ULONG hwSysTagPxiChassis = 0x100A000;
constexpr ULONG hwSysTagPxiSlot = 0x100B000;
constexpr ULONG hwSysTagSlotsOccupied = 0x1048000;
constexpr ULONG hwSysTagFixed1020000 = 0x1020000;
constexpr ULONG hwSysTagPciBusNumber = 0x1018000;
constexpr ULONG hwSysTagPciDeviceNumber = 0x1019000;
constexpr ULONG hwSysTagPciFunctionNumber = 0x101A000;
constexpr ULONG hwSysTagPcieLinkWidth = 0x1030000;
constexpr ULONG hwSysTagPcieMaxLinkWidth = 0x1031000;
constexpr ULONG hwSysTagPxiSlotNumber = 0x1032000;
constexpr ULONG hwSysTagFixed101C000 = 0x101C000;
constexpr ULONG hwSysTagItemName = 0x101D000;
constexpr ULONG hwSysTagFixed102A000 = 0x102A000;
constexpr ULONG hwSysTagExpertIdentifier = 0x101E000;
constexpr ULONG hwSysTagAlias = 0x101F000;
constexpr ULONG hwSysTagFixed1037000 = 0x1037000;
constexpr ULONG hwSysTagFixed1054000 = 0x1054000;
constexpr ULONG hwSysTagFixed1024000 = 0x1024000;
constexpr ULONG hwSysTagFixed1056000 = 0x1056000;

// Calibration records.
constexpr ULONG hwSysTagSelfCalPresent = 0x1010000;
constexpr ULONG hwSysTagSelfCalTime = 0x1011000;
constexpr ULONG hwSysTagSelfCalTemperature = 0x1012000;
constexpr ULONG hwSysTagExternalCalPresent = 0x1014000;
constexpr ULONG hwSysTagExternalCalTime = 0x1015000;
constexpr ULONG hwSysTagExternalCalDue = 0x1017000;
constexpr ULONG hwSysTagFixed1069000 = 0x1069000;
constexpr ULONG hwSysTagFixed106B000 = 0x106B000;
// Read from the bags the host hands in, never reported.
constexpr ULONG hwSysTagExternalCalPassword = 0x106D000;
constexpr ULONG hwSysTagNewExternalCalPassword = 0x106E000;

// Temperatures: a count, then a name and a reading per sensor under consecutive tags.
constexpr ULONG hwSysTemperatureSensorCount = 4;
constexpr ULONG hwSysTagTemperatureSensorCount = 0x1064000;
constexpr ULONG hwSysTagTemperatureSensorNameFirst = 0x1065000;
constexpr ULONG hwSysTagTemperatureFirst = 0x102E000;
constexpr ULONG hwSysTagTemperatureSensorName(ULONG sensor) {
    return hwSysTagTemperatureSensorNameFirst + sensor;
}
constexpr ULONG hwSysTagTemperature(ULONG sensor) {
    return hwSysTagTemperatureFirst + sensor;
}
constexpr ULONG hwSysTagFixed106F000 = 0x106F000;

// Device paths, revision and routing.
constexpr ULONG hwSysTagRegisterAccessDevicePath = 0x1070000;
constexpr ULONG hwSysTagHardwareRevision = 0x1075000;
constexpr ULONG hwSysTagRoutingAdaptorName = 0x16002000;
constexpr ULONG hwSysTagRoutingDevicePath = 0x16003000;
constexpr ULONG hwSysTagRoutingItemName = 0x1600A000;
constexpr ULONG hwSysTagFixed10001000 = 0x10001000;
constexpr ULONG hwSysTagFixed10002000 = 0x10002000;
constexpr ULONG hwSysTagFixed10003000 = 0x10003000;
// The board's main interface device path; the calibration writes take it as the board's name.
constexpr ULONG hwSysTagMainDevicePath = 0x1000A000;
