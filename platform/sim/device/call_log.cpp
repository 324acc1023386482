#include "platform/sim/call_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace sim {
namespace {

constexpr const char* kCallLogVariable = "QVKELP_CALL_LOG";

void appendArgument(std::string& line, const char* argument) {
    if (argument == nullptr) {
        line += "(null)";
        return;
    }
    for (const char* c = argument; *c != '\0'; ++c) {
        line += static_cast<unsigned char>(*c) < 0x20 ? '?' : *c;
    }
}

// One write of the whole line; O_APPEND places it after every line written before, whichever
// process wrote them.
void appendLine(std::string line) {
    const char* path = std::getenv(kCallLogVariable);
    if (path == nullptr || *path == '\0') {
        return;
    }
    line += '\n';
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd == -1) {
        return;
    }
    ssize_t written = 0;
    do {
        written = ::write(fd, line.data(), line.size());
    } while (written == -1 && errno == EINTR);
    ::close(fd);
}

} // namespace

void logCall(std::string_view function) {
    appendLine(std::string(function));
}

void logCall(std::string_view function, const char* argument) {
    std::string line(function);
    line += ' ';
    appendArgument(line, argument);
    appendLine(std::move(line));
}

void logFailedCall(std::string_view function, const char* argument, std::uint32_t error) {
    std::string line(function);
    line += ' ';
    appendArgument(line, argument);
    line += " -> error " + std::to_string(error);
    appendLine(std::move(line));
}

} // namespace sim
