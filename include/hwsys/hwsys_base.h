// The system types the host interfaces are written in, reached as the module reaches every system
// name: through platform/win32.h (the Windows headers on Windows, the simulated Windows elsewhere).
#pragma once

#include "platform/win32.h"
