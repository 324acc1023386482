// What Windows reports of a file, taken from what POSIX reports of it.
#pragma once

#include "platform/sim/win32_types.h"

#include <sys/stat.h>

namespace winsim {

// FILE_ATTRIBUTE_* of a file as lstat or fstat saw it: a symbolic link is a reparse point, a file
// nobody may write is read-only.
DWORD attributesOf(const struct stat& status);
// A POSIX time as a FILETIME: 100-nanosecond ticks since 1601-01-01 UTC.
FILETIME fileTimeOf(const struct timespec& time);

} // namespace winsim
