#include "support/stdpath.h"

#include "support/errorReport.h"
#include "support/statusCodes.h"
#include "support/utf8.h"

#include <cstdint>
#include <new>

namespace stdpath {
namespace {

constexpr const char* kCompanyFolderSuffix = "\\Quorvel";

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
        qverr::reportNamedError(status, nQVOSALS100::osalStatusResourceNotFound, __FILE__, line);
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
    path.clear();
    path.reserve(256);
    // A lone surrogate (possible in folder names) keeps its own sequence, so the path names the
    // same folder.
    qvtext::appendUtf16AsUtf8(widePath.data(), widePath.size(), qvtext::LoneSurrogate::keep, path);
    trim(path);
    path += kCompanyFolderSuffix;
}

} // namespace stdpath
