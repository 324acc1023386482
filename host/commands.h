// The commands of hwconfig. Each writes its result to standard output - one JSON document with
// --json - and reports failures by throwing HostError; the return value is the process's exit code.
// The command line has been checked by then (hwconfig.cpp): each command gets only what it takes.
#pragma once

#include "host/expertModule.h"
#include "host/timeText.h"

#include <cstdint>
#include <optional>
#include <string>

namespace hwconfig {

struct CommandOptions {
    bool json = false;
    // BOARD, for the commands that act on one board.
    std::string board;
};

struct TreeOptions {
    bool dot = false;
};

struct CalDueOptions {
    int withinDays = 30;
    // The moment to judge from; now when empty.
    std::optional<Time> asOf;
};

struct RenameOptions {
    std::string newAlias;
    bool useDefault = false; // store the board's default alias
    bool force = false;      // even when another board shows the alias
};

// hwconfig cal BOARD [--password P | --password-stdin] [--date D] [--due D | --interval DAYS]
//                    [--new-password Q] [--check] [--force]
struct CalibrationRequest {
    std::optional<std::string> password; // set when the record is to be changed
    const char* passwordFrom = "--password"; // where it came from, for a message about it
    std::optional<Time> date;
    std::optional<Time> due;
    std::optional<std::uint32_t> intervalDays;
    std::optional<std::string> newPassword;
    bool checkOnly = false;
};

// hwconfig's version and the module's, which the module reports once loaded.
int runVersion(ExpertModule& module, const CommandOptions& options);
int runList(ExpertModule& module, const CommandOptions& options);
int runTree(ExpertModule& module, const CommandOptions& options, const TreeOptions& tree);
int runAliases(ExpertModule& module, const CommandOptions& options);
// kExitSuccess when no board is due, kExitCalibrationDue, kExitCalibrationOverdue, or
// kExitReportsFailed when a board's report failed.
int runCalDue(ExpertModule& module, const CommandOptions& options, const CalDueOptions& due);
int runShow(ExpertModule& module, const CommandOptions& options);
int runRename(ExpertModule& module, const CommandOptions& options, const RenameOptions& rename);
int runSelfTest(ExpertModule& module, const CommandOptions& options, ULONG mode);
int runSelfCalibration(ExpertModule& module, const CommandOptions& options);
// Without a password shows the calibration records; with one changes them.
int runCal(ExpertModule& module, const CommandOptions& options, const CalibrationRequest& request);

} // namespace hwconfig
