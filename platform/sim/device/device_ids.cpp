#include "platform/sim/device/device_ids.h"

#include "platform/sim/device/win32_setupapi.h"
#include "platform/sim/text_rules.h"

#include <algorithm>

namespace winsim {

bool isWellFormedDeviceId(std::string_view id) {
    if (id.empty() || id.size() >= MAX_DEVICE_ID_LEN) {
        return false;
    }
    const bool printable =
        std::all_of(id.begin(), id.end(), [](char c) { return c > ' ' && c < 0x7F && c != ','; });
    if (!printable) {
        return false;
    }
    const std::size_t first = id.find('\\');
    if (first == std::string_view::npos) {
        return false;
    }
    const std::size_t second = id.find('\\', first + 1);
    if (second == std::string_view::npos || id.find('\\', second + 1) != std::string_view::npos) {
        return false;
    }
    return first > 0 && second > first + 1 && second + 1 < id.size();
}

std::string defaultEnumerator(std::string_view id) {
    return std::string(id.substr(0, id.find('\\')));
}

std::string interfacePath(std::string_view id, const GUID& classGuid, std::string_view reference) {
    std::string path = "\\\\?\\" + std::string(id) + "#" + formatGuid(classGuid);
    std::replace(path.begin() + 4, path.end(), '\\', '#');
    if (!reference.empty()) {
        path += "\\" + std::string(reference);
    }
    return toLowerAscii(path);
}

bool isWellFormedReference(std::string_view reference) {
    return std::all_of(reference.begin(), reference.end(),
                       [](char c) { return c > ' ' && c < 0x7F && c != '\\' && c != '/'; });
}

} // namespace winsim
