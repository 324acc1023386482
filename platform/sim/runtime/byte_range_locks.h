// Windows byte-range locks of one open file, on Linux open-file-description locks.
//
// Open-file-description locks belong to the open file, as Windows locks belong to the handle:
// two opens of one file conflict even inside one process, and closing the last descriptor of an
// open file releases its locks. The table kept here adds what those locks cannot express: the
// exact ranges a handle locked (UnlockFileEx must name one of them), stacked shared locks, and the
// own-lock rules of windows_choices.h.
#pragma once

#include "platform/sim/win32_types.h"

#include <cstdint>
#include <list>
#include <mutex>

namespace winsim {

struct LockRange {
    std::uint64_t offset;
    std::uint64_t length;
};

class ByteRangeLocks {
public:
    explicit ByteRangeLocks(int fd) : fd_(fd) {}
    ByteRangeLocks(const ByteRangeLocks&) = delete;
    ByteRangeLocks& operator=(const ByteRangeLocks&) = delete;

    // Locks the range; waits until granted unless told not to. ERROR_SUCCESS or the Win32 error.
    DWORD lock(LockRange range, bool exclusive, bool wait);
    // Unlocks a range this handle locked with exactly this offset and length.
    DWORD unlock(LockRange range);
    // Drops every lock; later requests fail with ERROR_INVALID_HANDLE (the handle was closed).
    void releaseAll();

private:
    // Bytes [begin, end) in Linux file offsets; kEndless stands for "to the end of any file".
    struct Span {
        std::uint64_t begin;
        std::uint64_t end;
        bool overlaps(const Span& other) const { return begin < other.end && other.begin < end; }
    };
    struct Held {
        LockRange range;
        Span span;
        bool exclusive;
        bool granted;
    };

    static bool hostSpanOf(LockRange range, Span* span);
    bool conflictsWithOwnLock(const Span& span, bool exclusive) const;
    DWORD setHostLock(short type, const Span& span, bool wait) const;
    DWORD releaseBytesNoLockCovers(const Span& span) const;

    const int fd_;
    std::mutex mutex_;
    // Granted locks and requests still waiting in the kernel; a waiting request's bytes count as
    // covered, so that an unlock on another thread does not take back what it is being granted.
    std::list<Held> held_;
    bool closed_ = false;
};

} // namespace winsim
