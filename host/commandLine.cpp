// hwconfig's command line, read with CLI11, which also checks what each command takes and how its
// options go together; the words of every mistake are hwconfig's own.
#include "host/commandLine.h"

#include "host/aliasFile.h"

#include "host/output.h"
#include "host/passwordInput.h"
#include "host/utf8Text.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

constexpr const char* kEmptyMachine = "--machine needs a file name, not an empty one";

constexpr const char* kBoardWords =
    "the board: its number in hwconfig list, item name, alias, location (PXI1/3) or serial number; "
    "alias:NAME for an alias alone";

#ifdef _WIN32
constexpr const char* kGlobalOptionsFooter = "Global options, before or after the command: --json.\n";
#else
constexpr const char* kGlobalOptionsFooter =
    "Global options, before or after the command: --machine FILE, --json (see hwconfig --help).\n";
#endif

// The words of a bad date, as the command line's checks report it.
CLI::Validator timeCheck(bool wholeDaysOnly) {
    return CLI::Validator(
        [wholeDaysOnly](std::string& text) -> std::string {
            try {
                const Time time = parseTime(text);
                if (wholeDaysOnly && !isMidnight(time)) {
                    return wordShown(text) + " has a time of day, which the board cannot store: the due date is kept "
                                  "as whole days after the calibration; give the date alone";
                }
                return {};
            } catch (const std::invalid_argument& error) {
                return error.what();
            }
        },
        "");
}

// Numbers on the command line are decimal: digits alone, leading zeros meaning nothing ("0365" is
// 365), never C's octal or hexadecimal literals.
CLI::Option* addNumberOption(CLI::App* command, const std::string& name, std::uint32_t largest,
                             std::function<void(std::uint32_t)> store, const std::string& description,
                             const std::string& unit) {
    const std::string range = "0 to " + std::to_string(largest);
    return command
        ->add_option_function<std::string>(
            name,
            [store = std::move(store)](const std::string& text) {
                store(static_cast<std::uint32_t>(std::stoull(text)));
            },
            description + " (" + range + ")")
        ->type_name(unit)
        ->check(CLI::Validator(
            [largest, range](std::string& text) -> std::string {
                const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
                    return std::isdigit(static_cast<unsigned char>(c)) != 0;
                });
                const std::size_t significant = std::min(text.find_first_not_of('0'), text.size());
                if (!digits || text.size() - significant > 10 || std::stoull(text) > largest) {
                    return wordShown(text) + " is not a whole number from " + range + " in decimal digits";
                }
                return {};
            },
            ""));
}

// A flag given twice is refused, as an option with a value is: the line says something twice that
// one of them may not mean.
CLI::Option* addFlag(CLI::App* command, const std::string& name, bool& target, const std::string& description) {
    return command->add_flag(name, target, description)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
}

CLI::Option* addTimeOption(CLI::App* command, const std::string& name, std::optional<Time>& target,
                           const std::string& description, bool wholeDaysOnly = false) {
    return command
        ->add_option_function<std::string>(
            name, [&target](const std::string& text) { target = parseTime(text); }, description)
        ->type_name("DATE")
        ->check(timeCheck(wholeDaysOnly));
}

struct LineValues {
    std::string machine;
    bool version = false;
    CommandOptions options;
    TreeOptions tree;
    CalDueOptions calDue;
    RenameOptions rename;
    ULONG testMode = 0;
    CalibrationRequest cal;
    bool passwordStdin = false;
    bool futureDate = false;
};

} // namespace

class CommandLine::Parser {
public:
    Parser() : app_("hwconfig: the QV-KELP boards of this machine, through the expert module", "hwconfig") {
#ifndef _WIN32
        // On Windows the module sees the real machine; a machine description exists only for the
        // simulation.
        machineOption_ = app_.add_option("--machine", line_.machine,
                                         "the machine description to run on (default: the lab machine)")
                             ->type_name("FILE");
#endif
        addFlag(&app_, "--json", line_.options.json, "print the result, or the failure, as one JSON document");
        addFlag(&app_, "--version", line_.version, "hwconfig's version and the module's");
        app_.require_subcommand(0, 1);

        addCommand(app_, "list", "the boards present: number, alias, model, serial number, chassis/slot",
                   [this](ExpertModule& m) { return runList(m, line_.options); });
        CLI::App* tree = addCommand(
            app_, "tree", "the boards in the device tree, from host bridge to slot",
            [this](ExpertModule& m) { return runTree(m, line_.options, line_.tree); },
            // --json is the whole program's, so CLI11 cannot relate it to tree's --dot by itself.
            [this] {
                if (line_.tree.dot && line_.options.json) {
                    throw CLI::ExcludesError("--dot", "--json");
                }
            });
        addFlag(tree, "--dot", line_.tree.dot, "write the tree as Graphviz text (not with --json)");
        addBoard(addCommand(app_, "show", "every property the expert reports for the board",
                            [this](ExpertModule& m) { return runShow(m, line_.options); }));
        addCommand(app_, "aliases", "every record of aliases.json and the board it names",
                   [this](ExpertModule& m) { return runAliases(m, line_.options); });
        addRename();
        CLI::App* selftest = addBoard(addCommand(app_, "selftest", "run the board's self-test", [this](ExpertModule& m) {
            return runSelfTest(m, line_.options, line_.testMode);
        }));
        addNumberOption(
            selftest, "--mode", std::numeric_limits<std::uint32_t>::max(),
            [this](std::uint32_t mode) { line_.testMode = mode; }, "the test mode (default 0)", "N");
        addBoard(addCommand(app_, "selfcal", "run the board's self-calibration",
                            [this](ExpertModule& m) { return runSelfCalibration(m, line_.options); }));
        addCalibrationCommands();
    }

    // The command to run; nothing when the line asked for help.
    Run parse(int argc, char** argv) {
        refuseEmptyValuesAfterEquals(argc, argv);
        try {
            app_.parse(argc, argv);
        } catch (const CLI::CallForHelp&) {
            printOut("%s", innermost()->help(parentPath()).c_str());
            return nullptr;
        } catch (const CLI::ParseError& error) {
            throw usageError(error);
        }
        if (machineOption_ != nullptr && machineOption_->count() > 0 && line_.machine.empty()) {
            throw usageError(kEmptyMachine);
        }
        if (line_.version && selected_) {
            throw usageError("--version takes no command");
        }
        if (line_.version) {
            return [this](ExpertModule& m) { return runVersion(m, line_.options); };
        }
        if (!selected_) {
            // CLI11 reads a command name after -- but does not run it.
            throw usageError(innermost() != &app_ ? "the command comes before --, which ends the options"
                                                  : "no command given");
        }
        return selected_;
    }

    std::optional<std::string> machine() const {
        return machineOption_ != nullptr && machineOption_->count() > 0 ? std::optional<std::string>(line_.machine)
                                                                        : std::nullopt;
    }

    // The password a change needs and the command line did not give: from standard input or asked for.
    void takePassword() {
        if (line_.passwordStdin || wantsPassword_) {
            line_.cal.password = hwconfig::readPassword();
            line_.cal.passwordFrom = standardInputIsTerminal() ? "the password typed" : "the password on standard input";
        }
    }

    // The usage line of the command the line was for, and where its help is.
    std::string usage() const {
        const std::string path = commandPath();
        const std::string help = innermost()->help(parentPath());
        const std::size_t start = help.find("Usage:");
        const std::string line = start == std::string::npos ? "" : help.substr(start, help.find('\n', start) - start);
        return line + "\nSee " + path + " --help.";
    }

private:
    // CLI11 would take the word after an empty `--password=` as its value, and reads `--json=` as
    // the flag: an empty value after = is refused, as the empty --machine is.
    void refuseEmptyValuesAfterEquals(int argc, char** argv) const {
        for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
            const std::string word = argv[i];
            if (word.rfind("--", 0) != 0 || word.find('=') != word.size() - 1) {
                continue;
            }
            const std::string name = word.substr(0, word.size() - 1);
            if (name == "--machine") {
                throw usageError(kEmptyMachine);
            }
            if (const CLI::Option* option = findOption(app_, name)) {
                throw usageError(option->get_expected_max() == 0 ? name + " takes no value (given an empty one)"
                                                                  : name + " needs a value, not an empty one");
            }
        }
    }

    // The option of that name in any command; nothing when no command has one.
    static const CLI::Option* findOption(const CLI::App& app, const std::string& name) {
        if (const CLI::Option* option = app.get_option_no_throw(name)) {
            return option;
        }
        for (const CLI::App* command : app.get_subcommands({})) {
            if (const CLI::Option* option = findOption(*command, name)) {
                return option;
            }
        }
        return nullptr;
    }

    // `check` sees the whole line parsed, before the command is chosen, and throws CLI11's errors for
    // what the option relations cannot say.
    CLI::App* addCommand(CLI::App& parent, const std::string& name, const std::string& description, Run run,
                         std::function<void()> check = {}) {
        CLI::App* command = parent.add_subcommand(name, description);
        command->fallthrough();
        command->footer(kGlobalOptionsFooter);
        // A subcommand's callback runs before its parent's: the innermost command named wins.
        command->callback([this, run = std::move(run), check = std::move(check)] {
            if (check) {
                check();
            }
            if (!selected_) {
                selected_ = [run](ExpertModule& m) {
                    waitForAliasFile(AliasFileUse::read);
                    return run(m);
                };
            }
        });
        return command;
    }

    CLI::App* addBoard(CLI::App* command) {
        command->add_option("BOARD", line_.options.board, kBoardWords)->required()->check(nonEmpty());
        return command;
    }

    // An empty operand ('') names nothing; it is refused as such rather than searched for.
    static CLI::Validator nonEmpty() {
        return CLI::Validator(
            [](std::string& text) {
                return text.empty() ? std::string("an empty name names nothing") : std::string();
            },
            "");
    }

    void addRename() {
        CLI::App* rename = addBoard(addCommand(
            app_, "rename", "give a board an alias, or its default one again",
            [this](ExpertModule& m) {
                waitForAliasFile(AliasFileUse::write);
                return runRename(m, line_.options, line_.rename);
            },
            [this] {
                if (line_.rename.newAlias.empty() && !line_.rename.useDefault) {
                    throw CLI::RequiredError("NEW_ALIAS or --default");
                }
            }));
        CLI::Option* alias =
            rename->add_option("NEW_ALIAS", line_.rename.newAlias, "the new alias")->check(nonEmpty());
        alias->excludes(
            addFlag(rename, "--default", line_.rename.useDefault, "store the board's default alias (PXI1Slot3)"));
        addFlag(rename, "--force", line_.rename.force, "even when another board shows the alias");
    }

    void addCalibrationCommands() {
        CLI::App* cal = addCommand(
            app_, "cal",
            "a board's calibration records, or change its external calibration: hwconfig cal BOARD [OPTIONS]; "
            "hwconfig cal due [OPTIONS] for the boards due",
            [this](ExpertModule& m) { return runCal(m, line_.options, line_.cal); },
            [this] { checkCalibrationRequest(); });
        cal->require_subcommand(0, 1);
        std::vector<CLI::Option*> calOptions;
        calOptions.push_back(
            cal->add_option("BOARD", line_.options.board, std::string(kBoardWords) + " (not with due)")
                ->check(nonEmpty()));
        CLI::Option* password = cal->add_option_function<std::string>(
            "--password", [this](const std::string& text) { line_.cal.password = text; },
            "the calibration password (seen by ps and kept in shell history: prefer --password-stdin)");
        password->type_name("P");
        CLI::Option* passwordStdin =
            addFlag(cal, "--password-stdin", line_.passwordStdin, "read the calibration password from standard input");
        password->excludes(passwordStdin);
        CLI::Option* due = addTimeOption(cal, "--due", line_.cal.due, "the date the next calibration is due", true);
        // The board keeps the interval as a signed 32-bit count of days.
        CLI::Option* interval = addNumberOption(
            cal, "--interval", static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()),
            [this](std::uint32_t days) { line_.cal.intervalDays = days; },
            "the calibration interval, instead of --due", "DAYS");
        due->excludes(interval);
        CLI::Option* date = addTimeOption(cal, "--date", line_.cal.date, "the date of the external calibration");
        CLI::Option* force = addFlag(cal, "--force", line_.futureDate, "take a calibration date in the future");
        force->needs(date);
        calOptions.insert(calOptions.end(),
                          {password, passwordStdin, due, interval, date, force,
                           cal->add_option_function<std::string>(
                                  "--new-password", [this](const std::string& text) { line_.cal.newPassword = text; },
                                  "a new calibration password")
                               ->type_name("Q"),
                           addFlag(cal, "--check", line_.cal.checkOnly, "only validate the change")});
        CLI::App* dueCommand = addCommand(*cal, "due", "the boards whose calibration is overdue or soon due",
                                          [this](ExpertModule& m) { return runCalDue(m, line_.options, line_.calDue); });
        // cal due is a command of its own: none of cal BOARD's operands or options belong to it.
        for (CLI::Option* option : calOptions) {
            dueCommand->excludes(option);
        }
        addNumberOption(
            dueCommand, "--within", 36500,
            [this](std::uint32_t days) { line_.calDue.withinDays = static_cast<int>(days); },
            "the window in days (default 30)", "DAYS");
        addTimeOption(dueCommand, "--at", line_.calDue.asOf, "judge as of this date instead of now (2026-03-18)");
        dueCommand_ = dueCommand;
    }

    // What the option relations cannot say: BOARD is needed unless the command is cal due, a date may
    // not lie ahead, and a change needs a password from somewhere.
    void checkCalibrationRequest() {
        if (dueCommand_->parsed()) {
            return;
        }
        if (line_.options.board.empty()) {
            throw CLI::RequiredError("BOARD");
        }
        const bool changing = line_.cal.password || line_.passwordStdin || line_.cal.date || line_.cal.due ||
                              line_.cal.intervalDays || line_.cal.newPassword || line_.cal.checkOnly;
        if (line_.cal.date && !timeOfStamp(stampOf(*line_.cal.date))) {
            throw CLI::ValidationError("--date",
                                       isoTime(*line_.cal.date) +
                                           " is the time stamp that means no calibration date; the earliest "
                                           "the board keeps is 1904-01-01T00:00:01Z");
        }
        if (line_.cal.date && *line_.cal.date > now() && !line_.futureDate) {
            throw CLI::ValidationError("--date", isoTime(*line_.cal.date) + " is in the future; --force takes it");
        }
        if (changing && !line_.cal.password && !line_.passwordStdin && !standardInputIsTerminal()) {
            throw CLI::RequiredError("the calibration password (--password-stdin, or a terminal to be asked on)");
        }
        wantsPassword_ = changing && !line_.cal.password;
    }

    // The innermost command named on the line, and its name as typed: "hwconfig cal due".
    const CLI::App* innermost() const {
        const CLI::App* app = &app_;
        for (;;) {
            const std::vector<const CLI::App*> named = app->get_subcommands({});
            const auto parsed = std::find_if(named.begin(), named.end(), [](const CLI::App* c) { return c->parsed(); });
            if (parsed == named.end()) {
                return app;
            }
            app = *parsed;
        }
    }

    // What CLI11's help puts before the command's own name: "hwconfig cal" for cal due.
    std::string parentPath() const {
        const std::string path = commandPath();
        const std::size_t last = path.rfind(' ');
        return last == std::string::npos ? "" : path.substr(0, last);
    }

    std::string commandPath() const {
        std::string path = "hwconfig";
        for (const CLI::App* app = innermost(); app != &app_; app = app->get_parent()) {
            path.insert(std::string("hwconfig").size(), " " + app->get_name());
        }
        return path;
    }

    // CLI11's words, but for arguments nothing takes, which are named for what they seem to be.
    HostError usageError(const std::string& message) const {
        return HostError(message, kExitUsage);
    }

    HostError usageError(const CLI::ParseError& error) const {
        if (dynamic_cast<const CLI::ExcludesError*>(&error) != nullptr && dueCommand_->parsed() &&
            !line_.options.board.empty()) {
            // `cal --within 3 due` reads 3 as BOARD: the line says what it was read as.
            return usageError(inOurWords(error.what()) + " (given " + wordShown(line_.options.board) +
                              "; cal due takes its options after due)");
        }
        if (dynamic_cast<const CLI::ExtrasError*>(&error) == nullptr) {
            return usageError(inOurWords(error.what()));
        }
        // The words themselves, in the order given: CLI11's message joins them with spaces, which
        // loses an empty word or one that holds a space.
        const std::vector<std::string> arguments = app_.remaining(true);
        if (arguments.empty()) {
            return usageError(error.what());
        }
        const auto option = std::find_if(arguments.begin(), arguments.end(),
                                         [](const std::string& word) { return word.rfind("-", 0) == 0; });
        if (option != arguments.end()) {
            return usageError("unknown option " + wordShown(*option));
        }
        const std::string& first = arguments.front();
        if (innermost() != &app_) {
            return usageError("unexpected argument " + wordShown(first));
        }
        const std::vector<const CLI::App*> commands = app_.get_subcommands({});
        const bool isCommand = std::any_of(commands.begin(), commands.end(),
                                           [&](const CLI::App* command) { return command->get_name() == first; });
        return usageError(isCommand ? "the command " + first + " comes before --, which ends the options"
                                    : "unknown command " + wordShown(first));
    }

    // CLI11's texts for a repeated option, a missing value and a value given to a flag, in the words
    // of hwconfig's other messages.
    static std::string inOurWords(const std::string& text) {
        const std::size_t colon = text.find(": ");
        const std::string option = colon == std::string::npos ? "" : text.substr(0, colon);
        const std::string rest = colon == std::string::npos ? text : text.substr(colon + 2);
        if (rest.rfind("At Most 1 required but received", 0) == 0) {
            return option + " is given more than once; give it once";
        }
        if (rest.find("required") != std::string::npos && rest.find("missing") != std::string::npos) {
            return option + " needs a value";
        }
        const std::string conversion = "Could not convert: ";
        if (text.rfind(conversion, 0) == 0) {
            const std::string given = text.substr(conversion.size());
            const std::size_t equals = given.find(" = ");
            return given.substr(0, equals) + " takes no value" +
                   (equals == std::string::npos ? "" : " (given " + wordShown(given.substr(equals + 3)) + ")");
        }
        return text;
    }

    CLI::App app_;
    CLI::Option* machineOption_ = nullptr;
    LineValues line_;
    Run selected_;
    CLI::App* dueCommand_ = nullptr;
    bool wantsPassword_ = false;
};

CommandLine::CommandLine() : parser_(std::make_unique<Parser>()) {}

CommandLine::~CommandLine() = default;

CommandLine::Run CommandLine::parse(int argc, char** argv) {
    return parser_->parse(argc, argv);
}

std::optional<std::string> CommandLine::machine() const {
    return parser_->machine();
}

void CommandLine::takePassword() {
    parser_->takePassword();
}

std::string CommandLine::usage() const {
    return parser_->usage();
}

} // namespace hwconfig
