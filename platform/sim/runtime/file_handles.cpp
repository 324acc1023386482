// Files opened by handle (CreateFileA and the calls on its handles) and file attributes, over
// POSIX descriptors. Links behave as on Windows: CREATE_NEW fails on any existing name, and through
// a dangling symbolic link creates the link's target unless FILE_FLAG_OPEN_REPARSE_POINT is given,
// which makes the link itself the name (and makes OPEN_EXISTING open the link, not its target).
#include "platform/sim/call_log.h"
#include "platform/sim/machine_access.h"
#include "platform/sim/runtime/drive_path.h"
#include "platform/sim/runtime/file_attributes.h"
#include "platform/sim/runtime/file_object.h"
#include "platform/sim/runtime/kernel_objects.h"
#include "platform/sim/runtime/security_model.h"
#include "platform/sim/runtime/share_modes.h"
#include "platform/sim/runtime/win32_files.h"
#include "platform/sim/win32_error.h"
#include "platform/sim/windows_choices.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace winsim {
namespace {

// A file opened by CreateFileA; closing its handle closes the descriptor.
class HandleFile final : public KernelObject {
public:
    HandleFile(int fd, std::string path, bool isLink, std::unique_ptr<ShareEntry> share)
        : fd_(fd), path_(std::move(path)), isLink_(isLink), share_(std::move(share)) {}
    ~HandleFile() override { ::close(fd_); }

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    // Opened with FILE_FLAG_OPEN_REPARSE_POINT on a symbolic link: the link, which holds no data.
    bool isLink() const { return isLink_; }

private:
    const int fd_;
    const std::string path_;
    const bool isLink_;
    const std::unique_ptr<ShareEntry> share_;
};

template <typename Result> Result fail(DWORD error, Result result) {
    SetLastError(error);
    return result;
}

DWORD win32ErrorOfOpen(int error) {
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
        return ERROR_NO_SYSTEM_RESOURCES;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

DWORD win32ErrorOfWrite(int error) {
    return error == ENOSPC || error == EDQUOT ? ERROR_DISK_FULL : error == EBADF ? ERROR_ACCESS_DENIED : ERROR_IO_DEVICE;
}

// The host path of a path as the program names it; a drive path reaches its mapped folder.
std::optional<std::string> hostPathOf(const char* path) {
    if (!isWindowsDrivePath(path)) {
        return std::string(path);
    }
    return hostPathOfAnsiDrivePath(path, *currentMachineFacts());
}

int accessFlags(DWORD desiredAccess) {
    const bool read = (desiredAccess & GENERIC_READ) != 0;
    const bool write = (desiredAccess & GENERIC_WRITE) != 0;
    return read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
}

// An open file behind a handle of CreateFileA or of a C runtime stream.
struct OpenedFile {
    int fd = -1;
    std::string path; // as the program named it
    bool isLink = false;
};

std::optional<OpenedFile> openedFileOf(HANDLE handle) {
    if (const auto file = lookupHandleOf<HandleFile>(handle)) {
        return OpenedFile{file->fd(), file->path(), file->isLink()};
    }
    if (const auto stream = lookupHandleOf<FileObject>(handle); stream && !stream->handleClosed()) {
        return OpenedFile{stream->fd(), stream->path(), false};
    }
    return std::nullopt;
}

// The descriptor of a file handle, from CreateFileA or under a C runtime stream; -1 when the
// handle is not an open file.
int descriptorOf(HANDLE handle) {
    const std::optional<OpenedFile> file = openedFileOf(handle);
    return file ? file->fd : -1;
}

// The handle of an open descriptor, once its open has passed the share modes of the other handles
// on the file; otherwise the descriptor is closed. A link or a folder keeps no share modes.
HANDLE handleAfterSharing(int fd, const char* path, bool unshared, DWORD access, DWORD shareMode) {
    std::unique_ptr<ShareEntry> share;
    struct stat status {};
    DWORD error = ::fstat(fd, &status) == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    const bool isLink = unshared && S_ISLNK(status.st_mode);
    if (error == ERROR_SUCCESS && !unshared) {
        error = enterShareMode(status, access, shareMode, share);
    }
    if (error != ERROR_SUCCESS) {
        ::close(fd);
        return fail(error, INVALID_HANDLE_VALUE);
    }
    return insertHandle(std::make_shared<HandleFile>(fd, path, isLink, std::move(share)));
}

// Where a new file at `hostPath` is made when final symbolic links are followed: the end of the
// chain of links from it (Windows follows at most 63 reparse points in a path).
std::string endOfLinks(std::string hostPath) {
    constexpr int kMaxReparsePoints = 63;
    for (int followed = 0; followed < kMaxReparsePoints; ++followed) {
        char target[PATH_MAX];
        const ssize_t length = ::readlink(hostPath.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<std::size_t>(length) == sizeof target) {
            break;
        }
        const std::string named(target, static_cast<std::size_t>(length));
        hostPath = named[0] == '/' ? named : hostPath.substr(0, hostPath.find_last_of('/') + 1) + named;
    }
    return hostPath;
}

// CREATE_NEW never opens an existing name. As on Windows, it follows a final symbolic link unless
// FILE_FLAG_OPEN_REPARSE_POINT is given, so through a dangling link it creates the link's target;
// with the flag any existing name, a link included, fails (O_EXCL never follows a link itself).
HANDLE createNew(const std::string& hostPath, const char* path, DWORD access, DWORD shareMode, DWORD flags) {
    constexpr mode_t kNewFilePermissions = 0666;
    const bool ownLink = (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0;
    const std::string created = ownLink ? hostPath : endOfLinks(hostPath);
    const int fd = ::open(created.c_str(), accessFlags(access) | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          kNewFilePermissions);
    if (fd == -1) {
        return fail(win32ErrorOfOpen(errno), INVALID_HANDLE_VALUE);
    }
    return handleAfterSharing(fd, path, false, access, shareMode);
}

// What a handle may be opened on: a regular file, with FILE_FLAG_OPEN_REPARSE_POINT the link
// itself, with FILE_FLAG_BACKUP_SEMANTICS a folder (Windows opens a folder only so). A FIFO, a
// device or a socket has no counterpart in a Windows folder; all else is refused the same way.
bool mayOpenAsFile(int fd, bool isLink, bool folderToo) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return false;
    }
    return isLink || (folderToo && S_ISDIR(status.st_mode)) ||
           (S_ISREG(status.st_mode) && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != -1);
}

// Whether an access asks for nothing but a look at the object itself (its owner, list, attributes),
// which a folder grants without leave to list it.
bool asksOnlyToLook(DWORD access) {
    return (access & ~(READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE)) == 0;
}

bool isFolder(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
}

// With FILE_FLAG_OPEN_REPARSE_POINT a symbolic link is opened itself. The open never waits, as a
// FIFO's would until its other end is opened.
HANDLE openExisting(const std::string& hostPath, const char* path, DWORD access, DWORD shareMode, DWORD flags) {
    const bool ownLink = (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0;
    const bool folderToo = (flags & FILE_FLAG_BACKUP_SEMANTICS) != 0;
    int fd = ::open(hostPath.c_str(), accessFlags(access) | O_CLOEXEC | O_NONBLOCK | (ownLink ? O_NOFOLLOW : 0));
    bool isLink = false;
    if (fd == -1 && ownLink && errno == ELOOP) {
        fd = ::open(hostPath.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        isLink = fd != -1;
    } else if (fd == -1 && folderToo && errno == EACCES && asksOnlyToLook(access)) {
        fd = ::open(hostPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | (ownLink ? O_NOFOLLOW : 0));
    }
    if (fd == -1) {
        return fail(errno == EISDIR || errno == ENXIO ? ERROR_ACCESS_DENIED : win32ErrorOfOpen(errno),
                    INVALID_HANDLE_VALUE);
    }
    if (!mayOpenAsFile(fd, isLink, folderToo)) {
        ::close(fd);
        return fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
    return handleAfterSharing(fd, path, isLink || isFolder(fd), access, shareMode);
}

// The file behind a handle of CreateFileA for `call`, or null with the last error set: an invalid
// handle, or a fault injected for the call on the file's path.
std::shared_ptr<HandleFile> fileForCall(HANDLE handle, const char* call) {
    std::shared_ptr<HandleFile> file = lookupHandleOf<HandleFile>(handle);
    if (!file) {
        return fail(ERROR_INVALID_HANDLE, nullptr);
    }
    DWORD injected = 0;
    if (takeInjectedFault(call, file->path(), &injected)) {
        return fail(injected, nullptr);
    }
    return file;
}

// The file behind a handle for a read or a write of `count` bytes at `buffer`, with the count of
// bytes moved set to 0 first; null with the last error set when the call cannot go ahead.
std::shared_ptr<HandleFile> fileForTransfer(HANDLE handle, const char* call, const void* buffer, DWORD count,
                                            LPDWORD transferred, LPOVERLAPPED overlapped) {
    if (transferred != nullptr) {
        *transferred = 0;
    }
    std::shared_ptr<HandleFile> file = fileForCall(handle, call);
    if (file && (overlapped != nullptr || (buffer == nullptr && count != 0))) { // no overlapped I/O here
        return fail(ERROR_INVALID_PARAMETER, nullptr);
    }
    return file;
}

} // namespace

DWORD attributesOf(const struct stat& status) {
    DWORD attributes = 0;
    if (S_ISLNK(status.st_mode)) {
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    }
    if (S_ISDIR(status.st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
    if (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) || S_ISSOCK(status.st_mode)) {
        attributes |= choice::kOtherFileTypeAttribute;
    }
    if ((status.st_mode & 0222) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

FILETIME fileTimeOf(const struct timespec& time) {
    constexpr std::uint64_t kSecondsFrom1601To1970 = 11644473600ull;
    const std::uint64_t ticks = (static_cast<std::uint64_t>(time.tv_sec) + kSecondsFrom1601To1970) * 10000000ull +
                                static_cast<std::uint64_t>(time.tv_nsec) / 100u;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

} // namespace winsim

WINSIM_API HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                     LPSECURITY_ATTRIBUTES /*securityAttributes*/, DWORD creationDisposition,
                                     DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
    if (fileName == nullptr) {
        return winsim::fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault("CreateFileA", fileName, &injected)) {
        return winsim::fail(injected, INVALID_HANDLE_VALUE);
    }
    const std::optional<std::string> hostPath = winsim::hostPathOf(fileName);
    if (!hostPath) {
        return winsim::fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    switch (creationDisposition) {
    case CREATE_NEW:
        return winsim::createNew(*hostPath, fileName, desiredAccess, shareMode, flagsAndAttributes);
    case OPEN_EXISTING:
        return winsim::openExisting(*hostPath, fileName, desiredAccess, shareMode, flagsAndAttributes);
    default:
        return winsim::fail(winsim::choice::kUnsupportedDispositionError, INVALID_HANDLE_VALUE);
    }
}

WINSIM_API BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                                 LPOVERLAPPED overlapped) {
    const auto opened = winsim::fileForTransfer(file, "WriteFile", buffer, bytesToWrite, bytesWritten, overlapped);
    if (!opened) {
        return FALSE;
    }
    DWORD written = 0;
    while (written < bytesToWrite) {
        const ssize_t count = ::write(opened->fd(), static_cast<const char*>(buffer) + written, bytesToWrite - written);
        if (count == -1 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            if (bytesWritten != nullptr) {
                *bytesWritten = written;
            }
            return winsim::fail(winsim::win32ErrorOfWrite(count == 0 ? ENOSPC : errno), FALSE);
        }
        written += static_cast<DWORD>(count);
    }
    if (bytesWritten != nullptr) {
        *bytesWritten = written;
    }
    return TRUE;
}

WINSIM_API BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                                LPOVERLAPPED overlapped) {
    const auto opened = winsim::fileForTransfer(file, "ReadFile", buffer, bytesToRead, bytesRead, overlapped);
    if (!opened) {
        return FALSE;
    }
    if (opened->isLink()) { // a link opened itself holds no data
        return winsim::fail(ERROR_ACCESS_DENIED, FALSE);
    }
    ssize_t count = -1;
    do {
        count = ::read(opened->fd(), buffer, bytesToRead);
    } while (count == -1 && errno == EINTR);
    if (count == -1) {
        return winsim::fail(errno == EBADF ? ERROR_ACCESS_DENIED : ERROR_IO_DEVICE, FALSE);
    }
    if (bytesRead != nullptr) {
        *bytesRead = static_cast<DWORD>(count);
    }
    return TRUE;
}

WINSIM_API BOOL WINAPI SetEndOfFile(HANDLE file) {
    const auto opened = winsim::fileForCall(file, "SetEndOfFile");
    if (!opened) {
        return FALSE;
    }
    const off_t position = ::lseek(opened->fd(), 0, SEEK_CUR);
    if (position == -1 || ::ftruncate(opened->fd(), position) != 0) {
        return winsim::fail(winsim::win32ErrorOfWrite(errno), FALSE);
    }
    sim::logCall("SetEndOfFile", opened->path().c_str());
    return TRUE;
}

// Also on the handle under a C runtime stream (_get_osfhandle), as on Windows.
WINSIM_API BOOL WINAPI FlushFileBuffers(HANDLE file) {
    const std::optional<winsim::OpenedFile> opened = winsim::openedFileOf(file);
    if (!opened) {
        return winsim::fail(ERROR_INVALID_HANDLE, FALSE);
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault("FlushFileBuffers", opened->path, &injected)) {
        return winsim::fail(injected, FALSE);
    }
    if (opened->isLink || ::fsync(opened->fd) != 0) {
        return winsim::fail(opened->isLink ? ERROR_ACCESS_DENIED : winsim::win32ErrorOfWrite(errno), FALSE);
    }
    sim::logCall("FlushFileBuffers", opened->path.c_str());
    return TRUE;
}

WINSIM_API BOOL WINAPI SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPointer,
                                        DWORD moveMethod) {
    const auto opened = winsim::fileForCall(file, "SetFilePointerEx");
    if (!opened) {
        return FALSE;
    }
    if (moveMethod > FILE_END) {
        return winsim::fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    const int whence = moveMethod == FILE_BEGIN ? SEEK_SET : moveMethod == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    const off_t position = ::lseek(opened->fd(), static_cast<off_t>(distance.QuadPart), whence);
    if (position == -1) {
        return winsim::fail(ERROR_NEGATIVE_SEEK, FALSE);
    }
    if (newPointer != nullptr) {
        newPointer->QuadPart = position;
    }
    return TRUE;
}

WINSIM_API BOOL WINAPI GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    const int fd = winsim::descriptorOf(file);
    if (fd == -1) {
        return winsim::fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (information == nullptr) {
        return winsim::fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault("GetFileInformationByHandle", "", &injected)) {
        return winsim::fail(injected, FALSE);
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return winsim::fail(ERROR_ACCESS_DENIED, FALSE);
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    const auto index = static_cast<std::uint64_t>(status.st_ino);
    *information = BY_HANDLE_FILE_INFORMATION{winsim::attributesOf(status),
                                              winsim::fileTimeOf(status.st_ctim),
                                              winsim::fileTimeOf(status.st_atim),
                                              winsim::fileTimeOf(status.st_mtim),
                                              static_cast<DWORD>(status.st_dev),
                                              static_cast<DWORD>(size >> 32),
                                              static_cast<DWORD>(size),
                                              static_cast<DWORD>(status.st_nlink),
                                              static_cast<DWORD>(index >> 32),
                                              static_cast<DWORD>(index)};
    return TRUE;
}

WINSIM_API DWORD WINAPI GetFileAttributesA(LPCSTR fileName) {
    if (fileName == nullptr) {
        return winsim::fail(ERROR_PATH_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault("GetFileAttributesA", fileName, &injected)) {
        return winsim::fail(injected, INVALID_FILE_ATTRIBUTES);
    }
    const std::optional<std::string> hostPath = winsim::hostPathOf(fileName);
    struct stat status {};
    if (!hostPath || ::lstat(hostPath->c_str(), &status) != 0) {
        return winsim::fail(hostPath ? winsim::win32ErrorOfOpen(errno) : ERROR_PATH_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
    }
    return winsim::attributesOf(status);
}

WINSIM_API BOOL WINAPI CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES securityAttributes) {
    if (pathName == nullptr) {
        return winsim::fail(ERROR_PATH_NOT_FOUND, FALSE);
    }
    if (securityAttributes != nullptr && securityAttributes->lpSecurityDescriptor != nullptr) {
        return winsim::fail(winsim::choice::kUnsupportedSecurityRequestError, FALSE);
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault("CreateDirectoryA", pathName, &injected)) {
        return winsim::fail(injected, FALSE);
    }
    const std::optional<std::string> hostPath = winsim::hostPathOf(pathName);
    if (!hostPath) {
        return winsim::fail(ERROR_PATH_NOT_FOUND, FALSE);
    }
    if (::mkdir(hostPath->c_str(), winsim::choice::kNewFolderPermissions) != 0) {
        // Windows names any existing entry, a file or a link included, ERROR_ALREADY_EXISTS here.
        return winsim::fail(errno == EEXIST ? ERROR_ALREADY_EXISTS
                            : errno == ENOENT ? ERROR_PATH_NOT_FOUND
                                              : winsim::win32ErrorOfOpen(errno),
                            FALSE);
    }
    return TRUE;
}

namespace winsim {
namespace {

struct FileDescriptor {
    UnixAccountSid owner;
    ModeAcl dacl;
};

constexpr SECURITY_INFORMATION kKnownSecurityParts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// Only a user may own a file.
std::optional<uid_t> uidOf(PSID sid) {
    const std::optional<UnixAccount> account = unixAccountOf(sid);
    if (!account || account->kind != UnixAccountSid::kUserKind) {
        return std::nullopt;
    }
    return static_cast<uid_t>(account->id);
}

} // namespace
} // namespace winsim

WINSIM_API DWORD WINAPI GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information,
                                        PSID* owner, PSID* group, PACL* dacl, PACL* sacl,
                                        PSECURITY_DESCRIPTOR* securityDescriptor) {
    const bool wantsOwner = (information & OWNER_SECURITY_INFORMATION) != 0;
    const bool wantsDacl = (information & DACL_SECURITY_INFORMATION) != 0;
    if (objectType != SE_FILE_OBJECT || information == 0 || (information & ~winsim::kKnownSecurityParts) != 0 ||
        (wantsOwner && owner == nullptr) || (wantsDacl && dacl == nullptr) || securityDescriptor == nullptr) {
        return winsim::choice::kUnsupportedSecurityRequestError;
    }
    for (PSID* unused : {owner, group}) {
        if (unused != nullptr) {
            *unused = nullptr;
        }
    }
    for (PACL* unused : {dacl, sacl}) {
        if (unused != nullptr) {
            *unused = nullptr;
        }
    }
    const int fd = winsim::descriptorOf(handle);
    if (fd == -1) {
        return ERROR_INVALID_HANDLE;
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault("GetSecurityInfo", "", &injected)) {
        return injected;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    auto* descriptor = static_cast<winsim::FileDescriptor*>(LocalAlloc(0, sizeof(winsim::FileDescriptor)));
    if (descriptor == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    *descriptor = winsim::FileDescriptor{};
    descriptor->owner.subAuthority[1] = static_cast<DWORD>(status.st_uid);
    descriptor->dacl.entry.group = static_cast<DWORD>(status.st_gid);
    descriptor->dacl.entry.mode = static_cast<DWORD>(status.st_mode & 07777);
    if (wantsOwner) {
        *owner = &descriptor->owner;
    }
    if (wantsDacl) {
        *dacl = &descriptor->dacl.header;
    }
    *securityDescriptor = descriptor;
    return ERROR_SUCCESS;
}

// Gives the file an owner (fchown) and an access list (its group and permission bits), with the
// rights of the process: a user may give a file of theirs a group they belong to and any
// permission bits, never another owner; an administrator (root) may give any.
WINSIM_API DWORD WINAPI SetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information,
                                        PSID owner, PSID /*group*/, PACL dacl, PACL /*sacl*/) {
    const SECURITY_INFORMATION parts = information & ~PROTECTED_DACL_SECURITY_INFORMATION;
    if (objectType != SE_FILE_OBJECT || parts == 0 || (parts & ~winsim::kKnownSecurityParts) != 0) {
        return winsim::choice::kUnsupportedSecurityRequestError;
    }
    const bool setsOwner = (parts & OWNER_SECURITY_INFORMATION) != 0;
    const bool setsDacl = (parts & DACL_SECURITY_INFORMATION) != 0;
    const std::optional<uid_t> uid = setsOwner ? winsim::uidOf(owner) : std::nullopt;
    const winsim::ModeEntry* entry = setsDacl ? winsim::modeEntryOf(dacl) : nullptr;
    if ((setsOwner && !uid) || (setsDacl && entry == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    const int fd = winsim::descriptorOf(handle);
    if (fd == -1) {
        return ERROR_INVALID_HANDLE;
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault("SetSecurityInfo", "", &injected)) {
        return injected;
    }
    const uid_t newOwner = uid ? *uid : static_cast<uid_t>(-1);
    const gid_t newGroup = entry != nullptr ? static_cast<gid_t>(entry->group) : static_cast<gid_t>(-1);
    if (::fchown(fd, newOwner, newGroup) != 0) {
        return setsOwner ? ERROR_INVALID_OWNER : ERROR_ACCESS_DENIED;
    }
    if (entry != nullptr && ::fchmod(fd, static_cast<mode_t>(entry->mode)) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

