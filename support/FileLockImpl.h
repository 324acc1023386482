// A whole-file byte-range lock on a file opened with the C runtime, shared by every process that
// uses the file: any number of shared holders or one exclusive holder.
//
// The lock works on the stream's own operating-system handle, which stays owned by the stream.
// Failures throw qverr::Exception with code -52008 and the Win32 error in "internal_error".
#pragma once

#include "platform/win32.h"
#include "support/unique_any.h"

#include <cstdio>

class FileLockImpl {
public:
    // Creates the event the lock requests complete on; throws when it cannot be created.
    explicit FileLockImpl(FILE* file);
    // Closing the event does not unlock: the owner releases the lock with unlock() first.
    FileLockImpl(const FileLockImpl&) = delete;
    FileLockImpl& operator=(const FileLockImpl&) = delete;

    // Both wait without limit until the lock is granted.
    void lockShared();
    void lockExclusive();
    // Never reports and never throws: there is nothing a caller could do about a failed unlock,
    // and closing the file releases the lock anyway.
    void unlock() noexcept;

private:
    void lock(DWORD flags);

    HANDLE file_;
    qv::unique_event event_;
    OVERLAPPED overlapped_;
};
