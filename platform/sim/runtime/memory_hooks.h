// Test hooks of the simulated Windows for COM task memory. Only tests include this header.
#pragma once

#include "platform/sim/win32_types.h"

// Makes CoTaskMemAlloc, and CoTaskMemRealloc with a non-zero size, fail `failures` times (on any
// thread) once `successes` further requests have succeeded. A later call replaces the plan.
WINSIM_API void winsimFailTaskMemory(unsigned successes, unsigned failures);
// Cancels any planned failure.
WINSIM_API void winsimClearTaskMemoryFaults();
// The planned failures not yet handed out: 0 once they all happened.
WINSIM_API unsigned winsimPendingTaskMemoryFailures();
// The number of task-memory blocks allocated and not yet freed in this process.
WINSIM_API long long winsimLiveTaskMemoryBlocks();
