#include "alias_file_fixture.h"

#include "com/hostBoundary.h"
#include "support/errorException.h"
#include "support/statusCodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <functional>
#include <regex>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const char* const kMeter = "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:01";
const std::string kText =
    R"({"keep": "me", "devices": {"PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:01":
                                                       {"alias": "Meter"}}})";

// The code of the qverr::Exception, or the HRESULT, that `action` throws; 0 when it throws neither.
std::int32_t thrownBy(const std::function<void()>& action, std::string* payload = nullptr) {
    try {
        action();
    } catch (const qverr::Exception& error) {
        if (payload != nullptr) {
            *payload = std::regex_replace(error.what(), std::regex("\"line\":[0-9]+,"), "\"line\":L,");
        }
        return error.code();
    } catch (const qvkelpsysapiexpert::tThrownHResult& thrown) {
        return thrown.result;
    }
    return 0;
}

// Stream operations that fail once as a test asks, on top of the real ones.
struct Injected {
    bool failSeek = false, failTell = false, shortRead = false, failTruncate = false;
    long writeOnly = -1; // bytes really written by the next write, which then reports a short write
    int failFlush = -1;  // index of the flush call that fails
    int flushes = 0;
} injected;

const AliasFileIo kInjectedIo = {
    [](FILE* s, long offset, int origin) {
        return std::exchange(injected.failSeek, false) ? -1 : runtimeFileIo().seek(s, offset, origin);
    },
    [](FILE* s) { return std::exchange(injected.failTell, false) ? -1L : runtimeFileIo().tell(s); },
    [](void* buffer, std::size_t size, std::size_t count, FILE* s) {
        return runtimeFileIo().read(buffer, size, count, s) -
               (std::exchange(injected.shortRead, false) ? 1 : 0);
    },
    [](const void* buffer, std::size_t size, std::size_t count, FILE* s) {
        const long part = std::exchange(injected.writeOnly, -1);
        return runtimeFileIo().write(buffer, size, part < 0 ? count : std::min<std::size_t>(count, part), s);
    },
    [](FILE* s) { return injected.flushes++ == injected.failFlush ? EOF : runtimeFileIo().flush(s); },
    [](FILE* s, long long length) {
        return std::exchange(injected.failTruncate, false) ? EIO : runtimeFileIo().truncate(s, length);
    },
};

class AliasStoreFailureTest : public AliasFileTest {
protected:
    void expectUntouchedAndUnlocked(const std::string& text) {
        EXPECT_EQ(readAliasFile(), text);
        EXPECT_TRUE(aliasFileIsUnlocked());
    }

    void install(const sim::Fault& fault) {
        machine_.addFault(fault);
        sim::installMachine(machine_);
    }
};

} // namespace

TEST_F(AliasStoreFailureTest, a_file_that_cannot_be_opened_is_reported_into_the_status_and_never_created) {
    AliasStore store;
    EXPECT_FALSE(store.openForRead(&status_));
    EXPECT_EQ(status_.code, nQVOSALS100::osalStatusUnexpected);
    EXPECT_FALSE(std::filesystem::exists(aliasFile()));

    writeAliasFile(kText);
    install({"platformOpenFile", EACCES, std::nullopt, 0, 2});
    nQVOSALS100::tStatus update, read;
    EXPECT_FALSE(store.openForUpdate(&update));
    EXPECT_EQ(update.code, nQVOSALS100::osalStatusFileAccessDenied);
    EXPECT_FALSE(store.openForRead(&read));
    EXPECT_EQ(read.code, nQVOSALS100::osalStatusUnexpected);
}

TEST_F(AliasStoreFailureTest, a_file_of_the_wrong_content_or_shape_throws_and_is_left_alone) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"", -52005},   {"not json", -52005},           {"{\"devices\": {}", -52005},
        {"[]", -52004}, {R"({"devices": []})", -52004}, {R"({"other": {}})", -52006},
    };
    for (const auto& [text, code] : cases) {
        writeAliasFile(text);
        AliasStore store;
        EXPECT_EQ(thrownBy([&] { static_cast<void>(store.openForUpdate(&status_)); }), code) << text;
        EXPECT_EQ(thrownBy([&] { static_cast<void>(store.openForRead(&status_)); }), code) << text;
        expectUntouchedAndUnlocked(text);
    }
    EXPECT_EQ(status_.code, 0);
}

TEST_F(AliasStoreFailureTest, a_record_without_a_string_alias_fails_whoever_reads_it) {
    writeAliasFile(
        R"({"devices": {"A": {"alias": "ok"}, "B": {"name": "x"}, "C": {"alias": 7}, "D": "text"}})");
    AliasStore store;
    ASSERT_TRUE(store.openForRead(&status_));
    EXPECT_EQ(store.readAlias("a"), "ok");
    EXPECT_EQ(thrownBy([&] { store.readAlias("B"); }), -52006);
    EXPECT_EQ(thrownBy([&] { store.readAlias("C"); }), -52004);
    EXPECT_EQ(thrownBy([&] { store.readAlias("D"); }), -52004);
    EXPECT_EQ(thrownBy([&] { store.isAliasInUse("nothing"); }), -52006);
}

TEST_F(AliasStoreFailureTest, every_lock_failure_is_an_os_fault_carrying_the_system_error) {
    writeAliasFile(kText);
    const std::pair<std::vector<sim::Fault>, std::string> cases[] = {
        {{{"LockFileEx", 33, std::nullopt, 0, 1}},
         "33,\"string\":\"The process cannot access the file because another process has locked a "
         "portion of the file.\\r\\n\"}}"},
        // A request reported as pending is waited for; its failure is the one reported.
        {{{"LockFileEx", 997, std::nullopt, 0, 1}, {"GetOverlappedResult", 1359, std::nullopt, 0, 1}},
         "1359,\"string\":\"An internal error occurred.\\r\\n\"}}"},
        {{{"CreateEventA", 8, std::nullopt, 0, 1}},
         "8,\"string\":\"Not enough memory resources are available to process this command.\\r\\n\"}}"},
    };
    for (const auto& [faults, error] : cases) {
        machine_.faults = faults;
        sim::installMachine(machine_);
        AliasStore store;
        std::string payload;
        EXPECT_EQ(thrownBy([&] { static_cast<void>(store.openForUpdate(&status_)); }, &payload), -52008);
        EXPECT_EQ(payload,
                  "{\"error_constant\":\"nQVOSALS100::tStatus::kOSFault\",\"file\":\"support/"
                  "FileLockImpl.cpp\",\"line\":L,\"component\":\"qvkelpsysapiexpertu\",\"internal_error\":{"
                  "\"api\":\"win32\",\"code\":" +
                      error);
        expectUntouchedAndUnlocked(kText);
    }
}

TEST_F(AliasStoreFailureTest, a_failed_folder_lookup_seek_size_query_or_read_throws_and_releases_all) {
    writeAliasFile(kText);
    AliasStore store(kInjectedIo);
    for (bool* fault : {&injected.failSeek, &injected.failTell, &injected.shortRead}) {
        *fault = true;
        EXPECT_EQ(thrownBy([&] { static_cast<void>(store.openForUpdate(&status_)); }), E_UNEXPECTED);
        expectUntouchedAndUnlocked(kText);
    }
    install({"SHGetFolderPathW", static_cast<DWORD>(E_FAIL), std::nullopt, 0, 1});
    EXPECT_EQ(thrownBy([&] { static_cast<void>(store.openForRead(&status_)); }), -52006);
    EXPECT_EQ(status_.code, 0);
}

TEST_F(AliasStoreFailureTest, a_failed_write_back_reports_unexpected_and_puts_the_old_text_back) {
    const std::function<void()> faults[] = {
        [] { injected.writeOnly = 0; }, [] { injected.writeOnly = 20; },      [] { injected.failFlush = 0; },
        [] { injected.failFlush = 1; }, [] { injected.failTruncate = true; },
    };
    // The new text is longer than the compact file and shorter than the padded one.
    for (const std::string& original : {kText, kText + std::string(600, ' ')}) {
        for (const auto& fault : faults) {
            writeAliasFile(original);
            injected = Injected();
            status_ = nQVOSALS100::tStatus();
            AliasStore store(kInjectedIo);
            ASSERT_TRUE(store.openForUpdate(&status_));
            store.replaceDeviceRecord(kMeter, recordWithAlias("M").get());
            fault();
            EXPECT_FALSE(store.writeBack(&status_));
            EXPECT_EQ(status_.code, nQVOSALS100::osalStatusUnexpected);
            store.close();
            expectUntouchedAndUnlocked(original);
        }
    }
}

// A file-size limit makes the system itself refuse part of the write, as a full disk would.
TEST_F(AliasStoreFailureTest, a_write_cut_short_by_the_system_leaves_the_old_text) {
    writeAliasFile(kText);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kText.size() + 8, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        nQVOSALS100::tStatus status;
        AliasStore store;
        bool written = true;
        if (store.openForUpdate(&status)) {
            store.replaceDeviceRecord(kMeter, recordWithAlias(std::string(200, 'x').c_str()).get());
            written = store.writeBack(&status);
        }
        _exit(!written && status.code == nQVOSALS100::osalStatusUnexpected ? 0 : 1);
    }
    int result = 0;
    ASSERT_EQ(waitpid(child, &result, 0), child);
    EXPECT_TRUE(WIFEXITED(result) && WEXITSTATUS(result) == 0);
    expectUntouchedAndUnlocked(kText);
}
