// Byte-range locks: LockFileEx, UnlockFileEx and GetOverlappedResult on handles of C runtime
// streams, between handles of one process, between threads and between processes.
#include "scratch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using simtest::OpenFile;
using simtest::openWithHandle;

constexpr DWORD kWholeFile = 0xFFFFFFFF;
constexpr DWORD kShared = 0;
constexpr DWORD kExclusive = LOCKFILE_EXCLUSIVE_LOCK;
constexpr DWORD kSharedNoWait = LOCKFILE_FAIL_IMMEDIATELY;
constexpr DWORD kExclusiveNoWait = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return overlapped;
}

BOOL lockRange(HANDLE file, DWORD flags, std::uint64_t offset, std::uint64_t length) {
    OVERLAPPED overlapped = at(offset);
    return LockFileEx(file, flags, 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32),
                      &overlapped);
}

BOOL unlockRange(HANDLE file, std::uint64_t offset, std::uint64_t length) {
    OVERLAPPED overlapped = at(offset);
    return UnlockFileEx(file, 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &overlapped);
}

BOOL lockWholeFile(HANDLE file, DWORD flags) {
    OVERLAPPED overlapped{};
    return LockFileEx(file, flags, 0, kWholeFile, kWholeFile, &overlapped);
}

BOOL unlockWholeFile(HANDLE file) {
    OVERLAPPED overlapped{};
    return UnlockFileEx(file, 0, kWholeFile, kWholeFile, &overlapped);
}

class FileLocks : public ::testing::Test {
protected:
    OpenFile open(const char* mode = "r+") {
        OpenFile file = openWithHandle(path_, mode);
        EXPECT_TRUE(file.stream) << "errno " << errno;
        EXPECT_NE(INVALID_HANDLE_VALUE, file.handle);
        return file;
    }

    simtest::ScratchFolder folder_;
    std::string path_ = folder_.write("aliases.json", "");
};

TEST_F(FileLocks, a_whole_file_lock_on_an_empty_file_completes_the_request_and_is_released) {
    OpenFile file = open();
    OVERLAPPED overlapped{};
    overlapped.Internal = 0x1234;
    overlapped.InternalHigh = 0x5678;
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(LockFileEx(file.handle, kExclusive, 0, kWholeFile, kWholeFile, &overlapped));
    EXPECT_EQ(0u, overlapped.Internal);
    EXPECT_EQ(0u, overlapped.InternalHigh);

    DWORD transferred = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(GetOverlappedResult(file.handle, &overlapped, &transferred, TRUE));
    EXPECT_EQ(0u, transferred);

    SetLastError(0xDEADBEEF);
    EXPECT_TRUE(UnlockFileEx(file.handle, 0, kWholeFile, kWholeFile, &overlapped));
}

TEST_F(FileLocks, unlocking_anything_but_exactly_a_locked_range_fails_with_ERROR_NOT_LOCKED) {
    OpenFile file = open();
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(unlockWholeFile(file.handle));
    EXPECT_EQ(ERROR_NOT_LOCKED, GetLastError());

    ASSERT_TRUE(lockRange(file.handle, kExclusive, 0, 10));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(unlockRange(file.handle, 0, 5));
    EXPECT_EQ(ERROR_NOT_LOCKED, GetLastError());
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(unlockRange(file.handle, 1, 10));
    EXPECT_EQ(ERROR_NOT_LOCKED, GetLastError());

    EXPECT_TRUE(unlockRange(file.handle, 0, 10));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(unlockRange(file.handle, 0, 10));
    EXPECT_EQ(ERROR_NOT_LOCKED, GetLastError());
}

TEST_F(FileLocks, two_handles_of_one_process_conflict_like_two_processes) {
    OpenFile first = open("r");
    OpenFile second = open("r");
    ASSERT_TRUE(lockWholeFile(first.handle, kShared));

    OVERLAPPED overlapped{};
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(LockFileEx(second.handle, kExclusiveNoWait, 0, kWholeFile, kWholeFile, &overlapped));
    EXPECT_EQ(ERROR_LOCK_VIOLATION, GetLastError());
    // A failed request stays pending, and its result says so.
    EXPECT_EQ(STATUS_PENDING, overlapped.Internal);
    DWORD transferred = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetOverlappedResult(second.handle, &overlapped, &transferred, FALSE));
    EXPECT_EQ(ERROR_IO_INCOMPLETE, GetLastError());

    EXPECT_TRUE(lockWholeFile(second.handle, kSharedNoWait));
    EXPECT_TRUE(unlockWholeFile(first.handle));
    EXPECT_TRUE(unlockWholeFile(second.handle));

    ASSERT_TRUE(lockWholeFile(second.handle, kExclusiveNoWait));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(lockWholeFile(first.handle, kSharedNoWait));
    EXPECT_EQ(ERROR_LOCK_VIOLATION, GetLastError());
    EXPECT_TRUE(unlockWholeFile(second.handle));
    EXPECT_TRUE(lockWholeFile(first.handle, kSharedNoWait));
    EXPECT_TRUE(unlockWholeFile(first.handle));
}

TEST_F(FileLocks, a_waiting_exclusive_lock_is_granted_once_the_other_handle_unlocks) {
    OpenFile holder = open();
    OpenFile waiter = open();
    ASSERT_TRUE(lockWholeFile(holder.handle, kExclusive));

    std::future<BOOL> granted =
        std::async(std::launch::async, [&] { return lockWholeFile(waiter.handle, kExclusive); });
    EXPECT_EQ(std::future_status::timeout, granted.wait_for(std::chrono::milliseconds(200)));

    ASSERT_TRUE(unlockWholeFile(holder.handle));
    ASSERT_EQ(std::future_status::ready, granted.wait_for(std::chrono::seconds(10)));
    EXPECT_TRUE(granted.get());
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(lockWholeFile(holder.handle, kSharedNoWait));
    EXPECT_EQ(ERROR_LOCK_VIOLATION, GetLastError());
    EXPECT_TRUE(unlockWholeFile(waiter.handle));
}

TEST_F(FileLocks, ranges_beyond_the_end_of_the_file_conflict_only_where_they_overlap) {
    OpenFile first = open();
    OpenFile second = open();
    ASSERT_TRUE(lockRange(first.handle, kExclusive, 1000, 10));

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(lockRange(second.handle, kSharedNoWait, 1009, 1));
    EXPECT_EQ(ERROR_LOCK_VIOLATION, GetLastError());
    EXPECT_TRUE(lockRange(second.handle, kExclusiveNoWait, 1010, 5));
    EXPECT_TRUE(lockRange(second.handle, kExclusiveNoWait, 990, 10));

    // Offsets far beyond the end are still covered by the whole-file range.
    EXPECT_TRUE(lockRange(second.handle, kExclusiveNoWait, 0x7FFFFFFF00000000ull, 1));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(lockWholeFile(first.handle, kSharedNoWait));
    EXPECT_EQ(ERROR_LOCK_VIOLATION, GetLastError());
}

TEST_F(FileLocks, stacked_shared_locks_of_one_handle_keep_their_bytes_until_the_last_goes) {
    OpenFile reader = open();
    OpenFile writer = open();
    ASSERT_TRUE(lockRange(reader.handle, kShared, 0, 100));
    ASSERT_TRUE(lockRange(reader.handle, kShared, 0, 100));
    ASSERT_TRUE(lockRange(reader.handle, kShared, 50, 100));

    EXPECT_TRUE(unlockRange(reader.handle, 0, 100));
    EXPECT_FALSE(lockRange(writer.handle, kExclusiveNoWait, 0, 1));
    EXPECT_TRUE(unlockRange(reader.handle, 0, 100));
    EXPECT_TRUE(lockRange(writer.handle, kExclusiveNoWait, 0, 1));
    EXPECT_FALSE(lockRange(writer.handle, kExclusiveNoWait, 60, 1));
    EXPECT_TRUE(unlockRange(reader.handle, 50, 100));
    EXPECT_TRUE(lockRange(writer.handle, kExclusiveNoWait, 60, 1));
}

TEST_F(FileLocks, a_handle_is_refused_at_once_where_its_own_locks_would_have_to_wait_for_themselves) {
    OpenFile file = open();
    ASSERT_TRUE(lockRange(file.handle, kShared, 0, 10));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(lockRange(file.handle, kExclusive, 5, 10));
    EXPECT_EQ(ERROR_LOCK_VIOLATION, GetLastError());
    EXPECT_TRUE(lockRange(file.handle, kExclusive, 10, 10));

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(lockRange(file.handle, kShared, 15, 1));
    EXPECT_EQ(ERROR_LOCK_VIOLATION, GetLastError());
    // The refused requests left the granted locks as they were.
    EXPECT_TRUE(unlockRange(file.handle, 0, 10));
    EXPECT_TRUE(unlockRange(file.handle, 10, 10));
}

TEST_F(FileLocks, a_zero_length_lock_is_granted_and_conflicts_with_nothing) {
    OpenFile first = open();
    OpenFile second = open();
    ASSERT_TRUE(lockRange(first.handle, kExclusive, 5, 0));
    EXPECT_TRUE(lockRange(second.handle, kExclusiveNoWait, 0, 10));
    EXPECT_TRUE(unlockRange(first.handle, 5, 0));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(unlockRange(first.handle, 5, 0));
    EXPECT_EQ(ERROR_NOT_LOCKED, GetLastError());
}

TEST_F(FileLocks, ranges_that_linux_files_cannot_hold_are_refused) {
    OpenFile file = open();
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(lockRange(file.handle, kExclusive, 0x8000000000000000ull, 1));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(lockRange(file.handle, kExclusive, 10, 0xFFFFFFFFFFFFFFFFull));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    // The range ending exactly at the last possible offset is not a wrap-around.
    EXPECT_TRUE(lockRange(file.handle, kExclusive, 1, 0xFFFFFFFFFFFFFFFFull));
}

TEST_F(FileLocks, bad_handles_and_arguments_are_refused_before_anything_is_locked) {
    OpenFile file = open();
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    OVERLAPPED overlapped{};

    for (HANDLE bad : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE, event}) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(LockFileEx(bad, kExclusive, 0, 1, 0, &overlapped));
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(UnlockFileEx(bad, 0, 1, 0, &overlapped));
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    }
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(LockFileEx(file.handle, kExclusive, 1, 1, 0, &overlapped));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(LockFileEx(file.handle, kExclusive, 0, 1, 0, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());

    overlapped.hEvent = file.handle;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(LockFileEx(file.handle, kExclusive, 0, 1, 0, &overlapped));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    // Nothing was locked by the refused calls; a lock with a real event works.
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(UnlockFileEx(file.handle, 0, 1, 0, &overlapped));
    EXPECT_EQ(ERROR_NOT_LOCKED, GetLastError());
    overlapped.hEvent = event;
    EXPECT_TRUE(LockFileEx(file.handle, kExclusive, 0, 1, 0, &overlapped));
    EXPECT_TRUE(UnlockFileEx(file.handle, 0, 1, 0, &overlapped));
    EXPECT_TRUE(CloseHandle(event));
}

TEST_F(FileLocks, closing_a_stream_releases_its_locks_and_retires_its_handle) {
    OpenFile first = open();
    OpenFile second = open();
    ASSERT_TRUE(lockWholeFile(first.handle, kExclusive));
    first.stream.reset();

    EXPECT_TRUE(lockWholeFile(second.handle, kExclusiveNoWait));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(lockWholeFile(first.handle, kSharedNoWait));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST_F(FileLocks, closing_the_handle_under_a_stream_releases_its_locks_and_stops_its_io) {
    OpenFile first = open();
    OpenFile second = open();
    ASSERT_TRUE(lockWholeFile(first.handle, kExclusive));
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(CloseHandle(first.handle));

    EXPECT_TRUE(lockWholeFile(second.handle, kExclusiveNoWait));
    char byte = 0;
    EXPECT_EQ(0u, std::fread(&byte, 1, 1, first.stream.get()));
    EXPECT_TRUE(std::ferror(first.stream.get()));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(CloseHandle(first.handle));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

// Each thread increments a number in the file under an exclusive lock through its own handle; a
// lost update would show a lock that did not exclude.
TEST_F(FileLocks, exclusive_locks_of_many_threads_exclude_each_other) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 50;
    folder_.write("aliases.json", "0");
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            OpenFile file = openWithHandle(path_, "r+");
            for (int round = 0; round < kRounds; ++round) {
                if (!file.stream || !lockWholeFile(file.handle, kExclusive)) {
                    ++failures;
                    return;
                }
                int value = 0;
                std::rewind(file.stream.get());
                failures += std::fscanf(file.stream.get(), "%d", &value) == 1 ? 0 : 1;
                std::rewind(file.stream.get());
                std::fprintf(file.stream.get(), "%d", value + 1);
                std::fflush(file.stream.get());
                failures += unlockWholeFile(file.handle) ? 0 : 1;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(std::to_string(kThreads * kRounds), simtest::readWholeFile(path_));
}

// Threads sharing one handle lock and unlock their own ranges, partly stacked on a common one.
TEST_F(FileLocks, threads_sharing_one_handle_keep_its_lock_table_consistent) {
    OpenFile shared = open();
    OpenFile other = open();
    constexpr int kThreads = 4;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                failures += lockRange(shared.handle, kShared, 0, 100) ? 0 : 1;
                failures += lockRange(shared.handle, kExclusive, 1000 + 10 * t, 10) ? 0 : 1;
                failures += unlockRange(shared.handle, 1000 + 10 * t, 10) ? 0 : 1;
                failures += unlockRange(shared.handle, 0, 100) ? 0 : 1;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, failures.load());
    EXPECT_TRUE(lockWholeFile(other.handle, kExclusiveNoWait));
}

// --- Between processes -------------------------------------------------------------------------

// A forked child that runs a function and exits with its result; killed if the test gives up.
class Child {
public:
    template <typename Body> explicit Child(Body body) : pid_(fork()) {
        if (pid_ == 0) {
            _exit(body());
        }
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    int exitCode() {
        int status = 0;
        const pid_t reaped = waitpid(pid_, &status, 0);
        pid_ = -1;
        return reaped > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_;
};

class Pipe {
public:
    Pipe() {
        if (pipe(ends_) != 0) {
            throw std::runtime_error("pipe");
        }
    }
    ~Pipe() {
        close(ends_[0]);
        close(ends_[1]);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    void send() const { (void)!write(ends_[1], "x", 1); }
    void receive() const {
        char byte = 0;
        (void)!read(ends_[0], &byte, 1);
    }
    // Whether a message arrives within the time.
    bool arrives(std::chrono::milliseconds within) const {
        pollfd readable{ends_[0], POLLIN, 0};
        if (poll(&readable, 1, static_cast<int>(within.count())) != 1) {
            return false;
        }
        receive();
        return true;
    }

private:
    int ends_[2] = {-1, -1};
};

int holdLockUntilTold(const std::string& path, DWORD flags, const Pipe& locked, const Pipe& release) {
    OpenFile file = openWithHandle(path, "r");
    if (!file.stream || !lockWholeFile(file.handle, flags)) {
        return 1;
    }
    locked.send();
    release.receive();
    return unlockWholeFile(file.handle) ? 0 : 2;
}

TEST_F(FileLocks, shared_locks_of_two_processes_coexist_and_an_exclusive_one_waits_for_both) {
    constexpr auto kSoon = std::chrono::milliseconds(300);
    constexpr auto kEventually = std::chrono::seconds(10);
    Pipe firstLocked, firstRelease, secondLocked, secondRelease, writerStarted, writerLocked, writerRelease;

    Child firstReader([&] { return holdLockUntilTold(path_, kShared, firstLocked, firstRelease); });
    Child secondReader([&] { return holdLockUntilTold(path_, kShared, secondLocked, secondRelease); });
    ASSERT_TRUE(firstLocked.arrives(kEventually));
    ASSERT_TRUE(secondLocked.arrives(kEventually));

    OpenFile mine = open();
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(lockWholeFile(mine.handle, kExclusiveNoWait));
    EXPECT_EQ(ERROR_LOCK_VIOLATION, GetLastError());
    EXPECT_TRUE(lockWholeFile(mine.handle, kSharedNoWait));
    EXPECT_TRUE(unlockWholeFile(mine.handle));

    Child writer([&] {
        writerStarted.send();
        return holdLockUntilTold(path_, kExclusive, writerLocked, writerRelease);
    });
    ASSERT_TRUE(writerStarted.arrives(kEventually));
    EXPECT_FALSE(writerLocked.arrives(kSoon));

    firstRelease.send();
    EXPECT_EQ(0, firstReader.exitCode());
    EXPECT_FALSE(writerLocked.arrives(kSoon));

    secondRelease.send();
    EXPECT_EQ(0, secondReader.exitCode());
    EXPECT_TRUE(writerLocked.arrives(kEventually));
    EXPECT_FALSE(lockWholeFile(mine.handle, kSharedNoWait));
    writerRelease.send();
    EXPECT_EQ(0, writer.exitCode());
    EXPECT_TRUE(lockWholeFile(mine.handle, kExclusiveNoWait));
}

} // namespace
