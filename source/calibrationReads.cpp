#include "source/calibrationReads.h"

#include "abi/boardLibraries.h"
#include "hwsys/hwsys_tags.h"
#include "support/status.h"
#include "support/statusCodes.h"

#include <cstdint>

namespace qvkelpsysapiexpert {

using nQVOSALS100::tStatus;

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// A board that reports a negative interval is due two years after its calibration.
constexpr std::int32_t kIntervalForNegativeDays = 730;

// Merges a library code into the group's own status; true once that status holds an error.
bool groupFailed(tStatus& groupStatus, std::int32_t code) {
    groupStatus.setCode(code, nQVOSALS100::kComponentName, __FILE__, __LINE__);
    return groupStatus.isFatal();
}

const WCHAR* sensorName(std::int32_t sensor, tStatus& status) {
    static const WCHAR* const names[] = {OLESTR("Analog Front End"), OLESTR("FPGA"), OLESTR("Basecard Sensor 0"),
                                         OLESTR("Basecard Sensor 1")};
    if (sensor < 0 || sensor >= boardlib::kSensorCount) {
        status.setCode(nQVOSALS100::osalStatusInvalidParameter, nQVOSALS100::kComponentName, __FILE__, __LINE__);
        return OLESTR("");
    }
    return names[sensor];
}

} // namespace

void reportSelfCalInfo(const BoardDriver& driver, ReportBag& bag) {
    tStatus groupStatus;
    bag.setBool(hwSysTagSelfCalPresent, true);
    hwSysAttrTimestampUTC time{};
    const auto readTime = driver.function<boardlib::ReadSelfCalTimeFunction>(boardlib::kReadSelfCalTimeSuffix);
    if (groupFailed(groupStatus, readTime(driver.devicePath, &time.seconds, &time.fraction))) {
        return;
    }
    bag.setTimestamp(hwSysTagSelfCalTime, time);
    double temperature = 0;
    const auto readTemperature =
        driver.function<boardlib::ReadSelfCalTemperatureFunction>(boardlib::kReadSelfCalTemperatureSuffix);
    if (groupFailed(groupStatus, readTemperature(driver.devicePath, &temperature))) {
        return;
    }
    bag.setDouble(hwSysTagSelfCalTemperature, temperature);
}

void reportExternalCalInfo(const BoardDriver& driver, ReportBag& bag) {
    tStatus groupStatus;
    bag.setBool(hwSysTagExternalCalPresent, true);
    hwSysAttrTimestampUTC time{};
    const auto readTime = driver.function<boardlib::ReadExternalCalVerificationTimeFunction>(
        boardlib::kReadExternalCalVerificationTimeSuffix);
    if (groupFailed(groupStatus, readTime(driver.devicePath, &time.seconds, &time.fraction))) {
        return;
    }
    bag.setTimestamp(hwSysTagExternalCalTime, time);
    std::int32_t intervalDays = 0;
    const auto readInterval =
        driver.function<boardlib::ReadExternalCalIntervalFunction>(boardlib::kReadExternalCalIntervalSuffix);
    if (groupFailed(groupStatus, readInterval(driver.devicePath, &intervalDays))) {
        return;
    }
    if (intervalDays < 0) {
        intervalDays = kIntervalForNegativeDays;
    }
    // An interval of 0 means the board names no due date.
    if (intervalDays != 0) {
        bag.setTimestamp(hwSysTagExternalCalDue, {time.fraction, time.seconds + intervalDays * kSecondsPerDay});
    }
    bag.setLong(hwSysTagFixed1069000, 24);
    bag.setBool(hwSysTagFixed106B000, true);
}

void reportTemperatures(const BoardDriver& driver, ReportBag& bag) {
    tStatus groupStatus;
    bag.setLong(hwSysTagTemperatureSensorCount, boardlib::kSensorCount);
    const auto readTemperature = driver.function<boardlib::ReadTemperatureFunction>(boardlib::kReadTemperatureSuffix);
    for (std::int32_t sensor = 0; sensor < boardlib::kSensorCount; ++sensor) {
        double temperature = 0;
        const std::int32_t code = readTemperature(driver.devicePath, sensor, &temperature);
        const WCHAR* name = sensorName(sensor, groupStatus);
        if (groupFailed(groupStatus, code)) {
            return;
        }
        const auto index = static_cast<ULONG>(sensor);
        bag.setString(hwSysTagTemperatureSensorName(index), name);
        bag.setDouble(hwSysTagTemperature(index), temperature);
    }
}

} // namespace qvkelpsysapiexpert
