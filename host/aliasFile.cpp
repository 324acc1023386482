#include "host/aliasFile.h"

#include "com/hostBoundary.h"
#include "host/utf8Text.h"
#include "source/AliasStore.h"

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

AliasFileRecord recordOf(const cJSON* record) {
    AliasFileRecord result;
    result.key = ansiToUtf8(record->string != nullptr ? record->string : "");
    result.alias = ansiToUtf8(cJSONUtils::getString(cJSONUtils::getMember(record, "alias")));
    result.simulated = cJSON_IsTrue(cJSONUtils::findMember(record, "simulated")) != 0;
    return result;
}

} // namespace

std::vector<AliasFileRecord> readAliasFile(std::string& windowsPath) {
    std::vector<AliasFileRecord> records;
    bool openReturned = false;
    const HRESULT result = qvkelpsysapiexpert::runHostOperation([&](nQVOSALS100::tStatus& status) {
        windowsPath = ansiToUtf8(getAliasesFilePath());
        AliasStore store;
        const bool opened = store.openForRead(&status);
        openReturned = true;
        if (!opened) {
            return;
        }
        const cJSON* record = nullptr;
        cJSON_ArrayForEach(record, store.devices()) {
            records.push_back(recordOf(record));
        }
    });
    if (FAILED(result)) {
        const std::string& where = windowsPath;
        // The store reports a file it cannot open; what it throws is about the text it read.
        throw failedCall(openReturned ? "cannot open the alias file " + where +
                                           " (missing or unreadable); create it holding " + kEmptyAliasFile
                                      : "the alias file " + where + " is not valid: it must hold one JSON object with "
                                            "a \"devices\" object, and nothing after it",
                         result);
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

bool isValidAlias(const std::string& alias) {
    // The module's own rule, which throws the HRESULT as a value.
    try {
        validateAlias(toUtf16(alias).c_str());
        return true;
    } catch (HRESULT) {
        return false;
    }
}

} // namespace hwconfig
