// Which board a command means. BOARD on the command line is the number `list` prints for it or
// its item name (compared without regard to ASCII letter case, as the system compares device
// instance IDs). Aliases are not looked up here yet: a board's alias reaches a host only through
// its property report, and the commands will accept it once that report is offered.
#pragma once

#include "host/expertModule.h"

#include <cstddef>
#include <string>
#include <vector>

namespace hwconfig {

// The item names of the boards present, in the order the expert hands them out.
std::vector<std::string> readItemNames(IhwSysExpert2* expert);

struct SelectedBoard {
    std::size_t number; // as `list` prints it, from 1
    std::string itemName;
};

// Throws HostError (kExitNoSuchBoard) when no board present answers to `board`.
SelectedBoard selectBoard(IhwSysExpert2* expert, const std::string& board);

} // namespace hwconfig
