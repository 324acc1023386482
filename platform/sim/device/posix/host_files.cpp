#include "platform/sim/device/host_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace winsim {
namespace {

[[noreturn]] void failOnFile(const std::string& path, const char* what) {
    throw std::runtime_error("qvwinsim: state file " + path + ": " + what + ": " + std::strerror(errno));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ != -1) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    // Closes now, reporting whether everything written reached the file.
    bool close() { return ::close(release()) == 0; }

private:
    int fd_;
};

void writeAll(int fd, const std::string& text, const std::string& path) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t count = ::write(fd, text.data() + done, text.size() - done);
        if (count < 0 && errno != EINTR) {
            failOnFile(path, "cannot be written");
        }
        done += count > 0 ? static_cast<std::size_t>(count) : 0;
    }
}

} // namespace

std::string readWholeFile(const std::string& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() == -1) {
        if (errno == ENOENT) {
            return {};
        }
        failOnFile(path, "cannot be opened");
    }
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t count = ::read(file.get(), chunk, sizeof chunk);
        if (count == 0) {
            return text;
        }
        if (count < 0 && errno != EINTR) {
            failOnFile(path, "cannot be read");
        }
        text.append(chunk, count > 0 ? static_cast<std::size_t>(count) : 0);
    }
}

// The temporary file of a replacement, removed unless it has become the state file. One name for
// every process, since only the holder of the state file's lock writes it: a writer killed before
// its rename leaves a file that the next writer truncates and renames away.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& path() const { return path_; }
    void renameTo(const std::string& target) {
        if (::rename(path_.c_str(), target.c_str()) != 0) {
            failOnFile(target, "cannot be replaced");
        }
        path_.clear();
    }

private:
    std::string path_;
};

// Called under the state file's lock.
void replaceFile(const std::string& path, const std::string& text) {
    TemporaryFile temporary(path + ".tmp");
    FileDescriptor file(::open(temporary.path().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (file.get() == -1) {
        failOnFile(temporary.path(), "cannot be created");
    }
    writeAll(file.get(), text, temporary.path());
    if (::fsync(file.get()) != 0 || !file.close()) {
        failOnFile(temporary.path(), "cannot be written");
    }
    temporary.renameTo(path);
}

// O_APPEND places the one write after every line written before, whichever process wrote them.
void appendToFile(const std::string& path, const std::string& line) {
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (file.get() == -1) {
        return;
    }
    ssize_t written = 0;
    do {
        written = ::write(file.get(), line.data(), line.size());
    } while (written == -1 && errno == EINTR);
}

// A failed query is told apart from every file by an identity no file has (device and inode both ~0).
FileSignature fileSignature(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {~std::uint64_t{0}, ~std::uint64_t{0}, static_cast<std::uint64_t>(errno), 0, 0};
    }
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::uint64_t>(info.st_size), static_cast<std::uint64_t>(info.st_mtim.tv_sec),
            static_cast<std::uint64_t>(info.st_mtim.tv_nsec)};
}

ExclusiveFileLock::ExclusiveFileLock(const std::string& path)
    : handle_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    FileDescriptor file(static_cast<int>(handle_));
    if (file.get() == -1) {
        failOnFile(path, "cannot be opened");
    }
    while (::flock(file.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            failOnFile(path, "cannot be locked");
        }
    }
    file.release();
}

ExclusiveFileLock::~ExclusiveFileLock() {
    ::close(static_cast<int>(handle_));
}

} // namespace winsim
