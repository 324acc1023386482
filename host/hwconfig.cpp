// hwconfig: a small hardware-configuration host. It loads the expert module by name, as a host
// does, and drives its operations from the command line.
//
// This file is the frame every command shares: the command line (CLI11), the choice of machine,
// the exit codes, and the one way failures are reported - one line on standard error saying what
// failed and, when a call returned one, the HRESULT with its name. Each command's work is in its
// own file (commands.h).
//
// Off Windows the module runs on the simulated Windows, which reads the machine named by
// QVKELP_MACHINE. Without --machine the lab machine shipped beside the program is used; the build
// copies it there (examples/lab.json and its drive folder), so that what the module writes (aliases,
// calibration state) changes that copy and never the source tree. On Windows there is no --machine:
// the module sees the real machine.
#include "host/commands.h"
#include "host/errorNames.h"
#include "host/machineSelection.h"
#include "host/output.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

struct CommandLine {
    std::string machine;
    CommandOptions options;
    std::string board;
    std::string newAlias;
    TreeOptions tree;
    CalDueOptions calDue;
    std::string calDueAt;
    // cal BOARD's options, handed to the command's own checks as it would read them.
    std::vector<std::string> calArguments;
};

constexpr const char* kBoardWords = "the board: its number in hwconfig list, its item name or its alias";

// What each option's missing value is called in the message "--machine needs a file name".
const std::map<std::string, std::string> kValueWords = {
    {"--machine", "a file name"}, {"--within", "a number of days"}, {"--at", "a date"}};

#ifdef _WIN32
constexpr const char* kGlobalOptionsFooter = "Global options, before or after the command: --json.\n";
#else
constexpr const char* kGlobalOptionsFooter =
    "Global options, before or after the command: --machine FILE, --json (see hwconfig --help).\n";
#endif

class Parser {
public:
    Parser() : app_("hwconfig: the QV-KELP boards of this machine, through the expert module", "hwconfig") {
        app_.fallthrough();
#ifndef _WIN32
        // On Windows the module sees the real machine; a machine description exists only for the
        // simulation.
        machineOption_ = app_.add_option("--machine", line_.machine,
                                         "the machine description to run on (default: the lab machine)")
                             ->type_name("FILE");
#endif
        app_.add_flag("--json", line_.options.json, "print the result as one JSON document");

        addCommand("list", "the boards present: number, alias, model, serial number, chassis/slot", runList);
        addBoardCommand("show", "every property the expert reports for the board", runShow);
        CLI::App* rename = addBoardCommand("rename", "give a board an alias", runRename);
        rename->add_option("NEW_ALIAS", line_.newAlias, "the new alias");
        rename->add_flag("--force", line_.options.force, "let the alias be shared with another board");
        CLI::App* selftest = addBoardCommand("selftest", "run the board's self-test", runSelfTest);
        selftest->add_option("--mode", line_.options.mode, "the test mode (only 0 is supported)")->type_name("N");
        addBoardCommand("selfcal", "run the board's self-calibration", runSelfCalibration);
        CLI::App* tree = addCommand("tree", "the boards in the device tree, from host bridge to slot",
                                    [this](ExpertModule& module, const CommandOptions& options) {
                                        return runTree(module, options, line_.tree);
                                    });
        tree->add_flag("--dot", line_.tree.dot, "write the tree as Graphviz text");
        addCommand("aliases", "every record of aliases.json and the board it names", runAliases);
        addCalibrationCommands();

        app_.require_subcommand(1);
        // Left-over arguments are reported in hwconfig's words (see unexpectedArgument).
        app_.allow_extras();
    }

    // The command to run, or nothing when the command line asked for help.
    std::function<int(ExpertModule&, const CommandOptions&)> parse(int argc, char** argv) {
        try {
            app_.parse(argc, argv);
        } catch (const CLI::CallForHelp&) {
            std::printf("%s", helpText().c_str());
            return nullptr;
        } catch (const CLI::ParseError& error) {
            throw UsageError(usageMessage(error));
        }
        if (!app_.remaining().empty()) {
            throw UsageError(unexpectedArgument(app_.remaining().front()));
        }
        for (const std::string* operand : {&line_.board, &line_.newAlias}) {
            if (!operand->empty()) {
                line_.options.operands.push_back(*operand);
            }
        }
        if (!line_.calDueAt.empty()) {
            line_.calDue.asOf = parseIsoTime(line_.calDueAt);
            if (!line_.calDue.asOf) {
                throw UsageError("--at needs a date such as 2026-03-18 or 2026-03-18T07:42:10Z, not " +
                                 line_.calDueAt);
            }
        }
        return selected_;
    }

    std::optional<std::string> machine() const {
        return machineOption_ != nullptr && machineOption_->count() > 0 ? std::optional<std::string>(line_.machine)
                                                                        : std::nullopt;
    }
    const CommandOptions& options() const { return line_.options; }

private:
    using Run = std::function<int(ExpertModule&, const CommandOptions&)>;

    CLI::App* addCommand(const std::string& name, const std::string& description, Run run) {
        return addCommandTo(app_, name, description, std::move(run));
    }

    CLI::App* addBoardCommand(const std::string& name, const std::string& description, Run run) {
        CLI::App* command = addCommand(name, description, std::move(run));
        command->add_option("BOARD", line_.board, kBoardWords);
        return command;
    }

    CLI::App* addCommandTo(CLI::App& parent, const std::string& name, const std::string& description, Run run) {
        CLI::App* command = parent.add_subcommand(name, description);
        command->fallthrough();
        command->footer(kGlobalOptionsFooter);
        // A subcommand's callback runs before its parent's: the innermost command named wins.
        command->callback([this, run = std::move(run)] {
            if (!selected_) {
                selected_ = run;
            }
        });
        return command;
    }

    void addCalibrationCommands() {
        CLI::App* cal = addCommand("cal", "a board's calibration records, or change its external calibration",
                                   [this](ExpertModule& module, const CommandOptions&) {
                                       return runCal(module, calibrationRequest());
                                   });
        cal->add_option("BOARD", line_.board, kBoardWords);
        const auto valueOption = [&](const char* name, const char* type, const char* description) {
            cal->add_option_function<std::string>(
                   name, [this, name](const std::string& value) { line_.calArguments.insert(line_.calArguments.end(), {name, value}); },
                   description)
                ->type_name(type);
        };
        valueOption("--password", "P", "the calibration password; needed to change anything");
        valueOption("--date", "DATE", "the date of the external calibration (ISO-8601)");
        valueOption("--due", "DATE", "the date the next calibration is due");
        valueOption("--interval", "DAYS", "the calibration interval, instead of --due");
        valueOption("--new-password", "Q", "a new calibration password");
        cal->add_flag_callback("--check", [this] { line_.calArguments.push_back("--check"); },
                               "only validate the change");
        cal->require_subcommand(0, 1);
        CLI::App* due = addCommandTo(*cal, "due", "the boards whose calibration is overdue or soon due",
                                     [this](ExpertModule& module, const CommandOptions& options) {
                                         return runCalDue(module, options, line_.calDue);
                                     });
        due->add_option("--within", line_.calDue.withinDays, "the window in days (default 30)")
            ->type_name("DAYS")
            ->check(CLI::Range(0, 36500));
        due->add_option("--at", line_.calDueAt, "judge as of this date instead of now (2026-03-18)")
            ->type_name("DATE");
    }

    // The cal command's own checks read the request as it was written.
    CalibrationRequest calibrationRequest() const {
        std::vector<std::string> arguments = line_.calArguments;
        if (!line_.board.empty()) {
            arguments.insert(arguments.begin(), line_.board);
        }
        try {
            return parseCalibrationArguments(arguments);
        } catch (const std::invalid_argument& error) {
            throw UsageError(error.what());
        }
    }

    // The help of the innermost command named on the line.
    std::string helpText() const {
        const CLI::App* app = &app_;
        std::string prefix;
        for (;;) {
            const std::vector<const CLI::App*> chosen = app->get_subcommands({});
            const auto parsed =
                std::find_if(chosen.begin(), chosen.end(), [](const CLI::App* c) { return c->parsed(); });
            if (parsed == chosen.end()) {
                return app->help(prefix);
            }
            prefix += (prefix.empty() ? "" : " ") + app->get_name();
            app = *parsed;
        }
    }

    std::string unexpectedArgument(const std::string& argument) const {
        const bool anyCommand = selected_ != nullptr || app_.got_subcommand("cal");
        if (argument.rfind("-", 0) == 0) {
            return "unknown option " + argument;
        }
        return anyCommand ? "unexpected argument " + argument : "unknown command " + argument;
    }

    std::string usageMessage(const CLI::ParseError& error) const {
        const std::string text = error.what();
        if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr &&
            text.find("subcommand") != std::string::npos) {
            if (!app_.remaining().empty()) {
                return unexpectedArgument(app_.remaining().front());
            }
            return "no command given";
        }
        if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
            for (const auto& [option, words] : kValueWords) {
                if (text.rfind(option + ":", 0) == 0) {
                    return option + " needs " + words;
                }
            }
        }
        return text;
    }

    CLI::App app_;
    CLI::Option* machineOption_ = nullptr;
    CommandLine line_;
    Run selected_;
};

void reportFailure(const std::string& message, const std::optional<HRESULT>& result, bool json) {
    std::fprintf(stderr, "hwconfig: %s\n", message.c_str());
    if (!json) {
        return;
    }
    // A script reading the JSON output learns of the failure from the document itself.
    try {
        const qv::unique_cjson document = newJsonObject();
        cJSON* error = addJsonObject(document.get(), "error");
        addJsonString(error, "message", message);
        addJsonOptionalString(error, "hresult", result ? hresultHex(*result) : "");
        addJsonOptionalString(error, "name", result ? hresultName(*result) : "");
        printJson(document.get());
        std::fflush(stdout);
    } catch (const std::exception&) {
        // The line on standard error has said it already.
    }
}

int run(Parser& parser, int argc, char** argv) {
    const auto command = parser.parse(argc, argv);
    if (command) {
        selectMachine(parser.machine());
        ExpertModule module;
        const int exitCode = command(module, parser.options());
        finishOutput();
        return exitCode;
    }
    finishOutput();
    return kExitSuccess;
}

} // namespace
} // namespace hwconfig

int main(int argc, char** argv) {
    using namespace hwconfig;
    Parser parser;
    try {
        return run(parser, argc, argv);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "hwconfig: %s (see hwconfig --help)\n", error.what());
        return kExitUsage;
    } catch (const HostError& error) {
        reportFailure(error.what(), error.result(), parser.options().json);
        return error.exitCode();
    } catch (const std::bad_alloc&) {
        reportFailure("out of memory", E_OUTOFMEMORY, parser.options().json);
        return kExitFailure;
    } catch (const std::exception& error) {
        reportFailure(error.what(), std::nullopt, parser.options().json);
        return kExitFailure;
    }
}
