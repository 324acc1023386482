// hwconfig list: the item names of the boards present, in the order the expert hands them out.
#include "host/boardSelection.h"
#include "host/commands.h"
#include "host/jsonOutput.h"

#include <cjson/cJSON.h>

#include <cstdio>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

void printTable(const std::vector<std::string>& names) {
    if (names.empty()) {
        std::printf("No boards found.\n");
        return;
    }
    std::printf("%-3s %s\n", "#", "Item name");
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::printf("%-3zu %s\n", i + 1, names[i].c_str());
    }
}

void printNamesJson(const std::vector<std::string>& names) {
    const qv::unique_cjson document = newJsonObject();
    cJSON* boards = cJSON_AddArrayToObject(document.get(), "boards");
    if (boards == nullptr) {
        throw std::bad_alloc();
    }
    // One object per board, so that later versions can say more about a board without breaking
    // the scripts that read this.
    for (const std::string& name : names) {
        cJSON* board = cJSON_CreateObject();
        if (board == nullptr || !cJSON_AddItemToArray(boards, board)) {
            cJSON_Delete(board);
            throw std::bad_alloc();
        }
        if (cJSON_AddStringToObject(board, "itemName", name.c_str()) == nullptr) {
            throw std::bad_alloc();
        }
    }
    printJson(document.get());
}

} // namespace

int runList(ExpertModule& module, const CommandOptions& options) {
    if (!options.operands.empty()) {
        throw UsageError("unexpected argument " + options.operands.front());
    }
    const std::vector<std::string> names = readItemNames(module.expert());
    if (options.json) {
        printNamesJson(names);
    } else {
        printTable(names);
    }
    return 0;
}

} // namespace hwconfig
