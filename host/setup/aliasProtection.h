// Who may use the alias folder and the files the alias rule keeps in it (docs/install.md):
// the owner is the Administrators group; the system and the administrators have full control; the
// operators (the built-in Users group, or a group named on the command line) may read the folder,
// and read and write the files, but add nothing to the folder. Every list is protected, so that
// nothing is inherited into it from the folders above.
#pragma once

#include "support/unique_any.h"

#include <array>
#include <stdexcept>
#include <string>

namespace qvsetup {

// A reason the set-up stops, as the user reads it.
class SetupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The system's text for a Win32 error, with its number: "Access is denied. (error 5)".
std::string errorText(DWORD error);

// A security identifier in a buffer of its own.
class Sid {
public:
    static Sid wellKnown(WELL_KNOWN_SID_TYPE type);
    // A group of the machine or its domain, by name; refused when the name is not a group's.
    static Sid ofGroup(const std::string& name);
    PSID get() const { return const_cast<BYTE*>(bytes_.data()); }

private:
    std::array<BYTE, SECURITY_MAX_SID_SIZE> bytes_{};
};

using unique_acl = qv::unique_hlocal<ACL>;

// An owner and an access list to give an object.
struct Protection {
    PSID owner;
    PACL dacl;
};

class AliasProtection {
public:
    // An empty `operatorsGroup` means the built-in Users group.
    explicit AliasProtection(const std::string& operatorsGroup);

    Protection folder() const { return {administrators_.get(), folderAcl_.get()}; }
    Protection file() const { return {administrators_.get(), fileAcl_.get()}; }

private:
    Sid system_;
    Sid administrators_;
    Sid operators_;
    unique_acl folderAcl_;
    unique_acl fileAcl_;
};

// The owner and access list an object has, read on its handle.
class HandleProtection {
public:
    HandleProtection(HANDLE handle, const std::string& path);

    // What differs from `wanted` ("its owner", "its access list", both, or nothing).
    std::string differenceFrom(const Protection& wanted) const;
    bool sameAs(const HandleProtection& other) const;

private:
    qv::unique_hlocal<void> descriptor_;
    PSID owner_ = nullptr;
    PACL dacl_ = nullptr;
};

// Gives the object behind `handle` the owner and the list, protected from inheritance.
void applyProtection(HANDLE handle, const Protection& wanted, const std::string& path);

} // namespace qvsetup
