// The machine facts and fault injection offered to the other parts of the simulated Windows.
#include "platform/sim/machine_access.h"

#include "platform/sim/device/machine_state.h"

namespace winsim {

std::shared_ptr<const MachineFacts> currentMachineFacts() {
    std::shared_ptr<const MachineState> machine = currentMachine();
    const MachineFacts* facts = &machine->facts;
    return std::shared_ptr<const MachineFacts>(std::move(machine), facts);
}

bool takeInjectedFault(const char* call, std::string_view argument, DWORD* error) {
    return takeInjectedFault(*currentMachine(), call, argument, error);
}

} // namespace winsim
