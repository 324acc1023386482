// hwconfig list: every board present, in the order of where they are (readItemNames), with its number (by
// which other commands can name it), alias, model, serial number and PXI place next to its item
// name. A board whose report fails is listed with the reason instead, and the exit code says so.
#include "host/boardReports.h"
#include "host/commands.h"
#include "host/output.h"
#include "host/utf8Text.h"
#include "hwsys/hwsys_tags.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

std::string locationCell(const BoardReport& board) {
    const std::optional<PxiLocation> location = pxiLocation(board);
    return location ? locationText(*location) : "-";
}

void printTable(const std::vector<BoardReport>& boards, FailedBoards& failures) {
    if (boards.empty()) {
        printOut("No boards found.\n");
        return;
    }
    TextTable table({"#", "Alias", "Model", "Serial", "Chassis/Slot", "Item name"});
    for (std::size_t i = 0; i < boards.size(); ++i) {
        const BoardReport& board = boards[i];
        const std::string number = std::to_string(i + 1);
        const std::string itemName = toUtf8(board.itemName.c_str());
        if (FAILED(board.result)) {
            table.addRow({number, "-", "(report failed)", "-", "-", itemName});
            failures.add(i + 1, reportFailure(board));
            continue;
        }
        table.addRow({number, propertyText(board, hwSysTagAlias), propertyText(board, hwSysTagModelName),
                      propertyText(board, hwSysTagSerialNumber), locationCell(board), itemName});
    }
    table.print();
}

void addPxi(cJSON* object, const BoardReport& board) {
    const std::optional<PxiLocation> location = pxiLocation(board);
    if (!location) {
        addJsonNull(object, "pxi");
        return;
    }
    cJSON* pxi = addJsonObject(object, "pxi");
    addJsonNumber(pxi, "chassis", static_cast<double>(location->chassis));
    addJsonNumber(pxi, "slot", location->slot);
}

void addBoardMembers(cJSON* object, std::size_t number, const BoardReport& board, FailedBoards& failures) {
    addJsonNumber(object, "number", static_cast<double>(number));
    addJsonString(object, "itemName", toUtf8(board.itemName.c_str()));
    const bool failed = FAILED(board.result);
    for (const auto& [name, tag] : {std::pair{"alias", hwSysTagAlias}, std::pair{"model", hwSysTagModelName},
                                    std::pair{"serialNumber", hwSysTagSerialNumber}}) {
        addJsonOptionalString(object, name, failed ? "" : propertyText(board, tag));
    }
    addPxi(object, board);
    if (failed) {
        addJsonError(object, "error", reportFailure(board));
        failures.add(number, reportFailure(board));
    } else {
        addJsonNull(object, "error");
    }
}

void printJsonList(const std::vector<BoardReport>& boards, FailedBoards& failures) {
    const qv::unique_cjson document = newJsonObject();
    cJSON* list = addJsonArray(document.get(), "boards");
    for (std::size_t i = 0; i < boards.size(); ++i) {
        addBoardMembers(appendJsonObject(list), i + 1, boards[i], failures);
    }
    printJson(document.get());
}

} // namespace

int runList(ExpertModule& module, const CommandOptions& options) {
    const std::vector<BoardReport> boards = readBoardReports(module.expert());
    // Standard error names the failed boards whatever standard output holds.
    FailedBoards failures;
    if (options.json) {
        printJsonList(boards, failures);
    } else {
        printTable(boards, failures);
    }
    failures.print();
    return failures.empty() ? kExitSuccess : kExitReportsFailed;
}

} // namespace hwconfig
