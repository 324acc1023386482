// Reading the calibration password without putting it on the command line, where ps and the shell's
// history keep it: one line from standard input, or asked for on a terminal without echo. The only
// place hwconfig talks to the terminal, for Windows and the others alike.
#pragma once

#include <string>

namespace hwconfig {

bool standardInputIsTerminal();

// The calibration password. On a terminal it is asked for on standard error and typed without
// echo; otherwise standard input must hold it alone: one line, its line break optional. Throws
// HostError (kExitUsage) for an empty input, a NUL byte or more than one line.
std::string readPassword();

} // namespace hwconfig
