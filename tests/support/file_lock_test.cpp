#include "platform/sim/machine.h"
#include "platform/win32.h"
#include "support/FileLockImpl.h"
#include "support/cJSONUtils.h"
#include "support/error_exception.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

using FilePtr = std::unique_ptr<FILE, int (*)(FILE*)>;

class FileLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "filelock-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        std::ofstream(folder_ / "data.json") << "{}";
        std::ofstream(folder_ / "empty.json");
        machine_.mapDrive('C', folder_.string());
        sim::installMachine(machine_);
    }

    void TearDown() override {
        sim::uninstallMachine();
        std::filesystem::remove_all(folder_);
    }

    void addFault(const char* call, DWORD error, std::uint32_t times) {
        machine_.addFault({call, error, std::nullopt, 0, times});
        sim::installMachine(machine_);
    }

    static FilePtr open(const char* name = "data.json") {
        return FilePtr(platformOpenFile((std::string("C:\\") + name).c_str(), "r+b"), std::fclose);
    }

    // Whether another handle could take the lock `flags` asks for right now.
    static bool lockableBy(FILE* other, DWORD flags) {
        HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(other)));
        OVERLAPPED overlapped{};
        if (!LockFileEx(handle, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 0xFFFFFFFFu, 0xFFFFFFFFu,
                        &overlapped)) {
            EXPECT_EQ(GetLastError(), 33u);
            return false;
        }
        UnlockFileEx(handle, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, &overlapped);
        return true;
    }

    std::filesystem::path folder_;
    sim::Machine machine_;
};

// The code and payload of the qverr::Exception `action` throws.
std::pair<std::int32_t, cJSONUtils::Tree> thrownBy(const std::function<void()>& action) {
    try {
        action();
    } catch (const qverr::Exception& error) {
        return {error.code(), cJSONUtils::parse(error.what())};
    }
    ADD_FAILURE() << "nothing was thrown";
    return {0, cJSONUtils::createObject()};
}

} // namespace

TEST_F(FileLockTest, shared_locks_coexist_and_exclude_a_writer_until_both_are_released) {
    FilePtr first = open(), second = open(), probe = open();
    FileLockImpl firstLock(first.get());
    FileLockImpl secondLock(second.get());
    firstLock.lockShared();
    secondLock.lockShared();
    EXPECT_TRUE(lockableBy(probe.get(), 0));
    EXPECT_FALSE(lockableBy(probe.get(), LOCKFILE_EXCLUSIVE_LOCK));
    firstLock.unlock();
    EXPECT_FALSE(lockableBy(probe.get(), LOCKFILE_EXCLUSIVE_LOCK));
    secondLock.unlock();
    EXPECT_TRUE(lockableBy(probe.get(), LOCKFILE_EXCLUSIVE_LOCK));
}

TEST_F(FileLockTest, an_exclusive_lock_waits_for_the_holder_and_then_excludes_everyone) {
    FilePtr reader = open(), writer = open(), probe = open();
    FileLockImpl readerLock(reader.get());
    readerLock.lockShared();

    std::atomic<bool> granted{false};
    std::thread waiting([&] {
        FileLockImpl writerLock(writer.get());
        writerLock.lockExclusive();
        granted = true;
        EXPECT_FALSE(lockableBy(probe.get(), 0));
        writerLock.unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(granted);
    readerLock.unlock();
    waiting.join();
    EXPECT_TRUE(granted);
}

TEST_F(FileLockTest, an_empty_file_locks_like_any_other) {
    FilePtr empty = open("empty.json"), probe = open("empty.json");
    FileLockImpl lock(empty.get());
    lock.lockExclusive();
    EXPECT_FALSE(lockableBy(probe.get(), 0));
    lock.unlock();
    EXPECT_TRUE(lockableBy(probe.get(), LOCKFILE_EXCLUSIVE_LOCK));
}

TEST_F(FileLockTest, unlocking_a_file_that_is_not_locked_reports_nothing) {
    FilePtr file = open(), probe = open();
    FileLockImpl lock(file.get());
    EXPECT_NO_THROW(lock.unlock());
    lock.lockShared();
    lock.unlock();
    EXPECT_NO_THROW(lock.unlock());
    EXPECT_TRUE(lockableBy(probe.get(), LOCKFILE_EXCLUSIVE_LOCK));
}

TEST_F(FileLockTest, a_failed_lock_throws_an_os_fault_with_the_system_error) {
    FilePtr file = open();
    FileLockImpl lock(file.get());
    addFault("LockFileEx", 33, 1);
    const auto [code, payload] = thrownBy([&] { lock.lockExclusive(); });
    EXPECT_EQ(code, -52008);
    std::vector<std::string> names;
    const cJSON* member = nullptr;
    cJSON_ArrayForEach(member, payload.get()) {
        names.push_back(member->string);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"error_constant", "file", "line", "component", "internal_error"}));
    EXPECT_EQ(cJSONUtils::getString(cJSONUtils::getMember(payload.get(), "error_constant")),
              "nQVOSALS100::tStatus::kOSFault");
    const cJSON* internal = cJSONUtils::getMember(payload.get(), "internal_error");
    EXPECT_EQ(cJSONUtils::getString(cJSONUtils::getMember(internal, "api")), "win32");
    EXPECT_EQ(cJSONUtils::getMember(internal, "code")->valuedouble, 33.0);
    EXPECT_EQ(cJSONUtils::getString(cJSONUtils::getMember(internal, "string")),
              "The process cannot access the file because another process has "
              "locked a portion of the file.\r\n");
    // The fault was used up: the same lock works now.
    EXPECT_NO_THROW(lock.lockShared());
    lock.unlock();
}

TEST_F(FileLockTest, a_pending_request_is_waited_for_and_its_failure_reported) {
    FilePtr file = open();
    FileLockImpl lock(file.get());
    addFault("LockFileEx", 997, 1);
    addFault("GetOverlappedResult", 1359, 1);
    const auto [code, payload] = thrownBy([&] { lock.lockShared(); });
    EXPECT_EQ(code, -52008);
    EXPECT_EQ(
        cJSONUtils::getMember(cJSONUtils::getMember(payload.get(), "internal_error"), "code")->valuedouble,
        1359.0);
}

TEST_F(FileLockTest, a_lock_whose_event_cannot_be_made_is_not_made) {
    FilePtr file = open();
    addFault("CreateEventA", 8, 1);
    const auto [code, payload] = thrownBy([&] { FileLockImpl lock(file.get()); });
    EXPECT_EQ(code, -52008);
    EXPECT_EQ(
        cJSONUtils::getMember(cJSONUtils::getMember(payload.get(), "internal_error"), "code")->valuedouble,
        8.0);
}
