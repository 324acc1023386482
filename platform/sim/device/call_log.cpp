#include "platform/sim/call_log.h"

#include "platform/sim/device/host_files.h"

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

void appendLine(std::string line) {
    const char* path = std::getenv(kCallLogVariable);
    if (path == nullptr || *path == '\0') {
        return;
    }
    line += '\n';
    winsim::appendToFile(path, line);
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
