#include "source/aliases/aliasProtection.h"

#include <cstring>

namespace aliases {
namespace {

bool sameAccessList(const ACL* first, const ACL* second) {
    if (first == nullptr || second == nullptr) {
        return first == second; // no list at all lets everyone in
    }
    return first->AclSize == second->AclSize && std::memcmp(first, second, first->AclSize) == 0;
}

} // namespace

std::optional<BY_HANDLE_FILE_INFORMATION> informationOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) {
        return std::nullopt;
    }
    return information;
}

std::uint64_t sizeOf(const BY_HANDLE_FILE_INFORMATION& information) {
    return (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
}

std::uint64_t ticksOf(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool isLinked(const BY_HANDLE_FILE_INFORMATION& information) {
    return (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || information.nNumberOfLinks != 1;
}

bool isPlainFile(const BY_HANDLE_FILE_INFORMATION& information) {
    return !isLinked(information) && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool isSameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

DWORD lastFailure() {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
}

qv::unique_hfile openEntry(const std::string& path, DWORD access) {
    return qv::unique_hfile(CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

FileProtection::FileProtection(HANDLE file) {
    PSECURITY_DESCRIPTOR held = nullptr;
    error_ = GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner_,
                             nullptr, &dacl_, nullptr, &held);
    descriptor_.reset(held);
}

bool FileProtection::sameAs(const FileProtection& other) const {
    return error_ == ERROR_SUCCESS && other.error_ == ERROR_SUCCESS && EqualSid(owner_, other.owner_) &&
           sameAccessList(dacl_, other.dacl_);
}

DWORD FileProtection::giveTo(HANDLE file) const {
    return SetSecurityInfo(file, SE_FILE_OBJECT,
                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                           owner_, nullptr, dacl_, nullptr);
}

DWORD checkUpdateTarget(const std::string& path, HANDLE aliasFile, bool& throughLink) {
    const std::optional<BY_HANDLE_FILE_INFORMATION> opened = informationOf(aliasFile);
    const qv::unique_hfile entry = openEntry(path, kLookAccess);
    const std::optional<BY_HANDLE_FILE_INFORMATION> named = entry ? informationOf(entry.get()) : std::nullopt;
    if (!opened || !named) {
        return lastFailure();
    }
    throughLink = (named->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (opened->nNumberOfLinks != 1) {
        return ERROR_ACCESS_DENIED;
    }
    if (!throughLink) {
        return isSameFile(*opened, *named) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }
    const FileProtection link(entry.get());
    const FileProtection file(aliasFile);
    if (link.error() != ERROR_SUCCESS || file.error() != ERROR_SUCCESS) {
        return link.error() != ERROR_SUCCESS ? link.error() : file.error();
    }
    return EqualSid(link.owner(), file.owner()) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

namespace {

// An administrator, the system or the file's own owner: whoever else owned a folder above the file
// could rename what lies in it and put something of theirs in its place.
bool mayOwnFolderAbove(PSID folderOwner, PSID fileOwner) {
    return IsWellKnownSid(folderOwner, WinBuiltinAdministratorsSid) || IsWellKnownSid(folderOwner, WinLocalSystemSid) ||
           EqualSid(folderOwner, fileOwner);
}

} // namespace

bool HeldFolders::open(const std::vector<std::string>& folders) {
    folders_.clear();
    for (const std::string& folder : folders) {
        qv::unique_hfile handle(CreateFileA(folder.c_str(), kLookAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                            nullptr));
        if (!handle) {
            folders_.clear();
            return false;
        }
        folders_.emplace_back(folder, std::move(handle));
    }
    return true;
}

std::optional<std::string> HeldFolders::fault(HANDLE aliasFile) const {
    const FileProtection file(aliasFile);
    for (const auto& [folder, handle] : folders_) {
        const std::optional<BY_HANDLE_FILE_INFORMATION> information = informationOf(handle.get());
        const FileProtection protection(handle.get());
        if (!information || protection.error() != ERROR_SUCCESS || file.error() != ERROR_SUCCESS) {
            return folder + ": its owner cannot be read";
        }
        if ((information->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return folder + ": a symbolic link or another reparse point";
        }
        if ((information->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return folder + ": not a folder";
        }
        if (!mayOwnFolderAbove(protection.owner(), file.owner())) {
            return folder + ": owned by another user than an administrator, the system or the alias file's owner";
        }
    }
    return std::nullopt;
}

} // namespace aliases
