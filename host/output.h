// How every command writes its result: tables as text, or one JSON document whose member names,
// numbers and ISO-8601 times follow docs/hwconfig.md. Writes are checked once, at the end
// (finishOutput), so that a full disk or a closed pipe fails the command instead of passing unseen.
#pragma once

#include "host/jsonOutput.h"
#include "hwsys/hwsys_types.h"

#include <cjson/cJSON.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace hwconfig {

// Each adds one member (or array element) and returns it; running out of memory throws bad_alloc.
// The document itself comes from host/jsonOutput.h.
cJSON* addJsonObject(cJSON* parent, const char* name);
cJSON* addJsonArray(cJSON* parent, const char* name);
cJSON* appendJsonObject(cJSON* array);
void addJsonString(cJSON* object, const char* name, const std::string& value);
void addJsonNumber(cJSON* object, const char* name, double value);
void addJsonBool(cJSON* object, const char* name, bool value);
void addJsonNull(cJSON* object, const char* name);
// The string, or null when the text is empty.
void addJsonOptionalString(cJSON* object, const char* name, const std::string& value);

// A table of text columns, each as wide as its widest cell, two spaces apart; the last column is
// not padded.
class TextTable {
public:
    explicit TextTable(std::vector<std::string> headings);
    void addRow(std::vector<std::string> cells);
    void print() const;

private:
    std::vector<std::vector<std::string>> rows_;
};

// Seconds since 1970 of a host time stamp (which counts from 1904); nothing for "no time".
bool unixSeconds(const hwSysAttrTimestampUTC& stamp, std::int64_t& seconds);
// "2026-03-18T00:00:00Z"
std::string isoTime(std::int64_t unixSeconds);
// "2026-03-18"
std::string isoDate(std::int64_t unixSeconds);
// Seconds since 1970 of "2026-03-18" (midnight UTC) or "2026-03-18T07:42:10Z"; empty for other text.
std::optional<std::int64_t> parseIsoTime(const std::string& text);

// Flushes standard output; a failed or short write anywhere before throws HostError.
void finishOutput();

} // namespace hwconfig
