// Reading a machine description (JSON) into a sim::Machine.
#pragma once

#include "platform/sim/device/board_state.h"
#include "platform/sim/device/machine.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct cJSON;

namespace winsim {

// A device's board as a description file gives it: its state, and its JSON kept as a tree whose
// text is printed only when asked for (sim::boardDescription), not for every board of every read.
struct ParsedBoard {
    std::optional<sim::BoardState> state;
    std::shared_ptr<const cJSON> tree;
};

// A description as read: the machine, its devices' board text left empty, and each device's board
// (none for a device without one) read from the JSON tree itself, so that building the machine
// neither prints the boards nor parses their text again.
struct ParsedDescription {
    sim::Machine machine;
    std::vector<ParsedBoard> boards; // one per device
};

// Relative folders are taken from `folder`. Throws std::invalid_argument("member: problem"), the
// member written as a path such as devices[3].parent.
ParsedDescription parseMachineDescription(const std::string& text, const std::filesystem::path& folder);
// The machine with each device's board text, as sim::Machine holds it.
sim::Machine machineWithBoardText(ParsedDescription description);

} // namespace winsim
