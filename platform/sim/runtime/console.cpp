// The standard handles of the simulated process and the console behind them, when a test says
// there is one (QVKELP_CONSOLE).
#include "platform/sim/call_log.h"
#include "platform/sim/runtime/kernel_objects.h"
#include "platform/sim/runtime/win32_files.h"
#include "platform/sim/utf16.h"
#include "platform/sim/win32_error.h"
#include "platform/sim/windows_choices.h"

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

class StandardStream : public winsim::KernelObject {
public:
    StandardStream(int fd, bool console) : fd_(fd), console_(console) {}
    int fd() const { return fd_; }
    bool console() const { return console_; }

private:
    int fd_;
    bool console_;
};

// Whether QVKELP_CONSOLE names the stream ("out", "err", "in").
bool namedAsConsole(std::string_view stream) {
    const char* streams = std::getenv("QVKELP_CONSOLE");
    if (streams == nullptr) {
        return false;
    }
    std::string_view rest(streams);
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        if (rest.substr(0, comma) == stream) {
            return true;
        }
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return false;
}

// The process's three standard handles, made once, as Windows gives them to a process at its start.
HANDLE standardHandle(int fd) {
    static const char* const kNames[] = {"in", "out", "err"};
    static HANDLE handles[3] = {};
    static std::once_flag made;
    std::call_once(made, [] {
        for (int stream = 0; stream < 3; ++stream) {
            handles[stream] = winsim::insertHandle(std::make_shared<StandardStream>(stream, namedAsConsole(kNames[stream])));
        }
    });
    return handles[fd];
}

std::shared_ptr<StandardStream> consoleOf(HANDLE handle) {
    std::shared_ptr<StandardStream> stream = winsim::lookupHandleOf<StandardStream>(handle);
    return stream && stream->console() ? stream : nullptr;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

} // namespace

WINSIM_API HANDLE WINAPI GetStdHandle(DWORD stream) {
    switch (stream) {
    case STD_INPUT_HANDLE:
        return standardHandle(0);
    case STD_OUTPUT_HANDLE:
        return standardHandle(1);
    case STD_ERROR_HANDLE:
        return standardHandle(2);
    default:
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
}

WINSIM_API BOOL WINAPI GetConsoleMode(HANDLE console, LPDWORD mode) {
    const std::shared_ptr<StandardStream> stream = consoleOf(console);
    if (!stream) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (mode == nullptr) {
        return fail(winsim::choice::kNullRequiredPointerError);
    }
    *mode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
    return TRUE;
}

WINSIM_API BOOL WINAPI WriteConsoleW(HANDLE console, const void* text, DWORD characters, LPDWORD written,
                                     LPVOID) {
    const std::shared_ptr<StandardStream> stream = consoleOf(console);
    if (!stream || stream->fd() == 0) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (text == nullptr && characters != 0) {
        return fail(winsim::choice::kNullRequiredPointerError);
    }
    const std::string utf8 = winsim::utf8FromUtf16(std::u16string_view(static_cast<const char16_t*>(text), characters));
    if (!writeAll(stream->fd(), utf8)) {
        return fail(ERROR_WRITE_FAULT);
    }
    sim::logCall("WriteConsoleW", utf8.c_str());
    if (written != nullptr) {
        *written = characters;
    }
    return TRUE;
}
