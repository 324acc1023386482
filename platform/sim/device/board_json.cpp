// The board state's JSON form, checked member by member like the rest of a description.
#include "platform/sim/device/board_json.h"

#include "abi/boardLibraries.h"
#include "platform/sim/device/json_members.h"

#include <cjson/cJSON.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>

namespace winsim {
namespace {

using JsonTree = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

// Integers that a JSON number carries exactly.
constexpr double kLargestExactInteger = 9007199254740992.0;

const char* const kDriverSuffixes[] = {
    boardlib::kSelfTestSuffix,
    boardlib::kReadTemperatureSuffix,
    boardlib::kReadSelfCalTimeSuffix,
    boardlib::kReadSelfCalTemperatureSuffix,
    boardlib::kReadExternalCalVerificationTimeSuffix,
    boardlib::kReadExternalCalIntervalSuffix,
    boardlib::kWriteExternalCalVerificationTimeSuffix,
    boardlib::kWriteExternalCalIntervalSuffix,
    boardlib::kChangeExternalCalPasswordSuffix,
};

std::int32_t codeOf(const cJSON* item, const std::string& member) {
    return static_cast<std::int32_t>(integerOf(item, member, -2147483648.0, 2147483647.0));
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// "2026-03-01T08:30:00Z": UTC to the second.
std::int64_t secondsOfIsoText(const std::string& text, const std::string& member) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, consumed = 0;
    const bool parsed = text.size() == 20 &&
                        std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%n", &year, &month, &day, &hour,
                                    &minute, &second, &consumed) == 6 &&
                        consumed == 20;
    static const int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool valid = parsed && month >= 1 && month <= 12 && day >= 1 &&
                       day <= kDaysInMonth[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0) &&
                       hour < 24 && minute < 60 && second < 60;
    if (!valid) {
        refuse(member, "\"" + text + "\" is not a UTC time of the form 2026-03-01T08:30:00Z");
    }
    const std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return (days * 24 + hour) * 3600 + minute * 60 + second + boardlib::kSecondsFrom1904To1970;
}

// A number up to 2^53, or decimal text for the whole unsigned 64-bit range.
std::uint64_t fractionOf(const cJSON* item, const std::string& member) {
    if (!cJSON_IsString(item)) {
        return static_cast<std::uint64_t>(integerOf(item, member, 0, kLargestExactInteger));
    }
    const std::string text = item->valuestring;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || errno == ERANGE) {
        refuse(member, "\"" + text + "\" is not a decimal number from 0 to 18446744073709551615");
    }
    return value;
}

sim::BoardTime timeOf(const cJSON* item, const std::string& member) {
    if (cJSON_IsString(item)) {
        return {secondsOfIsoText(item->valuestring, member), 0};
    }
    sim::BoardTime time;
    bool hasSeconds = false;
    forEachMember(item, member, [&](const cJSON* field, const std::string& name) {
        const std::string key = field->string;
        if (key == "seconds") {
            time.seconds = static_cast<std::int64_t>(integerOf(field, name, -kLargestExactInteger, kLargestExactInteger));
            hasSeconds = true;
        } else if (key == "fraction") {
            time.fraction = fractionOf(field, name);
        } else {
            refuseUnknown(name);
        }
    });
    if (!hasSeconds) {
        refuse(child(member, "seconds"), "missing");
    }
    return time;
}

std::string passwordOf(const cJSON* item, const std::string& member) {
    std::string password = textOf(item, member);
    if (password.size() > sim::BoardState::kMaxPasswordLength) {
        refuse(member, "a password has at most " + std::to_string(sim::BoardState::kMaxPasswordLength) + " bytes");
    }
    return password;
}

void readSelfCal(const cJSON* object, const std::string& member, sim::BoardState& state) {
    forEachMember(object, member, [&](const cJSON* item, const std::string& name) {
        const std::string key = item->string;
        if (key == "time") {
            state.selfCalTime = timeOf(item, name);
        } else if (key == "temperature") {
            state.selfCalTemperature = numberOf(item, name);
        } else {
            refuseUnknown(name);
        }
    });
}

void readExternalCal(const cJSON* object, const std::string& member, sim::BoardState& state) {
    forEachMember(object, member, [&](const cJSON* item, const std::string& name) {
        const std::string key = item->string;
        if (key == "time") {
            state.externalCalTime = timeOf(item, name);
        } else if (key == "intervalDays") {
            state.externalCalIntervalDays = codeOf(item, name);
        } else if (key == "password") {
            state.externalCalPassword = passwordOf(item, name);
        } else {
            refuseUnknown(name);
        }
    });
}

sim::BoardFailure failureOf(const cJSON* item, const std::string& member, const std::string& suffix) {
    if (cJSON_IsNumber(item)) {
        return {codeOf(item, member), std::nullopt};
    }
    sim::BoardFailure failure;
    bool hasCode = false;
    forEachMember(item, member, [&](const cJSON* field, const std::string& name) {
        const std::string key = field->string;
        if (key == "code") {
            failure.code = codeOf(field, name);
            hasCode = true;
        } else if (key == "sensor" && suffix == boardlib::kReadTemperatureSuffix) {
            failure.sensor = static_cast<std::int32_t>(integerOf(field, name, 0, sim::BoardState::kSensorCount - 1));
        } else {
            refuseUnknown(name);
        }
    });
    if (!hasCode) {
        refuse(child(member, "code"), "missing");
    }
    return failure;
}

void readFailures(const cJSON* object, const std::string& member, sim::BoardState& state) {
    forEachMember(object, member, [&](const cJSON* item, const std::string& name) {
        const std::string suffix = item->string;
        for (const char* known : kDriverSuffixes) {
            if (suffix == known) {
                state.fail[suffix] = failureOf(item, name, suffix);
                return;
            }
        }
        refuse(name, "names no board driver function (\"_readTemperature\", \"_selfTest\", ...)");
    });
}

void readTemperatures(const cJSON* array, const std::string& member, sim::BoardState& state) {
    forEachElement(array, member, [&](const cJSON* item, const std::string& name) {
        if (state.temperatures.size() == sim::BoardState::kSensorCount) {
            refuse(name, "a board has " + std::to_string(sim::BoardState::kSensorCount) + " sensors");
        }
        state.temperatures.push_back(numberOf(item, name));
    });
}

void readReset(const cJSON* object, const std::string& member, sim::BoardState& state) {
    forEachMember(object, member, [&](const cJSON* item, const std::string& name) {
        if (std::string(item->string) != "initiateDeviceReset") {
            refuseUnknown(name);
        }
        state.reset = codeOf(item, name);
    });
}

JsonTree parseObject(const std::string& text, const std::string& member) {
    JsonTree root(cJSON_ParseWithLength(text.c_str(), text.size()), &cJSON_Delete);
    if (!root) {
        refuse(member, "not valid JSON");
    }
    return root;
}

cJSON* addObject(cJSON* parent, const char* name) {
    cJSON* object = cJSON_AddObjectToObject(parent, name);
    if (object == nullptr) {
        throw std::bad_alloc();
    }
    return object;
}

void addNumber(cJSON* object, const char* name, double value) {
    if (cJSON_AddNumberToObject(object, name, value) == nullptr) {
        throw std::bad_alloc();
    }
}

void addTime(cJSON* object, const char* name, const sim::BoardTime& time) {
    cJSON* written = addObject(object, name);
    addNumber(written, "seconds", static_cast<double>(time.seconds));
    if (static_cast<double>(time.fraction) <= kLargestExactInteger) {
        addNumber(written, "fraction", static_cast<double>(time.fraction));
    } else if (cJSON_AddStringToObject(written, "fraction", std::to_string(time.fraction).c_str()) == nullptr) {
        throw std::bad_alloc();
    }
}

// Replaces the written records of `state` by those present in `written`.
void layOver(sim::BoardState& state, const cJSON* written, const std::string& member) {
    const sim::BoardState records = boardStateOf(written, member);
    auto replace = [](auto& field, const auto& from) {
        if (from) {
            field = from;
        }
    };
    replace(state.selfCalTime, records.selfCalTime);
    replace(state.selfCalTemperature, records.selfCalTemperature);
    replace(state.externalCalTime, records.externalCalTime);
    replace(state.externalCalIntervalDays, records.externalCalIntervalDays);
    replace(state.externalCalPassword, records.externalCalPassword);
}

// The records the libraries write ("selfCal", "externalCal"), as members of `root`.
void addWrittenRecords(cJSON* root, const sim::BoardState& state) {
    cJSON* selfCal = addObject(root, "selfCal");
    if (state.selfCalTime) {
        addTime(selfCal, "time", *state.selfCalTime);
    }
    if (state.selfCalTemperature) {
        addNumber(selfCal, "temperature", *state.selfCalTemperature);
    }
    cJSON* externalCal = addObject(root, "externalCal");
    if (state.externalCalTime) {
        addTime(externalCal, "time", *state.externalCalTime);
    }
    if (state.externalCalIntervalDays) {
        addNumber(externalCal, "intervalDays", *state.externalCalIntervalDays);
    }
    if (state.externalCalPassword &&
        cJSON_AddStringToObject(externalCal, "password", state.externalCalPassword->c_str()) == nullptr) {
        throw std::bad_alloc();
    }
}

JsonTree parseDocument(const std::string& document) {
    JsonTree root(document.empty() ? cJSON_CreateObject() : parseObject(document, "(top level)").release(),
                  &cJSON_Delete);
    if (!root) {
        throw std::bad_alloc();
    }
    if (!cJSON_IsObject(root.get())) {
        refuse("(top level)", "expected an object");
    }
    return root;
}

} // namespace

sim::BoardState boardStateOf(const cJSON* object, const std::string& member) {
    sim::BoardState state;
    forEachMember(object, member, [&](const cJSON* item, const std::string& name) {
        const std::string key = item->string;
        if (key == "selfCal") {
            readSelfCal(item, name, state);
        } else if (key == "externalCal") {
            readExternalCal(item, name, state);
        } else if (key == "temperatures") {
            readTemperatures(item, name, state);
        } else if (key == "selfTest") {
            state.selfTest = codeOf(item, name);
        } else if (key == "selfCalibration") {
            state.selfCalibration = codeOf(item, name);
        } else if (key == "reset") {
            readReset(item, name, state);
        } else if (key == "fail") {
            readFailures(item, name, state);
        } else {
            refuseUnknown(name);
        }
    });
    return state;
}

std::string boardTextOf(const cJSON* tree) {
    const std::unique_ptr<char, decltype(&cJSON_free)> printed(cJSON_PrintUnformatted(tree), &cJSON_free);
    if (!printed) {
        throw std::bad_alloc();
    }
    return printed.get();
}

sim::BoardState parseBoardState(const std::string& text, const std::string& member) {
    return boardStateOf(parseObject(text, member).get(), member);
}

// Records are found by instance ID without regard to case, as Windows compares IDs: a record kept
// under another spelling of the ID is the same board's.
void layOverWrites(sim::BoardState& state, const std::string& document, const std::string& deviceId) {
    const JsonTree root = parseDocument(document);
    if (const cJSON* written = cJSON_GetObjectItem(root.get(), deviceId.c_str())) {
        layOver(state, written, deviceId);
    }
}

std::string withWrites(const std::string& document, const std::string& deviceId, const sim::BoardState& state) {
    const JsonTree root = parseDocument(document);
    while (cJSON_GetObjectItem(root.get(), deviceId.c_str()) != nullptr) {
        cJSON_DeleteItemFromObject(root.get(), deviceId.c_str());
    }
    addWrittenRecords(addObject(root.get(), deviceId.c_str()), state);
    const std::unique_ptr<char, decltype(&cJSON_free)> printed(cJSON_Print(root.get()), &cJSON_free);
    if (!printed) {
        throw std::bad_alloc();
    }
    return std::string(printed.get()) + "\n";
}

} // namespace winsim

namespace sim {

std::optional<std::int32_t> BoardState::failureOf(const std::string& suffix,
                                                       std::optional<std::int32_t> sensor) const {
    const auto found = fail.find(suffix);
    if (found == fail.end() || (found->second.sensor && found->second.sensor != sensor)) {
        return std::nullopt;
    }
    return found->second.code;
}

} // namespace sim
