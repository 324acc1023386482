// Many host processes renaming boards in one alias file at once, while others read it.
#include "host_module.h"
#include "rename_machine.h"

#include "platform/sim/win32_files.h"

#include "common/child_processes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace hosttest;

namespace {

constexpr int kWriters = 8;
constexpr int kRounds = 100;
constexpr int kReaders = 2;
constexpr const char* kAliasFile = "C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json";

std::u16string aliasOf(int board, int round) {
    return widen("board" + std::to_string(board) + "-round" + std::to_string(round));
}

// Each rename through a fresh expert, as separate host calls would come.
bool renameOwnBoard(createSysApiExpertFunction create, int board) {
    const std::u16string item = widen(RenameMachine::itemName(board));
    for (int round = 0; round < kRounds; ++round) {
        IhwSysExpert2* raw = nullptr;
        if (create(&raw) != S_OK) {
            return false;
        }
        const auto expert = ComRef<IhwSysExpert2>::attach(raw);
        LONG inUse = 0;
        void* reserved = nullptr;
        if (expert->RenameResource(item.c_str(), aliasOf(board, round).c_str(), 0, &inUse, &reserved) != S_OK) {
            return false;
        }
    }
    return true;
}

// The whole file under a shared lock, as the module reads it.
bool readWholeFileShared(std::string& text) {
    FILE* file = platformOpenFile(kAliasFile, "rb");
    if (file == nullptr) {
        return false;
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    OVERLAPPED overlapped{};
    bool read = false;
    if (LockFileEx(handle, 0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, &overlapped)) {
        text.clear();
        char chunk[4096];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
            text.append(chunk, got);
        }
        read = std::ferror(file) == 0;
        UnlockFileEx(handle, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, &overlapped);
    }
    std::fclose(file);
    return read;
}

// Reads and parses until no writer is left; an exited writer answers kill until it is reaped.
bool readUntilWritersEnd(const std::vector<pid_t>& writers) {
    std::string text;
    for (;;) {
        if (!readWholeFileShared(text) || parseWhole(text) == nullptr) {
            return false;
        }
        if (std::none_of(writers.begin(), writers.end(), [](pid_t writer) { return kill(writer, 0) == 0; })) {
            return true;
        }
    }
}

class RenameStorm : public LoadedModuleTest {};

} // namespace

TEST_F(RenameStorm, eight_renaming_processes_keep_every_last_alias_and_two_readers_never_see_a_torn_file) {
    RenameMachine machine(kWriters);
    const std::string simulated = R"("SIM:1": {"alias": "sim", "simulated": true})";
    RenameMachine::write(machine.aliasFile(), "{\"format\": 1, \"devices\": {" + simulated + "}}");
    std::vector<pid_t> writers;
    std::vector<pid_t> readers;
    for (int board = 0; board < kWriters; ++board) {
        writers.push_back(spawn([board] { return renameOwnBoard(create, board); }));
    }
    for (int reader = 0; reader < kReaders; ++reader) {
        readers.push_back(spawn([&writers] { return readUntilWritersEnd(writers); }));
    }
    for (pid_t child : writers) {
        EXPECT_TRUE(exitedCleanly(child));
    }
    for (pid_t child : readers) {
        EXPECT_TRUE(exitedCleanly(child));
    }

    const Json root = parseWhole(RenameMachine::read(machine.aliasFile()));
    ASSERT_NE(root, nullptr);
    const cJSON* devices = cJSON_GetObjectItem(root.get(), "devices");
    EXPECT_EQ(cJSON_GetArraySize(devices), kWriters + 1);
    EXPECT_STREQ(cJSON_GetObjectItem(cJSON_GetObjectItem(devices, "SIM:1"), "alias")->valuestring, "sim");
    for (int board = 0; board < kWriters; ++board) {
        const cJSON* record = cJSON_GetObjectItemCaseSensitive(devices, RenameMachine::token(board).c_str());
        ASSERT_NE(record, nullptr) << board;
        const std::u16string last = aliasOf(board, kRounds - 1);
        EXPECT_EQ(cJSON_GetObjectItem(record, "alias")->valuestring, std::string(last.begin(), last.end()));
    }
    EXPECT_FALSE(std::filesystem::exists(machine.recoveryFile()));
}
