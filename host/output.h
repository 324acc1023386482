// How every command writes its result: tables as text, or one JSON document whose member names,
// numbers and ISO-8601 times follow docs/hwconfig.md. Writes are checked once, at the end
// (finishOutput), so that a full disk or a closed pipe fails the command instead of passing unseen.
#pragma once

#include "host/expertModule.h"
#include "host/jsonOutput.h"

#include <cjson/cJSON.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace hwconfig {

// Each adds one member (or array element) and returns it; running out of memory throws bad_alloc.
// Text that is not UTF-8 has each broken byte replaced by U+FFFD.
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

// Text from devices and files as the terminal may show it: control characters (a line break, an
// escape that would colour the terminal) are written as \n, \t, \r or \xHH, and C1 controls as
// \u0085, so that one cell stays one cell and one line one line.
std::string printable(const std::string& text);

// Text the user gave, as a message quotes it: in double quotes, and past 100 bytes cut with its
// length, so that a word of thousands of characters leaves the message one readable line.
std::string quoted(const std::string& text);
// A word of the command line as a message names it: as it is, or quoted() when it would not be
// seen as one word (empty, blank, holding a space) or is long.
std::string wordShown(const std::string& word);

// The one way hwconfig writes text (UTF-8) to standard output and standard error. On a console
// the text goes as wide characters (WriteConsoleW), which the console shows whatever its code page;
// to a pipe or a file it goes as UTF-8 bytes.
#if defined(__GNUC__) && defined(__MINGW32__)
#define HWCONFIG_PRINTF_LIKE __attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
#define HWCONFIG_PRINTF_LIKE __attribute__((format(printf, 1, 2)))
#else
#define HWCONFIG_PRINTF_LIKE
#endif
void writeOut(const std::string& text);
void writeError(const std::string& text);
void printOut(const char* format, ...) HWCONFIG_PRINTF_LIKE;
void printError(const char* format, ...) HWCONFIG_PRINTF_LIKE;

// A table of text columns, each as wide as its widest cell, two spaces apart; the last column is
// not padded. Every cell is shown printable().
class TextTable {
public:
    explicit TextTable(std::vector<std::string> headings);
    void addRow(std::vector<std::string> cells);
    void print() const;

private:
    std::vector<std::vector<std::string>> rows_;
};

// The one shape of a failure in JSON, used by every command for the whole answer and by list, tree
// and cal due for a board whose report failed: {"message", "hresult" (a number) and "name" or null,
// "moduleText" or null, "exitCode", "candidates"}.
cJSON* addJsonError(cJSON* parent, const char* name, const HostError& error);

// The boards whose report failed, for the lines below a table: one line on standard error per
// cause, with the list numbers of the boards it stopped (a missing alias file stops them all).
class FailedBoards {
public:
    void add(std::size_t number, const HostError& error);
    bool empty() const { return numbersByReason_.empty(); }
    void print() const;

private:
    std::map<std::string, std::string> numbersByReason_;
};

// Says what a command has changed (a board renamed, a calibration saved), so that output that then
// fails to be written does not leave the user believing nothing happened.
void noteChangeMade(const std::string& change);

// Flushes standard output; a failed or short write anywhere before throws HostError, whose message
// names the change made when there was one.
void finishOutput();

} // namespace hwconfig
