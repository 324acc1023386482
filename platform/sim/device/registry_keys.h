// Registry keys handed out by the simulated SetupAPI and registry. An open key holds the machine
// snapshot its data lives in, so a reloaded description never changes a key under its caller.
#pragma once

#include "platform/sim/device/machine_state.h"
#include "platform/sim/device/win32_setupapi.h"

namespace winsim {

HKEY openRegistryKey(std::shared_ptr<const MachineState> machine, const sim::RegistryKey& key);

} // namespace winsim
