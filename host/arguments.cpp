#include "host/arguments.h"

namespace hwconfig {

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

const char* const kUsage =
    "usage: hwconfig " QV_MACHINE_USAGE "[--json] COMMAND [ARGUMENTS]\n"
    "\n"
    "commands:\n"
    "  list                              the boards present: number, alias, model, serial\n"
    "                                    number, chassis/slot, item name\n"
    "  show BOARD                        every property the expert reports for the board\n"
    "  rename BOARD NEW_ALIAS [--force]  give a board an alias; --force lets it share an\n"
    "                                    alias another board has\n"
    "  selftest BOARD [--mode N]         run the board's self-test (only mode 0 is supported)\n"
    "  selfcal BOARD                     run the board's self-calibration\n"
    "  cal BOARD                         a board's calibration records and due date\n"
    "  cal BOARD --password P [--date D] [--due D | --interval DAYS] [--new-password Q] [--check]\n"
    "                                    change the external-calibration record (dates ISO-8601,\n"
    "                                    a date alone is midnight UTC; --check only validates)\n"
    "\n"
    "BOARD is the number that list prints, the item name or the alias.\n"
    "\n"
    "options:\n"
    "  --help          this text\n"
    QV_MACHINE_OPTION
    "  --json          print the result as JSON\n"
    "\n"
    "exit codes:\n"
    "  0 success, 1 any other failure, 2 wrong command line, 3 no such board,\n"
    "  4 invalid alias, 5 alias in use by another board, 6 the alias file may not be written\n";

namespace {

bool takesOwnArguments(const std::string& command) {
    return command == "cal";
}

} // namespace

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
        } else if (argument == "--force") {
            arguments.options.force = true;
        } else if (kSimulatedMachine && argument == "--machine") {
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
            if (takesOwnArguments(argument)) {
                arguments.commandArguments.assign(argv + i + 1, argv + argc);
                break;
            }
        } else {
            arguments.options.operands.push_back(argument);
        }
    }
    if (arguments.command.empty()) {
        throw UsageError("no command given");
    }
    return arguments;
}

} // namespace hwconfig
