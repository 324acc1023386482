// hwconfig's command line: [--machine FILE] [--json] COMMAND [ARGUMENTS] [--force], or --help.
#pragma once

#include "host/commands.h"

#include <string>

namespace hwconfig {

extern const char* const kUsage;

struct Arguments {
    bool help = false;
    std::string command;
    std::string machine;
    CommandOptions options;
};

// Throws UsageError.
Arguments parseArguments(int argc, char** argv);

} // namespace hwconfig
