// C runtime streams of the simulated Windows. Each stream opened here owns a descriptor and a
// Windows file handle for it, as a Windows runtime stream owns an OS handle: _get_osfhandle
// finds the handle, locks taken through it belong to that open file, and fclose closes the handle
// and releases its locks. The stream is a custom stdio stream so that its closing is seen here.
#include "platform/sim/call_log.h"
#include "platform/sim/machine_access.h"
#include "platform/sim/runtime/drive_path.h"
#include "platform/sim/runtime/file_object.h"
#include "platform/sim/runtime/open_mode.h"
#include "platform/sim/runtime/win32_files.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace winsim {
namespace {

struct CrtStream {
    std::shared_ptr<FileObject> file;
    HANDLE handle = nullptr;
    FILE* stream = nullptr;
};

// The runtime's streams by FILE* and by descriptor.
class StreamRegistry {
public:
    void add(const std::shared_ptr<CrtStream>& stream) {
        std::lock_guard<std::mutex> guard(mutex_);
        byStream_[stream->stream] = stream;
        byDescriptor_[stream->file->fd()] = stream;
    }

    void remove(const CrtStream& stream) {
        std::lock_guard<std::mutex> guard(mutex_);
        byStream_.erase(stream.stream);
        byDescriptor_.erase(stream.file->fd());
    }

    std::shared_ptr<CrtStream> ofStream(FILE* stream) {
        std::lock_guard<std::mutex> guard(mutex_);
        const auto found = byStream_.find(stream);
        return found == byStream_.end() ? nullptr : found->second;
    }

    std::shared_ptr<CrtStream> ofDescriptor(int fd) {
        std::lock_guard<std::mutex> guard(mutex_);
        const auto found = byDescriptor_.find(fd);
        return found == byDescriptor_.end() ? nullptr : found->second;
    }

private:
    std::mutex mutex_;
    std::map<FILE*, std::shared_ptr<CrtStream>> byStream_;
    std::map<int, std::shared_ptr<CrtStream>> byDescriptor_;
};

StreamRegistry& streams() {
    static StreamRegistry* const registry = new StreamRegistry;
    return *registry;
}

// After CloseHandle on a stream's handle its I/O fails, as on Windows once the runtime's OS
// handle is gone.
const FileObject* usableFile(void* cookie) {
    const FileObject& file = *static_cast<CrtStream*>(cookie)->file;
    if (file.handleClosed()) {
        errno = EBADF;
        return nullptr;
    }
    return &file;
}

ssize_t readStream(void* cookie, char* buffer, size_t size) {
    const FileObject* file = usableFile(cookie);
    if (file == nullptr) {
        return -1;
    }
    ssize_t count = 0;
    do {
        count = ::read(file->fd(), buffer, size);
    } while (count == -1 && errno == EINTR);
    return count;
}

ssize_t writeStream(void* cookie, const char* buffer, size_t size) {
    const FileObject* file = usableFile(cookie);
    if (file == nullptr) {
        return -1;
    }
    size_t written = 0;
    while (written < size) {
        const ssize_t count = ::write(file->fd(), buffer + written, size - written);
        if (count == -1 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return written == 0 ? -1 : static_cast<ssize_t>(written);
        }
        written += static_cast<size_t>(count);
    }
    return static_cast<ssize_t>(written);
}

int seekStream(void* cookie, off64_t* offset, int whence) {
    const FileObject* file = usableFile(cookie);
    if (file == nullptr) {
        return -1;
    }
    const off64_t position = ::lseek64(file->fd(), *offset, whence);
    if (position == -1) {
        return -1;
    }
    *offset = position;
    return 0;
}

int closeStream(void* cookie) {
    const std::shared_ptr<CrtStream> stream = streams().ofStream(static_cast<CrtStream*>(cookie)->stream);
    streams().remove(*stream);
    closeHandle(stream->handle);
    return ::close(stream->file->fd());
}

bool mayRetryWithLessAccess(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY || error == EISDIR;
}

// Opens for reading and writing when the file allows it, so that the handle can take both kinds of
// lock (see the choices); otherwise with just the access the mode asks for. Never waits: a FIFO
// would block an open for reading until a writer comes, and Windows has no such file to wait on.
int openDescriptor(const std::string& hostPath, const OpenMode& mode) {
    const int flags = mode.creationFlags | O_CLOEXEC | O_NONBLOCK;
    constexpr mode_t kNewFilePermissions = 0666;
    if (!(mode.readable && mode.writable)) {
        const int fd = ::open(hostPath.c_str(), flags | O_RDWR, kNewFilePermissions);
        if (fd != -1 || !mayRetryWithLessAccess(errno)) {
            return fd;
        }
    }
    const int access = mode.readable && mode.writable ? O_RDWR : mode.writable ? O_WRONLY : O_RDONLY;
    return ::open(hostPath.c_str(), flags | access, kNewFilePermissions);
}

// The Windows runtime cannot open a folder as a file and says EACCES; the simulation says the same
// of a FIFO, a device or a socket, which a Windows folder cannot hold. (ENXIO: a FIFO without a
// reader, opened for writing.)
int openFileDescriptor(const std::string& hostPath, const OpenMode& mode) {
    const int fd = openDescriptor(hostPath, mode);
    if (fd == -1) {
        errno = errno == EISDIR || errno == ENXIO ? EACCES : errno;
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == -1) {
        ::close(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}

} // namespace

namespace {

FILE* openStream(const char* path, int fd, const OpenMode& mode, std::unique_ptr<ShareEntry> share) {
    auto stream = std::make_shared<CrtStream>();
    stream->file = std::make_shared<FileObject>(fd, path, mode.writable, std::move(share));
    stream->handle = insertHandle(stream->file);
    const cookie_io_functions_t functions{readStream, writeStream, seekStream, closeStream};
    stream->stream = fopencookie(stream.get(), mode.streamMode.c_str(), functions);
    if (stream->stream == nullptr) {
        const int error = errno;
        closeHandle(stream->handle);
        ::close(fd);
        errno = error;
        return nullptr;
    }
    streams().add(stream);
    return stream->stream;
}

} // namespace
} // namespace winsim

WINSIM_API FILE* platformOpenFile(const char* path, const char* mode) {
    if (path == nullptr || mode == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    const std::optional<winsim::OpenMode> openMode = winsim::parseOpenMode(mode);
    if (!openMode) {
        errno = EINVAL;
        return nullptr;
    }
    // A fault names the path as the program gives it; its error is an errno value.
    DWORD injected = 0;
    if (winsim::takeInjectedFault("platformOpenFile", path, &injected)) {
        errno = static_cast<int>(injected);
        return nullptr;
    }
    std::string hostPath = path;
    if (winsim::isWindowsDrivePath(path)) {
        std::optional<std::string> mapped = winsim::hostPathOfAnsiDrivePath(path, *winsim::currentMachineFacts());
        if (!mapped) {
            errno = ENOENT;
            return nullptr;
        }
        hostPath = std::move(*mapped);
    }
    // The runtime shares read and write, never delete; a file is cut to nothing ("w") only once the
    // open has passed the other handles' share modes.
    winsim::OpenMode opening = *openMode;
    opening.creationFlags &= ~O_TRUNC;
    const int fd = winsim::openFileDescriptor(hostPath, opening);
    if (fd == -1) {
        return nullptr;
    }
    std::unique_ptr<winsim::ShareEntry> share;
    struct stat status {};
    const DWORD access = (openMode->readable ? GENERIC_READ : 0) | (openMode->writable ? GENERIC_WRITE : 0);
    if (::fstat(fd, &status) != 0 ||
        winsim::enterShareMode(status, access, FILE_SHARE_READ | FILE_SHARE_WRITE, share) != ERROR_SUCCESS ||
        ((openMode->creationFlags & O_TRUNC) != 0 && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        errno = EACCES; // the runtime's errno for ERROR_SHARING_VIOLATION
        return nullptr;
    }
    return winsim::openStream(path, fd, *openMode, std::move(share));
}

WINSIM_API int _fileno(FILE* stream) {
    if (stream == nullptr) {
        errno = EINVAL;
        return -1;
    }
    const std::shared_ptr<winsim::CrtStream> known = winsim::streams().ofStream(stream);
    return known ? known->file->fd() : fileno(stream);
}

WINSIM_API std::intptr_t _get_osfhandle(int fd) {
    const std::shared_ptr<winsim::CrtStream> known = winsim::streams().ofDescriptor(fd);
    if (!known) {
        errno = EBADF;
        return reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
    }
    return reinterpret_cast<std::intptr_t>(known->handle);
}

WINSIM_API errno_t _chsize_s(int fd, long long size) {
    const std::shared_ptr<winsim::CrtStream> known = winsim::streams().ofDescriptor(fd);
    int error = 0;
    DWORD injected = 0;
    if (!known || known->file->handleClosed()) {
        error = EBADF;
    } else if (size < 0) {
        error = EINVAL;
    } else if (!known->file->writable()) {
        error = EACCES;
    } else if (winsim::takeInjectedFault("_chsize_s", known->file->path(), &injected)) { // errno, by path
        error = static_cast<int>(injected);
    } else if (::ftruncate(fd, static_cast<off_t>(size)) == -1) {
        error = errno;
    }
    if (error != 0) {
        errno = error;
    } else {
        sim::logCall("_chsize_s", known->file->path().c_str());
    }
    return error;
}
