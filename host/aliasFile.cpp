#include "host/aliasFile.h"

#include "host/aliaskeys/aliasKeys.h"
#include "host/utf8Text.h"

#include <algorithm>

namespace hwconfig {
namespace {

// The content of an alias file that names no board yet.
constexpr const char* kEmptyAliasFile = R"({"devices": {}})";

// Each byte becomes one character of the machine's ANSI code page, as the module widens alias text.
std::string ansiToUtf8(const std::string& bytes) {
    if (bytes.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::basic_string<WCHAR> wide(static_cast<std::size_t>(std::max(length, 0)), WCHAR{});
    if (length <= 0 ||
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), length) != length) {
        return toUtf8(toUtf16(bytes).c_str());
    }
    return toUtf8(wide.c_str());
}

} // namespace

std::vector<AliasFileRecord> readAliasFile(std::string& windowsPath) {
    std::vector<aliaskeys::AliasFileRecord> stored;
    bool opened = false;
    const HRESULT result = aliaskeys::readAliasFile(windowsPath, stored, opened);
    windowsPath = ansiToUtf8(windowsPath);
    if (FAILED(result)) {
        throw failedCall(opened ? "the alias file " + windowsPath +
                                      " is not valid: it must hold one JSON object with a \"devices\" object, and "
                                      "nothing after it"
                                : "cannot open the alias file " + windowsPath +
                                      " (missing or unreadable); create it holding " + kEmptyAliasFile,
                         result);
    }
    std::vector<AliasFileRecord> records;
    for (const aliaskeys::AliasFileRecord& record : stored) {
        records.push_back({ansiToUtf8(record.key), ansiToUtf8(record.alias), record.simulated});
    }
    return records;
}

const std::optional<HostError>& aliasFileProblem() {
    static const std::optional<HostError> problem = []() -> std::optional<HostError> {
        try {
            std::string windowsPath;
            readAliasFile(windowsPath);
            return std::nullopt;
        } catch (const HostError& error) {
            return error;
        }
    }();
    return problem;
}


} // namespace hwconfig
