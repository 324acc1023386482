// The commands of hwconfig. Each writes its result to standard output and reports failures by
// throwing HostError; the return value is the process's exit code.
#pragma once

#include "host/expertModule.h"

namespace hwconfig {

struct CommandOptions {
    bool json = false;
};

int runList(ExpertModule& module, const CommandOptions& options);

} // namespace hwconfig
