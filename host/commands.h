// The commands of hwconfig. Each writes its result to standard output and reports failures by
// throwing HostError; the return value is the process's exit code.
#pragma once

#include "host/expertModule.h"

#include <string>

namespace hwconfig {

struct CommandOptions {
    bool json = false;
    // The board a command acts on, as the user named it (number, item name or alias).
    std::string board;
};

int runList(ExpertModule& module, const CommandOptions& options);
int runShow(ExpertModule& module, const CommandOptions& options);

} // namespace hwconfig
