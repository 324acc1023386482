// hwconfig cal due: the boards whose external calibration is overdue or falls due within a window
// (30 days unless --within says otherwise), soonest first. The exit code tells a scheduler the
// outcome without parsing: 0 none due, 7 some due within the window, 8 at least one overdue, and 10
// when a board's report failed, so that its date is unknown.
#include "host/boardReports.h"
#include "host/commands.h"
#include "host/output.h"
#include "host/progress.h"
#include "host/utf8Text.h"
#include "hwsys/hwsys_tags.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

namespace hwconfig {
namespace {

struct DueBoard {
    std::size_t number;
    std::string itemName;
    std::string alias;
    Time due;
    // Calendar days from the day judged from to the due day: 0 is due today, -1 a day overdue.
    long daysLeft = 0;
};

struct FailedBoard {
    std::size_t number;
    std::string itemName;
    HostError error;
};

struct DueAnswer {
    std::vector<DueBoard> due;
    std::vector<FailedBoard> failed;
};

bool overdue(const DueBoard& board) {
    return board.daysLeft < 0;
}

std::optional<Time> dueTimeOf(const BoardReport& report) {
    const BoardProperty* due = findProperty(report, hwSysTagExternalCalDue);
    const auto* stamp = due != nullptr ? std::get_if<hwSysAttrTimestampUTC>(&due->value) : nullptr;
    return stamp != nullptr ? timeOfStamp(*stamp) : std::nullopt;
}

DueAnswer findDueBoards(IhwSysExpert2* expert, Time asOf, int withinDays) {
    const std::vector<ItemName> names = readItemNames(expert);
    DueAnswer answer;
    Progress progress("reading calibration dates", names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string itemName = toUtf8(names[i].c_str());
        const BoardReport report = readBoardReport(expert, names[i]);
        if (FAILED(report.result)) {
            answer.failed.push_back({i + 1, itemName, reportFailure(report)});
        } else if (const std::optional<Time> due = dueTimeOf(report)) {
            // A board without an external-calibration due date (no record, or no interval) is never due.
            const long daysLeft = calendarDaysBetween(asOf, *due);
            if (daysLeft <= withinDays) {
                answer.due.push_back({i + 1, itemName, propertyText(report, hwSysTagAlias), *due, daysLeft});
            }
        }
        progress.update(i + 1);
    }
    std::stable_sort(answer.due.begin(), answer.due.end(),
                     [](const DueBoard& a, const DueBoard& b) { return a.due < b.due; });
    return answer;
}

std::string daysText(long days) {
    return std::to_string(days) + (days == 1 ? " day" : " days");
}

std::string dueWords(const DueBoard& board) {
    if (overdue(board)) {
        return "overdue by " + daysText(-board.daysLeft);
    }
    return board.daysLeft == 0 ? "due today" : "due in " + daysText(board.daysLeft);
}

void printTable(const DueAnswer& answer, int withinDays) {
    if (answer.due.empty()) {
        printOut("No calibration due within %s%s.\n", daysText(withinDays).c_str(),
                    answer.failed.empty() ? "" : " among the boards judged");
    } else {
        TextTable table({"#", "Alias", "Due", "Status", "Item name"});
        for (const DueBoard& board : answer.due) {
            table.addRow({std::to_string(board.number), board.alias, isoDate(board.due), dueWords(board),
                          board.itemName});
        }
        table.print();
    }
    if (!answer.failed.empty()) {
        std::string numbers;
        for (const FailedBoard& board : answer.failed) {
            numbers += (numbers.empty() ? "" : ", ") + std::to_string(board.number);
        }
        printOut("Not judged, their report failed: board %s.\n", numbers.c_str());
    }
}

void printFailures(const DueAnswer& answer) {
    FailedBoards failures;
    for (const FailedBoard& board : answer.failed) {
        failures.add(board.number, board.error);
    }
    failures.print();
}

void printJsonBoards(const DueAnswer& answer, Time asOf, int withinDays) {
    const qv::unique_cjson document = newJsonObject();
    addJsonString(document.get(), "asOf", isoTime(asOf));
    addJsonNumber(document.get(), "withinDays", withinDays);
    cJSON* array = addJsonArray(document.get(), "boards");
    for (const DueBoard& board : answer.due) {
        cJSON* object = appendJsonObject(array);
        addJsonNumber(object, "number", static_cast<double>(board.number));
        addJsonString(object, "itemName", board.itemName);
        addJsonString(object, "alias", board.alias);
        addJsonString(object, "due", isoTime(board.due));
        addJsonNumber(object, "daysLeft", static_cast<double>(board.daysLeft));
        addJsonBool(object, "overdue", overdue(board));
    }
    cJSON* failed = addJsonArray(document.get(), "failed");
    for (const FailedBoard& board : answer.failed) {
        cJSON* object = appendJsonObject(failed);
        addJsonNumber(object, "number", static_cast<double>(board.number));
        addJsonString(object, "itemName", board.itemName);
        addJsonError(object, "error", board.error);
    }
    printJson(document.get());
}

int exitCodeFor(const DueAnswer& answer) {
    if (!answer.failed.empty()) {
        return kExitReportsFailed;
    }
    if (answer.due.empty()) {
        return kExitSuccess;
    }
    return std::any_of(answer.due.begin(), answer.due.end(), overdue) ? kExitCalibrationOverdue
                                                                      : kExitCalibrationDue;
}

} // namespace

int runCalDue(ExpertModule& module, const CommandOptions& options, const CalDueOptions& due) {
    const Time asOf = due.asOf.value_or(now());
    const DueAnswer answer = findDueBoards(module.expert(), asOf, due.withinDays);
    if (options.json) {
        printJsonBoards(answer, asOf, due.withinDays);
    } else {
        printTable(answer, due.withinDays);
    }
    printFailures(answer);
    return exitCodeFor(answer);
}

} // namespace hwconfig
