#include "platform/sim/runtime/byte_range_locks.h"

#include "platform/sim/windows_choices.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <vector>

namespace winsim {
namespace {

constexpr std::uint64_t kEndless = choice::kFirstOffsetBeyondHostFiles;

DWORD win32ErrorOfLockErrno(int error) {
    switch (error) {
    case EAGAIN:
    case EACCES:
    case EDEADLK:
        return ERROR_LOCK_VIOLATION;
    case EBADF:
        return choice::kLockTypeNotAllowedByAccessError;
    case ENOLCK:
        return ERROR_NO_SYSTEM_RESOURCES;
    default:
        return ERROR_INVALID_PARAMETER;
    }
}

} // namespace

bool ByteRangeLocks::hostSpanOf(LockRange range, Span* span) {
    const bool wrapsPast64Bits = range.length != 0 && range.offset + (range.length - 1) < range.offset;
    if (range.offset >= kEndless || wrapsPast64Bits) {
        return false;
    }
    const bool reachesBeyondHostFiles = range.length >= kEndless - range.offset;
    *span = {range.offset, reachesBeyondHostFiles ? kEndless : range.offset + range.length};
    return true;
}

bool ByteRangeLocks::conflictsWithOwnLock(const Span& span, bool exclusive) const {
    return std::any_of(held_.begin(), held_.end(), [&](const Held& held) {
        return held.span.overlaps(span) && !choice::ownLocksMayOverlap(held.exclusive, exclusive);
    });
}

DWORD ByteRangeLocks::setHostLock(short type, const Span& span, bool wait) const {
    struct flock request {};
    request.l_type = type;
    request.l_whence = SEEK_SET;
    request.l_start = static_cast<off_t>(span.begin);
    request.l_len = span.end == kEndless ? 0 : static_cast<off_t>(span.end - span.begin);
    request.l_pid = 0;
    const int command = wait ? F_OFD_SETLKW : F_OFD_SETLK;
    while (fcntl(fd_, command, &request) == -1) {
        if (errno != EINTR) {
            return win32ErrorOfLockErrno(errno);
        }
    }
    return ERROR_SUCCESS;
}

// Unlocks the parts of the span that no other lock or waiting request of this handle covers;
// stacked shared locks keep their bytes locked until the last of them goes.
DWORD ByteRangeLocks::releaseBytesNoLockCovers(const Span& span) const {
    std::vector<Span> covering;
    for (const Held& held : held_) {
        if (held.span.overlaps(span)) {
            covering.push_back(held.span);
        }
    }
    std::sort(covering.begin(), covering.end(),
              [](const Span& a, const Span& b) { return a.begin < b.begin; });
    DWORD result = ERROR_SUCCESS;
    std::uint64_t next = span.begin;
    for (const Span& cover : covering) {
        if (cover.begin > next) {
            const DWORD error = setHostLock(F_UNLCK, {next, cover.begin}, false);
            result = result == ERROR_SUCCESS ? error : result;
        }
        next = std::max(next, cover.end);
    }
    if (next < span.end) {
        const DWORD error = setHostLock(F_UNLCK, {next, span.end}, false);
        result = result == ERROR_SUCCESS ? error : result;
    }
    return result;
}

DWORD ByteRangeLocks::lock(LockRange range, bool exclusive, bool wait) {
    Span span{};
    if (!hostSpanOf(range, &span)) {
        return choice::kUnrepresentableLockRangeError;
    }
    std::list<Held>::iterator request;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (closed_) {
            return ERROR_INVALID_HANDLE;
        }
        if (conflictsWithOwnLock(span, exclusive)) {
            return choice::kOwnLockConflictError;
        }
        request = held_.insert(held_.end(), Held{range, span, exclusive, false});
    }
    // Waiting happens outside the table's mutex, so that other threads can unlock meanwhile.
    const bool locksBytes = span.begin != span.end;
    DWORD error = locksBytes ? setHostLock(exclusive ? F_WRLCK : F_RDLCK, span, wait) : ERROR_SUCCESS;

    std::lock_guard<std::mutex> guard(mutex_);
    if (error == ERROR_SUCCESS && closed_) {
        error = ERROR_INVALID_HANDLE;
    }
    if (error != ERROR_SUCCESS) {
        held_.erase(request);
        releaseBytesNoLockCovers(span);
        return error;
    }
    request->granted = true;
    return ERROR_SUCCESS;
}

DWORD ByteRangeLocks::unlock(LockRange range) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto found = std::find_if(held_.begin(), held_.end(), [&](const Held& held) {
        return held.granted && held.range.offset == range.offset && held.range.length == range.length;
    });
    if (found == held_.end()) {
        return ERROR_NOT_LOCKED;
    }
    const Span span = found->span;
    held_.erase(found);
    return releaseBytesNoLockCovers(span);
}

void ByteRangeLocks::releaseAll() {
    std::lock_guard<std::mutex> guard(mutex_);
    closed_ = true;
    // Requests still waiting remove their own entries when they return.
    held_.remove_if([](const Held& held) { return held.granted; });
    setHostLock(F_UNLCK, {0, kEndless}, false);
}

} // namespace winsim
