// Which board a command means. The user names it by its number in `hwconfig list` (from 1), its
// item name (letter case ignored, as device instance IDs compare), its alias (exact), its location
// in a PXI chassis ("PXI1/3", chassis and slot) or its serial number (letter case ignored). A name
// that fits more than one board is refused with the boards it fits; "alias:NAME" names a board by
// its alias alone, for an alias that reads as a number, a location or another board's serial.
//
// A board is found without any board's report: from the walk over the boards that numbers them
// (their places, serial numbers and keys) and one read of the alias file, the same values the
// module reads for its reports. Only the board named is then reported.
#pragma once

#include "host/boardReports.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace hwconfig {

// What names one board, known without its report.
struct BoardNames {
    ItemName itemName;
    // False when the board's place or serial number cannot be read: then only its item name and
    // number are known, and another name may be meant for it.
    bool known = false;
    std::optional<PxiLocation> location;
    std::string serialNumber;
    // As the module reports it: the record's, or the default one; empty when unknown.
    std::string alias;
};

struct NamedBoards {
    std::vector<BoardNames> boards; // in list order
    // Why the aliases are not known: the alias file cannot be read.
    std::optional<HostError> aliasProblem;
};

// Every board present with what names it: one walk over the boards, one read of the alias file.
NamedBoards readBoardNames(IhwSysExpert2* expert);

// The index of the board `name` names; throws HostError (kExitNoSuchBoard, kExitAmbiguousBoard,
// kExitReportsFailed when what is unknown could change the answer).
std::size_t selectBoard(const NamedBoards& named, const std::string& name);

struct SelectedBoard {
    std::size_t number; // in hwconfig list, from 1
    BoardReport report;
};

// The board named, with its report: the only report read.
SelectedBoard selectBoard(IhwSysExpert2* expert, const std::string& name);

} // namespace hwconfig
