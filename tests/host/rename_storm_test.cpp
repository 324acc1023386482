// Many host processes renaming boards in one alias file at once, while others read it. Each process
// is this test program again, playing the part that its environment names.
#include "host_module.h"
#include "rename_machine.h"

#include "common/child_program.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace hosttest;

namespace {

constexpr int kWriters = 8;
constexpr int kRounds = 100;
constexpr int kReaders = 2;
constexpr const char* kAliasFile = "C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json";
// A writer's board number, or "reader"; a reader reads until the file named by kStopVariable exists.
constexpr char kPartVariable[] = "QVKELP_STORM_PART";
constexpr char kStopVariable[] = "QVKELP_STORM_STOP";

std::u16string aliasOf(int board, int round) {
    return widen("board" + std::to_string(board) + "-round" + std::to_string(round));
}

// The board's renames, each as a separate host call.
bool renameOwnBoard(createSysApiExpertFunction create, int board) {
    const std::u16string item = widen(RenameMachine::itemName(board));
    for (int round = 0; round < kRounds; ++round) {
        if (renameThroughNewExpert(create, item, aliasOf(board, round)) != S_OK) {
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

// Reads and parses until told to stop, and at least once.
bool readUntilStopped(const std::filesystem::path& stopFile) {
    std::string text;
    for (;;) {
        if (!readWholeFileShared(text) || parseWhole(text) == nullptr) {
            return false;
        }
        if (std::filesystem::exists(stopFile)) {
            return true;
        }
    }
}

class RenameStorm : public LoadedModuleTest {};

// One process of the storm: runs only when the storm starts it.
class RenameStormProcess : public LoadedModuleTest {
protected:
    void SetUp() override {
        if (std::getenv(kPartVariable) == nullptr) {
            GTEST_SKIP() << "runs only as a process started by RenameStorm";
        }
    }
};

} // namespace

TEST_F(RenameStormProcess, plays_the_part_its_environment_names) {
    const std::string part = std::getenv(kPartVariable);
    if (part == "reader") {
        EXPECT_TRUE(readUntilStopped(std::getenv(kStopVariable)));
    } else {
        EXPECT_TRUE(renameOwnBoard(create, std::stoi(part)));
    }
}

TEST_F(RenameStorm, eight_renaming_processes_keep_every_last_alias_and_two_readers_never_see_a_torn_file) {
    RenameMachine machine(kWriters);
    const std::string simulated = R"("SIM:1": {"alias": "sim", "simulated": true})";
    RenameMachine::write(machine.aliasFile(), "{\"format\": 1, \"devices\": {" + simulated + "}}");
    const std::filesystem::path folder = machine.machineFile().parent_path();
    const std::filesystem::path stopFile = folder / "stop";
    const auto startPart = [&](const std::string& part, const std::string& name) {
        return std::make_unique<hostplatform::ChildProgram>(
            "RenameStormProcess.*",
            hostplatform::Environment{{kPartVariable, part}, {kStopVariable, stopFile.string()}},
            folder / (name + ".log"));
    };
    std::vector<std::unique_ptr<hostplatform::ChildProgram>> writers;
    std::vector<std::unique_ptr<hostplatform::ChildProgram>> readers;
    for (int board = 0; board < kWriters; ++board) {
        writers.push_back(startPart(std::to_string(board), "writer" + std::to_string(board)));
    }
    for (int reader = 0; reader < kReaders; ++reader) {
        readers.push_back(startPart("reader", "reader" + std::to_string(reader)));
    }
    for (const auto& writer : writers) {
        EXPECT_TRUE(writer->played());
    }
    hostplatform::createEmptyFile(stopFile);
    for (const auto& reader : readers) {
        EXPECT_TRUE(reader->played());
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
    EXPECT_FALSE(machine.journalPending()) << RenameMachine::read(machine.recoveryFile()).substr(0, 200);
}
