// hwconfig list: the item names of the boards present, in the order the expert hands them out.
#include "host/commands.h"

#include <cjson/cJSON.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace hwconfig {

std::vector<std::string> readItemNames(IhwSysExpert2* expert) {
    InterfaceRef<IhwSysEnumStringList> names;
    const HRESULT listed = expert->EnumerateItemNames(names.put());
    if (FAILED(listed)) {
        throw HostError("EnumerateItemNames failed with HRESULT " + formatHResult(listed));
    }
    std::vector<std::string> result;
    if (!names) {
        return result;
    }
    for (;;) {
        OwnedBstr name;
        ULONG fetched = 0;
        const HRESULT next = names->Next(1, name.put(), &fetched);
        if (FAILED(next)) {
            throw HostError("reading the item names failed with HRESULT " + formatHResult(next));
        }
        if (fetched == 0) {
            return result;
        }
        result.push_back(toUtf8(name.get()));
    }
}

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

void printJson(const std::vector<std::string>& names) {
    const std::unique_ptr<cJSON, decltype(&cJSON_Delete)> document(cJSON_CreateObject(), cJSON_Delete);
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
    const std::unique_ptr<char, decltype(&cJSON_free)> text(cJSON_Print(document.get()), cJSON_free);
    if (!text) {
        throw std::bad_alloc();
    }
    std::printf("%s\n", text.get());
}

} // namespace

int runList(ExpertModule& module, const CommandOptions& options) {
    if (!options.operands.empty() || !options.mode.empty()) {
        throw UsageError("list takes no board and no --mode");
    }
    const std::vector<std::string> names = readItemNames(module.expert());
    if (options.json) {
        printJson(names);
    } else {
        printTable(names);
    }
    return 0;
}

} // namespace hwconfig
