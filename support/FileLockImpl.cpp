#include "support/FileLockImpl.h"

#include "support/errorException.h"
#include "support/errorReport.h"
#include "support/statusCodes.h"

#include <cstring>

namespace {

// The whole file, whatever its size: offset 0 (from the zeroed OVERLAPPED) and the largest length.
constexpr DWORD kWholeFileLow = 0xFFFFFFFFu;
constexpr DWORD kWholeFileHigh = 0xFFFFFFFFu;

void reportOSFault(qverr::Status& status, int line) {
    const DWORD error = GetLastError();
    qverr::PayloadCursor cursor = qverr::reportNamedError(status, nQVOSALS100::osalStatusOSFault, __FILE__, line);
    qverr::addWin32Error(cursor, error);
}

// A lock or unlock call that returned FALSE may still be completing; wait for it before calling it
// a failure.
void completeFailedCall(HANDLE file, OVERLAPPED& overlapped, qverr::Status& status, int line) {
    if (status.code < 0) {
        return;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        reportOSFault(status, line);
        return;
    }
    DWORD transferred = 0;
    if (!GetOverlappedResult(file, &overlapped, &transferred, TRUE)) {
        reportOSFault(status, line);
    }
}

} // namespace

FileLockImpl::FileLockImpl(FILE* file)
    : file_(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))),
      event_(CreateEventA(nullptr, FALSE, FALSE, nullptr)), overlapped_() {
    qverr::StatusScope status;
    overlapped_.hEvent = event_.get();
    if (!event_) {
        reportOSFault(status, __LINE__);
    }
}

void FileLockImpl::lockShared() {
    lock(0);
}

void FileLockImpl::lockExclusive() {
    lock(LOCKFILE_EXCLUSIVE_LOCK);
}

void FileLockImpl::lock(DWORD flags) {
    qverr::StatusScope status;
    if (!LockFileEx(file_, flags, 0, kWholeFileLow, kWholeFileHigh, &overlapped_)) {
        completeFailedCall(file_, overlapped_, status, __LINE__);
    }
}

void FileLockImpl::unlock() noexcept {
    qverr::Status ignored;
    if (!UnlockFileEx(file_, 0, kWholeFileLow, kWholeFileHigh, &overlapped_)) {
        completeFailedCall(file_, overlapped_, ignored, __LINE__);
    }
}
