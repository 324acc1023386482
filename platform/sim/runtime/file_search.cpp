// Finding files by name (FindFirstFileA, FindNextFileA, FindClose) in a folder of the host. The
// folder is read once, when the search starts: later changes to it are not seen, as Windows
// promises nothing about them either. Names match as on NTFS, without regard to ASCII letter case.
#include "platform/sim/machine_access.h"
#include "platform/sim/runtime/drive_path.h"
#include "platform/sim/runtime/file_attributes.h"
#include "platform/sim/runtime/kernel_objects.h"
#include "platform/sim/runtime/win32_files.h"
#include "platform/sim/text_rules.h"
#include "platform/sim/win32_error.h"
#include "platform/sim/windows_choices.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <utility>
#include <vector>

namespace winsim {
namespace {

// The names a search found and the next one to hand out.
class FileSearch final : public KernelObject {
public:
    explicit FileSearch(std::vector<WIN32_FIND_DATAA> found) : found_(std::move(found)) {}

    // The next entry, or null when every one has been handed out.
    const WIN32_FIND_DATAA* next() { return next_ < found_.size() ? &found_[next_++] : nullptr; }

private:
    std::vector<WIN32_FIND_DATAA> found_;
    std::size_t next_ = 0;
};

template <typename Result> Result fail(DWORD error, Result result) {
    SetLastError(error);
    return result;
}

// "*" stands for any run of characters and "?" for any one; the other wildcards of Windows (the
// DOS forms "<", ">" and '"') are not simulated.
bool matches(const char* pattern, const char* name) {
    if (*pattern == '\0') {
        return *name == '\0';
    }
    if (*pattern == '*') {
        for (const char* rest = name;; ++rest) {
            if (matches(pattern + 1, rest)) {
                return true;
            }
            if (*rest == '\0') {
                return false;
            }
        }
    }
    return *name != '\0' && (*pattern == '?' || toLowerAscii(std::string_view(pattern, 1)) ==
                                                    toLowerAscii(std::string_view(name, 1))) &&
           matches(pattern + 1, name + 1);
}

// The entry as FindFirstFileA reports it: a symbolic link is reported itself, as a reparse point.
// Looked up relative to the open folder, as a directory listing hands its entries' data out
// without walking the path again for each.
std::optional<WIN32_FIND_DATAA> entryOf(int folder, const char* name) {
    struct stat status {};
    if (std::strlen(name) >= MAX_PATH || ::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return std::nullopt;
    }
    WIN32_FIND_DATAA entry{};
    entry.dwFileAttributes = attributesOf(status);
    entry.ftCreationTime = fileTimeOf(status.st_ctim);
    entry.ftLastAccessTime = fileTimeOf(status.st_atim);
    entry.ftLastWriteTime = fileTimeOf(status.st_mtim);
    const auto size = static_cast<std::uint64_t>(status.st_size);
    entry.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    entry.nFileSizeLow = static_cast<DWORD>(size);
    std::strcpy(entry.cFileName, name);
    return entry;
}

// Every entry of `folder` whose name matches `pattern`; null with the last error set when the
// folder cannot be read.
std::optional<std::vector<WIN32_FIND_DATAA>> findIn(const std::string& folder, const char* pattern) {
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), ::closedir);
    if (!listing) {
        return fail(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED,
                    std::nullopt);
    }
    std::vector<WIN32_FIND_DATAA> found;
    while (const dirent* entry = ::readdir(listing.get())) {
        if (matches(pattern, entry->d_name)) {
            if (std::optional<WIN32_FIND_DATAA> data = entryOf(::dirfd(listing.get()), entry->d_name)) {
                found.push_back(*data);
            }
        }
    }
    return found;
}

// The host folder of the path's folder part; the whole of a drive path is mapped, so that a drive
// letter alone reaches its folder.
std::optional<std::string> hostFolderOf(const std::string& folder) {
    if (!isWindowsDrivePath(folder)) {
        return folder.empty() ? std::string(".") : folder;
    }
    return hostPathOfAnsiDrivePath(folder, *currentMachineFacts());
}

} // namespace
} // namespace winsim

WINSIM_API HANDLE WINAPI FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
    if (fileName == nullptr || findData == nullptr) {
        return winsim::fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault("FindFirstFileA", fileName, &injected)) {
        return winsim::fail(injected, INVALID_HANDLE_VALUE);
    }
    const std::string path = fileName;
    const std::size_t split = path.find_last_of("\\/");
    const std::string pattern = split == std::string::npos ? path : path.substr(split + 1);
    const std::optional<std::string> folder =
        winsim::hostFolderOf(split == std::string::npos ? std::string() : path.substr(0, split));
    if (!folder || pattern.empty()) {
        return winsim::fail(folder ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    std::optional<std::vector<WIN32_FIND_DATAA>> found = winsim::findIn(*folder, pattern.c_str());
    if (!found) {
        return INVALID_HANDLE_VALUE;
    }
    if (found->empty()) {
        return winsim::fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    auto search = std::make_shared<winsim::FileSearch>(std::move(*found));
    *findData = *search->next();
    return winsim::insertHandle(search);
}

WINSIM_API BOOL WINAPI FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findData) {
    const auto search = winsim::lookupHandleOf<winsim::FileSearch>(findFile);
    if (!search) {
        return winsim::fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (findData == nullptr) {
        return winsim::fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    const WIN32_FIND_DATAA* next = search->next();
    if (next == nullptr) {
        return winsim::fail(ERROR_NO_MORE_FILES, FALSE);
    }
    *findData = *next;
    return TRUE;
}

WINSIM_API BOOL WINAPI FindClose(HANDLE findFile) {
    if (!winsim::lookupHandleOf<winsim::FileSearch>(findFile) || !winsim::closeHandle(findFile)) {
        return winsim::fail(ERROR_INVALID_HANDLE, FALSE);
    }
    return TRUE;
}

WINSIM_API BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                                           PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes) {
    DWORD injected = 0;
    if (winsim::takeInjectedFault("GetDiskFreeSpaceExA", directoryName != nullptr ? directoryName : "", &injected)) {
        return winsim::fail(injected, FALSE);
    }
    // A null name is the current folder's volume.
    const std::optional<std::string> folder = winsim::hostFolderOf(directoryName != nullptr ? directoryName : "");
    struct statvfs volume {};
    if (!folder || ::statvfs(folder->c_str(), &volume) != 0) {
        return winsim::fail(folder && errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND, FALSE);
    }
    const auto blocks = [&volume](unsigned long long count) { return count * volume.f_frsize; };
    for (const auto& [out, value] : {std::pair{freeBytesAvailableToCaller, blocks(volume.f_bavail)},
                                     std::pair{totalNumberOfBytes, blocks(volume.f_blocks)},
                                     std::pair{totalNumberOfFreeBytes, blocks(volume.f_bfree)}}) {
        if (out != nullptr) {
            out->QuadPart = value;
        }
    }
    return TRUE;
}
