// The mode text of the C runtime's fopen, as open(2) flags.
#pragma once

#include <optional>
#include <string>

namespace winsim {

struct OpenMode {
    bool readable;
    bool writable;
    // O_CREAT, O_TRUNC, O_APPEND and O_EXCL as the mode asks.
    int creationFlags;
    // The mode for the stream itself: "r", "w", "a", optionally with "+".
    std::string streamMode;
};

// std::nullopt for a mode the C runtime refuses (EINVAL). Besides "r", "w", "a", "+" and "x", the
// Windows runtime's letters b, t, c, n, N, S, R, T and D are accepted and have no effect here.
std::optional<OpenMode> parseOpenMode(const char* mode);

} // namespace winsim
