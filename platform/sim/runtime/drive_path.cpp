#include "platform/sim/runtime/drive_path.h"

#include <cctype>
#include <vector>

namespace winsim {
namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The components of a path below a drive's root, with "." dropped and ".." taking back the
// previous component; at the root ".." stays at the root, as Windows resolves it.
std::vector<std::string_view> resolvedComponents(std::string_view rest) {
    std::vector<std::string_view> components;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = start;
        while (end < rest.size() && !isSeparator(rest[end])) {
            ++end;
        }
        const std::string_view component = rest.substr(start, end - start);
        if (component == "..") {
            if (!components.empty()) {
                components.pop_back();
            }
        } else if (!component.empty() && component != ".") {
            components.push_back(component);
        }
        start = end + 1;
    }
    return components;
}

} // namespace

bool isWindowsDrivePath(std::string_view path) {
    return path.size() >= 2 && isAsciiLetter(path[0]) && path[1] == ':';
}

std::optional<std::string> hostPathOfDrivePath(std::string_view windowsPath, const MachineFacts& machine) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0])));
    const auto drive = machine.drives.find(letter);
    if (drive == machine.drives.end()) {
        return std::nullopt;
    }
    std::string hostPath = drive->second;
    while (hostPath.size() > 1 && hostPath.back() == '/') {
        hostPath.pop_back();
    }
    for (const std::string_view component : resolvedComponents(windowsPath.substr(2))) {
        hostPath += '/';
        hostPath += component;
    }
    return hostPath;
}

} // namespace winsim
