// What only the simulated PXI services library offers: its session counts, so that a test can
// see that every session opened was closed.
#pragma once

#include "abi/qvpxisvc.h"

extern "C" {

// Sessions open now, over all threads.
QVPXISVC_API std::uint32_t qvpxisvcSim_openSessionCount();
// Sessions opened since the library was loaded.
QVPXISVC_API std::uint32_t qvpxisvcSim_sessionsOpened();

} // extern "C"
