#include "platform/sim/runtime/drive_path.h"

#include "platform/sim/runtime/win32_memstr.h"
#include "platform/sim/utf16.h"

#include <algorithm>
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

std::optional<std::string> hostPathOfAnsiDrivePath(std::string_view ansiPath, const MachineFacts& machine) {
    if (std::all_of(ansiPath.begin(), ansiPath.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return hostPathOfDrivePath(ansiPath, machine); // every ANSI code page keeps ASCII as it is
    }
    // Decoded whole: in a double-byte page a byte 0x5C may be the second half of a character, not a
    // separator.
    const int length = static_cast<int>(ansiPath.size());
    const int needed =
        MultiByteToWideChar(machine.ansiCodePage, MB_ERR_INVALID_CHARS, ansiPath.data(), length, nullptr, 0);
    if (needed <= 0) {
        return std::nullopt;
    }
    std::u16string wide(static_cast<std::size_t>(needed), u'\0');
    if (MultiByteToWideChar(machine.ansiCodePage, MB_ERR_INVALID_CHARS, ansiPath.data(), length,
                            wide.data(), needed) != needed) {
        return std::nullopt;
    }
    return hostPathOfDrivePath(utf8FromUtf16(wide), machine);
}

} // namespace winsim
