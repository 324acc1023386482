#include "platform/sim/handle_table.h"

#include <atomic>

namespace winsim {

// Multiples of four from 0x10000, as kernel handles are; one sequence for every kind, so a handle
// of one kind is never taken for a live handle of another.
std::uintptr_t nextHandleValue() {
    static std::atomic<std::uintptr_t> next{0x10000};
    return next.fetch_add(4, std::memory_order_relaxed);
}

} // namespace winsim
