// hwconfig aliases: every record of aliases.json - its alias, its key, and whether a board present
// has that key - with records of absent boards and aliases shared by two records flagged.
// Read-only: the file is read under the same shared lock the module takes, never written.
//
// A board's key is its PCI identity token. The expert does not report it, so hwconfig builds it
// for each present board from the registry and the device tree (deviceLocation.h).
#include "host/commands.h"
#include "host/deviceLocation.h"
#include "host/boardReports.h"
#include "host/utf8Text.h"
#include "host/output.h"
#include "source/AliasStore.h"
#include "com/hostBoundary.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

struct AliasRecord {
    std::string key;
    std::string alias;
    bool simulated = false;
    std::string itemName; // of the present board with this key; empty when none
    bool shared = false;
};

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    });
    return text;
}

AliasRecord recordOf(const cJSON* record) {
    AliasRecord result;
    result.key = record->string != nullptr ? record->string : "";
    result.alias = cJSONUtils::getString(cJSONUtils::getMember(record, "alias"));
    const cJSON* simulated = cJSONUtils::findMember(record, "simulated");
    result.simulated = cJSON_IsTrue(simulated) != 0;
    return result;
}

std::vector<AliasRecord> readAliasRecords(std::string& filePath) {
    std::vector<AliasRecord> records;
    bool opened = false;
    const HRESULT result = qvkelpsysapiexpert::runHostOperation([&](nQVOSALS100::tStatus& status) {
        filePath = getAliasesFilePath();
        AliasStore store;
        opened = store.openForRead(&status);
        if (!opened) {
            return;
        }
        const cJSON* record = nullptr;
        cJSON_ArrayForEach(record, store.devices()) {
            records.push_back(recordOf(record));
        }
    });
    if (FAILED(result)) {
        throw failedCall(opened ? "the alias file " + filePath + " is not a valid alias file"
                               : "cannot open the alias file " + filePath + " (missing or unreadable)",
                        result);
    }
    return records;
}

// Matches each record with the present board of its key, and flags aliases stored twice.
void annotate(std::vector<AliasRecord>& records, const std::vector<ItemName>& boards) {
    std::map<std::string, std::string> boardByKey;
    for (const ItemName& board : boards) {
        const std::string itemName = toUtf8(board.c_str());
        const std::string key = locateBoard(itemName).identityToken;
        if (!key.empty()) {
            boardByKey.emplace(lowerAscii(key), itemName);
        }
    }
    std::map<std::string, int> aliasCount;
    for (const AliasRecord& record : records) {
        ++aliasCount[record.alias];
    }
    for (AliasRecord& record : records) {
        const auto board = boardByKey.find(lowerAscii(record.key));
        record.itemName = board != boardByKey.end() ? board->second : "";
        record.shared = aliasCount[record.alias] > 1;
    }
}

const char* boardState(const AliasRecord& record) {
    if (!record.itemName.empty()) {
        return "present";
    }
    return record.simulated ? "simulated" : "absent";
}

void printTable(const std::vector<AliasRecord>& records, const std::string& filePath) {
    if (records.empty()) {
        std::printf("No aliases in %s.\n", filePath.c_str());
        return;
    }
    TextTable table({"Alias", "Board", "Shared", "Key"});
    for (const AliasRecord& record : records) {
        table.addRow({record.alias, boardState(record), record.shared ? "shared" : "-", record.key});
    }
    table.print();
}

void printJsonRecords(const std::vector<AliasRecord>& records, const std::string& filePath) {
    const qv::unique_cjson document = newJsonObject();
    addJsonString(document.get(), "file", filePath);
    cJSON* array = addJsonArray(document.get(), "records");
    for (const AliasRecord& record : records) {
        cJSON* object = appendJsonObject(array);
        addJsonString(object, "alias", record.alias);
        addJsonString(object, "key", record.key);
        addJsonBool(object, "present", !record.itemName.empty());
        addJsonOptionalString(object, "itemName", record.itemName);
        addJsonBool(object, "simulated", record.simulated);
        addJsonBool(object, "shared", record.shared);
    }
    printJson(document.get());
}

} // namespace

int runAliases(ExpertModule& module, const CommandOptions& options) {
    std::string filePath;
    std::vector<AliasRecord> records = readAliasRecords(filePath);
    annotate(records, readItemNames(module.expert()));
    if (options.json) {
        printJsonRecords(records, filePath);
    } else {
        printTable(records, filePath);
    }
    return kExitSuccess;
}

} // namespace hwconfig
