#include "host/aliasFile.h"

#include "host/aliaskeys/aliasKeys.h"
#include "host/output.h"
#include "host/utf8Text.h"
#include "support/unique_any.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace hwconfig {
namespace {

// What a rewrite may add to the file: a new record and the journal's header.
constexpr std::uint64_t kRewriteMargin = 64 * 1024;

// What the folder shows of the alias file: nothing when it is missing.
std::optional<WIN32_FIND_DATAA> entryOf(const std::string& windowsPath) {
    WIN32_FIND_DATAA entry{};
    const qv::unique_hfind search(FindFirstFileA(windowsPath.c_str(), &entry));
    return search ? std::optional<WIN32_FIND_DATAA>(entry) : std::nullopt;
}

std::uint64_t sizeOf(const WIN32_FIND_DATAA& entry) {
    return (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

bool isRegularFile(const WIN32_FIND_DATAA& entry) {
    return (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// The alias file and its folder are made, and given their protection, by qvkelp-setup (run by the
// package): a missing file or one that is no file is the set-up's to make, and one this user may
// not read, the set-up's to check.
std::string cannotOpen(const std::string& windowsPath) {
    const std::optional<WIN32_FIND_DATAA> entry = entryOf(windowsPath);
    const std::string start = "cannot open the alias file " + ansiToUtf8(windowsPath);
    if (!entry) {
        return start + ": it is missing; an administrator makes it with qvkelp-setup (qvkelp-setup --check says what "
                       "is missing)";
    }
    if (!isRegularFile(*entry)) {
        return start + ": it is not a regular file (a folder, a pipe or a device); an administrator removes it and "
                       "runs qvkelp-setup";
    }
    return start + ": it is there but this user may not read it; qvkelp-setup --check says whether its protection is "
                   "the one the set-up gives, which lets the operators read and write it";
}

// A file the module opened but could not use: too large to be read, or not an alias document.
std::string notUsable(const std::string& windowsPath) {
    const std::optional<WIN32_FIND_DATAA> entry = entryOf(windowsPath);
    const std::string start = "the alias file " + ansiToUtf8(windowsPath);
    if (entry && sizeOf(*entry) > aliaskeys::maxAliasFileBytes()) {
        return start + " holds " + std::to_string(sizeOf(*entry)) + " bytes, more than the " +
               std::to_string(aliaskeys::maxAliasFileBytes()) + " an alias file may hold; it is not read";
    }
    return start + " is not valid: it must hold one JSON object with a \"devices\" object whose records "
                   "each hold a text \"alias\", no NUL byte, and nothing after it";
}

} // namespace

std::vector<AliasFileRecord> readAliasFile(std::string& windowsPath) {
    std::vector<aliaskeys::AliasFileRecord> stored;
    bool opened = false;
    std::string folderFault;
    const HRESULT result = aliaskeys::readAliasFile(windowsPath, stored, opened, folderFault);
    if (FAILED(result) && !folderFault.empty()) {
        throw failedCall("the alias file " + ansiToUtf8(windowsPath) + " is not used, since a folder above it is not safe: " +
                             ansiToUtf8(folderFault),
                         result);
    }
    if (FAILED(result)) {
        throw failedCall(opened ? notUsable(windowsPath) : cannotOpen(windowsPath), result);
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
    aliaskeys::aliasFilePath(windowsPath);
    return windowsPath;
}

// The whole file, whatever its size, as the module locks it.
constexpr DWORD kWholeFile = 0xFFFFFFFFu;
constexpr std::chrono::milliseconds kQuietWait{2000};
constexpr DWORD kRetryMilliseconds = 50;

} // namespace

bool aliasFileHasByteOrderMark() {
    const qv::unique_file file(platformOpenFile(ansiAliasFilePath().c_str(), "rb"));
    unsigned char start[3] = {};
    return file && std::fread(start, 1, sizeof start, file.get()) == sizeof start && start[0] == 0xEF &&
           start[1] == 0xBB && start[2] == 0xBF;
}

void waitForAliasFile(AliasFileUse use) {
    const std::string windowsPath = ansiAliasFilePath();
    // A pipe or a device is no alias file (the module says so), and opening one could block.
    const std::optional<WIN32_FIND_DATAA> entry = entryOf(windowsPath);
    if (!entry || !isRegularFile(*entry)) {
        return;
    }
    // Opened and locked as the module opens and locks it, through the C runtime's stream.
    const qv::unique_file stream(platformOpenFile(windowsPath.c_str(), "rb"));
    if (!stream) {
        return;
    }
    const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream.get())));
    const DWORD kind = (use == AliasFileUse::write ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY;
    const auto start = std::chrono::steady_clock::now();
    bool told = false;
    OVERLAPPED whole{};
    while (!LockFileEx(file, kind, 0, kWholeFile, kWholeFile, &whole)) {
        if (GetLastError() != ERROR_LOCK_VIOLATION) {
            return;
        }
        if (!told && std::chrono::steady_clock::now() - start >= kQuietWait) {
            printError("hwconfig: waiting for %s, which another program holds locked (Ctrl-C stops)\n",
                       printable(ansiToUtf8(windowsPath)).c_str());
            told = true;
        }
        Sleep(kRetryMilliseconds);
    }
    UnlockFileEx(file, 0, kWholeFile, kWholeFile, &whole);
}

std::string aliasFilePath() {
    return ansiToUtf8(ansiAliasFilePath());
}

std::string aliasFileSpaceNote() {
    const std::string windowsPath = ansiAliasFilePath();
    const std::optional<WIN32_FIND_DATAA> entry = entryOf(windowsPath);
    ULARGE_INTEGER available{};
    const std::string folder = windowsPath.substr(0, windowsPath.find_last_of('\\') + 1);
    if (!entry || !GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) {
        return {};
    }
    // A rewrite writes a journal of the old and the new text, then the new text over the old.
    const std::uint64_t needed = 2 * sizeOf(*entry) + kRewriteMargin;
    if (available.QuadPart >= needed) {
        return {};
    }
    return ": the disk that holds it is full (" + std::to_string(available.QuadPart) +
           " bytes free, a rename needs about " + std::to_string(needed) + "); make room on it";
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
