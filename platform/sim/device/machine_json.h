// Reading a machine description (JSON) into a sim::Machine.
#pragma once

#include "platform/sim/device/machine.h"

#include <filesystem>
#include <string>

namespace winsim {

// Relative folders are taken from `folder`. Throws std::invalid_argument("member: problem"), the
// member written as a path such as devices[3].parent.
sim::Machine parseMachineDescription(const std::string& text, const std::filesystem::path& folder);

} // namespace winsim
