// How the simulation writes owners and access lists: identifiers in Windows' layout under the
// authority Samba gives Unix accounts, and an access list of one entry holding a file's group and
// permission bits (see the choices).
#pragma once

#include "platform/sim/runtime/win32_files.h"
#include "platform/sim/windows_choices.h"

#include <optional>
#include <sys/types.h>

namespace winsim {

// S-1-22-1-<uid> for a user, S-1-22-2-<gid> for a group: revision 1, two sub-authorities.
struct UnixAccountSid {
    BYTE revision = 1;
    BYTE subAuthorityCount = 2;
    BYTE authority[6] = {0, 0, 0, 0, 0, choice::kUnixUserAuthority};
    DWORD subAuthority[2] = {kUserKind, 0};

    static constexpr DWORD kUserKind = 1;
    static constexpr DWORD kGroupKind = 2;
    static UnixAccountSid user(uid_t uid) { return {1, 2, {0, 0, 0, 0, 0, choice::kUnixUserAuthority}, {kUserKind, uid}}; }
    static UnixAccountSid group(gid_t gid) {
        return {1, 2, {0, 0, 0, 0, 0, choice::kUnixUserAuthority}, {kGroupKind, gid}};
    }
};

// The one entry of a file's access list: its group and permission bits.
struct ModeEntry {
    BYTE type = choice::kModeEntryType;
    BYTE flags = 0;
    WORD size = sizeof(ModeEntry);
    DWORD group = 0;
    DWORD mode = 0;
};

struct ModeAcl {
    ACL header{2, 0, sizeof(ModeAcl), 1, 0};
    ModeEntry entry;
};

// The account a SID in the simulation's form names: its kind and number; nothing for any other SID.
struct UnixAccount {
    DWORD kind = 0;
    DWORD id = 0;
};
std::optional<UnixAccount> unixAccountOf(PSID sid);

// The entry of an access list in the simulation's form; null for any other list.
const ModeEntry* modeEntryOf(PACL dacl);

} // namespace winsim
