// Every translation of one kind of code into another, one table each (errorTranslation.cpp):
//
//   Win32 error  --statusOfWin32Error-->  status code  --statusToHResult-->  HRESULT the host receives
//                                         status code  --errorConstantOf-->  "error_constant" of a report
//   Win32 error  --winErrorCodeOf-->      code of a qv::brix::osdep::WinError (getCode)
//
// The host sees only the HRESULT: the other codes and texts stay in status records, payloads and
// exceptions for whoever diagnoses the failure. The host boundary (com/hostBoundary.h) decides which
// of the call's status, exception or thrown HRESULT reaches statusToHResult.
#pragma once

#include "hwsys/hwsys_errors.h"
#include "platform/win32.h"

#include <cstdint>

namespace nQVOSALS100 {

// The status code a Win32 error reports; osalStatusUnexpected for every error the table leaves out.
std::int32_t statusOfWin32Error(std::uint32_t win32Error) noexcept;

// The HRESULT a host method returns for a status code: S_OK for success, S_FALSE for every warning,
// E_FAIL for an error the table leaves out.
HRESULT statusToHResult(std::int32_t code) noexcept;

// The symbolic name that the reports of a code carry as "error_constant", or null for a code that
// has none.
const char* errorConstantOf(std::int32_t code) noexcept;

} // namespace nQVOSALS100

namespace qv::brix::osdep {

// The code of an operating-system failure the support library has no code of its own for.
constexpr std::uint32_t kOSOtherError = 42;

// What WinError::getCode answers for a Win32 error (kOSOtherError for errors the table leaves out).
std::uint32_t winErrorCodeOf(DWORD win32Error) noexcept;

} // namespace qv::brix::osdep
