// The commands of hwconfig. Each writes its result to standard output and reports failures by
// throwing HostError; the return value is the process's exit code.
#pragma once

#include "host/expertModule.h"

#include <string>
#include <vector>

namespace hwconfig {

struct CommandOptions {
    bool json = false;
    bool force = false;
    // The command's own arguments, after its name.
    std::vector<std::string> operands;
};

int runList(ExpertModule& module, const CommandOptions& options);
int runRename(ExpertModule& module, const CommandOptions& options);

} // namespace hwconfig
