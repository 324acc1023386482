// The commands of hwconfig. Each writes its result to standard output and reports failures by
// throwing HostError (UsageError for a command line it cannot use); the return value is the
// process's exit code.
#pragma once

#include "host/expertModule.h"
#include "hwsys/hwsys_types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hwconfig {

struct CommandOptions {
    bool json = false;
    bool force = false;
    // The command's own arguments, after its name.
    std::vector<std::string> operands;
    // The text given with --mode; empty when the option is absent.
    std::string mode;
};

struct TreeOptions {
    bool dot = false;
};

struct CalDueOptions {
    int withinDays = 30;
    // The moment to judge from, seconds since 1970; now when empty.
    std::optional<std::int64_t> asOf;
};

int runList(ExpertModule& module, const CommandOptions& options);
int runTree(ExpertModule& module, const CommandOptions& options, const TreeOptions& tree);
int runAliases(ExpertModule& module, const CommandOptions& options);
// Exit code kExitSuccess when no board is due, kExitCalibrationDue or kExitCalibrationOverdue.
int runCalDue(ExpertModule& module, const CommandOptions& options, const CalDueOptions& due);
int runShow(ExpertModule& module, const CommandOptions& options);
int runRename(ExpertModule& module, const CommandOptions& options);
int runSelfTest(ExpertModule& module, const CommandOptions& options);
int runSelfCalibration(ExpertModule& module, const CommandOptions& options);

// hwconfig cal BOARD [--password P [--date D] [--due D | --interval DAYS] [--new-password Q] [--check]]
struct CalibrationRequest {
    std::string board; // list number, item name or alias
    std::optional<std::string> password;
    std::optional<hwSysAttrTimestampUTC> date;
    std::optional<hwSysAttrTimestampUTC> due;
    std::optional<std::uint32_t> intervalDays;
    std::optional<std::string> newPassword;
    bool checkOnly = false;
};

// Dates are ISO-8601 (a date alone is midnight UTC). Throws std::invalid_argument for arguments
// that do not make a request.
CalibrationRequest parseCalibrationArguments(const std::vector<std::string>& arguments);
// Without a password shows the calibration records; with one changes them. Returns 1 when the
// expert refuses the change.
int runCal(ExpertModule& module, const CalibrationRequest& request);

} // namespace hwconfig
