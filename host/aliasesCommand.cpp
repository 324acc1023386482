// hwconfig aliases: every record of aliases.json - its alias, its key, and whether a board present
// has that key - with records of absent boards, aliases shared by two records and aliases the module
// would refuse flagged.
// Read-only: the file is read under the same shared lock the module takes, never written.
//
// A board's key is its PCI identity token. The expert does not report it, so hwconfig builds it
// for each present board from the registry and the device tree (deviceLocation.h).
#include "host/aliasFile.h"
#include "host/aliaskeys/aliasKeys.h"
#include "host/boardReports.h"
#include "host/commands.h"
#include "host/deviceLocation.h"
#include "host/output.h"
#include "host/utf8Text.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

struct AliasRecord : AliasFileRecord {
    std::string itemName; // of the present board with this key; empty when none
    bool shared = false;
    bool duplicateKey = false; // another record has the same key; the module takes the first
    bool valid = true; // the module would accept the alias's syntax
};

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    });
    return text;
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
    std::map<std::string, int> keyCount;
    for (const AliasRecord& record : records) {
        ++aliasCount[record.alias];
        ++keyCount[lowerAscii(record.key)];
    }
    for (AliasRecord& record : records) {
        const auto board = boardByKey.find(lowerAscii(record.key));
        record.itemName = board != boardByKey.end() ? board->second : "";
        record.shared = aliasCount[record.alias] > 1;
        record.duplicateKey = keyCount[lowerAscii(record.key)] > 1;
        record.valid = aliaskeys::isValidAlias(record.alias);
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
        printOut("No aliases in %s.\n", printable(filePath).c_str());
        return;
    }
    TextTable table({"Alias", "Board", "Shared", "Syntax", "Key"});
    for (const AliasRecord& record : records) {
        table.addRow(
            {record.alias, boardState(record), record.shared ? "shared" : "-",
             record.valid ? "ok" : "invalid",
             record.key + (record.duplicateKey ? " (duplicate key: the module takes the first)" : "")});
    }
    table.print();
}

void printJsonRecords(const std::vector<AliasRecord>& records, const std::string& filePath,
                      bool byteOrderMark) {
    const qv::unique_cjson document = newJsonObject();
    addJsonString(document.get(), "file", filePath);
    addJsonBool(document.get(), "byteOrderMark", byteOrderMark);
    cJSON* array = addJsonArray(document.get(), "records");
    for (const AliasRecord& record : records) {
        cJSON* object = appendJsonObject(array);
        addJsonString(object, "alias", record.alias);
        addJsonString(object, "key", record.key);
        addJsonBool(object, "present", !record.itemName.empty());
        addJsonOptionalString(object, "itemName", record.itemName);
        addJsonBool(object, "simulated", record.simulated);
        addJsonBool(object, "shared", record.shared);
        addJsonBool(object, "duplicateKey", record.duplicateKey);
        addJsonBool(object, "validAlias", record.valid);
    }
    printJson(document.get());
}

} // namespace

int runAliases(ExpertModule& module, const CommandOptions& options) {
    std::string filePath;
    std::vector<AliasRecord> records;
    for (AliasFileRecord& record : readAliasFile(filePath)) {
        records.emplace_back();
        static_cast<AliasFileRecord&>(records.back()) = std::move(record);
    }
    annotate(records, readItemNames(module.expert()));
    const bool byteOrderMark = aliasFileHasByteOrderMark();
    if (options.json) {
        printJsonRecords(records, filePath, byteOrderMark);
    } else {
        printTable(records, filePath);
    }
    if (byteOrderMark) {
        printError(
                     "hwconfig: note: %s begins with a byte order mark, which the module reads past and "
                     "drops when it next writes the file\n",
                     printable(filePath).c_str());
    }
    return kExitSuccess;
}

} // namespace hwconfig
