// The status codes shared by both status kinds: 0 success, negative error, positive warning.
#pragma once

#include "abi/boardLibraries.h"

#include <cstdint>

namespace nQVOSALS100 {

constexpr std::int32_t osalStatusSuccess = 0;
constexpr std::int32_t osalStatusPending = 52011;
constexpr std::int32_t osalStatusMemoryFull = -52000;
constexpr std::int32_t osalStatusNotSupported = -52002;
constexpr std::int32_t osalStatusUnexpected = -52003;
constexpr std::int32_t osalStatusWrongType = -52004;
constexpr std::int32_t osalStatusInvalidParameter = -52005;
constexpr std::int32_t osalStatusResourceNotFound = -52006;
constexpr std::int32_t osalStatusTimeout = -52007;
constexpr std::int32_t osalStatusOSFault = -52008;
constexpr std::int32_t osalStatusAccessDenied = -52009;
constexpr std::int32_t osalStatusNotReady = -52010;
constexpr std::int32_t osalStatusEndOfFile = -52012;
constexpr std::int32_t osalStatusAlreadyExists = -52013;
constexpr std::int32_t osalStatusBufferTooSmall = -52019;
constexpr std::int32_t osalStatusDeviceRemoved = -52020;
constexpr std::int32_t osalStatusInsufficientPower = -52021;
constexpr std::int32_t osalStatusFileAccessDenied = -52026;
// Placed in a status only by a board library: the calibration password did not match.
constexpr std::int32_t boardStatusCalPasswordInvalid = boardlib::kCalPasswordInvalid;

// The precedence rule of both status kinds (abi/qverrStatus.h).
using qverr::acceptsStatusCode;

// The component name every report of the module carries.
constexpr const char* kComponentName = "qvkelpsysapiexpertu";

} // namespace nQVOSALS100
