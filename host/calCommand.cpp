// hwconfig cal: a board's calibration records, and changing its external-calibration record as a
// host does. The request bag is the board's report bag with its changed tags cleared and the
// user's values set; ValidateResourceProperties names the tags it accepts, and unless only a
// check was asked for, SaveResourceProperties writes them.
#include "host/boardSelection.h"
#include "host/commands.h"
#include "host/output.h"
#include "host/utf8Text.h"
#include "hwsys/hwsys_tags.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

// Each byte of the argument becomes one character: the module narrows them back one to one.
std::basic_string<WCHAR> hostText(const std::string& text) {
    std::basic_string<WCHAR> wide;
    for (const char byte : text) {
        wide.push_back(static_cast<WCHAR>(static_cast<unsigned char>(byte)));
    }
    return wide;
}

qv::com_ptr<IhwSysPropertyBag3> reportBag(IhwSysExpert2* expert, const ItemName& itemName) {
    qv::com_ptr<IhwSysPropertyBag> bag;
    throwIfFailed(expert->GetResourceProperties(itemName.c_str(), bag.put()), "reading the board's report");
    qv::com_ptr<IhwSysPropertyBag3> full;
    throwIfFailed(bag->QueryInterface(IID_IhwSysPropertyBag3, full.put_void()),
                  "asking the report bag for IhwSysPropertyBag3");
    return full;
}

std::optional<Time> timeOf(IhwSysPropertyBag3* bag, ULONG tag) {
    hwSysAttrTimestampUTC stamp{};
    return SUCCEEDED(bag->GetTimestamp(tag, &stamp)) ? timeOfStamp(stamp) : std::nullopt;
}

std::optional<double> temperatureOf(IhwSysPropertyBag3* bag) {
    double temperature = 0;
    return SUCCEEDED(bag->GetDouble(hwSysTagSelfCalTemperature, &temperature)) ? std::optional(temperature)
                                                                               : std::nullopt;
}

void addJsonTime(cJSON* object, const char* name, const std::optional<Time>& time) {
    addJsonOptionalString(object, name, time ? isoTime(*time) : "");
}

void showRecords(const CommandOptions& options, IhwSysPropertyBag3* bag, const SelectedBoard& board) {
    const std::string itemName = toUtf8(board.report.itemName.c_str());
    const std::optional<Time> selfCal = timeOf(bag, hwSysTagSelfCalTime);
    const std::optional<double> temperature = temperatureOf(bag);
    const std::optional<Time> external = timeOf(bag, hwSysTagExternalCalTime);
    const std::optional<Time> due = timeOf(bag, hwSysTagExternalCalDue);
    if (options.json) {
        const qv::unique_cjson document = newJsonObject();
        addJsonNumber(document.get(), "number", static_cast<double>(board.number));
        addJsonString(document.get(), "itemName", itemName);
        addJsonTime(document.get(), "selfCalibration", selfCal);
        if (temperature) {
            addJsonNumber(document.get(), "selfCalibrationTemperature", *temperature);
        } else {
            addJsonNull(document.get(), "selfCalibrationTemperature");
        }
        addJsonTime(document.get(), "externalCalibration", external);
        addJsonTime(document.get(), "due", due);
        printJson(document.get());
        return;
    }
    TextTable table({"Board", std::to_string(board.number) + "  " + itemName});
    table.addRow({"Self-calibration", selfCal ? isoTime(*selfCal) : "none"});
    if (temperature) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2f C", *temperature);
        table.addRow({"  at temperature", text});
    }
    table.addRow({"External calibration", external ? isoTime(*external) : "none"});
    table.addRow({"Calibration due", due ? isoTime(*due) : "no due date"});
    table.print();
}

// The request's words and JSON names for the tags the expert accepts.
const char* tagName(ULONG tag) {
    switch (tag) {
    case hwSysTagExternalCalTime: return "calibrationDate";
    case hwSysTagExternalCalDue: return "dueDate";
    case hwSysTagExternalCalPassword: return "password";
    case hwSysTagNewExternalCalPassword: return "newPassword";
    default: return "other";
    }
}

const char* causeOf(HRESULT result) {
    switch (result) {
    case HW_E_CAL_PASSWORD_INVALID:
        return "wrong calibration password";
    case HW_E_INVALID_CAL_DATE:
        return "no calibration date, or the due date is not after the calibration date";
    case HW_E_CAL_INTERVAL_TOO_LONG:
        return "calibration interval too long (more than 2147483647 days)";
    case HW_E_PROPERTY_NOT_FOUND:
        return "the request lacks a property the write needs";
    case HW_E_PROPERTY_TYPE_MISMATCH:
        return "a property of the request has the wrong type";
    case E_FAIL:
        return "the board driver library or one of its functions is missing";
    default:
        return "the board refused the change";
    }
}

void throwIfRefused(HRESULT result, const char* operation) {
    if (FAILED(result)) {
        throw failedCall(std::string(operation) + " refused: " + causeOf(result), result);
    }
}

// The due date an interval gives, counted from the new calibration date or else the board's.
hwSysAttrTimestampUTC dueAfter(IhwSysPropertyBag3* bag, std::uint32_t intervalDays) {
    if (intervalDays == 0) {
        return {0, 0};
    }
    const std::optional<Time> calibration = timeOf(bag, hwSysTagExternalCalTime);
    if (!calibration) {
        throw HostError("the board has no calibration date to count the interval from; give --date");
    }
    return stampOf(*calibration + date::days{intervalDays});
}

// The report bag becomes the request: what the user asked for is all that is marked changed.
void fillRequest(IhwSysPropertyBag3* bag, const CalibrationRequest& request) {
    throwIfFailed(bag->ClearChangedTags(), "ClearChangedTags");
    const auto setText = [bag](ULONG tag, const std::string& text) {
        throwIfFailed(bag->SetString(tag, hostText(text).c_str()), "setting a text of the request");
    };
    const auto setTime = [bag](ULONG tag, const hwSysAttrTimestampUTC& stamp) {
        throwIfFailed(bag->SetTimestamp(tag, &stamp), "setting a time of the request");
    };
    setText(hwSysTagExternalCalPassword, *request.password);
    if (request.date) {
        setTime(hwSysTagExternalCalTime, stampOf(*request.date));
    }
    if (request.due) {
        setTime(hwSysTagExternalCalDue, stampOf(*request.due));
    } else if (request.intervalDays) {
        setTime(hwSysTagExternalCalDue, dueAfter(bag, *request.intervalDays));
    }
    if (request.newPassword) {
        setText(hwSysTagNewExternalCalPassword, *request.newPassword);
    }
}

std::vector<std::string> readTagNames(IhwSysEnumPropertyTag* tags) {
    std::vector<std::string> names;
    ULONG tag = 0;
    while (tags != nullptr && tags->Next(1, &tag, nullptr) == S_OK) {
        names.push_back(tagName(tag));
    }
    return names;
}

void printChange(const CommandOptions& options, const SelectedBoard& board, const std::vector<std::string>& accepted,
                 bool saved) {
    if (options.json) {
        const qv::unique_cjson document = newJsonObject();
        addJsonNumber(document.get(), "number", static_cast<double>(board.number));
        addJsonString(document.get(), "itemName", toUtf8(board.report.itemName.c_str()));
        cJSON* names = addJsonArray(document.get(), "accepted");
        for (const std::string& name : accepted) {
            if (!cJSON_AddItemToArray(names, cJSON_CreateString(name.c_str()))) {
                throw std::bad_alloc();
            }
        }
        addJsonBool(document.get(), "saved", saved);
        printJson(document.get());
        return;
    }
    std::string list;
    for (const std::string& name : accepted) {
        list += (list.empty() ? "" : ", ") + name;
    }
    std::printf("Accepted: %s\n%s\n", list.c_str(), saved ? "Saved." : "Checked only; nothing was saved.");
}

int changeRecord(IhwSysExpert2* expert, IhwSysPropertyBag3* bag, const SelectedBoard& board,
                 const CommandOptions& options, const CalibrationRequest& request) {
    const ItemName& itemName = board.report.itemName;
    fillRequest(bag, request);
    ULONG_PTR validateReserved = 0;
    qv::com_ptr<IhwSysEnumPropertyTag> accepted;
    throwIfRefused(expert->ValidateResourceProperties(itemName.c_str(), bag, &validateReserved, accepted.put()),
                   "validation");
    const std::vector<std::string> acceptedNames = readTagNames(accepted.get());
    if (!request.checkOnly) {
        ULONG saveReserved = 0;
        throwIfRefused(expert->SaveResourceProperties(itemName.c_str(), bag, &saveReserved), "saving");
        noteChangeMade("the calibration record of board " + std::to_string(board.number) + " was saved");
    }
    printChange(options, board, acceptedNames, !request.checkOnly);
    return kExitSuccess;
}

} // namespace

int runCal(ExpertModule& module, const CommandOptions& options, const CalibrationRequest& request) {
    const SelectedBoard board = selectBoard(module.expert(), options.board);
    const qv::com_ptr<IhwSysPropertyBag3> bag = reportBag(module.expert(), board.report.itemName);
    if (!request.password) {
        showRecords(options, bag.get(), board);
        return kExitSuccess;
    }
    return changeRecord(module.expert(), bag.get(), board, options, request);
}

} // namespace hwconfig
