// hwconfig show BOARD: every property of the board's report, one a line: tag, name, type, value.
#include "host/boardReports.h"
#include "host/boardSelection.h"
#include "host/commands.h"
#include "host/output.h"
#include "host/utf8Text.h"
#include "hwsys/hwsys_tags.h"

#include <cjson/cJSON.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace hwconfig {
namespace {

void printTable(const SelectedBoard& board) {
    printOut("Board %zu  %s\n", board.number, printable(toUtf8(board.report.itemName.c_str())).c_str());
    TextTable table({"Tag", "Name", "Type", "Value"});
    for (const BoardProperty& property : board.report.properties) {
        table.addRow({formatTag(property.tag), propertyName(property.tag), propertyTypeName(property.type),
                      propertyText(property)});
    }
    table.print();
}

void addProperty(cJSON* array, const BoardProperty& property) {
    cJSON* object = appendJsonObject(array);
    addJsonString(object, "tag", formatTag(property.tag));
    addJsonString(object, "name", propertyName(property.tag));
    addJsonString(object, "type", propertyTypeName(property.type));
    cJSON* value = propertyJson(property);
    if (!cJSON_AddItemToObject(object, "value", value)) {
        cJSON_Delete(value);
        throw std::bad_alloc();
    }
}

void printJsonBoard(const SelectedBoard& board) {
    const qv::unique_cjson document = newJsonObject();
    addJsonNumber(document.get(), "number", static_cast<double>(board.number));
    addJsonString(document.get(), "itemName", toUtf8(board.report.itemName.c_str()));
    cJSON* properties = addJsonArray(document.get(), "properties");
    for (const BoardProperty& property : board.report.properties) {
        addProperty(properties, property);
    }
    printJson(document.get());
}

// The module leaves out the reading of a sensor the board could not read, while the count still
// names every sensor: which readings the report lacks, "2, 3"; empty when it lacks none.
std::string sensorsWithoutReading(const BoardReport& report) {
    const BoardProperty* count = findProperty(report, hwSysTagTemperatureSensorCount);
    const LONG* sensors = count != nullptr ? std::get_if<LONG>(&count->value) : nullptr;
    std::string missing;
    for (LONG sensor = 0; sensors != nullptr && sensor < std::min<LONG>(*sensors, hwSysTemperatureSensorCount); ++sensor) {
        if (findProperty(report, hwSysTagTemperature(static_cast<ULONG>(sensor))) == nullptr) {
            missing += (missing.empty() ? "" : ", ") + std::to_string(sensor);
        }
    }
    return missing;
}

} // namespace

int runShow(ExpertModule& module, const CommandOptions& options) {
    const SelectedBoard board = selectBoard(module.expert(), options.board);
    if (FAILED(board.report.result)) {
        throw reportFailure(board.report);
    }
    if (options.json) {
        printJsonBoard(board);
    } else {
        printTable(board);
    }
    if (const std::string missing = sensorsWithoutReading(board.report); !missing.empty()) {
        printError("hwconfig: note: the report holds no reading of temperature sensor %s, which the board "
                             "could not read\n", missing.c_str());
    }
    return kExitSuccess;
}

} // namespace hwconfig
