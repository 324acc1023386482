// Changing a board's external-calibration record from a request bag: the host hands in a bag whose
// changed tags say what to write (verification time 0x1015000, due date 0x1017000, new password
// 0x106E000), together with the board's device path (0x1000A000) and its current password
// (0x106D000). Validation checks what a save would write; a save writes it through the board
// driver library. The tags are handled in the order in which the bag enumerates them.
//
// A refusal that the module decides itself (bad dates, a missing password) is thrown as the
// HRESULT the host receives; a refusal by the board library is its code, merged into the status.
#pragma once

#include "hwsys/hwsys.h"
#include "platform/win32.h"
#include "support/status.h"

#include <string>

namespace qvkelpsysapiexpert {

class BoardContext;

// The string under `tag`, narrowed one byte per character; a failing bag call is thrown as its
// HRESULT.
std::string getStringProperty(IhwSysPropertyBag* bag, ULONG tag);

// The work of ValidateResourceProperties behind the host boundary: S_FALSE when nothing changed;
// otherwise the tags that passed, in the order handled, through *acceptedTags, unless a check
// failed first.
HRESULT validateResourceProperties(BoardContext& board, IhwSysPropertyBag* bag,
                                   IhwSysEnumPropertyTag** acceptedTags, nQVOSALS100::tStatus* status);

// The work of SaveResourceProperties behind the host boundary: S_FALSE when nothing changed. No
// write reaches the board after the first failure.
HRESULT saveResourceProperties(BoardContext& board, IhwSysPropertyBag* bag, nQVOSALS100::tStatus* status);

} // namespace qvkelpsysapiexpert
