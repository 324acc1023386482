#include "host/setup/aliasProtection.h"

#include <cstring>

namespace qvsetup {
namespace {

// Two lists are the same list when they hold the same bytes: an order of entries is part of a list.
bool sameList(const ACL* first, const ACL* second) {
    if (first == nullptr || second == nullptr) {
        return first == second;
    }
    return first->AclSize == second->AclSize && std::memcmp(first, second, first->AclSize) == 0;
}

bool sameOwner(PSID first, PSID second) {
    return first != nullptr && second != nullptr && EqualSid(first, second);
}

EXPLICIT_ACCESS_A allowed(const Sid& trustee, DWORD rights, DWORD inheritance) {
    EXPLICIT_ACCESS_A entry{};
    entry.grfAccessPermissions = rights;
    entry.grfAccessMode = SET_ACCESS;
    entry.grfInheritance = inheritance;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_GROUP;
    entry.Trustee.ptstrName = static_cast<LPSTR>(trustee.get());
    return entry;
}

// The system and the administrators keep full control, also of what they later create in the folder;
// the operators' rights are given to each object on its own and never inherited.
unique_acl listOf(const Sid& system, const Sid& administrators, const Sid& operators, DWORD operatorsRights,
                  DWORD adminInheritance) {
    EXPLICIT_ACCESS_A entries[] = {
        allowed(system, FILE_ALL_ACCESS, adminInheritance),
        allowed(administrators, FILE_ALL_ACCESS, adminInheritance),
        allowed(operators, operatorsRights, NO_INHERITANCE),
    };
    unique_acl list;
    const DWORD error = SetEntriesInAclA(static_cast<ULONG>(std::size(entries)), entries, nullptr, list.put());
    if (error != ERROR_SUCCESS) {
        throw SetupError("cannot build the access list: " + errorText(error));
    }
    return list;
}

} // namespace

std::string errorText(DWORD error) {
    qv::unique_hlocal<char> text;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                            FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                        nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT),
                                        reinterpret_cast<LPSTR>(text.put()), 0, nullptr);
    std::string words = length != 0 ? std::string(text.get(), length) : std::string();
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ')) {
        words.pop_back();
    }
    const std::string number = "(error " + std::to_string(error) + ")";
    return words.empty() ? number : words + " " + number;
}

Sid Sid::wellKnown(WELL_KNOWN_SID_TYPE type) {
    Sid sid;
    DWORD size = static_cast<DWORD>(sid.bytes_.size());
    if (!CreateWellKnownSid(type, nullptr, sid.get(), &size)) {
        throw SetupError("cannot name a well-known group: " + errorText(GetLastError()));
    }
    return sid;
}

Sid Sid::ofGroup(const std::string& name) {
    Sid sid;
    DWORD size = static_cast<DWORD>(sid.bytes_.size());
    char domain[256] = {};
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use = SidTypeUser;
    if (!LookupAccountNameA(nullptr, name.c_str(), sid.get(), &size, domain, &domainSize, &use)) {
        throw SetupError("cannot find the group " + name + ": " + errorText(GetLastError()));
    }
    if (use != SidTypeGroup && use != SidTypeAlias && use != SidTypeWellKnownGroup) {
        throw SetupError(name + " is not a group; --users names the operators' group");
    }
    return sid;
}

AliasProtection::AliasProtection(const std::string& operatorsGroup)
    : system_(Sid::wellKnown(WinLocalSystemSid)),
      administrators_(Sid::wellKnown(WinBuiltinAdministratorsSid)),
      operators_(operatorsGroup.empty() ? Sid::wellKnown(WinBuiltinUsersSid) : Sid::ofGroup(operatorsGroup)),
      // The operators list the folder and pass through it; adding files or folders is not theirs.
      folderAcl_(listOf(system_, administrators_, operators_, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE,
                        SUB_CONTAINERS_AND_OBJECTS_INHERIT)),
      fileAcl_(listOf(system_, administrators_, operators_, FILE_GENERIC_READ | FILE_GENERIC_WRITE,
                      NO_INHERITANCE)) {}

HandleProtection::HandleProtection(HANDLE handle, const std::string& path) {
    const DWORD error = GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                        &owner_, nullptr, &dacl_, nullptr, descriptor_.put());
    if (error != ERROR_SUCCESS) {
        throw SetupError("cannot read the owner and access list of " + path + ": " + errorText(error));
    }
}

std::string HandleProtection::differenceFrom(const Protection& wanted) const {
    const bool owner = !sameOwner(owner_, wanted.owner);
    const bool list = !sameList(dacl_, wanted.dacl);
    return owner && list ? "its owner and its access list differ"
           : owner       ? "its owner differs"
           : list        ? "its access list differs"
                         : "";
}

bool HandleProtection::sameAs(const HandleProtection& other) const {
    return sameOwner(owner_, other.owner_) && sameList(dacl_, other.dacl_);
}

void applyProtection(HANDLE handle, const Protection& wanted, const std::string& path) {
    const DWORD error = SetSecurityInfo(handle, SE_FILE_OBJECT,
                                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                            PROTECTED_DACL_SECURITY_INFORMATION,
                                        wanted.owner, nullptr, wanted.dacl, nullptr);
    if (error != ERROR_SUCCESS) {
        throw SetupError("cannot give " + path + " its owner and access list: " + errorText(error) +
                         "; run qvkelp-setup as an administrator");
    }
}

} // namespace qvsetup
