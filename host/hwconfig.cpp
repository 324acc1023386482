// hwconfig: a small hardware-configuration host. It loads the expert module by name, as a host
// does, and drives its operations from the command line.
//
// Off Windows the module runs on the simulated Windows, which reads the machine named by
// QVKELP_MACHINE. Without --machine the lab machine shipped beside the program is used; the build
// copies it there (examples/lab.json and its drive folder), so that what the module writes (aliases,
// calibration state) changes that copy and never the source tree.
#include "host/commands.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace hwconfig {
namespace {

// On Windows the module sees the real machine; a machine description exists only for the simulation.
#ifdef _WIN32
constexpr bool kSimulatedMachine = false;
#define QV_MACHINE_USAGE ""
#define QV_MACHINE_OPTION ""
#else
constexpr bool kSimulatedMachine = true;
#define QV_MACHINE_USAGE "[--machine FILE] "
#define QV_MACHINE_OPTION "  --machine FILE  the machine description to run on (default: the lab machine)\n"
#endif

constexpr const char* kUsage =
    "usage: hwconfig " QV_MACHINE_USAGE "[--json] COMMAND\n"
    "\n"
    "commands:\n"
    "  list    the item names of the boards present\n"
    "  cal BOARD                       a board's calibration records and due date\n"
    "  cal BOARD --password P [--date D] [--due D | --interval DAYS] [--new-password Q] [--check]\n"
    "          change the external-calibration record (dates ISO-8601, a date alone is midnight\n"
    "          UTC; --check only validates). BOARD is an item name or a number of list\n"
    "\n"
    "options:\n"
    "  --help          this text\n"
    QV_MACHINE_OPTION
    "  --json          print the result as JSON\n";

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Arguments {
    bool help = false;
    std::string command;
    std::string machine;
    CommandOptions options;
    // What follows a command that takes its own arguments.
    std::vector<std::string> commandArguments;
};

bool takesOwnArguments(const std::string& command) {
    return command == "cal";
}

Arguments parseArguments(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            arguments.help = true;
            return arguments;
        }
        if (argument == "--json") {
            arguments.options.json = true;
        } else if (kSimulatedMachine && argument == "--machine") {
            if (i + 1 >= argc) {
                throw UsageError("--machine needs a file name");
            }
            arguments.machine = argv[++i];
        } else if (argument.rfind("--", 0) == 0) {
            throw UsageError("unknown option " + argument);
        } else if (arguments.command.empty()) {
            arguments.command = argument;
            if (takesOwnArguments(argument)) {
                arguments.commandArguments.assign(argv + i + 1, argv + argc);
                break;
            }
        } else {
            throw UsageError("unexpected argument " + argument);
        }
    }
    if (arguments.command.empty()) {
        throw UsageError("no command given");
    }
    return arguments;
}

#ifndef _WIN32
fs::path programFolder() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

void setMachineVariable(const std::string& value) {
    setenv("QVKELP_MACHINE", value.c_str(), 1);
}

// Must run before the module is loaded: the simulated Windows reads the variable when first asked.
void selectMachine(const std::string& requested) {
    const fs::path machine =
        requested.empty() ? programFolder() / "examples" / "lab.json" : fs::path(requested);
    std::error_code error;
    if (!fs::is_regular_file(machine, error)) {
        throw HostError("machine description not found: " + machine.string());
    }
    setMachineVariable(fs::absolute(machine).string());
}
#endif

using CommandFunction = int (*)(ExpertModule&, const CommandOptions&);

struct Command {
    const char* name;
    CommandFunction run;
};

constexpr Command kCommands[] = {
    {"list", runList},
};

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
        selectMachine(arguments.machine);
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
        return hwconfig::kExitUsage;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "hwconfig: %s\n", error.what());
        return hwconfig::kExitFailure;
    }
}
