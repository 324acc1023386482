#include "alias_file_fixture.h"

#include "source/AliasStore.h"
#include "support/cJSONUtils.h"
#include "support/error_exception.h"
#include "support/status.h"
#include "support/status_codes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace {

const std::string kMeter = "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:01";
const char* const kValidText =
    R"({"keep": "me", "devices": {"PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:01": {"alias": "Meter"}}})";

// The code of the qverr::Exception that `action` throws, or 0 when it throws none.
std::int32_t exceptionCode(const std::function<void()>& action) {
    try {
        action();
    } catch (const qverr::Exception& error) {
        return error.code();
    }
    return 0;
}

// Stream operations that fail as a test asks, on top of the real ones.
struct InjectedIo {
    bool failSeek = false;
    bool failTell = false;
    long readShortBy = 0;
    // Writes only this many bytes of the next write (really writing them) and reports a short write.
    long writeOnly = -1;
    int failFlushCall = -1;
    int flushCalls = 0;
    bool failNextTruncate = false;
};
InjectedIo injected;

const AliasFileIo kInjectedIo = {
    [](FILE* stream, long offset, int origin) {
        return injected.failSeek ? -1 : runtimeFileIo().seek(stream, offset, origin);
    },
    [](FILE* stream) { return injected.failTell ? -1L : runtimeFileIo().tell(stream); },
    [](void* buffer, std::size_t size, std::size_t count, FILE* stream) {
        const std::size_t got = runtimeFileIo().read(buffer, size, count, stream);
        return got - std::min<std::size_t>(got, static_cast<std::size_t>(injected.readShortBy));
    },
    [](const void* buffer, std::size_t size, std::size_t count, FILE* stream) {
        if (injected.writeOnly < 0) {
            return runtimeFileIo().write(buffer, size, count, stream);
        }
        const std::size_t part = std::min<std::size_t>(count, static_cast<std::size_t>(injected.writeOnly));
        injected.writeOnly = -1;
        return runtimeFileIo().write(buffer, size, part, stream);
    },
    [](FILE* stream) {
        return injected.flushCalls++ == injected.failFlushCall ? EOF : runtimeFileIo().flush(stream);
    },
    [](FILE* stream, long long length) {
        return std::exchange(injected.failNextTruncate, false) ? EIO
                                                               : runtimeFileIo().truncate(stream, length);
    },
};

class AliasStoreFailureTest : public AliasFileTest {
protected:
    void SetUp() override {
        AliasFileTest::SetUp();
        injected = InjectedIo();
    }

    // Renames the meter through a store over the injected stream operations.
    bool renameMeterTo(const char* alias) {
        AliasStore store(kInjectedIo);
        EXPECT_TRUE(store.openForUpdate(&status_));
        cJSONUtils::Tree record = cJSONUtils::createObject();
        cJSONUtils::addString(record.get(), "alias", alias);
        store.replaceDeviceRecord(kMeter, record.get());
        return store.writeBack(&status_);
    }

    void expectUntouchedAndUnlocked(const std::string& text) {
        EXPECT_EQ(readAliasFile(), text);
        EXPECT_TRUE(aliasFileIsUnlocked());
    }

    nQVOSALS100::tStatus status_;
};

} // namespace

TEST_F(AliasStoreFailureTest, a_missing_file_fails_both_opens_with_unexpected_and_is_not_created) {
    AliasStore store;
    EXPECT_FALSE(store.openForRead(&status_));
    EXPECT_EQ(status_.code, nQVOSALS100::osalStatusUnexpected);
    nQVOSALS100::tStatus update;
    EXPECT_FALSE(store.openForUpdate(&update));
    EXPECT_EQ(update.code, nQVOSALS100::osalStatusUnexpected);
    EXPECT_FALSE(std::filesystem::exists(aliasFile()));
}

TEST_F(AliasStoreFailureTest, access_denied_is_its_own_failure_only_for_an_update) {
    writeAliasFile(kValidText);
    machine_.addFault({"platformOpenFile", EACCES, std::nullopt, 0, 2});
    install();
    AliasStore store;
    EXPECT_FALSE(store.openForUpdate(&status_));
    EXPECT_EQ(status_.code, nQVOSALS100::osalStatusFileAccessDenied);
    nQVOSALS100::tStatus read;
    EXPECT_FALSE(store.openForRead(&read));
    EXPECT_EQ(read.code, nQVOSALS100::osalStatusUnexpected);
    expectUntouchedAndUnlocked(kValidText);
}

TEST_F(AliasStoreFailureTest, text_that_is_not_json_fails_to_open_in_either_mode) {
    for (const char* text : {"", "   ", "not json", "{\"devices\": {}", "\xEF\xBB"}) {
        writeAliasFile(text);
        AliasStore store;
        EXPECT_EQ(exceptionCode([&] { static_cast<void>(store.openForRead(&status_)); }), -52005) << text;
        EXPECT_EQ(exceptionCode([&] { static_cast<void>(store.openForUpdate(&status_)); }), -52005) << text;
        expectUntouchedAndUnlocked(text);
    }
    EXPECT_EQ(status_.code, 0);
}

TEST_F(AliasStoreFailureTest, a_document_of_the_wrong_shape_fails_to_open) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"[]", -52004},
        {"\"devices\"", -52004},
        {R"({"devices": "none"})", -52004},
        {R"({"devices": []})", -52004},
        {R"({"other": {}})", -52006},
    };
    for (const auto& [text, code] : cases) {
        writeAliasFile(text);
        AliasStore store;
        EXPECT_EQ(exceptionCode([&] { static_cast<void>(store.openForUpdate(&status_)); }), code) << text;
        expectUntouchedAndUnlocked(text);
    }
}

TEST_F(AliasStoreFailureTest, a_record_without_a_string_alias_fails_whoever_reads_it) {
    writeAliasFile(
        R"({"devices": {"A": {"alias": "ok"}, "B": {"name": "x"}, "C": {"alias": 7}, "D": "text"}})");
    AliasStore store;
    ASSERT_TRUE(store.openForRead(&status_));
    EXPECT_EQ(store.readAlias("a"), "ok");
    EXPECT_EQ(exceptionCode([&] { store.readAlias("B"); }), -52006);
    EXPECT_EQ(exceptionCode([&] { store.readAlias("C"); }), -52004);
    EXPECT_EQ(exceptionCode([&] { store.readAlias("D"); }), -52004);
    EXPECT_EQ(exceptionCode([&] { store.isAliasInUse("nothing"); }), -52006);
    EXPECT_TRUE(store.isAliasInUse("ok"));
}

TEST_F(AliasStoreFailureTest, a_failed_lock_throws_and_leaves_the_file_closed) {
    writeAliasFile(kValidText);
    machine_.addFault({"LockFileEx", 33, std::nullopt, 0, 1});
    install();
    AliasStore store;
    EXPECT_EQ(exceptionCode([&] { static_cast<void>(store.openForUpdate(&status_)); }), -52008);
    expectUntouchedAndUnlocked(kValidText);
    EXPECT_TRUE(store.openForUpdate(&status_));
}

TEST_F(AliasStoreFailureTest, a_failed_folder_lookup_throws_before_anything_is_opened) {
    writeAliasFile(kValidText);
    machine_.addFault({"SHGetFolderPathW", static_cast<DWORD>(E_FAIL), std::nullopt, 0, std::nullopt});
    install();
    AliasStore store;
    EXPECT_EQ(exceptionCode([&] { static_cast<void>(store.openForRead(&status_)); }), -52006);
    EXPECT_EQ(status_.code, 0);
}

TEST_F(AliasStoreFailureTest, a_failed_seek_size_query_or_short_read_throws_unexpected) {
    writeAliasFile(kValidText);
    const std::function<void()> faults[] = {
        [] { injected.failSeek = true; },
        [] { injected.failTell = true; },
        [] { injected.readShortBy = 1; },
    };
    for (const auto& fault : faults) {
        injected = InjectedIo();
        fault();
        AliasStore store(kInjectedIo);
        HRESULT thrown = S_OK;
        try {
            static_cast<void>(store.openForRead(&status_));
        } catch (HRESULT result) {
            thrown = result;
        }
        EXPECT_EQ(thrown, E_UNEXPECTED);
        expectUntouchedAndUnlocked(kValidText);
    }
}

TEST_F(AliasStoreFailureTest, a_failed_write_back_reports_unexpected_and_puts_the_old_text_back) {
    const std::function<void()> faults[] = {
        [] { injected.writeOnly = 0; },           [] { injected.writeOnly = 20; },
        [] { injected.failFlushCall = 0; },       [] { injected.failFlushCall = 1; },
        [] { injected.failNextTruncate = true; },
    };
    // The new text is longer than the compact file and shorter than the padded one.
    const std::string originals[] = {kValidText, std::string(kValidText) + std::string(600, ' ')};
    for (const std::string& original : originals) {
        for (std::size_t i = 0; i < std::size(faults); ++i) {
            writeAliasFile(original);
            injected = InjectedIo();
            faults[i]();
            status_ = nQVOSALS100::tStatus();
            EXPECT_FALSE(renameMeterTo("M")) << original.size() << " fault " << i;
            EXPECT_EQ(status_.code, nQVOSALS100::osalStatusUnexpected);
            expectUntouchedAndUnlocked(original);
        }
    }
}

TEST_F(AliasStoreFailureTest, a_failed_write_back_keeps_an_earlier_failure_in_the_status) {
    writeAliasFile(kValidText);
    status_.setCode(nQVOSALS100::osalStatusBufferTooSmall, "x", "y", 1);
    injected.writeOnly = 3;
    EXPECT_FALSE(renameMeterTo("M"));
    EXPECT_EQ(status_.code, nQVOSALS100::osalStatusBufferTooSmall);
    expectUntouchedAndUnlocked(kValidText);
}

// A file-size limit makes the system itself refuse part of the write, as a full disk would.
TEST_F(AliasStoreFailureTest, a_write_cut_short_by_the_system_leaves_the_old_text) {
    writeAliasFile(kValidText);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{std::strlen(kValidText) + 8, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        nQVOSALS100::tStatus status;
        AliasStore store;
        bool written = true;
        if (store.openForUpdate(&status)) {
            cJSONUtils::Tree record = cJSONUtils::createObject();
            cJSONUtils::addString(record.get(), "alias", "a-new-alias-much-longer-than-the-one-before");
            store.replaceDeviceRecord(kMeter, record.get());
            written = store.writeBack(&status);
        }
        _exit(!written && status.code == nQVOSALS100::osalStatusUnexpected ? 0 : 1);
    }
    int result = 0;
    ASSERT_EQ(waitpid(child, &result, 0), child);
    EXPECT_TRUE(WIFEXITED(result) && WEXITSTATUS(result) == 0);
    expectUntouchedAndUnlocked(kValidText);
}
