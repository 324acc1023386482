#include "support/stdpath.h"

#include "support/ansiPath.h"
#include "support/errorReport.h"
#include "support/statusCodes.h"

#include <cstdint>
#include <new>
#include <optional>
#include <string>

namespace stdpath {
namespace {

constexpr const char* kCompanyFolderSuffix = "\\Quorvel";

bool isBlank(WCHAR c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// Removes a trailing backslash and blanks, so exactly one separator precedes the suffix.
void trim(std::basic_string<WCHAR>& text) {
    std::size_t end = text.size();
    while (end > 0 && (isBlank(text[end - 1]) || text[end - 1] == u'\\')) {
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
        qverr::reportNamedError(status, nQVOSALS100::osalStatusResourceNotFound, __FILE__, line);
    qverr::addHResultError(cursor, result);
    cursor.beginObject("qvsysq_debug");
    cursor.addString("desc", "SHGetFolderPathW failed");
    cursor.endObject();
}

// The A functions would name another folder, or none, for a character the ANSI code page lacks.
void reportFolderNotInCodePage(qverr::Status& status, int line) {
    qverr::PayloadCursor cursor =
        qverr::reportNamedError(status, nQVOSALS100::osalStatusResourceNotFound, __FILE__, line);
    cursor.beginObject("qvsysq_debug");
    cursor.addString("desc", "the common application-data folder has a character the ANSI code page lacks");
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
        qverr::reportNamedError(status, nQVOSALS100::osalStatusMemoryFull, __FILE__, __LINE__);
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
    path = kCompanyFolderSuffix;
    if (status.code < 0) {
        return;
    }
    // Trimmed while wide: in a double-byte code page a trailing byte 0x5C may be half a character.
    widePath.resize(std::char_traits<WCHAR>::length(widePath.c_str()));
    trim(widePath);
    std::optional<std::string> ansiPath = qvtext::ansiPathOf(widePath);
    if (!ansiPath) {
        reportFolderNotInCodePage(status, __LINE__);
        return;
    }
    path.insert(0, *ansiPath);
}

} // namespace stdpath
