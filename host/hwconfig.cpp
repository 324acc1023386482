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
    "usage: hwconfig [--machine FILE] [--json] COMMAND [BOARD]\n"
    "\n"
    "commands:\n"
    "  list        the boards present: number, alias, model, serial number, chassis/slot, item name\n"
    "  show BOARD  every property the expert reports for the board\n"
    "\n"
    "BOARD is the number that list prints, the item name or the alias.\n"
    "\n"
    "options:\n"
    "  --help          this text\n"
    "  --machine FILE  the machine description to run on (default: the lab machine)\n"
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
        } else if (argument.rfind("--", 0) == 0) {
            throw UsageError("unknown option " + argument);
        } else if (arguments.command.empty()) {
            arguments.command = argument;
        } else if (arguments.options.board.empty()) {
            arguments.options.board = argument;
        } else {
            throw UsageError("unexpected argument " + argument);
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
    bool needsBoard;
};

constexpr Command kCommands[] = {
    {"list", runList, false},
    {"show", runShow, true},
};

CommandFunction findCommand(const Arguments& arguments) {
    for (const Command& command : kCommands) {
        if (arguments.command != command.name) {
            continue;
        }
        if (command.needsBoard == arguments.options.board.empty()) {
            throw UsageError(command.needsBoard ? arguments.command + " needs a board"
                                                : "unexpected argument " + arguments.options.board);
        }
        return command.run;
    }
    throw UsageError("unknown command " + arguments.command);
}

int run(int argc, char** argv) {
    const Arguments arguments = parseArguments(argc, argv);
    if (arguments.help) {
        std::printf("%s", kUsage);
        return 0;
    }
    const CommandFunction command = findCommand(arguments);
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
