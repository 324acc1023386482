// A path in the form the functions that take one in the ANSI code page read it (CreateFileA,
// FindFirstFileA, DeleteFileA, fopen): the wide path converted whole, so that in a double-byte page
// no character is cut in two. A character the page lacks gives no path at all: Windows would
// otherwise put a look-alike in its place ("Ω" as "O") and name another file, or none.
#pragma once

#include "platform/win32.h"

#include <optional>
#include <string>

namespace qvtext {

inline std::optional<std::string> ansiPathOf(const std::basic_string<WCHAR>& wide) {
    if (wide.empty()) {
        return std::string();
    }
    // In the UTF-8 page the look-alike rule does not apply; WideCharToMultiByte refuses its flag and
    // the default-character report there.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    LPBOOL usedDefaultReport = utf8 ? nullptr : &usedDefault;
    const int length = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(CP_ACP, flags, wide.data(), length, nullptr, 0, nullptr, usedDefaultReport);
    if (needed <= 0 || usedDefault) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(needed), '\0');
    if (WideCharToMultiByte(CP_ACP, flags, wide.data(), length, &bytes[0], needed, nullptr, usedDefaultReport) !=
            needed ||
        usedDefault) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace qvtext
