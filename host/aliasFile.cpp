#include "host/aliasFile.h"

#include "host/aliaskeys/aliasKeys.h"
#include "host/utf8Text.h"
#include "support/unique_any.h"

#include <cstdio>

namespace hwconfig {
namespace {

// The content of an alias file that names no board yet.
constexpr const char* kEmptyAliasFile = R"({"devices": {}})";

// A missing file is to be made; one that is there but cannot be read is to be made readable.
std::string cannotOpen(const std::string& windowsPath) {
    if (GetFileAttributesA(windowsPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return "cannot open the alias file " + ansiToUtf8(windowsPath) +
               ": it is missing; create it holding " + kEmptyAliasFile;
    }
    return "cannot open the alias file " + ansiToUtf8(windowsPath) +
           ": it is there but cannot be read; give this user read and write access to it";
}

} // namespace

std::vector<AliasFileRecord> readAliasFile(std::string& windowsPath) {
    std::vector<aliaskeys::AliasFileRecord> stored;
    bool opened = false;
    const HRESULT result = aliaskeys::readAliasFile(windowsPath, stored, opened);
    if (FAILED(result)) {
        throw failedCall(
            opened ? "the alias file " + ansiToUtf8(windowsPath) +
                         " is not valid: it must hold one JSON object with a \"devices\" object, and "
                         "nothing after it"
                   : cannotOpen(windowsPath),
            result);
    }
    windowsPath = ansiToUtf8(windowsPath);
    std::vector<AliasFileRecord> records;
    for (const aliaskeys::AliasFileRecord& record : stored) {
        records.push_back({ansiToUtf8(record.key), ansiToUtf8(record.alias), record.simulated});
    }
    return records;
}

namespace {

// The alias file's path in the machine's ANSI code page, as the file functions take it.
std::string ansiAliasFilePath() {
    std::string windowsPath;
    std::vector<aliaskeys::AliasFileRecord> stored;
    bool opened = false;
    aliaskeys::readAliasFile(windowsPath, stored, opened);
    return windowsPath;
}

} // namespace

bool aliasFileHasByteOrderMark() {
    const qv::unique_file file(platformOpenFile(ansiAliasFilePath().c_str(), "rb"));
    unsigned char start[3] = {};
    return file && std::fread(start, 1, sizeof start, file.get()) == sizeof start && start[0] == 0xEF &&
           start[1] == 0xBB && start[2] == 0xBF;
}

std::string aliasFilePath() {
    return ansiToUtf8(ansiAliasFilePath());
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
