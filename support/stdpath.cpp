#include "support/stdpath.h"

#include "support/error_report.h"
#include "support/status_codes.h"

#include <cstdint>
#include <new>

namespace stdpath {
namespace {

constexpr const char* kCompanyFolderSuffix = "\\Quorvel";

bool isHighSurrogate(std::uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(std::uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void appendUtf8(std::uint32_t codePoint, std::string& out) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// Every unit is converted, NULs included. A surrogate pair becomes one code point; a surrogate
// without its partner (possible in file names) is kept as its own three-byte sequence rather than
// swallowing the next character or reading past the buffer.
void appendUtf16AsUtf8(const std::basic_string<WCHAR>& wide, std::string& out) {
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const std::uint32_t unit = static_cast<std::uint16_t>(wide[i]);
        if (isHighSurrogate(unit) && i + 1 < wide.size() &&
            isLowSurrogate(static_cast<std::uint16_t>(wide[i + 1]))) {
            const std::uint32_t low = static_cast<std::uint16_t>(wide[++i]);
            appendUtf8(((unit - 0xD800) << 10) + (low - 0xDC00) + 0x10000, out);
        } else {
            appendUtf8(unit, out);
        }
    }
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Removes the NUL fill and a trailing backslash, so exactly one separator precedes the suffix.
void trim(std::string& text) {
    std::size_t end = text.size();
    while (end > 0 && (isBlank(text[end - 1]) || text[end - 1] == '\0' || text[end - 1] == '\\')) {
        --end;
    }
    std::size_t begin = 0;
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    text = text.substr(begin, end - begin);
}

void reportFolderNotFound(qverr::Status& status, HRESULT result, int line) {
    qverr::PayloadCursor cursor =
        qverr::reportError(status, nQVOSALS100::osalStatusResourceNotFound, "osalStatusResourceNotFound",
                           __FILE__, line, nQVOSALS100::kComponentName);
    qverr::addHResultError(cursor, result);
    cursor.beginObject("qvsysq_debug");
    cursor.addString("desc", "SHGetFolderPathW failed");
    cursor.endObject();
}

} // namespace

void getFolderPath(int csidl, std::basic_string<WCHAR>& widePath, qverr::Status& status) {
    if (status.code < 0) {
        return;
    }
    try {
        widePath.assign(MAX_PATH, WCHAR{0});
    } catch (const std::bad_alloc&) {
        qverr::reportError(status, nQVOSALS100::osalStatusMemoryFull, "qvosalerr_memoryFull", __FILE__,
                           __LINE__);
        return;
    }
    const HRESULT result = SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, &widePath[0]);
    if (result != S_OK) {
        // Whatever the shell left behind is not a path.
        widePath.assign(MAX_PATH, WCHAR{0});
        reportFolderNotFound(status, result, __LINE__);
    }
}

void getCompanyDataFolder(std::string& path, qverr::Status& status) {
    std::basic_string<WCHAR> widePath;
    getFolderPath(CSIDL_COMMON_APPDATA, widePath, status);
    path.clear();
    path.reserve(256);
    appendUtf16AsUtf8(widePath, path);
    trim(path);
    path += kCompanyFolderSuffix;
}

} // namespace stdpath
