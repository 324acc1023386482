// The call log: when QVKELP_CALL_LOG names a file, every simulated board-library function, every
// LoadLibraryExW and every FreeLibrary appends one line to it, and so does every successful call
// that puts a file's data on the disk or changes its length or name (FlushFileBuffers,
// SetEndOfFile, _chsize_s, DeleteFileA, with the path as the program named it), so that a test or
// a user sees what a program called, in order. A line is the function's name, a space and its text argument as the
// caller gave it ("(null)" for a null pointer); a function without a text argument writes its name
// alone; a failed call adds " -> error N". Control characters of the argument are written as '?'.
// Each line is appended with one write to a file opened with O_APPEND, so processes may share it.
#pragma once

#include "platform/sim/sim_api.h"
#include <cstdint>
#include <string_view>

namespace sim {

SIM_API void logCall(std::string_view function);
SIM_API void logCall(std::string_view function, const char* argument);
SIM_API void logFailedCall(std::string_view function, const char* argument, std::uint32_t error);

} // namespace sim
