// Which board a command means. The user names it by its number in `hwconfig list` (from 1), its
// item name (letter case ignored, as device instance IDs compare), its alias (exact), its location
// in a PXI chassis ("PXI1/3", chassis and slot) or its serial number (letter case ignored). A name
// that fits more than one board is refused with the boards it fits; "alias:NAME" names a board by
// its alias alone, for an alias that reads as a number, a location or another board's serial.
#pragma once

#include "host/boardReports.h"

#include <cstddef>
#include <string>
#include <vector>

namespace hwconfig {

struct SelectedBoard {
    std::size_t number; // in hwconfig list, from 1
    BoardReport report;
};

// The board named by `name` among reports in list order; throws HostError (kExitNoSuchBoard,
// kExitAmbiguousBoard).
std::size_t selectBoard(const std::vector<BoardReport>& boards, const std::string& name);

// The same from the expert. A board named by its item name is the only one whose report is read;
// every other form needs every board's report.
SelectedBoard selectBoard(IhwSysExpert2* expert, const std::string& name);

} // namespace hwconfig
