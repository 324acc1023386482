// hwconfig's command line: [--machine FILE] [--json] COMMAND, or --help.
#pragma once

#include "host/commands.h"

#include <stdexcept>
#include <string>

namespace hwconfig {

extern const char* const kUsage;

// A command line hwconfig cannot run; the message says what is wrong, and the usage follows it.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Arguments {
    bool help = false;
    std::string command;
    std::string machine;
    CommandOptions options;
};

// Throws UsageError.
Arguments parseArguments(int argc, char** argv);

} // namespace hwconfig
