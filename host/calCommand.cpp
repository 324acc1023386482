// hwconfig cal: a board's calibration records, and changing its external-calibration record as a
// host does. The request bag is the board's report bag with its changed tags cleared and the
// user's values set; ValidateResourceProperties names the tags it accepts, and unless only a
// check was asked for, SaveResourceProperties writes them.
#include "host/boardSelection.h"
#include "host/commands.h"
#include "host/errorNames.h"
#include "host/output.h"
#include "host/utf8Text.h"
#include "hwsys/hwsys_tags.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

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
        return "the board failed the write, or its driver library or one of its functions is missing";
    case E_UNEXPECTED:
        return "cannot write the board's state: the board library could not read or write it";
    case E_INVALIDARG:
        return "the board cannot take a value of the request (a password of more than 63 bytes, an "
               "interval of more than 2147483647 days)";
    default:
        return "the board refused the change";
    }
}

void throwIfRefused(HRESULT result, const char* operation) {
    if (FAILED(result)) {
        throw failedCall(std::string(operation) + " refused: " + causeOf(result), result);
    }
}

// The board keeps a password of at most this many bytes (docs/machine-format.md); a longer one is
// refused by the board only when written, after the validation accepted it.
constexpr std::size_t kBoardPasswordLimit = 63;

// The password as the module hands it to the board: in the ANSI code page, its length counted there.
std::basic_string<WCHAR> boardPassword(const char* option, const std::string& password) {
    const std::basic_string<WCHAR> text = toModuleText(password, option);
    if (text.size() > kBoardPasswordLimit) {
        throw HostError(std::string(option) + ": the board takes a password of at most " +
                            std::to_string(kBoardPasswordLimit) + " bytes; this one has " +
                            std::to_string(text.size()),
                        kExitUsage);
    }
    return text;
}

// A due date hwconfig's own parser reads back: none after 9999-12-31.
Time checkedDue(Time due) {
    if (due >= lastStorableTime()) {
        throw HostError("the due date " + isoDate(due) +
                            " lies after 9999-12-31; give a shorter --interval or an earlier --due",
                        kExitUsage);
    }
    return due;
}

// The due date an interval gives, counted from the new calibration date or else the board's.
hwSysAttrTimestampUTC dueAfter(IhwSysPropertyBag3* bag, const CalibrationRequest& request) {
    if (*request.intervalDays == 0) {
        return {0, 0};
    }
    const std::optional<Time> calibration =
        request.date ? request.date : timeOf(bag, hwSysTagExternalCalTime);
    if (!calibration) {
        throw HostError("the board has no calibration date to count the interval from; give --date",
                        kExitUsage);
    }
    return stampOf(checkedDue(*calibration + date::days{*request.intervalDays}));
}

// A new calibration date alone keeps the board's interval, so the due date moves with it: the due
// date it gives must be one the parser reads back too.
void checkDueKeptWithNewDate(IhwSysPropertyBag3* bag, const CalibrationRequest& request) {
    if (!request.date || request.due || request.intervalDays) {
        return;
    }
    const std::optional<Time> calibration = timeOf(bag, hwSysTagExternalCalTime);
    const std::optional<Time> due = timeOf(bag, hwSysTagExternalCalDue);
    if (calibration && due) {
        checkedDue(*request.date + (*due - *calibration));
    }
}

bool changesRecord(const CalibrationRequest& request) {
    return request.date || request.due || request.intervalDays || request.newPassword;
}

// The report bag becomes the request: what the user asked for is all that is marked changed. The
// password change and the calibration record can be asked for apart (`withPassword`, `withRecord`).
void fillRequest(IhwSysPropertyBag3* bag, const CalibrationRequest& request, bool withPassword = true,
                 bool withRecord = true) {
    throwIfFailed(bag->ClearChangedTags(), "ClearChangedTags");
    const auto setText = [bag](ULONG tag, const std::basic_string<WCHAR>& text) {
        throwIfFailed(bag->SetString(tag, text.c_str()), "setting a text of the request");
    };
    const auto setTime = [bag](ULONG tag, const hwSysAttrTimestampUTC& stamp) {
        throwIfFailed(bag->SetTimestamp(tag, &stamp), "setting a time of the request");
    };
    setText(hwSysTagExternalCalPassword, boardPassword(request.passwordFrom, *request.password));
    if (withRecord && request.intervalDays && !request.due) {
        setTime(hwSysTagExternalCalDue, dueAfter(bag, request));
    }
    if (withRecord && request.date) {
        setTime(hwSysTagExternalCalTime, stampOf(*request.date));
    }
    if (withRecord && request.due) {
        setTime(hwSysTagExternalCalDue, stampOf(checkedDue(*request.due)));
    }
    if (withPassword && request.newPassword) {
        setText(hwSysTagNewExternalCalPassword, boardPassword("--new-password", *request.newPassword));
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

std::string joined(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) {
        list += (list.empty() ? "" : ", ") + name;
    }
    return list.empty() ? "nothing" : list;
}

void printChange(const CommandOptions& options, const SelectedBoard& board,
                 const std::vector<std::string>& accepted, const char* outcome, bool saved) {
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
    printOut("Accepted: %s\n%s\n", joined(accepted).c_str(), outcome);
}

// The calibration date and due date a bag holds.
struct Record {
    std::optional<Time> date;
    std::optional<Time> due;
};

Record recordOf(IhwSysPropertyBag3* bag) {
    return {timeOf(bag, hwSysTagExternalCalTime), timeOf(bag, hwSysTagExternalCalDue)};
}

std::optional<long> intervalDays(const Record& record) {
    if (!record.date || !record.due) {
        return std::nullopt;
    }
    return calendarDaysBetween(*record.date, *record.due);
}

std::string timeOrNone(const std::optional<Time>& time) {
    return time ? isoTime(*time) : "none";
}

// After the board refused one of the record's two writes, the record read back says which it took:
// the calibration date, or the interval to the due date, which the board keeps apart from it.
void sortRecordWrites(IhwSysExpert2* expert, const ItemName& itemName, const Record& wanted,
                      const CalibrationRequest& request, std::vector<std::string>& saved,
                      std::vector<std::string>& unsaved, std::string& now) {
    qv::com_ptr<IhwSysPropertyBag> bag;
    qv::com_ptr<IhwSysPropertyBag3> full;
    if (FAILED(expert->GetResourceProperties(itemName.c_str(), bag.put())) ||
        FAILED(bag->QueryInterface(IID_IhwSysPropertyBag3, full.put_void()))) {
        unsaved.push_back(
            "calibrationDate and dueDate unknown: the record could not be read back (hwconfig cal "
            "BOARD shows it)");
        return;
    }
    const Record held = recordOf(full.get());
    if (request.date) {
        (held.date == wanted.date ? saved : unsaved).push_back(tagName(hwSysTagExternalCalTime));
    }
    if (request.due || request.intervalDays) {
        const std::optional<long> days = intervalDays(wanted);
        const bool intervalHeld = days && intervalDays(held) == days;
        (intervalHeld ? saved : unsaved)
            .push_back(std::string(tagName(hwSysTagExternalCalDue)) +
                       (days ? " (an interval of " + std::to_string(*days) + " days)" : std::string()));
    }
    now = "; the board now holds calibration date " + timeOrNone(held.date) + ", due " + timeOrNone(held.due);
}

HostError saveRefused(HRESULT result, const std::vector<std::string>& saved,
                      const std::vector<std::string>& unsaved, const std::string& now = {}) {
    return HostError("saving refused: " + std::string(causeOf(result)) + ": " + describeHResult(result) +
                         "; saved: " + joined(saved) + "; not saved: " + joined(unsaved) + now,
                     kExitFailure, result);
}

// Saves what the validation accepted, the password change first: it is one write, the one the
// board may refuse for the new password itself, and when it is refused nothing has been written.
// The calibration record follows, passed the new password; when the board refuses it, what it
// holds then is read back and told.
void saveChange(IhwSysExpert2* expert, const SelectedBoard& board, const CalibrationRequest& request) {
    const ItemName& itemName = board.report.itemName;
    const bool record = request.date || request.due || request.intervalDays;
    std::vector<std::string> saved;
    CalibrationRequest rest = request;
    if (request.newPassword) {
        const qv::com_ptr<IhwSysPropertyBag3> bag = reportBag(expert, itemName);
        fillRequest(bag.get(), request, true, false);
        ULONG reserved = 0;
        const HRESULT result = expert->SaveResourceProperties(itemName.c_str(), bag.get(), &reserved);
        if (FAILED(result)) {
            std::vector<std::string> unsaved{tagName(hwSysTagNewExternalCalPassword)};
            if (record) {
                unsaved.push_back("the calibration record");
            }
            throw saveRefused(result, saved, unsaved);
        }
        saved.push_back(tagName(hwSysTagNewExternalCalPassword));
        rest.password = request.newPassword;
    }
    if (record) {
        const qv::com_ptr<IhwSysPropertyBag3> bag = reportBag(expert, itemName);
        fillRequest(bag.get(), rest, false, true);
        const Record wanted = recordOf(bag.get());
        ULONG reserved = 0;
        const HRESULT result = expert->SaveResourceProperties(itemName.c_str(), bag.get(), &reserved);
        if (FAILED(result)) {
            std::vector<std::string> unsaved;
            std::string now;
            sortRecordWrites(expert, itemName, wanted, request, saved, unsaved, now);
            throw saveRefused(result, saved, unsaved, now);
        }
    }
    noteChangeMade("the calibration record of board " + std::to_string(board.number) + " was saved");
}

int changeRecord(IhwSysExpert2* expert, IhwSysPropertyBag3* bag, const SelectedBoard& board,
                 const CommandOptions& options, const CalibrationRequest& request) {
    // Refused before anything is checked or written.
    boardPassword(request.passwordFrom, *request.password);
    if (request.newPassword) {
        boardPassword("--new-password", *request.newPassword);
    }
    checkDueKeptWithNewDate(bag, request);
    fillRequest(bag, request);
    ULONG_PTR validateReserved = 0;
    qv::com_ptr<IhwSysEnumPropertyTag> accepted;
    throwIfRefused(expert->ValidateResourceProperties(board.report.itemName.c_str(), bag, &validateReserved,
                                                      accepted.put()),
                   "validation");
    const std::vector<std::string> acceptedNames = readTagNames(accepted.get());
    if (request.checkOnly) {
        printChange(options, board, acceptedNames, "Checked only; nothing was saved.", false);
    } else if (!changesRecord(request)) {
        printChange(options, board, acceptedNames,
                    "Nothing to change (no --date, --due, --interval or --new-password); nothing was saved.",
                    false);
    } else {
        saveChange(expert, board, request);
        printChange(options, board, acceptedNames, "Saved.", true);
    }
    return kExitSuccess;
}

} // namespace

int runCal(ExpertModule& module, const CommandOptions& options, const CalibrationRequest& request) {
    const SelectedBoard board = selectBoard(module.expert(), options.board);
    if (FAILED(board.report.result)) {
        throw reportFailure(board.report);
    }
    const qv::com_ptr<IhwSysPropertyBag3> bag = reportBag(module.expert(), board.report.itemName);
    if (!request.password) {
        showRecords(options, bag.get(), board);
        return kExitSuccess;
    }
    return changeRecord(module.expert(), bag.get(), board, options, request);
}

} // namespace hwconfig
