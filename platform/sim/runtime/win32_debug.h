// Debugger output of the simulated Windows.
#pragma once

#include "platform/sim/win32_types.h"

// Without a debugger the text goes nowhere; with the environment variable QVKELP_DEBUG_OUTPUT=1
// it goes to the standard error stream, so that a developer can watch it.
WINSIM_API void WINAPI OutputDebugStringA(LPCSTR text);
