// Finding and opening a library that a program names, as LoadLibraryExW does.
#pragma once

#include "platform/sim/machine_access.h"

#include <string>

namespace winsim {

struct OpenedLibrary {
    // The dynamic loader's handle, or null.
    void* handle;
    // ERROR_SUCCESS, or why no library was opened.
    DWORD error;
};

// Opens the library named (UTF-8 text) by the rules and in the search order of windows_choices.h.
OpenedLibrary openNamedLibrary(const std::string& name, const MachineFacts& machine);

} // namespace winsim
