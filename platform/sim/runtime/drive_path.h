// Windows drive paths on the simulated machine's file system.
#pragma once

#include "platform/sim/machine_access.h"

#include <optional>
#include <string>
#include <string_view>

namespace winsim {

// True when the path names a drive ("C:\ProgramData", "c:/x", "C:file").
bool isWindowsDrivePath(std::string_view path);

// The host path of a Windows drive path: the folder the machine maps the drive to, followed by
// the rest of the path with slashes, "." and ".." resolved without leaving the drive's folder.
// std::nullopt when the machine does not map the drive.
std::optional<std::string> hostPathOfDrivePath(std::string_view windowsPath, const MachineFacts& machine);

// The same for a drive path as the A functions and the C runtime take it, in the machine's ANSI code
// page; std::nullopt also when the bytes are not text of that page.
std::optional<std::string> hostPathOfAnsiDrivePath(std::string_view ansiPath, const MachineFacts& machine);

} // namespace winsim
