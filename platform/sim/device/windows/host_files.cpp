// The device side's files on Windows: the same protocol as on Linux, with LockFileEx on the lock
// file and MoveFileExA for the atomic replacement.
#include "platform/sim/device/host_files.h"

#include "platform/sim/win32_types.h"

#include <stdexcept>

namespace winsim {
namespace {

[[noreturn]] void failOnFile(const std::string& path, const char* what) {
    throw std::runtime_error("qvwinsim: state file " + path + ": " + what + ": Win32 error " +
                             std::to_string(GetLastError()));
}

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    HANDLE get() const { return handle_; }
    HANDLE release() {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }

private:
    HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE openFile(const std::string& path, DWORD access, DWORD disposition) {
    return CreateFileA(path.c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

std::string readWholeFile(const std::string& path) {
    const FileHandle file(openFile(path, GENERIC_READ, OPEN_EXISTING));
    if (file.get() == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            return {};
        }
        failOnFile(path, "cannot be opened");
    }
    std::string text;
    char chunk[4096];
    DWORD count = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &count, nullptr)) {
        if (count == 0) {
            return text;
        }
        text.append(chunk, count);
    }
    failOnFile(path, "cannot be read");
}

// Called under the state file's lock, so one temporary name serves every process: a writer killed
// before its move leaves a file that the next writer overwrites and moves away.
void replaceFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    bool written = false;
    {
        const FileHandle file(openFile(temporary, GENERIC_WRITE, CREATE_ALWAYS));
        if (file.get() == INVALID_HANDLE_VALUE) {
            failOnFile(temporary, "cannot be created");
        }
        DWORD count = 0;
        written = WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &count, nullptr) &&
                  count == text.size() && FlushFileBuffers(file.get());
    }
    if (!written || !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileA(temporary.c_str());
        SetLastError(error);
        failOnFile(written ? path : temporary, written ? "cannot be replaced" : "cannot be written");
    }
}

// FILE_APPEND_DATA alone places every write at the end of the file, whichever process wrote before.
void appendToFile(const std::string& path, const std::string& line) {
    const FileHandle file(openFile(path, FILE_APPEND_DATA, OPEN_ALWAYS));
    DWORD written = 0;
    if (file.get() != INVALID_HANDLE_VALUE) {
        WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
}

// A failed query is told apart from every file by its first number, which no file's size reaches.
FileSignature fileSignature(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info)) {
        return {~std::uint64_t{0}, GetLastError(), 0, 0, 0};
    }
    return {info.nFileSizeHigh, info.nFileSizeLow, info.ftLastWriteTime.dwHighDateTime,
            info.ftLastWriteTime.dwLowDateTime, 0};
}

// The whole-file range, as the module locks its alias file.
ExclusiveFileLock::ExclusiveFileLock(const std::string& path)
    : handle_(reinterpret_cast<std::intptr_t>(openFile(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS))) {
    FileHandle file(reinterpret_cast<HANDLE>(handle_));
    if (file.get() == INVALID_HANDLE_VALUE) {
        failOnFile(path, "cannot be opened");
    }
    OVERLAPPED whole{};
    if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        failOnFile(path, "cannot be locked");
    }
    file.release();
}

// Closing the handle releases its lock.
ExclusiveFileLock::~ExclusiveFileLock() {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

} // namespace winsim
