// The functions of the board libraries that the module loads by name at run time, as the module
// calls them and the libraries export them.
//
// Board driver library: every function is exported as the library's name followed by the suffix
// (qvkelpdrvu_selfTest). Text arguments are narrow and NUL-terminated; each function returns a
// status code (0 success, negative failure, positive warning). Times are whole seconds since
// 1904-01-01 00:00:00 UTC and a fraction in units of 2^-64 s.
#pragma once

#include "abi/qverrStatus.h"

#include <cstdint>

namespace boardlib {

// Seconds from the time stamps' epoch, 1904-01-01 00:00:00 UTC, to the Unix epoch.
constexpr std::int64_t kSecondsFrom1904To1970 = 2082844800;

// The code a write returns when the password given is not the board's calibration password.
constexpr std::int32_t kCalPasswordInvalid = -1074097898;
constexpr std::int32_t kSensorCount = 4;

// devicePath: the device path of the board's main interface.
using SelfTestFunction = std::int32_t (*)(const char* devicePath);
using ReadTemperatureFunction = std::int32_t (*)(const char* devicePath, std::int32_t sensorIndex,
                                                 double* temperature);
using ReadSelfCalTimeFunction = std::int32_t (*)(const char* devicePath, std::int64_t* seconds,
                                                 std::uint64_t* fraction);
using ReadSelfCalTemperatureFunction = std::int32_t (*)(const char* devicePath, double* temperature);
using ReadExternalCalVerificationTimeFunction = std::int32_t (*)(const char* devicePath, std::int64_t* seconds,
                                                                 std::uint64_t* fraction);
using ReadExternalCalIntervalFunction = std::int32_t (*)(const char* devicePath, std::int32_t* days);
// deviceName: the main interface's device path as the host hands it back.
using WriteExternalCalVerificationTimeFunction = std::int32_t (*)(const char* deviceName, std::int64_t seconds,
                                                                  std::uint64_t fraction, const char* password);
using WriteExternalCalIntervalFunction = std::int32_t (*)(const char* deviceName, std::uint32_t days,
                                                          const char* password);
using ChangeExternalCalPasswordFunction = std::int32_t (*)(const char* deviceName, const char* newPassword,
                                                           const char* currentPassword);

constexpr const char* kSelfTestSuffix = "_selfTest";
constexpr const char* kReadTemperatureSuffix = "_readTemperature";
constexpr const char* kReadSelfCalTimeSuffix = "_readSelfCalTime";
constexpr const char* kReadSelfCalTemperatureSuffix = "_readSelfCalTemperature";
constexpr const char* kReadExternalCalVerificationTimeSuffix = "_readExternalCalVerificationTime";
constexpr const char* kReadExternalCalIntervalSuffix = "_readExternalCalInterval";
constexpr const char* kWriteExternalCalVerificationTimeSuffix = "_writeExternalCalVerificationTime";
constexpr const char* kWriteExternalCalIntervalSuffix = "_writeExternalCalInterval";
constexpr const char* kChangeExternalCalPasswordSuffix = "_changeExternalCalPassword";

// Self-calibration library: one function taking the board's item name (device instance ID).
using SelfCalibrateFunction = std::int32_t (*)(const char* itemName);

// Reset library "qvrocoapi". createSession returns a session even when it reports a failure, and
// every session returned is destroyed exactly once.
using ResetSession = void*;
using CreateResetSessionFunction = ResetSession (*)(qverr::Status* status);
using InitiateDeviceResetFunction = void (*)(ResetSession session, const char* itemName, qverr::Status* status);
using DestroyResetSessionFunction = void (*)(ResetSession session);

constexpr const char* kResetLibraryName = "qvrocoapi";
constexpr const char* kCreateResetSessionName = "qvrocoapi_createSession";
constexpr const char* kInitiateDeviceResetName = "qvrocoapi_initiateDeviceReset";
constexpr const char* kDestroyResetSessionName = "qvrocoapi_destroySession";

} // namespace boardlib
