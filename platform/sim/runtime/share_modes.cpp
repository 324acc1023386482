#include "platform/sim/runtime/share_modes.h"

#include "platform/sim/runtime/win32_files.h"
#include "platform/sim/windows_choices.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace winsim {
namespace {

// The kinds of data access sharing is about, in the order of their bytes in the registration file.
enum Kind { kRead, kWrite, kDelete, kKinds };
// Byte kind: some handle holds that access; byte kKinds + kind: some handle does not share it;
// the byte after them keeps two opens from checking and registering at once.
constexpr off_t kGuardByte = 2 * kKinds;

std::array<bool, kKinds> accessOf(DWORD desiredAccess) {
    const bool all = (desiredAccess & GENERIC_ALL) != 0;
    return {all || (desiredAccess & GENERIC_READ) != 0, all || (desiredAccess & GENERIC_WRITE) != 0,
            all || (desiredAccess & DELETE) != 0};
}

std::array<bool, kKinds> sharedOf(DWORD shareMode) {
    return {(shareMode & FILE_SHARE_READ) != 0, (shareMode & FILE_SHARE_WRITE) != 0,
            (shareMode & FILE_SHARE_DELETE) != 0};
}

std::string registrationPath(const struct stat& file) {
    return std::string(choice::kShareModeFolder) + "/" + std::to_string(file.st_dev) + "-" +
           std::to_string(file.st_ino);
}

// The registration file of `file`, opened for this handle alone; -1 with errno set. Without
// `create`, a file nobody registered on has none (ENOENT).
int openRegistration(const struct stat& file, bool create) {
    if (create && ::mkdir(choice::kShareModeFolder, 01777) == 0) {
        ::chmod(choice::kShareModeFolder, 01777); // whatever the umask: every user registers here
    }
    const int fd = ::open(registrationPath(file).c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
    if (fd != -1 && create) {
        static_cast<void>(::fchmod(fd, 0666)); // its creator may; for anyone else it is so already
    }
    return fd;
}

bool setLock(int fd, short type, off_t byte, bool wait) {
    struct flock request {};
    request.l_type = type;
    request.l_whence = SEEK_SET;
    request.l_start = byte;
    request.l_len = 1;
    while (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &request) == -1) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// Whether another open of the registration file holds the byte.
bool heldByAnother(int fd, off_t byte) {
    struct flock request {};
    request.l_type = F_WRLCK;
    request.l_whence = SEEK_SET;
    request.l_start = byte;
    request.l_len = 1;
    return ::fcntl(fd, F_OFD_GETLK, &request) == 0 && request.l_type != F_UNLCK;
}

// Holds the guard byte for the length of one check and registration.
class Guard {
public:
    explicit Guard(int fd) : fd_(fd), held_(setLock(fd, F_WRLCK, kGuardByte, true)) {}
    ~Guard() {
        if (held_) {
            setLock(fd_, F_UNLCK, kGuardByte, false);
        }
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    bool held() const { return held_; }

private:
    const int fd_;
    const bool held_;
};

DWORD registerOn(int fd, const std::array<bool, kKinds>& access, const std::array<bool, kKinds>& shared) {
    const Guard guard(fd);
    if (!guard.held()) {
        return ERROR_NO_SYSTEM_RESOURCES;
    }
    for (int kind = 0; kind < kKinds; ++kind) {
        if ((access[kind] && heldByAnother(fd, kKinds + kind)) || (!shared[kind] && heldByAnother(fd, kind))) {
            return ERROR_SHARING_VIOLATION;
        }
    }
    for (int kind = 0; kind < kKinds; ++kind) {
        if ((access[kind] && !setLock(fd, F_RDLCK, kind, false)) ||
            (!shared[kind] && !setLock(fd, F_RDLCK, kKinds + kind, false))) {
            return ERROR_NO_SYSTEM_RESOURCES;
        }
    }
    return ERROR_SUCCESS;
}

} // namespace

void ShareEntry::release() {
    const int fd = fd_.exchange(-1);
    if (fd != -1) {
        ::close(fd);
    }
}

DWORD enterShareMode(const struct stat& file, DWORD desiredAccess, DWORD shareMode,
                     std::unique_ptr<ShareEntry>& entry) {
    entry.reset();
    const std::array<bool, kKinds> access = accessOf(desiredAccess);
    if (!access[kRead] && !access[kWrite] && !access[kDelete]) {
        return ERROR_SUCCESS;
    }
    const int fd = openRegistration(file, true);
    if (fd == -1) {
        return ERROR_NO_SYSTEM_RESOURCES;
    }
    auto registered = std::make_unique<ShareEntry>(fd);
    const DWORD error = registerOn(fd, access, sharedOf(shareMode));
    if (error == ERROR_SUCCESS) {
        entry = std::move(registered);
    }
    return error;
}

DWORD checkDeleteSharing(const struct stat& file) {
    const int fd = openRegistration(file, false);
    if (fd == -1) {
        return ERROR_SUCCESS; // nobody ever registered on this file
    }
    const ShareEntry registration(fd);
    const Guard guard(fd);
    return heldByAnother(fd, kKinds + kDelete) ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}

} // namespace winsim
