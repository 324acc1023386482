#include "alias_file_fixture.h"

#include "source/AliasStore.h"
#include "support/cJSONUtils.h"
#include "support/status.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWriters = 4;
constexpr int kBoardsPerWriter = 2;
constexpr int kRenamesPerBoard = 40;
constexpr int kReaders = 2;

std::string token(int writer, int board) {
    return "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:0" + std::to_string(writer) + ":0" +
           std::to_string(board) + ":00";
}

std::string alias(int writer, int board, int round) {
    return "w" + std::to_string(writer) + "-b" + std::to_string(board) + "-r" + std::to_string(round);
}

// One read-modify-write under the exclusive lock; false when anything failed.
bool renameOnce(int writer, int board, int round) {
    nQVOSALS100::tStatus status;
    AliasStore store;
    if (!store.openForUpdate(&status)) {
        return false;
    }
    cJSONUtils::Tree record = cJSONUtils::createObject();
    cJSONUtils::addString(record.get(), "alias", alias(writer, board, round).c_str());
    cJSONUtils::addNumber(record.get(), "round", static_cast<std::uint32_t>(round));
    store.replaceDeviceRecord(token(writer, board), record.get());
    return store.writeBack(&status);
}

int runWriter(int writer) {
    try {
        for (int round = 0; round < kRenamesPerBoard; ++round) {
            for (int board = 0; board < kBoardsPerWriter; ++board) {
                if (!renameOnce(writer, board, round)) {
                    return 1;
                }
            }
        }
        return 0;
    } catch (...) {
        return 2;
    }
}

// Parses the file under the shared lock until the writers are gone; any failure is fatal.
int runReader(pid_t parent, const std::vector<pid_t>& writers) {
    try {
        int reads = 0;
        for (;;) {
            nQVOSALS100::tStatus status;
            AliasStore store;
            if (!store.openForRead(&status)) {
                return 1;
            }
            for (int writer = 0; writer < kWriters; ++writer) {
                // Every record present must have its alias as a string.
                static_cast<void>(store.readAlias(token(writer, 0)));
            }
            ++reads;
            bool writing = false;
            for (pid_t pid : writers) {
                writing = writing || kill(pid, 0) == 0;
            }
            if (!writing || getppid() != parent) {
                return reads > 0 ? 0 : 3;
            }
        }
    } catch (...) {
        return 2;
    }
}

pid_t spawn(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    return child;
}

int exitCodeOf(pid_t child) {
    int result = 0;
    if (waitpid(child, &result, 0) != child || !WIFEXITED(result)) {
        return -1;
    }
    return WEXITSTATUS(result);
}

class AliasStoreProcessesTest : public AliasFileTest {};

} // namespace

TEST_F(AliasStoreProcessesTest,
       concurrent_renames_in_several_processes_all_survive_and_readers_never_see_a_torn_file) {
    writeAliasFile(R"({"shared": true, "devices": {"SIM:1": {"alias": "sim", "simulated": true}}})");
    const pid_t parent = getpid();
    std::vector<pid_t> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
        writers.push_back(spawn([writer] { return runWriter(writer); }));
        ASSERT_GT(writers.back(), 0);
    }
    std::vector<pid_t> readers;
    for (int reader = 0; reader < kReaders; ++reader) {
        readers.push_back(spawn([&] { return runReader(parent, writers); }));
        ASSERT_GT(readers.back(), 0);
    }
    // A writer that has exited stays a zombie (and answers kill) until it is reaped, so the
    // readers stop only once every writer has been waited for.
    for (pid_t writer : writers) {
        EXPECT_EQ(exitCodeOf(writer), 0);
    }
    for (pid_t reader : readers) {
        EXPECT_EQ(exitCodeOf(reader), 0);
    }

    nQVOSALS100::tStatus status;
    AliasStore store;
    ASSERT_TRUE(store.openForRead(&status));
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int board = 0; board < kBoardsPerWriter; ++board) {
            EXPECT_EQ(store.readAlias(token(writer, board)), alias(writer, board, kRenamesPerBoard - 1));
        }
    }
    EXPECT_EQ(store.readAlias("sim:1"), "sim");
    const cJSONUtils::Tree root = cJSONUtils::parse(readAliasFile().c_str());
    EXPECT_EQ(cJSON_GetArraySize(cJSON_GetObjectItem(root.get(), "devices")),
              kWriters * kBoardsPerWriter + 1);
    EXPECT_TRUE(cJSON_IsTrue(cJSON_GetObjectItem(root.get(), "shared")));
}
