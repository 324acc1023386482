// The JSON form of a board's state: the "board" member of a device, and the document of the
// records that the board libraries wrote, which maps device instance IDs to records:
//     { "PCI\\VEN_ABCD&...": { "selfCal": {...}, "externalCal": {...} } }
// Failures throw std::invalid_argument("member: problem"), the member written as a path.
#pragma once

#include "platform/sim/device/board_state.h"

#include <cjson/cJSON.h>

#include <string>

namespace winsim {

// Parses board JSON text; members are named below `member` (devices[2].board.selfCal.time).
sim::BoardState parseBoardState(const std::string& text, const std::string& member);
// The same from a parsed object.
sim::BoardState boardStateOf(const cJSON* object, const std::string& member);
// The board's JSON text, unformatted.
std::string boardTextOf(const cJSON* tree);

// Lays the records written for `deviceId` in `document` (empty: none) over `state`.
void layOverWrites(sim::BoardState& state, const std::string& document, const std::string& deviceId);

// `document` with the records of `state` written for `deviceId`, replacing earlier ones.
std::string withWrites(const std::string& document, const std::string& deviceId, const sim::BoardState& state);

} // namespace winsim
