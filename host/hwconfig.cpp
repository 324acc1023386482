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
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace hwconfig {
namespace {

constexpr const char* kUsage =
    "usage: hwconfig [--machine FILE] [--json] COMMAND\n"
    "\n"
    "commands:\n"
    "  list                       the item names of the boards present\n"
    "  selftest BOARD [--mode N]  run the board's self-test (only mode 0 is supported)\n"
    "  selfcal BOARD              run the board's self-calibration\n"
    "\n"
    "BOARD is an item name or a number of the list.\n"
    "\n"
    "options:\n"
    "  --help          this text\n"
    "  --machine FILE  the machine description to run on (default: the lab machine)\n"
    "  --json          print the result as JSON\n";

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Arguments {
    bool help = false;
    std::string command;
    std::string machine;
    CommandOptions options;
};

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
        } else if (argument == "--machine") {
            if (i + 1 >= argc) {
                throw UsageError("--machine needs a file name");
            }
            arguments.machine = argv[++i];
        } else if (argument == "--mode") {
            if (i + 1 >= argc) {
                throw UsageError("--mode needs a number");
            }
            arguments.options.mode = argv[++i];
        } else if (argument.rfind("--", 0) == 0) {
            throw UsageError("unknown option " + argument);
        } else if (arguments.command.empty()) {
            arguments.command = argument;
        } else {
            arguments.options.operands.push_back(argument);
        }
    }
    if (arguments.command.empty()) {
        throw UsageError("no command given");
    }
    return arguments;
}

fs::path programFolder() {
#ifdef _WIN32
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
#else
    return fs::read_symlink("/proc/self/exe").parent_path();
#endif
}

void setMachineVariable(const std::string& value) {
#ifdef _WIN32
    _putenv_s("QVKELP_MACHINE", value.c_str());
#else
    setenv("QVKELP_MACHINE", value.c_str(), 1);
#endif
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

using CommandFunction = int (*)(ExpertModule&, const CommandOptions&);

struct Command {
    const char* name;
    CommandFunction run;
};

constexpr Command kCommands[] = {
    {"list", runList},
    {"selftest", runSelfTest},
    {"selfcal", runSelfCalibration},
};

CommandFunction findCommand(const std::string& name) {
    for (const Command& command : kCommands) {
        if (name == command.name) {
            return command.run;
        }
    }
    throw UsageError("unknown command " + name);
}

int run(int argc, char** argv) {
    const Arguments arguments = parseArguments(argc, argv);
    if (arguments.help) {
        std::printf("%s", kUsage);
        return 0;
    }
    const CommandFunction command = findCommand(arguments.command);
    selectMachine(arguments.machine);
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
