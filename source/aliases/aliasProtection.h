// The protection rule of the alias folder: who may use a file, as its own handle tells, and what a
// name in the folder leads to. The folder is shared by every user of the machine, so every decision
// is made on the handle that is then used, never on a path looked at earlier.
#pragma once

#include "platform/win32.h"
#include "support/unique_any.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace aliases {

std::optional<BY_HANDLE_FILE_INFORMATION> informationOf(HANDLE file);
std::uint64_t sizeOf(const BY_HANDLE_FILE_INFORMATION& information);
std::uint64_t ticksOf(const FILETIME& time);
// A file with a second name, or a symbolic link, would let a write reach a file of someone else.
bool isLinked(const BY_HANDLE_FILE_INFORMATION& information);
bool isPlainFile(const BY_HANDLE_FILE_INFORMATION& information);
bool isSameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b);

// The error of the last failed call, never ERROR_SUCCESS.
DWORD lastFailure();

// What a look at a name needs: its owner, its access list and its attributes. No share mode of
// another handle stops such an open.
constexpr DWORD kLookAccess = READ_CONTROL | FILE_READ_ATTRIBUTES;

// Opens a name in the alias folder itself, never what a link there names.
qv::unique_hfile openEntry(const std::string& path, DWORD access);

// Who may use a file, as its handle tells: its owner and its access list (DACL). Two files
// protected alike let exactly the same users write them. Valid while this object holds the
// descriptor the system allocated.
class FileProtection {
public:
    explicit FileProtection(HANDLE file);

    // ERROR_SUCCESS when the protection is known.
    DWORD error() const { return error_; }
    PSID owner() const { return owner_; }

    bool sameAs(const FileProtection& other) const;

    // Gives `file` this owner and this very list (protected, so that nothing is inherited into it
    // from the folder). Only a writer with the right to give that owner can: the owner itself, or
    // an administrator. ERROR_SUCCESS or the error.
    DWORD giveTo(HANDLE file) const;

private:
    PSID owner_ = nullptr;
    PACL dacl_ = nullptr;
    qv::unique_hlocal<void> descriptor_;
    DWORD error_ = ERROR_SUCCESS;
};

// Whether an update may write through `aliasFile`, open at `path`: its file has one name, and the
// name in the folder is that very file or a symbolic link of the file's owner (the rule of
// protected symbolic links: another user's link may have been planted to make this user overwrite
// a file of someone else). Decided on handles opened after the file, so a name swapped in between
// can only make the check fail. ERROR_SUCCESS or ERROR_ACCESS_DENIED, or the error of a failed
// call; `throughLink` tells whether the name is a link.
DWORD checkUpdateTarget(const std::string& path, HANDLE aliasFile, bool& throughLink);

// The folders between the common application-data folder and the alias file, each opened itself
// (never what a link there names) and held from before the file is opened until the store closes.
// They are held without sharing deletion, so that on Windows none of them can be renamed, removed
// or replaced by a link or a junction meanwhile; every judgement is made on these handles.
class HeldFolders {
public:
    // Opens `folders`, outermost first. False, with the last error set, when one cannot be opened.
    bool open(const std::vector<std::string>& folders);
    void release() noexcept { folders_.clear(); }

    // The first folder that breaks the rule, and what is wrong with it, or nothing: a folder must
    // be a folder, not a link or any other reparse point, and be owned by an administrator, the
    // system or `aliasFile`'s owner (anyone else could swap what lies below it).
    std::optional<std::string> fault(HANDLE aliasFile) const;

private:
    std::vector<std::pair<std::string, qv::unique_hfile>> folders_;
};

} // namespace aliases
