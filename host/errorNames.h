// The names of the codes a failure can carry, so that no message shows a bare number: HRESULTs
// (the standard ones, the host's range, and Win32 errors wrapped in an HRESULT), Win32 errors and
// the status codes of the board libraries.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <string>

namespace hwconfig {

// "0x8004037B"
std::string hresultHex(HRESULT result);
// "HW_E_ALIAS_IN_USE", "HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)", or empty for a code without a name.
std::string hresultName(HRESULT result);
// "HW_E_ALIAS_IN_USE (0x8004037B)", or the hexadecimal code alone when it has no name.
std::string describeHResult(HRESULT result);
// "ERROR_MOD_NOT_FOUND (126)"; a value with the top bit set is a status code that reached the
// last-error slot and is shown signed: "osalStatusUnexpected (-52003)".
std::string describeWin32Error(DWORD error);
// "osalStatusResourceNotFound (-52006)", or the signed number alone.
std::string describeStatusCode(std::int32_t code);

} // namespace hwconfig
