// hwconfig cal due: the boards whose external calibration is overdue or falls due within a window
// (30 days unless --within says otherwise), soonest first. The exit code tells a scheduler the
// outcome without parsing: 0 none due, 3 some due within the window, 4 at least one overdue.
#include "host/boardReport.h"
#include "host/commands.h"
#include "host/itemNames.h"
#include "host/output.h"
#include "host/progress.h"

#include <algorithm>
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

std::vector<DueBoard> findDueBoards(IhwSysExpert2* expert, std::int64_t asOf, int withinDays) {
    const std::vector<BoardName> names = readBoardNames(expert);
    const std::int64_t windowEnd = asOf + withinDays * kSecondsPerDay;
    std::vector<DueBoard> due;
    Progress progress("reading calibration dates", names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const BoardReport report(expert, names[i].wide, names[i].text);
        // A board without an external-calibration due date (no record, or no interval) is never due.
        if (const std::optional<std::int64_t> dueTime = report.time(hwSysTagExternalCalDue);
            dueTime && *dueTime <= windowEnd) {
            due.push_back({names[i].text, report.text(hwSysTagAlias).value_or(""), *dueTime,
                           floorDays(*dueTime - asOf), *dueTime <= asOf});
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
    const JsonTree document = newJsonObject();
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
