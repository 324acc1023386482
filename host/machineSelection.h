// Which machine the simulated Windows runs hwconfig on.
#pragma once

#include <string>

namespace hwconfig {

// Names the machine description for the module: `requested`, or without one the lab machine
// shipped beside the program. Must run before the module is loaded: the simulated Windows reads
// the variable when first asked. Throws HostError when the file is missing.
void selectMachine(const std::string& requested);

} // namespace hwconfig
