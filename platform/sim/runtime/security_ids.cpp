// Security identifiers, accounts and access lists of the simulated Windows, in the form the
// simulation keeps a file's owner and protection in (see the choices).
#include "platform/sim/runtime/security_model.h"
#include "platform/sim/win32_error.h"

#include <cstddef>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <vector>

namespace winsim {

std::optional<UnixAccount> unixAccountOf(PSID sid) {
    const auto* account = static_cast<const UnixAccountSid*>(sid);
    const UnixAccountSid form{};
    if (account == nullptr || std::memcmp(account, &form, offsetof(UnixAccountSid, subAuthority)) != 0) {
        return std::nullopt;
    }
    const DWORD kind = account->subAuthority[0];
    if (kind != UnixAccountSid::kUserKind && kind != UnixAccountSid::kGroupKind) {
        return std::nullopt;
    }
    return UnixAccount{kind, account->subAuthority[1]};
}

const ModeEntry* modeEntryOf(PACL dacl) {
    const auto* acl = reinterpret_cast<const ModeAcl*>(dacl);
    if (acl == nullptr || acl->header.AclSize != sizeof(ModeAcl) || acl->header.AceCount != 1 ||
        acl->entry.type != choice::kModeEntryType) {
        return nullptr;
    }
    return &acl->entry;
}

namespace {

template <typename Result> Result fail(DWORD error, Result result) {
    SetLastError(error);
    return result;
}

// Copies `sid` into the caller's buffer of *size bytes, as every call that hands out a SID does:
// too small (or no buffer) fails with ERROR_INSUFFICIENT_BUFFER and reports the size needed.
BOOL copySid(const UnixAccountSid& sid, PSID out, DWORD* size) {
    const DWORD needed = sizeof sid;
    const bool fits = out != nullptr && *size >= needed;
    *size = needed;
    if (!fits) {
        return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    std::memcpy(out, &sid, needed);
    return TRUE;
}

std::optional<gid_t> builtinUsersGroup() {
    const struct group* users = ::getgrnam(choice::kBuiltinUsersGroup);
    return users != nullptr ? std::optional<gid_t>(users->gr_gid) : std::nullopt;
}

// The permission bits (rwx in the low three bits) that Windows access rights stand for.
DWORD permissionBitsOf(DWORD rights) {
    const bool all = (rights & GENERIC_ALL) != 0;
    const bool read = all || (rights & (GENERIC_READ | FILE_READ_DATA)) != 0;
    const bool write = all || (rights & (GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
    const bool execute = all || (rights & (GENERIC_EXECUTE | FILE_EXECUTE)) != 0;
    return (read ? 4u : 0u) | (write ? 2u : 0u) | (execute ? 1u : 0u);
}

bool allows(const EXPLICIT_ACCESS_A& entry) {
    return (entry.grfAccessMode == GRANT_ACCESS || entry.grfAccessMode == SET_ACCESS) &&
           entry.Trustee.TrusteeForm == TRUSTEE_IS_SID && entry.Trustee.pMultipleTrustee == nullptr;
}

} // namespace
} // namespace winsim

WINSIM_API BOOL WINAPI EqualSid(PSID first, PSID second) {
    if (first == nullptr || second == nullptr) {
        return winsim::fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    const auto* a = static_cast<const BYTE*>(first);
    const auto* b = static_cast<const BYTE*>(second);
    const std::size_t length = 8 + 4 * static_cast<std::size_t>(a[1]);
    SetLastError(ERROR_SUCCESS);
    return a[1] == b[1] && std::memcmp(a, b, length) == 0 ? TRUE : FALSE;
}

WINSIM_API DWORD WINAPI GetLengthSid(PSID sid) {
    return sid == nullptr ? 0 : 8 + 4 * static_cast<DWORD>(static_cast<const BYTE*>(sid)[1]);
}

WINSIM_API BOOL WINAPI IsWellKnownSid(PSID sid, WELL_KNOWN_SID_TYPE type) {
    const std::optional<winsim::UnixAccount> account = winsim::unixAccountOf(sid);
    if (!account) {
        return FALSE;
    }
    if (type == winsim::choice::kRootSidType || type == winsim::choice::kRootAlsoSidType) {
        return account->kind == winsim::UnixAccountSid::kUserKind && account->id == 0 ? TRUE : FALSE;
    }
    const std::optional<gid_t> users = winsim::builtinUsersGroup();
    return type == WinBuiltinUsersSid && users && account->kind == winsim::UnixAccountSid::kGroupKind &&
                   account->id == *users
               ? TRUE
               : FALSE;
}

WINSIM_API BOOL WINAPI CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, PSID /*domainSid*/, PSID sid, DWORD* sidSize) {
    if (sidSize == nullptr) {
        return winsim::fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    if (type == winsim::choice::kRootSidType || type == winsim::choice::kRootAlsoSidType) {
        return winsim::copySid(winsim::UnixAccountSid::user(0), sid, sidSize);
    }
    const std::optional<gid_t> users = type == WinBuiltinUsersSid ? winsim::builtinUsersGroup() : std::nullopt;
    if (!users) {
        return winsim::fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    return winsim::copySid(winsim::UnixAccountSid::group(*users), sid, sidSize);
}

WINSIM_API BOOL WINAPI LookupAccountNameA(LPCSTR systemName, LPCSTR accountName, PSID sid, LPDWORD sidSize,
                                          LPSTR domainName, LPDWORD domainSize, PSID_NAME_USE use) {
    if (accountName == nullptr || sidSize == nullptr || domainSize == nullptr || use == nullptr) {
        return winsim::fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    const struct group* group = systemName == nullptr ? ::getgrnam(accountName) : nullptr;
    const struct passwd* user = systemName == nullptr && group == nullptr ? ::getpwnam(accountName) : nullptr;
    if (group == nullptr && user == nullptr) {
        return winsim::fail(ERROR_NONE_MAPPED, FALSE);
    }
    const winsim::UnixAccountSid found =
        group != nullptr ? winsim::UnixAccountSid::group(group->gr_gid) : winsim::UnixAccountSid::user(user->pw_uid);
    const DWORD domainNeeded = static_cast<DWORD>(std::strlen(winsim::choice::kAccountDomain)) + 1;
    const bool domainFits = domainName != nullptr && *domainSize >= domainNeeded;
    const bool sidFits = sid != nullptr && *sidSize >= sizeof found;
    if (!domainFits || !sidFits) {
        *domainSize = domainNeeded;
        *sidSize = sizeof found;
        return winsim::fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    std::memcpy(sid, &found, sizeof found);
    *sidSize = sizeof found;
    std::memcpy(domainName, winsim::choice::kAccountDomain, domainNeeded);
    *domainSize = domainNeeded - 1;
    *use = group != nullptr ? SidTypeGroup : SidTypeUser;
    return TRUE;
}

WINSIM_API DWORD WINAPI SetEntriesInAclA(ULONG count, PEXPLICIT_ACCESS_A entries, PACL oldAcl, PACL* newAcl) {
    if (newAcl == nullptr || (count != 0 && entries == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    *newAcl = nullptr;
    if (oldAcl != nullptr) {
        return winsim::choice::kUnrepresentableAclError;
    }
    DWORD ownerBits = 0;
    DWORD groupBits = 0;
    std::optional<DWORD> group;
    for (ULONG i = 0; i < count; ++i) {
        const EXPLICIT_ACCESS_A& entry = entries[i];
        const std::optional<winsim::UnixAccount> account =
            winsim::allows(entry) ? winsim::unixAccountOf(entry.Trustee.ptstrName) : std::nullopt;
        if (!account || (account->kind == winsim::UnixAccountSid::kGroupKind && group && *group != account->id)) {
            return winsim::choice::kUnrepresentableAclError;
        }
        if (account->kind == winsim::UnixAccountSid::kUserKind) {
            ownerBits |= winsim::permissionBitsOf(entry.grfAccessPermissions);
        } else {
            group = account->id;
            groupBits |= winsim::permissionBitsOf(entry.grfAccessPermissions);
        }
    }
    auto* acl = static_cast<winsim::ModeAcl*>(LocalAlloc(0, sizeof(winsim::ModeAcl)));
    if (acl == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    *acl = winsim::ModeAcl{};
    acl->entry.group = group.value_or(0);
    acl->entry.mode = ownerBits << 6 | groupBits << 3;
    *newAcl = &acl->header;
    return ERROR_SUCCESS;
}
