#include "platform/sim/runtime/open_mode.h"

#include <cstring>
#include <fcntl.h>

namespace winsim {
namespace {

constexpr char kIgnoredModeLetters[] = "btcnNSRTD";

} // namespace

std::optional<OpenMode> parseOpenMode(const char* mode) {
    OpenMode result{};
    switch (mode[0]) {
    case 'r':
        result = {true, false, 0, "r"};
        break;
    case 'w':
        result = {false, true, O_CREAT | O_TRUNC, "w"};
        break;
    case 'a':
        result = {false, true, O_CREAT | O_APPEND, "a"};
        break;
    default:
        return std::nullopt;
    }
    bool update = false;
    for (const char* letter = mode + 1; *letter != '\0'; ++letter) {
        if (*letter == '+' && !update) {
            update = true;
            result.readable = result.writable = true;
            result.streamMode += '+';
        } else if (*letter == 'x' && mode[0] == 'w') {
            result.creationFlags |= O_EXCL;
        } else if (std::strchr(kIgnoredModeLetters, *letter) == nullptr) {
            return std::nullopt;
        }
    }
    return result;
}

} // namespace winsim
