// hwconfig cal due: the boards whose external calibration is overdue or falls due within a window
// (30 days unless --within says otherwise), soonest first. The exit code tells a scheduler the
// outcome without parsing: 0 none due, 3 some due within the window, 4 at least one overdue.
#include "host/boardReports.h"
#include "host/commands.h"
#include "host/utf8Text.h"
#include "hwsys/hwsys_tags.h"
#include "host/output.h"
#include "host/progress.h"

#include <algorithm>
#include <optional>
#include <variant>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

struct DueBoard {
    std::string itemName;
    std::string alias;
    std::int64_t due = 0;
    // Whole days from the moment judged from to the due time, rounded down: -1 is overdue since
    // less than a day.
    std::int64_t daysLeft = 0;
    bool overdue = false;
};

std::int64_t floorDays(std::int64_t seconds) {
    return seconds >= 0 ? seconds / kSecondsPerDay : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
}

// Seconds since 1970 of the board's external-calibration due date; empty when it has none.
std::optional<std::int64_t> dueTimeOf(const BoardReport& report) {
    const BoardProperty* due = findProperty(report, hwSysTagExternalCalDue);
    const auto* stamp = due != nullptr ? std::get_if<hwSysAttrTimestampUTC>(&due->value) : nullptr;
    std::int64_t seconds = 0;
    if (stamp == nullptr || !unixSeconds(*stamp, seconds)) {
        return std::nullopt;
    }
    return seconds;
}

std::vector<DueBoard> findDueBoards(IhwSysExpert2* expert, std::int64_t asOf, int withinDays) {
    const std::vector<ItemName> names = readItemNames(expert);
    const std::int64_t windowEnd = asOf + withinDays * kSecondsPerDay;
    std::vector<DueBoard> due;
    Progress progress("reading calibration dates", names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string itemName = toUtf8(names[i].c_str());
        const BoardReport report = readBoardReport(expert, names[i]);
        throwIfFailed(report.result, "reading the properties of " + itemName);
        // A board without an external-calibration due date (no record, or no interval) is never due.
        if (const std::optional<std::int64_t> dueTime = dueTimeOf(report); dueTime && *dueTime <= windowEnd) {
            due.push_back({itemName, propertyText(report, hwSysTagAlias), *dueTime, floorDays(*dueTime - asOf),
                           *dueTime <= asOf});
        }
        progress.update(i + 1);
    }
    std::stable_sort(due.begin(), due.end(), [](const DueBoard& a, const DueBoard& b) { return a.due < b.due; });
    return due;
}

std::string dueWords(const DueBoard& board) {
    if (board.overdue) {
        const std::int64_t days = -board.daysLeft;
        return days <= 1 ? "overdue" : "overdue by " + std::to_string(days) + " days";
    }
    return board.daysLeft == 0 ? "due today" : "due in " + std::to_string(board.daysLeft) + " days";
}

void printTable(const std::vector<DueBoard>& boards, int withinDays) {
    if (boards.empty()) {
        std::printf("No calibration due within %d days.\n", withinDays);
        return;
    }
    TextTable table({"Alias", "Due", "Status", "Item name"});
    for (const DueBoard& board : boards) {
        table.addRow({board.alias, isoDate(board.due), dueWords(board), board.itemName});
    }
    table.print();
}

void printJsonBoards(const std::vector<DueBoard>& boards, std::int64_t asOf, int withinDays) {
    const qv::unique_cjson document = newJsonObject();
    addJsonString(document.get(), "asOf", isoTime(asOf));
    addJsonNumber(document.get(), "withinDays", withinDays);
    cJSON* array = addJsonArray(document.get(), "boards");
    for (const DueBoard& board : boards) {
        cJSON* object = appendJsonObject(array);
        addJsonString(object, "itemName", board.itemName);
        addJsonString(object, "alias", board.alias);
        addJsonString(object, "due", isoTime(board.due));
        addJsonNumber(object, "daysLeft", static_cast<double>(board.daysLeft));
        addJsonBool(object, "overdue", board.overdue);
    }
    printJson(document.get());
}

int exitCodeFor(const std::vector<DueBoard>& boards) {
    if (boards.empty()) {
        return kExitSuccess;
    }
    const bool anyOverdue = std::any_of(boards.begin(), boards.end(), [](const DueBoard& b) { return b.overdue; });
    return anyOverdue ? kExitCalibrationOverdue : kExitCalibrationDue;
}

} // namespace

int runCalDue(ExpertModule& module, const CommandOptions& options, const CalDueOptions& due) {
    const std::int64_t asOf = due.asOf.value_or(static_cast<std::int64_t>(std::time(nullptr)));
    const std::vector<DueBoard> boards = findDueBoards(module.expert(), asOf, due.withinDays);
    if (options.json) {
        printJsonBoards(boards, asOf, due.withinDays);
    } else {
        printTable(boards, due.withinDays);
    }
    return exitCodeFor(boards);
}

} // namespace hwconfig
