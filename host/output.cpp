#include "host/output.h"

#include "host/errorNames.h"
#include "host/utf8Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdint>
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

// What the command changed, for the message of an output that fails afterwards.
std::string changeMade;

// A standard stream and whether it is a console, asked once: the answer does not change while
// hwconfig runs.
class StandardStream {
public:
    StandardStream(FILE* file, DWORD handleName) : file_(file), handle_(GetStdHandle(handleName)) {
        DWORD mode = 0;
        console_ = GetConsoleMode(handle_, &mode) != 0;
    }

    void write(const std::string& text) {
        if (!console_) {
            std::fwrite(text.data(), 1, text.size(), file_);
            return;
        }
        // A console takes a limited count of characters a call; a stretch holds whole characters
        // only when it does not end between the two halves of a surrogate pair.
        constexpr std::size_t kStretch = 8192;
        const std::basic_string<WCHAR> wide = toUtf16(text);
        for (std::size_t start = 0; start < wide.size() && !failed_;) {
            std::size_t count = std::min(kStretch, wide.size() - start);
            if (start + count < wide.size() && wide[start + count - 1] >= 0xD800 && wide[start + count - 1] <= 0xDBFF) {
                --count;
            }
            DWORD written = 0;
            failed_ = !WriteConsoleW(handle_, wide.data() + start, static_cast<DWORD>(count), &written, nullptr) ||
                      written != count;
            start += count;
        }
    }

    // Whether any write failed: a console's are told here, a file's by its stream's error flag.
    bool failed() const { return console_ ? failed_ : std::ferror(file_) != 0; }

private:
    FILE* file_;
    HANDLE handle_;
    bool console_ = false;
    bool failed_ = false;
};

StandardStream& standardOutput() {
    static StandardStream stream(stdout, STD_OUTPUT_HANDLE);
    return stream;
}

StandardStream& standardError() {
    static StandardStream stream(stderr, STD_ERROR_HANDLE);
    return stream;
}

std::string formatted(const char* format, va_list arguments) {
    va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length <= 0) {
        return "";
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, arguments);
    text.pop_back();
    return text;
}

} // namespace

void writeOut(const std::string& text) {
    standardOutput().write(text);
}

void writeError(const std::string& text) {
    standardError().write(text);
}

void printOut(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string text = formatted(format, arguments);
    va_end(arguments);
    writeOut(text);
}

void printError(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string text = formatted(format, arguments);
    va_end(arguments);
    writeError(text);
}

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
    // Whatever bytes reached the text (a name typed on the command line), the document stays UTF-8.
    added(cJSON_AddStringToObject(object, name, toUtf8(toUtf16(value).c_str()).c_str()));
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

std::string quoted(const std::string& text) {
    constexpr std::size_t kLongest = 100;
    if (text.size() <= kLongest) {
        return "\"" + text + "\"";
    }
    return "\"" + text.substr(0, kLongest) + "...\" (" + std::to_string(text.size()) + " bytes)";
}

std::string wordShown(const std::string& word) {
    constexpr std::size_t kLongest = 100;
    const bool plain = !word.empty() && word.size() <= kLongest &&
                       std::none_of(word.begin(), word.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
    return plain ? word : quoted(word);
}

std::string printable(const std::string& text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        char escaped[8] = "";
        if (byte == '\n' || byte == '\t' || byte == '\r') {
            std::snprintf(escaped, sizeof escaped, "\\%c", byte == '\n' ? 'n' : byte == '\t' ? 't' : 'r');
        } else if (byte < 0x20 || byte == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04X", next);
            ++i;
        } else {
            shown += text[i];
            continue;
        }
        shown += escaped;
    }
    return shown;
}

cJSON* addJsonError(cJSON* parent, const char* name, const HostError& error) {
    cJSON* object = addJsonObject(parent, name);
    addJsonString(object, "message", error.what());
    if (error.result()) {
        addJsonNumber(object, "hresult", static_cast<double>(static_cast<std::uint32_t>(*error.result())));
        addJsonOptionalString(object, "name", hresultName(*error.result()));
    } else {
        addJsonNull(object, "hresult");
        addJsonNull(object, "name");
    }
    addJsonOptionalString(object, "moduleText", error.moduleText());
    addJsonNumber(object, "exitCode", error.exitCode());
    cJSON* candidates = addJsonArray(object, "candidates");
    for (const BoardCandidate& candidate : error.candidates()) {
        cJSON* entry = appendJsonObject(candidates);
        addJsonNumber(entry, "number", static_cast<double>(candidate.number));
        addJsonString(entry, "itemName", candidate.itemName);
        addJsonOptionalString(entry, "alias", candidate.alias);
        addJsonString(entry, "matchedBy", candidate.matchedBy);
    }
    return object;
}

void FailedBoards::add(std::size_t number, const HostError& error) {
    std::string& numbers = numbersByReason_[error.what()];
    numbers += (numbers.empty() ? "" : ",") + std::to_string(number);
}

void FailedBoards::print() const {
    for (const auto& [reason, numbers] : numbersByReason_) {
        printError("hwconfig: board %s: %s\n", numbers.c_str(), printable(reason).c_str());
    }
}

void noteChangeMade(const std::string& change) {
    changeMade = change;
}

TextTable::TextTable(std::vector<std::string> headings) {
    rows_.push_back(std::move(headings));
}

void TextTable::addRow(std::vector<std::string> cells) {
    cells.resize(rows_.front().size());
    for (std::string& cell : cells) {
        cell = printable(cell);
    }
    rows_.push_back(std::move(cells));
}

namespace {

// The characters of a UTF-8 cell, so that "é" takes one column as it does on the terminal (a
// character a terminal shows double width, as East Asian ones, still counts one).
std::size_t characterCount(const std::string& cell) {
    return static_cast<std::size_t>(std::count_if(cell.begin(), cell.end(), [](char byte) {
        return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    }));
}

} // namespace

void TextTable::print() const {
    std::vector<std::size_t> widths(rows_.front().size(), 0);
    for (const auto& row : rows_) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], characterCount(row[column]));
        }
    }
    for (const auto& row : rows_) {
        std::string line;
        for (std::size_t column = 0; column + 1 < row.size(); ++column) {
            line += row[column] + std::string(widths[column] - characterCount(row[column]) + 2, ' ');
        }
        line += row.back();
        printOut("%s\n", line.c_str());
    }
}

void finishOutput() {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (!flushed || standardOutput().failed()) {
        const int error = errno;
        const std::string done = changeMade.empty() ? "" : " (" + changeMade + " all the same)";
        throw HostError(std::string("writing the output failed") + done + ": " +
                        (error != 0 ? std::strerror(error) : "write error"));
    }
}

} // namespace hwconfig
