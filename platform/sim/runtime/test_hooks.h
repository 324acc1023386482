// Controls of the simulated Windows that exist only for tests; module code never sees them.
#pragma once

#include "platform/sim/win32_types.h"

// From now on, SysAllocString succeeds `successes` more times and then returns NULL for the
// following `failures` calls, as when the process runs out of memory. (0, 0) restores normal service.
WINSIM_API void winsim_failSysAllocString(unsigned successes, unsigned failures);
// The failures of the last plan not yet handed out: 0 once they all happened.
WINSIM_API unsigned winsim_pendingSysAllocStringFailures();
