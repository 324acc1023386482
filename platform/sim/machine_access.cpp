// Placeholder until the machine description reader lands: an empty machine without faults.
#include "platform/sim/machine_access.h"

namespace winsim {

std::shared_ptr<const MachineFacts> currentMachineFacts() {
    static const auto empty = std::make_shared<const MachineFacts>();
    return empty;
}

bool takeInjectedFault(const char*, std::string_view, DWORD*) { return false; }

} // namespace winsim
