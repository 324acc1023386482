// The commands of hwconfig. Each writes its result to standard output (a table, or with --json one
// JSON document as docs/hwconfig.md describes) and reports failures by throwing HostError or
// UsageError; the return value is the process's exit code.
#pragma once

#include "host/expertModule.h"

#include <cstdint>
#include <optional>

namespace hwconfig {

// The exit codes, as docs/hwconfig.md lists them.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// cal due: a board's calibration falls due within the window; overdue: at least one is past due.
constexpr int kExitCalibrationDue = 3;
constexpr int kExitCalibrationOverdue = 4;

struct CommandOptions {
    bool json = false;
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
int runCalDue(ExpertModule& module, const CommandOptions& options, const CalDueOptions& due);

} // namespace hwconfig
