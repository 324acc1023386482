// Renaming a board: its alias, with a fresh snapshot of its identity, stored in the alias store
// under the board's PCI identity token.
#pragma once

#include "platform/win32.h"
#include "support/status.h"

namespace qvkelpsysapiexpert {

class BoardContext;

// Flags bit 0: store the alias even when another record already uses it.
inline constexpr ULONG kRenameEvenIfAliasInUse = 0x1;

// The work of RenameResource behind the host boundary, which has checked the pointers, cleared
// *aliasInUse and refused a null item name.
//
// The whole read-modify-write runs under the alias file's exclusive lock. A board that cannot be
// located or identified is refused with the failure in the status and the file untouched: its
// record would have no key. An alias used by another record (unless flags bit 0 is set) sets
// *aliasInUse to 1 and gives HW_E_ALIAS_IN_USE, file untouched. A registry value that cannot be
// read while the record is built fails the rename with that first failure in the status, file
// untouched: the board's previous record stays rather than one with members at their defaults.
// An invalid alias throws HW_E_INVALID_ALIAS before the file is opened; text that does not narrow
// byte for byte throws std::runtime_error.
HRESULT renameResource(BoardContext& board, const WCHAR* newAlias, ULONG flags, LONG* aliasInUse,
                       nQVOSALS100::tStatus* status);

} // namespace qvkelpsysapiexpert
