// The calling thread's last Win32 error.
#include "platform/sim/win32_error.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

WINSIM_API DWORD WINAPI GetLastError() { return lastError; }

WINSIM_API void WINAPI SetLastError(DWORD error) { lastError = error; }
