// Where the board libraries' writes are kept, and the board state read through them.
#include "platform/sim/board_json.h"
#include "platform/sim/machine_state.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

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
    // Closes now, reporting whether everything written reached the file.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

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

void writeAll(int fd, const std::string& text, const std::string& path) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t count = ::write(fd, text.data() + done, text.size() - done);
        if (count < 0 && errno != EINTR) {
            failOnFile(path, "cannot be written");
        }
        done += count > 0 ? static_cast<std::size_t>(count) : 0;
    }
}

// A reader sees the old file or the new one, never a part of either.
void replaceFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp" + std::to_string(::getpid());
    FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (file.get() == -1) {
        failOnFile(temporary, "cannot be created");
    }
    writeAll(file.get(), text, temporary);
    if (::fsync(file.get()) != 0 || !file.close() || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
        failOnFile(path, "cannot be replaced");
    }
}

// The exclusive lock of every process that changes the state file; released when destroyed.
class StateFileLock {
public:
    explicit StateFileLock(const std::string& stateFile)
        : file_(::open((stateFile + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (file_.get() == -1) {
            failOnFile(stateFile + ".lock", "cannot be opened");
        }
        while (::flock(file_.get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                failOnFile(stateFile + ".lock", "cannot be locked");
            }
        }
    }

private:
    FileDescriptor file_;
};

const DeviceNode* boardNode(const MachineState& machine, const std::string& deviceId) {
    const DeviceNode* device = machine.findById(deviceId);
    return device != nullptr && device->present && device->boardState ? device : nullptr;
}

// A state file that does not hold a document of records is reported with its name.
template <typename Work> auto withStateFileNamed(const BoardWrites& writes, Work work) {
    try {
        return work();
    } catch (const std::invalid_argument& problem) {
        throw std::runtime_error("qvwinsim: state file " + writes.stateFile() + ": " + problem.what());
    }
}

} // namespace

std::string BoardWrites::read() const {
    if (!stateFile_.empty()) {
        return readWholeFile(stateFile_);
    }
    const std::lock_guard<std::mutex> guard(mutex_);
    return memory_;
}

void BoardWrites::update(const std::function<std::optional<std::string>(const std::string&)>& edit) {
    if (!stateFile_.empty()) {
        const StateFileLock lock(stateFile_);
        if (const std::optional<std::string> changed = edit(readWholeFile(stateFile_))) {
            replaceFile(stateFile_, *changed);
        }
        return;
    }
    const std::lock_guard<std::mutex> guard(mutex_);
    if (std::optional<std::string> changed = edit(memory_)) {
        memory_ = std::move(*changed);
    }
}

} // namespace winsim

namespace sim {

std::optional<BoardState> readBoardState(const std::string& deviceId) {
    const auto machine = winsim::currentMachine();
    const winsim::DeviceNode* device = winsim::boardNode(*machine, deviceId);
    if (device == nullptr) {
        return std::nullopt;
    }
    BoardState state = *device->boardState;
    const winsim::BoardWrites& writes = machine->boardWrites();
    winsim::withStateFileNamed(writes, [&] { winsim::layOverWrites(state, writes.read(), device->id); });
    return state;
}

std::optional<std::int32_t> updateBoardState(const std::string& deviceId,
                                             const std::function<std::int32_t(BoardState&)>& change) {
    const auto machine = winsim::currentMachine();
    const winsim::DeviceNode* device = winsim::boardNode(*machine, deviceId);
    if (device == nullptr) {
        return std::nullopt;
    }
    winsim::BoardWrites& writes = machine->boardWrites();
    std::int32_t code = 0;
    winsim::withStateFileNamed(writes, [&] {
        writes.update([&](const std::string& document) -> std::optional<std::string> {
            BoardState state = *device->boardState;
            winsim::layOverWrites(state, document, device->id);
            code = change(state);
            return code < 0 ? std::nullopt : std::optional<std::string>(winsim::withWrites(document, device->id, state));
        });
    });
    return code;
}

} // namespace sim
