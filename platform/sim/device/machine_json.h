// Reading a machine description (JSON) into a sim::Machine.
#pragma once

#include "platform/sim/device/board_state.h"
#include "platform/sim/device/machine.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

// A description as read: the machine, and each device's board state (absent for a device without
// a board) taken from the JSON tree itself, so that building the machine does not parse the boards'
// text a second time.
struct ParsedDescription {
    sim::Machine machine;
    std::vector<std::optional<sim::BoardState>> boardStates; // one per device
};

// Relative folders are taken from `folder`. Throws std::invalid_argument("member: problem"), the
// member written as a path such as devices[3].parent.
ParsedDescription parseMachineDescription(const std::string& text, const std::filesystem::path& folder);

} // namespace winsim
