// Event objects of the simulated Windows.
#pragma once

#include "platform/sim/runtime/kernel_objects.h"

namespace winsim {

// An event as a lock request's completion event. No wait function is simulated and every request
// completes inside its call, so an event's signal state is never observed; the object exists so
// that its handle is validated and closed as on Windows.
class Event final : public KernelObject {};

} // namespace winsim
