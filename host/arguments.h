// hwconfig's command line: [--machine FILE] [--json] COMMAND [ARGUMENTS] [--force], or --help.
#pragma once

#include "host/commands.h"

#include <string>
#include <vector>

namespace hwconfig {

extern const char* const kUsage;

struct Arguments {
    bool help = false;
    std::string command;
    std::string machine;
    CommandOptions options;
    // What follows a command that parses its own arguments.
    std::vector<std::string> commandArguments;
};

// Throws UsageError.
Arguments parseArguments(int argc, char** argv);

} // namespace hwconfig
