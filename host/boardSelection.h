// Which board a command means: the user names it by its number in `hwconfig list` (from 1), its
// item name (letter case ignored, as device instance IDs compare) or its alias (exact).
#pragma once

#include "host/boardReports.h"

#include <cstddef>
#include <string>
#include <vector>

namespace hwconfig {

// The index of the board named by `board`; throws HostError when no board answers to it.
std::size_t selectBoard(const std::vector<BoardReport>& boards, const std::string& board);

} // namespace hwconfig
