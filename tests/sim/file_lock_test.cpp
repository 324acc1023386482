// Byte-range locks on the handles of C runtime streams: between handles of one process, between
// threads and between processes.
#include "runtime_files.h"

#include "common/child_program.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using simtest::OpenFile;

constexpr DWORD kShared = 0;
constexpr DWORD kExclusive = LOCKFILE_EXCLUSIVE_LOCK;
constexpr DWORD kSharedNoWait = LOCKFILE_FAIL_IMMEDIATELY;
constexpr DWORD kExclusiveNoWait = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
constexpr std::uint64_t kWholeFile = ~std::uint64_t{0};

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return overlapped;
}

BOOL lock(HANDLE file, DWORD flags, std::uint64_t offset = 0, std::uint64_t length = kWholeFile) {
    OVERLAPPED overlapped = at(offset);
    return LockFileEx(file, flags, 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32),
                      &overlapped);
}

BOOL unlock(HANDLE file, std::uint64_t offset = 0, std::uint64_t length = kWholeFile) {
    OVERLAPPED overlapped = at(offset);
    return UnlockFileEx(file, 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &overlapped);
}

// The call failed, and with this error.
testing::AssertionResult failsWith(DWORD error, BOOL result) {
    const DWORD actual = GetLastError();
    if (!result && actual == error) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "result " << result << ", error " << actual;
}

// An unlock of bytes the handle has not locked fails with ERROR_NOT_LOCKED; Wine reports
// ERROR_LOCK_VIOLATION instead (windows_choices.h), and is held to that.
testing::AssertionResult failsAsNotLocked(BOOL result) {
    return failsWith(hostplatform::runningUnderWine() ? ERROR_LOCK_VIOLATION : ERROR_NOT_LOCKED, result);
}

// Wine leaves the completion status of an OVERLAPPED unwritten (windows_choices.h).
bool completionStatusWritten() {
    return !hostplatform::runningUnderWine();
}

class FileLocks : public ::testing::Test {
protected:
    OpenFile open() {
        OpenFile file = simtest::openWithHandle(path_, "r+");
        EXPECT_NE(INVALID_HANDLE_VALUE, file.handle) << "errno " << errno;
        return file;
    }

    hostplatform::TemporaryFolder folder_;
    std::string path_ = simtest::writeFileAt(folder_.path() / "aliases.json", "");
};

TEST_F(FileLocks, a_lock_on_an_empty_file_completes_its_request_and_unlocks_only_by_its_exact_range) {
    OpenFile file = open();
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(failsAsNotLocked(unlock(file.handle)));

    OVERLAPPED overlapped{};
    overlapped.Internal = overlapped.InternalHigh = 0x1234;
    ASSERT_TRUE(LockFileEx(file.handle, kExclusive, 0, 0xFFFFFFFF, 0xFFFFFFFF, &overlapped));
    if (completionStatusWritten()) {
        EXPECT_EQ(0u, overlapped.Internal);
        EXPECT_EQ(0u, overlapped.InternalHigh);
        DWORD transferred = 0xDEADBEEF;
        EXPECT_TRUE(GetOverlappedResult(file.handle, &overlapped, &transferred, TRUE));
        EXPECT_EQ(0u, transferred);
    }

    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(failsAsNotLocked(unlock(file.handle, 0, 10)));
    EXPECT_TRUE(unlock(file.handle));
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(failsAsNotLocked(unlock(file.handle)));
}

TEST_F(FileLocks, two_handles_of_one_process_conflict_like_two_processes) {
    OpenFile first = open();
    OpenFile second = open();
    ASSERT_TRUE(lock(first.handle, kShared));

    OVERLAPPED overlapped{};
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(failsWith(ERROR_LOCK_VIOLATION, LockFileEx(second.handle, kExclusiveNoWait, 0, 0xFFFFFFFF,
                                                           0xFFFFFFFF, &overlapped)));
    // A failed request stays pending, and asking for its result says so.
    if (completionStatusWritten()) {
        EXPECT_EQ(STATUS_PENDING, overlapped.Internal);
        DWORD transferred = 0;
        SetLastError(0xDEADBEEF);
        EXPECT_TRUE(failsWith(ERROR_IO_INCOMPLETE,
                              GetOverlappedResult(second.handle, &overlapped, &transferred, FALSE)));
    }

    EXPECT_TRUE(lock(second.handle, kSharedNoWait));
    EXPECT_TRUE(unlock(first.handle));
    EXPECT_TRUE(unlock(second.handle));
    ASSERT_TRUE(lock(second.handle, kExclusiveNoWait));
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(failsWith(ERROR_LOCK_VIOLATION, lock(first.handle, kSharedNoWait)));
}

TEST_F(FileLocks, ranges_beyond_the_end_of_the_file_conflict_only_where_they_overlap) {
    OpenFile first = open();
    OpenFile second = open();
    ASSERT_TRUE(lock(first.handle, kExclusive, 1000, 10));
    EXPECT_FALSE(lock(second.handle, kSharedNoWait, 1009, 1));
    EXPECT_TRUE(lock(second.handle, kExclusiveNoWait, 1010, 5));
    EXPECT_TRUE(lock(second.handle, kExclusiveNoWait, 990, 10));
    // The whole-file range reaches offsets far beyond the end.
    EXPECT_TRUE(lock(second.handle, kExclusiveNoWait, 0x7FFFFFFF00000000ull, 1));
    EXPECT_FALSE(lock(first.handle, kSharedNoWait));
}

TEST_F(FileLocks, stacked_shared_locks_of_one_handle_keep_their_bytes_until_the_last_goes) {
    OpenFile reader = open();
    OpenFile writer = open();
    ASSERT_TRUE(lock(reader.handle, kShared, 0, 100));
    ASSERT_TRUE(lock(reader.handle, kShared, 0, 100));
    ASSERT_TRUE(lock(reader.handle, kShared, 50, 100));

    EXPECT_TRUE(unlock(reader.handle, 0, 100));
    EXPECT_FALSE(lock(writer.handle, kExclusiveNoWait, 0, 1));
    EXPECT_TRUE(unlock(reader.handle, 0, 100));
    EXPECT_TRUE(lock(writer.handle, kExclusiveNoWait, 0, 1));
    EXPECT_FALSE(lock(writer.handle, kExclusiveNoWait, 60, 1));
    EXPECT_TRUE(unlock(reader.handle, 50, 100));
    EXPECT_TRUE(lock(writer.handle, kExclusiveNoWait, 60, 1));
}

TEST_F(FileLocks, a_handle_is_refused_at_once_where_it_would_wait_for_its_own_lock) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows makes the request wait for the handle's own lock (windows_choices.h)";
#endif
    OpenFile file = open();
    ASSERT_TRUE(lock(file.handle, kShared, 0, 10));
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(failsWith(ERROR_LOCK_VIOLATION, lock(file.handle, kExclusive, 5, 10)));
    ASSERT_TRUE(lock(file.handle, kExclusive, 10, 10));
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(failsWith(ERROR_LOCK_VIOLATION, lock(file.handle, kShared, 15, 1)));
    EXPECT_TRUE(unlock(file.handle, 0, 10));
    EXPECT_TRUE(unlock(file.handle, 10, 10));
}

TEST_F(FileLocks, zero_length_locks_conflict_with_nothing_and_ranges_past_linux_offsets_are_refused) {
    OpenFile first = open();
    OpenFile second = open();
#ifndef _WIN32
    // How zero-length locks conflict, and the end of Linux offsets, are the simulation's own choices.
    ASSERT_TRUE(lock(first.handle, kExclusive, 5, 0));
    EXPECT_TRUE(lock(second.handle, kExclusiveNoWait, 0, 10));
    EXPECT_TRUE(unlock(first.handle, 5, 0));
    EXPECT_TRUE(unlock(second.handle, 0, 10));

    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(failsWith(ERROR_INVALID_PARAMETER, lock(first.handle, kShared, 0x8000000000000000ull, 1)));
#endif
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(failsWith(ERROR_INVALID_PARAMETER, lock(first.handle, kShared, 10, kWholeFile)));
    EXPECT_TRUE(lock(first.handle, kShared, 1, kWholeFile));
}

TEST_F(FileLocks, bad_handles_and_arguments_are_refused_before_anything_is_locked) {
    OpenFile file = open();
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    OVERLAPPED overlapped{};
    for (HANDLE bad : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE, event}) {
        SetLastError(0xDEADBEEF);
        EXPECT_TRUE(failsWith(ERROR_INVALID_HANDLE, LockFileEx(bad, kExclusive, 0, 1, 0, &overlapped)));
        SetLastError(0xDEADBEEF);
        EXPECT_TRUE(failsWith(ERROR_INVALID_HANDLE, UnlockFileEx(bad, 0, 1, 0, &overlapped)));
    }
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(
        failsWith(ERROR_INVALID_PARAMETER, LockFileEx(file.handle, kExclusive, 1, 1, 0, &overlapped)));
#ifndef _WIN32
    // Windows faults on the missing OVERLAPPED; the simulation refuses it (windows_choices.h).
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(failsWith(ERROR_INVALID_PARAMETER, LockFileEx(file.handle, kExclusive, 0, 1, 0, nullptr)));
#endif
    // A completion event that is no event refuses the request; Wine does not look at it
    // (windows_choices.h).
    if (!hostplatform::runningUnderWine()) {
        overlapped.hEvent = file.handle;
        SetLastError(0xDEADBEEF);
        EXPECT_TRUE(
            failsWith(ERROR_INVALID_HANDLE, LockFileEx(file.handle, kExclusive, 0, 1, 0, &overlapped)));
        SetLastError(0xDEADBEEF);
        EXPECT_TRUE(failsAsNotLocked(UnlockFileEx(file.handle, 0, 1, 0, &overlapped)));
    }
    overlapped.hEvent = event;
    EXPECT_TRUE(LockFileEx(file.handle, kExclusive, 0, 1, 0, &overlapped));
    EXPECT_TRUE(CloseHandle(event));
}

TEST_F(FileLocks, closing_a_stream_or_its_handle_releases_the_locks_and_retires_the_handle) {
    OpenFile first = open();
    OpenFile second = open();
    OpenFile third = open();
    ASSERT_TRUE(lock(first.handle, kExclusive, 0, 1));
    ASSERT_TRUE(lock(second.handle, kExclusive, 1, 1));
    first.stream.reset();
    EXPECT_TRUE(CloseHandle(second.handle));

    EXPECT_TRUE(lock(third.handle, kExclusiveNoWait, 0, 2));
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(failsWith(ERROR_INVALID_HANDLE, lock(first.handle, kSharedNoWait, 5, 1)));
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(failsWith(ERROR_INVALID_HANDLE, CloseHandle(second.handle)));
    // The stream whose handle is gone can no longer read.
    char byte = 0;
    EXPECT_EQ(0u, std::fread(&byte, 1, 1, second.stream.get()));
    EXPECT_TRUE(std::ferror(second.stream.get()));
}

// Each thread increments a number in the file under an exclusive lock through its own handle,
// while also stacking shared locks on one common handle; a lost update shows a lock that did not
// exclude.
TEST_F(FileLocks, exclusive_locks_of_many_threads_exclude_each_other) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 50;
    simtest::writeFileAt(path_, "0");
    OpenFile common = open();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            OpenFile own = simtest::openWithHandle(path_, "r+");
            for (int round = 0; round < kRounds && own.stream; ++round) {
                failures +=
                    lock(common.handle, kShared, 1000, 10) && lock(own.handle, kExclusive, 0, 100) ? 0 : 1;
                int value = 0;
                std::rewind(own.stream.get());
                failures += std::fscanf(own.stream.get(), "%d", &value) == 1 ? 0 : 1;
                std::rewind(own.stream.get());
                std::fprintf(own.stream.get(), "%d", value + 1);
                std::fflush(own.stream.get());
                failures += unlock(own.handle, 0, 100) && unlock(common.handle, 1000, 10) ? 0 : 1;
            }
            failures += own.stream ? 0 : 1;
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(std::to_string(kThreads * kRounds), simtest::readWholeFile(path_));
    EXPECT_TRUE(lock(open().handle, kExclusiveNoWait));
}

// --- Between processes -------------------------------------------------------------------------
// The other process is this test program again, running FileLockProcess: it opens the file, says
// that it is about to lock, locks, says that it holds the lock, and unlocks when told. Each message
// is a file in the child's own folder.

constexpr char kFileVariable[] = "QVKELP_LOCK_FILE";
constexpr char kFlagsVariable[] = "QVKELP_LOCK_FLAGS";
constexpr char kSignalsVariable[] = "QVKELP_LOCK_SIGNALS";
constexpr char kLocking[] = "locking";
constexpr char kLocked[] = "locked";
constexpr char kRelease[] = "release";

class LockingChild {
public:
    LockingChild(const hostplatform::TemporaryFolder& parent, const std::string& name,
                 const std::string& path, DWORD flags)
        : signals_(madeFolder(parent.path() / name)), child_("FileLockProcess.*",
                                                             {{kFileVariable, path},
                                                              {kFlagsVariable, std::to_string(flags)},
                                                              {kSignalsVariable, signals_.string()}},
                                                             signals_ / "output.txt") {}
    ~LockingChild() { hostplatform::createEmptyFile(signals_ / kRelease); }

    bool lockingWithin(std::chrono::milliseconds time) const {
        return hostplatform::appearsWithin(signals_ / kLocking, time);
    }
    bool lockedWithin(std::chrono::milliseconds time) const {
        return hostplatform::appearsWithin(signals_ / kLocked, time);
    }
    testing::AssertionResult releaseAndPass() {
        hostplatform::createEmptyFile(signals_ / kRelease);
        return child_.played();
    }

private:
    static std::filesystem::path madeFolder(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        return folder;
    }

    std::filesystem::path signals_;
    hostplatform::ChildProgram child_;
};

class FileLockProcess : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv(kSignalsVariable) == nullptr) {
            GTEST_SKIP() << "runs only as the other process of a FileLocks test";
        }
    }
};

TEST_F(FileLockProcess, locks_the_file_until_told_to_release_it) {
    const std::filesystem::path signals = std::getenv(kSignalsVariable);
    OpenFile file = simtest::openWithHandle(std::getenv(kFileVariable), "r");
    ASSERT_TRUE(file.stream);
    hostplatform::createEmptyFile(signals / kLocking);
    ASSERT_TRUE(lock(file.handle, static_cast<DWORD>(std::stoul(std::getenv(kFlagsVariable)))));
    hostplatform::createEmptyFile(signals / kLocked);
    EXPECT_TRUE(hostplatform::appearsWithin(signals / kRelease, std::chrono::minutes(10)));
    EXPECT_TRUE(unlock(file.handle));
}

TEST_F(FileLocks, shared_locks_of_two_processes_coexist_and_an_exclusive_one_waits_for_both) {
    constexpr auto kSoon = std::chrono::milliseconds(300);
    constexpr auto kEventually = std::chrono::milliseconds(10000);
    LockingChild firstReader(folder_, "first-reader", path_, kShared);
    LockingChild secondReader(folder_, "second-reader", path_, kShared);
    ASSERT_TRUE(firstReader.lockedWithin(kEventually));
    ASSERT_TRUE(secondReader.lockedWithin(kEventually));

    OpenFile mine = open();
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(failsWith(ERROR_LOCK_VIOLATION, lock(mine.handle, kExclusiveNoWait)));

    LockingChild writer(folder_, "writer", path_, kExclusive);
    ASSERT_TRUE(writer.lockingWithin(kEventually));
    EXPECT_FALSE(writer.lockedWithin(kSoon));
    EXPECT_TRUE(firstReader.releaseAndPass());
    EXPECT_FALSE(writer.lockedWithin(kSoon));
    EXPECT_TRUE(secondReader.releaseAndPass());
    EXPECT_TRUE(writer.lockedWithin(kEventually));
    EXPECT_FALSE(lock(mine.handle, kSharedNoWait));
    EXPECT_TRUE(writer.releaseAndPass());
    EXPECT_TRUE(lock(mine.handle, kExclusiveNoWait));
}

} // namespace
