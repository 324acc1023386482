// The system types the host interfaces are written in: the Windows headers on Windows, the
// simulated Windows' declarations elsewhere.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <oleauto.h>
#else
#include "platform/sim/win32_types.h"
#endif
