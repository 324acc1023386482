// The boards present, by item name, in the order the expert hands them out.
#pragma once

#include "hwsys/hwsys.h"

#include <string>
#include <vector>

namespace hwconfig {

struct BoardName {
    std::basic_string<WCHAR> wide; // as the expert's operations take it
    std::string text;              // UTF-8, for output
};

// Throws HostError when the expert cannot list them.
std::vector<BoardName> readBoardNames(IhwSysExpert2* expert);

} // namespace hwconfig
