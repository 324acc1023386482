// Share modes of open files between the handles of every process, as Windows keeps them per file.
//
// A handle that asks for data access (read, write, delete) registers that access and the access
// it does not share; an open fails with ERROR_SHARING_VIOLATION when another handle, of this or
// any other process, does not share what it asks for, or when it does not share what another
// handle holds. An open without data access (READ_CONTROL, FILE_READ_ATTRIBUTES, SYNCHRONIZE) is
// not subject to sharing and registers nothing.
//
// The registrations are open-file-description locks on a small file per open file (named by its
// device and inode) in a folder every user may write (see the choices): they belong to the
// handle's own open of that small file, so they end when the handle is closed or its process dies,
// and every process of every user sees them.
#pragma once

#include "platform/sim/win32_types.h"

#include <atomic>
#include <memory>
#include <sys/stat.h>

namespace winsim {

// One handle's registration; ends when destroyed or released.
class ShareEntry {
public:
    explicit ShareEntry(int fd) : fd_(fd) {}
    ~ShareEntry() { release(); }
    ShareEntry(const ShareEntry&) = delete;
    ShareEntry& operator=(const ShareEntry&) = delete;

    void release();

private:
    std::atomic<int> fd_;
};

// Registers a handle on `file` asking for `desiredAccess` and sharing `shareMode`. ERROR_SUCCESS
// with `entry` set (left null when the access is not subject to sharing), ERROR_SHARING_VIOLATION,
// or the error of a failed call.
DWORD enterShareMode(const struct stat& file, DWORD desiredAccess, DWORD shareMode,
                     std::unique_ptr<ShareEntry>& entry);

// ERROR_SHARING_VIOLATION when a handle that does not share delete access is open on `file`,
// otherwise ERROR_SUCCESS: what deleting the file by name asks of the handles open on it.
DWORD checkDeleteSharing(const struct stat& file);

} // namespace winsim
