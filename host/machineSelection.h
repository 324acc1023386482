// Which machine the simulated Windows runs hwconfig on (the lab machine beside the program unless
// --machine names another). Must be settled before the module is loaded: the simulation reads the
// machine when first asked. On Windows the real machine is used and there is no --machine.
#pragma once

#include <optional>
#include <string>

namespace hwconfig {

// The description file in use, absolute; throws HostError when the named one cannot be used:
// an empty name, a missing file, a folder or device, or a description the simulation refuses.
std::string selectMachine(const std::optional<std::string>& requested);

} // namespace hwconfig
