// Reading the calibration password without putting it on the command line, where ps and the shell's
// history keep it: one line from standard input, or asked for on a terminal without echo. The only
// place hwconfig talks to the terminal, for Windows and the others alike.
#pragma once

#include <string>

namespace hwconfig {

bool standardInputIsTerminal();

// One line of standard input without its line break; with `prompt`, the prompt is written to
// standard error first and the typed characters are not echoed. Throws HostError when standard
// input ends before a line.
std::string readPasswordLine(const char* prompt);

} // namespace hwconfig
