// hwconfig show BOARD: every property of the board's report, one a line: tag, name, type, value.
#include "host/boardReports.h"
#include "host/boardSelection.h"
#include "host/commands.h"
#include "host/jsonOutput.h"
#include "host/utf8Text.h"

#include <cjson/cJSON.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

void printTable(const BoardReport& board) {
    std::printf("Board %s\n", toUtf8(board.itemName.c_str()).c_str());
    for (const BoardProperty& property : board.properties) {
        std::printf("%s  %-32s %-9s %s\n", formatTag(property.tag).c_str(), propertyName(property.tag).c_str(),
                    propertyTypeName(property.type), propertyText(property).c_str());
    }
}

cJSON* propertyObject(const BoardProperty& property) {
    cJSON* object = cJSON_CreateObject();
    if (object == nullptr) {
        throw std::bad_alloc();
    }
    cJSON* value = nullptr;
    try {
        value = propertyJson(property);
    } catch (...) {
        cJSON_Delete(object);
        throw;
    }
    const bool filled = cJSON_AddStringToObject(object, "tag", formatTag(property.tag).c_str()) != nullptr &&
                        cJSON_AddStringToObject(object, "name", propertyName(property.tag).c_str()) != nullptr &&
                        cJSON_AddStringToObject(object, "type", propertyTypeName(property.type)) != nullptr &&
                        cJSON_AddItemToObject(object, "value", value);
    if (!filled) {
        cJSON_Delete(object);
        throw std::bad_alloc();
    }
    return object;
}

void printJsonBoard(const BoardReport& board) {
    const qv::unique_cjson document = newJsonObject();
    cJSON* properties = nullptr;
    if (document) {
        cJSON_AddStringToObject(document.get(), "itemName", toUtf8(board.itemName.c_str()).c_str());
        properties = cJSON_AddArrayToObject(document.get(), "properties");
    }
    if (properties == nullptr) {
        throw std::bad_alloc();
    }
    for (const BoardProperty& property : board.properties) {
        cJSON* object = propertyObject(property);
        if (!cJSON_AddItemToArray(properties, object)) {
            cJSON_Delete(object);
            throw std::bad_alloc();
        }
    }
    printJson(document.get());
}

} // namespace

int runShow(ExpertModule& module, const CommandOptions& options) {
    if (options.operands.size() != 1) {
        throw UsageError("show needs a board");
    }
    const std::vector<BoardReport> boards = readBoardReports(module.expert());
    const BoardReport& board = boards[selectBoard(boards, options.operands.front())];
    if (FAILED(board.result)) {
        throw HostError("GetResourceProperties failed with HRESULT " + formatHResult(board.result));
    }
    if (options.json) {
        printJsonBoard(board);
    } else {
        printTable(board);
    }
    return 0;
}

} // namespace hwconfig
