// hwconfig cal: a board's calibration records, and changing its external-calibration record as a
// host does. The request bag is the board's report bag with its changed tags cleared and the
// user's values set; ValidateResourceProperties names the tags it accepts, and unless only a
// check was asked for, SaveResourceProperties writes them.
#include "host/boardSelection.h"
#include "host/commands.h"
#include "host/utf8Text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// Days from 1904-01-01 (the host's time origin) to 1970-01-01.
constexpr std::int64_t kDaysFrom1904To1970 = 24107;
// Seconds from 1601-01-01 (the origin of FILETIME) to 1904-01-01, and FILETIME's units.
constexpr std::int64_t kSecondsFrom1601To1904 = 9561628800;
constexpr std::uint64_t kFileTimeUnitsPerSecond = 10000000;
constexpr int kExitRefused = 1;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// The calendar fields of whole seconds since 1904, by the system's conversion.
SYSTEMTIME calendarOf(std::int64_t seconds) {
    const std::uint64_t units =
        static_cast<std::uint64_t>(seconds + kSecondsFrom1601To1904) * kFileTimeUnitsPerSecond;
    FILETIME fileTime{};
    fileTime.dwLowDateTime = static_cast<DWORD>(units);
    fileTime.dwHighDateTime = static_cast<DWORD>(units >> 32);
    SYSTEMTIME calendar{};
    if (!FileTimeToSystemTime(&fileTime, &calendar)) {
        throw HostError("time out of range: " + std::to_string(seconds) + " s after 1904");
    }
    return calendar;
}

// "2026-03-18T00:00:00Z"; the fraction of a second is not shown.
std::string formatTime(const hwSysAttrTimestampUTC& time) {
    const SYSTEMTIME calendar = calendarOf(time.seconds);
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", calendar.wYear, calendar.wMonth,
                  calendar.wDay, calendar.wHour, calendar.wMinute, calendar.wSecond);
    return text;
}

// Each byte of the argument becomes one character: the module narrows them back one to one.
std::basic_string<WCHAR> hostText(const std::string& text) {
    std::basic_string<WCHAR> wide;
    for (const char byte : text) {
        wide.push_back(static_cast<WCHAR>(static_cast<unsigned char>(byte)));
    }
    return wide;
}

void check(HRESULT result, const char* what) {
    if (FAILED(result)) {
        throw HostError(std::string(what) + " failed with HRESULT " + formatHResult(result));
    }
}

// BOARD as its number in `hwconfig list`, its item name or its alias.
std::basic_string<WCHAR> resolveBoard(IhwSysExpert2* expert, const std::string& board) {
    const std::vector<BoardReport> boards = readBoardReports(expert);
    return boards[selectBoard(boards, board)].itemName;
}

qv::com_ptr<IhwSysPropertyBag3> reportBag(IhwSysExpert2* expert, const std::basic_string<WCHAR>& itemName) {
    qv::com_ptr<IhwSysPropertyBag> bag;
    check(expert->GetResourceProperties(itemName.c_str(), bag.put()), "GetResourceProperties");
    qv::com_ptr<IhwSysPropertyBag3> full;
    check(bag->QueryInterface(IID_IhwSysPropertyBag3, full.put_void()),
          "asking the report bag for IhwSysPropertyBag3");
    return full;
}

std::optional<hwSysAttrTimestampUTC> timeOf(IhwSysPropertyBag3* bag, ULONG tag) {
    hwSysAttrTimestampUTC time{};
    if (FAILED(bag->GetTimestamp(tag, &time)) || (time.seconds == 0 && time.fraction == 0)) {
        return std::nullopt;
    }
    return time;
}

void printTimeLine(const char* label, IhwSysPropertyBag3* bag, ULONG tag, const char* absent) {
    const std::optional<hwSysAttrTimestampUTC> time = timeOf(bag, tag);
    std::printf("%-22s %s\n", label, time ? formatTime(*time).c_str() : absent);
}

void showRecords(IhwSysPropertyBag3* bag, const std::basic_string<WCHAR>& itemName) {
    std::printf("%-22s %s\n", "Board", toUtf8(itemName.c_str()).c_str());
    printTimeLine("Self-calibration", bag, hwSysTagSelfCalTime, "none");
    double temperature = 0;
    if (SUCCEEDED(bag->GetDouble(hwSysTagSelfCalTemperature, &temperature))) {
        std::printf("%-22s %.2f C\n", "  at temperature", temperature);
    }
    printTimeLine("External calibration", bag, hwSysTagExternalCalTime, "none");
    printTimeLine("Calibration due", bag, hwSysTagExternalCalDue, "no due date");
}

const char* tagName(ULONG tag) {
    switch (tag) {
    case hwSysTagExternalCalTime:
        return "calibration date";
    case hwSysTagExternalCalDue:
        return "due date";
    case hwSysTagExternalCalPassword:
        return "password";
    case hwSysTagNewExternalCalPassword:
        return "new password";
    default:
        return "other";
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

// A refusal names its cause; the process then ends with kExitRefused.
bool reportRefusal(HRESULT result, const char* operation) {
    if (SUCCEEDED(result)) {
        return false;
    }
    std::fprintf(stderr, "hwconfig: %s refused: %s (HRESULT %s)\n", operation, causeOf(result),
                 formatHResult(result).c_str());
    return true;
}

void setText(IhwSysPropertyBag3* bag, ULONG tag, const std::string& text) {
    check(bag->SetString(tag, hostText(text).c_str()), "setting a text of the request");
}

void setTime(IhwSysPropertyBag3* bag, ULONG tag, const hwSysAttrTimestampUTC& time) {
    check(bag->SetTimestamp(tag, &time), "setting a time of the request");
}

// The due date an interval gives, counted from the new calibration date or else the board's.
hwSysAttrTimestampUTC dueAfter(IhwSysPropertyBag3* bag, std::uint32_t intervalDays) {
    if (intervalDays == 0) {
        return {0, 0};
    }
    const std::optional<hwSysAttrTimestampUTC> calibration = timeOf(bag, hwSysTagExternalCalTime);
    if (!calibration) {
        throw HostError("the board has no calibration date to count the interval from; give --date");
    }
    return {calibration->fraction,
            calibration->seconds + static_cast<std::int64_t>(intervalDays) * kSecondsPerDay};
}

// The report bag becomes the request: what the user asked for is all that is marked changed.
void fillRequest(IhwSysPropertyBag3* bag, const CalibrationRequest& request) {
    check(bag->ClearChangedTags(), "ClearChangedTags");
    setText(bag, hwSysTagExternalCalPassword, *request.password);
    if (request.date) {
        setTime(bag, hwSysTagExternalCalTime, *request.date);
    }
    if (request.due) {
        setTime(bag, hwSysTagExternalCalDue, *request.due);
    } else if (request.intervalDays) {
        setTime(bag, hwSysTagExternalCalDue, dueAfter(bag, *request.intervalDays));
    }
    if (request.newPassword) {
        setText(bag, hwSysTagNewExternalCalPassword, *request.newPassword);
    }
}

std::vector<ULONG> readTags(IhwSysEnumPropertyTag* tags) {
    std::vector<ULONG> result;
    ULONG tag = 0;
    while (tags != nullptr && tags->Next(1, &tag, nullptr) == S_OK) {
        result.push_back(tag);
    }
    return result;
}

int changeRecord(IhwSysExpert2* expert, IhwSysPropertyBag3* bag, const std::basic_string<WCHAR>& itemName,
                 const CalibrationRequest& request) {
    fillRequest(bag, request);
    ULONG_PTR validateReserved = 0;
    qv::com_ptr<IhwSysEnumPropertyTag> accepted;
    const HRESULT validated =
        expert->ValidateResourceProperties(itemName.c_str(), bag, &validateReserved, accepted.put());
    if (reportRefusal(validated, "validation")) {
        return kExitRefused;
    }
    const char* separator = " ";
    std::printf("Accepted:");
    for (ULONG tag : readTags(accepted.get())) {
        std::printf("%s%s", separator, tagName(tag));
        separator = ", ";
    }
    std::printf("\n");
    if (request.checkOnly) {
        return 0;
    }
    ULONG saveReserved = 0;
    if (reportRefusal(expert->SaveResourceProperties(itemName.c_str(), bag, &saveReserved), "saving")) {
        return kExitRefused;
    }
    std::printf("Saved.\n");
    return 0;
}

// ISO-8601: YYYY-MM-DD, optionally followed by THH:MM or THH:MM:SS and then Z or +HH:MM / -HH:MM;
// without a zone the time is UTC, and a date alone is midnight UTC.
hwSysAttrTimestampUTC parseTime(const std::string& text) {
    int year = 0;
    unsigned month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2u-%2u%n", &year, &month, &day, &consumed) != 3 || consumed != 10 ||
        month < 1 || month > 12 || day < 1 || day > 31) {
        throw std::invalid_argument("not an ISO-8601 date: " + text);
    }
    std::string rest = text.substr(10);
    if (!rest.empty() && (rest[0] == 'T' || rest[0] == ' ')) {
        int timeLength = 0;
        if (std::sscanf(rest.c_str() + 1, "%2u:%2u%n:%2u%n", &hour, &minute, &timeLength, &second,
                        &timeLength) < 2 ||
            hour > 23 || minute > 59 || second > 60) {
            throw std::invalid_argument("not an ISO-8601 time: " + text);
        }
        rest = rest.substr(1 + static_cast<std::size_t>(timeLength));
    }
    std::int64_t offsetMinutes = 0;
    unsigned offsetHours = 0, offsetMinutesPart = 0;
    if (rest == "Z" || rest.empty()) {
    } else if ((rest[0] == '+' || rest[0] == '-') &&
               std::sscanf(rest.c_str() + 1, "%2u:%2u", &offsetHours, &offsetMinutesPart) == 2 &&
               rest.size() == 6) {
        offsetMinutes =
            (rest[0] == '-' ? -1 : 1) * static_cast<std::int64_t>(offsetHours * 60 + offsetMinutesPart);
    } else {
        throw std::invalid_argument("not an ISO-8601 time zone: " + text);
    }
    const std::int64_t day1904 = daysFromCivil(year, month, day) + kDaysFrom1904To1970;
    if (day1904 <= 0) {
        throw std::invalid_argument("dates before 1904 cannot be stored: " + text);
    }
    // 2026-02-30 would count on into March.
    const SYSTEMTIME calendar = calendarOf(day1904 * kSecondsPerDay);
    if (calendar.wMonth != month || calendar.wDay != day) {
        throw std::invalid_argument("no such day: " + text);
    }
    const std::int64_t seconds =
        day1904 * kSecondsPerDay + hour * 3600 + minute * 60 + second - offsetMinutes * 60;
    return {0, seconds};
}

std::uint32_t parseDays(const std::string& text) {
    char* end = nullptr;
    const unsigned long long days = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text[0] == '-' || *end != '\0' || days > 0xFFFFFFFFull) {
        throw std::invalid_argument("--interval needs a number of days: " + text);
    }
    return static_cast<std::uint32_t>(days);
}

} // namespace

CalibrationRequest parseCalibrationArguments(const std::vector<std::string>& arguments) {
    CalibrationRequest request;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= arguments.size()) {
                throw std::invalid_argument(argument + " needs a value");
            }
            return arguments[++i];
        };
        if (argument == "--password") {
            request.password = value();
        } else if (argument == "--date") {
            request.date = parseTime(value());
        } else if (argument == "--due") {
            request.due = parseTime(value());
        } else if (argument == "--interval") {
            request.intervalDays = parseDays(value());
        } else if (argument == "--new-password") {
            request.newPassword = value();
        } else if (argument == "--check") {
            request.checkOnly = true;
        } else if (argument.rfind("--", 0) == 0) {
            throw std::invalid_argument("unknown option " + argument);
        } else if (request.board.empty()) {
            request.board = argument;
        } else {
            throw std::invalid_argument("unexpected argument " + argument);
        }
    }
    if (request.board.empty()) {
        throw std::invalid_argument("cal needs a BOARD");
    }
    if (!request.password &&
        (request.date || request.due || request.intervalDays || request.newPassword || request.checkOnly)) {
        throw std::invalid_argument("changing the calibration record needs --password");
    }
    if (request.due && request.intervalDays) {
        throw std::invalid_argument("give --due or --interval, not both");
    }
    return request;
}

int runCal(ExpertModule& module, const CalibrationRequest& request) {
    const std::basic_string<WCHAR> itemName = resolveBoard(module.expert(), request.board);
    const qv::com_ptr<IhwSysPropertyBag3> bag = reportBag(module.expert(), itemName);
    if (!request.password) {
        showRecords(bag.get(), itemName);
        return 0;
    }
    return changeRecord(module.expert(), bag.get(), itemName, request);
}

} // namespace hwconfig
