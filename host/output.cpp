#include "host/output.h"

#include "host/expertModule.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace hwconfig {
namespace {

cJSON* added(cJSON* item) {
    if (item == nullptr) {
        throw std::bad_alloc();
    }
    return item;
}

// From 1904-01-01 to 1970-01-01: 66 years, 17 of them leap years.
constexpr std::int64_t kSeconds1904To1970 = 2082844800;

std::string formatUtc(std::int64_t seconds, const char* format) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &time);
#else
    gmtime_r(&time, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

} // namespace

cJSON* addJsonObject(cJSON* parent, const char* name) {
    return added(cJSON_AddObjectToObject(parent, name));
}

cJSON* addJsonArray(cJSON* parent, const char* name) {
    return added(cJSON_AddArrayToObject(parent, name));
}

cJSON* appendJsonObject(cJSON* array) {
    cJSON* object = added(cJSON_CreateObject());
    if (!cJSON_AddItemToArray(array, object)) {
        cJSON_Delete(object);
        throw std::bad_alloc();
    }
    return object;
}

void addJsonString(cJSON* object, const char* name, const std::string& value) {
    added(cJSON_AddStringToObject(object, name, value.c_str()));
}

void addJsonNumber(cJSON* object, const char* name, double value) {
    added(cJSON_AddNumberToObject(object, name, value));
}

void addJsonBool(cJSON* object, const char* name, bool value) {
    added(cJSON_AddBoolToObject(object, name, value ? 1 : 0));
}

void addJsonNull(cJSON* object, const char* name) {
    added(cJSON_AddNullToObject(object, name));
}

void addJsonOptionalString(cJSON* object, const char* name, const std::string& value) {
    if (value.empty()) {
        addJsonNull(object, name);
    } else {
        addJsonString(object, name, value);
    }
}

TextTable::TextTable(std::vector<std::string> headings) {
    rows_.push_back(std::move(headings));
}

void TextTable::addRow(std::vector<std::string> cells) {
    cells.resize(rows_.front().size());
    rows_.push_back(std::move(cells));
}

void TextTable::print() const {
    std::vector<std::size_t> widths(rows_.front().size(), 0);
    for (const auto& row : rows_) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    for (const auto& row : rows_) {
        std::string line;
        for (std::size_t column = 0; column + 1 < row.size(); ++column) {
            line += row[column] + std::string(widths[column] - row[column].size() + 2, ' ');
        }
        line += row.back();
        std::printf("%s\n", line.c_str());
    }
}

bool unixSeconds(const hwSysAttrTimestampUTC& stamp, std::int64_t& seconds) {
    if (stamp.seconds == 0 && stamp.fraction == 0) {
        return false;
    }
    seconds = stamp.seconds - kSeconds1904To1970;
    return true;
}

std::string isoTime(std::int64_t seconds) {
    return formatUtc(seconds, "%Y-%m-%dT%H:%M:%SZ");
}

std::string isoDate(std::int64_t seconds) {
    return formatUtc(seconds, "%Y-%m-%d");
}

std::optional<std::int64_t> parseIsoTime(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char zone = 0, rest = 0;
    const bool dateOnly = std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &rest) == 3;
    const bool dateAndTime = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%c", &year, &month, &day, &hour,
                                         &minute, &second, &zone, &rest) == 7 &&
                             zone == 'Z';
    if ((!dateOnly && !dateAndTime) || year < 1970 || month < 1 || month > 12 || day < 1 || hour > 23 ||
        minute > 59 || second > 59) {
        return std::nullopt;
    }
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
#ifdef _WIN32
    const std::time_t seconds = _mkgmtime(&parts);
#else
    const std::time_t seconds = timegm(&parts);
#endif
    // The conversion carries 2026-02-30 over into March; such a date was not meant.
    if (seconds == static_cast<std::time_t>(-1) || parts.tm_mday != day) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(seconds);
}

void finishOutput() {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (!flushed || std::ferror(stdout) != 0) {
        const int error = errno;
        throw HostError(std::string("writing the output failed: ") +
                        (error != 0 ? std::strerror(error) : "write error"));
    }
}

} // namespace hwconfig
