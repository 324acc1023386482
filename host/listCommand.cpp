// hwconfig list: the item names of the boards present, in the order the expert hands them out.
#include "host/commands.h"
#include "host/itemNames.h"
#include "host/output.h"

#include <cstdio>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

void printTable(const std::vector<BoardName>& names) {
    if (names.empty()) {
        std::printf("No boards found.\n");
        return;
    }
    std::printf("%-3s %s\n", "#", "Item name");
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::printf("%-3zu %s\n", i + 1, names[i].text.c_str());
    }
}

void printJsonList(const std::vector<BoardName>& names) {
    const JsonTree document = newJsonObject();
    cJSON* boards = addJsonArray(document.get(), "boards");
    // One object per board, so that later versions can say more about a board without breaking
    // the scripts that read this.
    for (const BoardName& name : names) {
        addJsonString(appendJsonObject(boards), "itemName", name.text);
    }
    printJson(document.get());
}

} // namespace

int runList(ExpertModule& module, const CommandOptions& options) {
    const std::vector<BoardName> names = readBoardNames(module.expert());
    if (options.json) {
        printJsonList(names);
    } else {
        printTable(names);
    }
    return 0;
}

} // namespace hwconfig
