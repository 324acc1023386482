// The commands of hwconfig. Each writes its result to standard output and reports failures by
// throwing HostError (UsageError for a command line it cannot use); the return value is the
// process's exit code.
#pragma once

#include "host/expertModule.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace hwconfig {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CommandOptions {
    bool json = false;
    // The words after the command name that are not options, in order.
    std::vector<std::string> operands;
    // The text given with --mode; empty when the option is absent.
    std::string mode;
};

int runList(ExpertModule& module, const CommandOptions& options);
int runSelfTest(ExpertModule& module, const CommandOptions& options);
int runSelfCalibration(ExpertModule& module, const CommandOptions& options);

// The item names of the boards present, in the order the expert hands them out.
std::vector<std::string> readItemNames(IhwSysExpert2* expert);

} // namespace hwconfig
