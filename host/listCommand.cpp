// hwconfig list: every board present, in the order the expert hands them out, with its number (by
// which other commands can name it), alias, model, serial number and PXI place next to its item
// name. A board whose report fails is listed with the error instead.
#include "host/boardReports.h"
#include "host/commands.h"
#include "host/jsonOutput.h"
#include "host/utf8Text.h"
#include "hwsys/hwsys_tags.h"

#include <cjson/cJSON.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <variant>
#include <vector>

namespace hwconfig {
namespace {

std::string placeText(const BoardReport& board) {
    return propertyText(board, hwSysTagPxiChassis) + "/" + propertyText(board, hwSysTagPxiSlot);
}

std::string errorText(const BoardReport& board) {
    return "report failed with HRESULT " + formatHResult(board.result);
}

void printTable(const std::vector<BoardReport>& boards) {
    if (boards.empty()) {
        std::printf("No boards found.\n");
        return;
    }
    std::printf("%-3s %-20s %-16s %-10s %-12s %s\n", "#", "Alias", "Model", "Serial", "Chassis/Slot", "Item name");
    for (std::size_t i = 0; i < boards.size(); ++i) {
        const BoardReport& board = boards[i];
        const std::string itemName = toUtf8(board.itemName.c_str());
        if (FAILED(board.result)) {
            std::printf("%-3zu %-63s %s\n", i + 1, errorText(board).c_str(), itemName.c_str());
            continue;
        }
        std::printf("%-3zu %-20s %-16s %-10s %-12s %s\n", i + 1, propertyText(board, hwSysTagAlias).c_str(),
                    propertyText(board, hwSysTagModelName).c_str(), propertyText(board, hwSysTagSerialNumber).c_str(),
                    placeText(board).c_str(), itemName.c_str());
    }
}

void addText(cJSON* object, const char* name, const std::string& text) {
    if (cJSON_AddStringToObject(object, name, text.c_str()) == nullptr) {
        throw std::bad_alloc();
    }
}

void addBoardMembers(cJSON* object, std::size_t number, const BoardReport& board) {
    if (cJSON_AddNumberToObject(object, "number", static_cast<double>(number)) == nullptr) {
        throw std::bad_alloc();
    }
    addText(object, "itemName", toUtf8(board.itemName.c_str()));
    if (FAILED(board.result)) {
        addText(object, "error", formatHResult(board.result));
        return;
    }
    addText(object, "alias", propertyText(board, hwSysTagAlias));
    addText(object, "model", propertyText(board, hwSysTagModelName));
    addText(object, "serialNumber", propertyText(board, hwSysTagSerialNumber));
    addText(object, "chassis", propertyText(board, hwSysTagPxiChassis));
    // A number, as every number of hwconfig's JSON is (docs/hwconfig.md).
    const BoardProperty* slot = findProperty(board, hwSysTagPxiSlot);
    const LONG* slotNumber = slot != nullptr ? std::get_if<LONG>(&slot->value) : nullptr;
    if ((slotNumber != nullptr ? cJSON_AddNumberToObject(object, "slot", *slotNumber)
                               : cJSON_AddNullToObject(object, "slot")) == nullptr) {
        throw std::bad_alloc();
    }
}

void printJsonList(const std::vector<BoardReport>& boards) {
    const qv::unique_cjson document = newJsonObject();
    cJSON* list = document ? cJSON_AddArrayToObject(document.get(), "boards") : nullptr;
    if (list == nullptr) {
        throw std::bad_alloc();
    }
    for (std::size_t i = 0; i < boards.size(); ++i) {
        cJSON* board = cJSON_CreateObject();
        if (board == nullptr || !cJSON_AddItemToArray(list, board)) {
            cJSON_Delete(board);
            throw std::bad_alloc();
        }
        addBoardMembers(board, i + 1, boards[i]);
    }
    printJson(document.get());
}

} // namespace

int runList(ExpertModule& module, const CommandOptions& options) {
    if (!options.operands.empty()) {
        throw UsageError("unexpected argument " + options.operands.front());
    }
    const std::vector<BoardReport> boards = readBoardReports(module.expert());
    if (options.json) {
        printJsonList(boards);
    } else {
        printTable(boards);
    }
    return 0;
}

} // namespace hwconfig
