#include "alias_file_fixture.h"

#include "common/child_processes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWriters = 4;
constexpr int kBoards = 2;
constexpr int kRounds = 40;

std::string token(int writer, int board) {
    return "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:0" + std::to_string(writer) + ":0" +
           std::to_string(board) + ":00";
}

std::string alias(int writer, int board, int round) {
    return "w" + std::to_string(writer) + "-b" + std::to_string(board) + "-r" + std::to_string(round);
}

// Renames the writer's boards round after round, one read-modify-write each.
bool runWriter(int writer) {
    nQVOSALS100::tStatus status;
    for (int round = 0; round < kRounds; ++round) {
        for (int board = 0; board < kBoards; ++board) {
            AliasStore store;
            if (!store.openForUpdate(&status)) {
                return false;
            }
            store.replaceDeviceRecord(token(writer, board),
                                      recordWithAlias(alias(writer, board, round).c_str()).get());
            if (!store.writeBack(&status)) {
                return false;
            }
        }
    }
    return true;
}

// Opens and parses the file (which throws on a torn file) until no writer is left; an exited
// writer still answers kill until the test reaps it.
bool runReader(const std::vector<pid_t>& writers) {
    nQVOSALS100::tStatus status;
    for (;;) {
        AliasStore store;
        if (!store.openForRead(&status)) {
            return false;
        }
        static_cast<void>(store.isAliasInUse("anything"));
        if (std::none_of(writers.begin(), writers.end(), [](pid_t writer) { return kill(writer, 0) == 0; })) {
            return true;
        }
    }
}

class AliasStoreProcessesTest : public AliasFileTest {};

} // namespace

TEST_F(AliasStoreProcessesTest,
       concurrent_renames_in_several_processes_all_survive_and_readers_never_see_a_torn_file) {
    writeAliasFile(R"({"shared": true, "devices": {"SIM:1": {"alias": "sim", "simulated": true}}})");
    std::vector<pid_t> writers, readers;
    for (int writer = 0; writer < kWriters; ++writer) {
        writers.push_back(spawn([writer] { return runWriter(writer); }));
    }
    for (int reader = 0; reader < 2; ++reader) {
        readers.push_back(spawn([&writers] { return runReader(writers); }));
    }
    for (pid_t child : writers) {
        EXPECT_TRUE(exitedCleanly(child));
    }
    for (pid_t child : readers) {
        EXPECT_TRUE(exitedCleanly(child));
    }

    AliasStore store;
    ASSERT_TRUE(store.openForRead(&status_));
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int board = 0; board < kBoards; ++board) {
            EXPECT_EQ(store.readAlias(token(writer, board)), alias(writer, board, kRounds - 1));
        }
    }
    EXPECT_EQ(store.readAlias("sim:1"), "sim");
    const cJSONUtils::Tree root = cJSONUtils::parse(readAliasFile().c_str());
    EXPECT_EQ(cJSON_GetArraySize(cJSONUtils::getMember(root.get(), "devices")), kWriters * kBoards + 1);
    EXPECT_TRUE(cJSON_IsTrue(cJSONUtils::getMember(root.get(), "shared")));
}
