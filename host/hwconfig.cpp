// hwconfig: a small hardware-configuration host. It loads the expert module by name, as a host
// does, and drives its operations from the command line.
//
// Off Windows the module runs on the simulated Windows, which reads the machine named by
// QVKELP_MACHINE. Without --machine the lab machine shipped beside the program is used; the build
// copies it there (examples/lab.json and its drive folder), so that what the module writes (aliases,
// calibration state) changes that copy and never the source tree.
#include "host/arguments.h"
#include "host/machineSelection.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

using CommandFunction = int (*)(ExpertModule&, const CommandOptions&);

struct Command {
    const char* name;
    CommandFunction run;
};

constexpr Command kCommands[] = {
    {"list", runList},
    {"show", runShow},
    {"rename", runRename},
    {"selftest", runSelfTest},
    {"selfcal", runSelfCalibration},
};

// Each command checks its own arguments.
CommandFunction findCommand(const std::string& name) {
    for (const Command& command : kCommands) {
        if (name == command.name) {
            return command.run;
        }
    }
    throw UsageError("unknown command " + name);
}

CalibrationRequest calibrationRequestOf(const std::vector<std::string>& arguments) {
    try {
        return parseCalibrationArguments(arguments);
    } catch (const std::invalid_argument& error) {
        throw UsageError(error.what());
    }
}

int run(int argc, char** argv) {
    const Arguments arguments = parseArguments(argc, argv);
    if (arguments.help) {
        std::printf("%s", kUsage);
        return 0;
    }
    if (arguments.command == "cal") {
        const CalibrationRequest request = calibrationRequestOf(arguments.commandArguments);
#ifndef _WIN32
        selectMachine(arguments.machine);
#endif
        ExpertModule module;
        return runCal(module, request);
    }
    const CommandFunction command = findCommand(arguments.command);
#ifndef _WIN32
    selectMachine(arguments.machine);
#endif
    ExpertModule module;
    return command(module, arguments.options);
}

} // namespace
} // namespace hwconfig

int main(int argc, char** argv) {
    try {
        return hwconfig::run(argc, argv);
    } catch (const hwconfig::UsageError& error) {
        std::fprintf(stderr, "hwconfig: %s\n\n%s", error.what(), hwconfig::kUsage);
        return error.exitCode();
    } catch (const hwconfig::HostError& error) {
        std::fprintf(stderr, "hwconfig: %s\n", error.what());
        return error.exitCode();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "hwconfig: %s\n", error.what());
        return hwconfig::kExitFailure;
    }
}
