// What hwconfig costs to name one board against a whole `list`, on machines made by
// scripts/make-machine.py: 1,000 boards with an empty alias file, and 72 boards with an alias file of
// 10,000 records of other boards (1.6 MB) or an empty one. A board named by its number must cost
// about what one named by its item name costs (at most twice), and a `list` must read the large
// alias file once, not once a board (at most 1.5 times the `list` with the empty file). Each run is
// a process of its own: the figure is its CPU time, user and system, as the kernel accounts it to
// the child.
#include "tests/common/host_platform.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

// A generated machine, and the item name of its last board, which the script prints.
class BigMachine {
public:
    BigMachine(int boards, int aliasRecords)
        : folder_(hostplatform::makeTemporaryFolder("hwconfigbench")) {
        const std::string command = std::string("python3 '") + QV_SOURCE_DIR + "/scripts/make-machine.py' " +
                                    std::to_string(boards) + " '" + folder_.string() + "' " +
                                    std::to_string(aliasRecords);
        FILE* script = ::popen(command.c_str(), "r");
        if (script == nullptr) {
            throw std::runtime_error("cannot run " + command);
        }
        char line[512] = {};
        const bool printed = std::fgets(line, sizeof line, script) != nullptr;
        if (::pclose(script) != 0 || !printed) {
            throw std::runtime_error(command + " failed");
        }
        lastItemName_ = line;
        lastItemName_.erase(lastItemName_.find_last_not_of("\r\n") + 1);
    }
    ~BigMachine() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    BigMachine(const BigMachine&) = delete;
    BigMachine& operator=(const BigMachine&) = delete;

    std::string description() const { return (folder_ / "machine.json").string(); }
    const std::string& lastItemName() const { return lastItemName_; }

private:
    std::filesystem::path folder_;
    std::string lastItemName_;
};

const BigMachine& thousandBoards() {
    static const BigMachine machine(1000, 0);
    return machine;
}

const BigMachine& boardsWithLargeAliasFile() {
    static const BigMachine machine(72, 10000);
    return machine;
}

const BigMachine& boardsWithEmptyAliasFile() {
    static const BigMachine machine(72, 0);
    return machine;
}

// hwconfig --machine <machine> <arguments>, its output dropped; the child's CPU seconds, or a
// negative number when it could not run or did not exit with 0.
double hwconfigCpuSeconds(const BigMachine& machine, const std::vector<std::string>& arguments) {
    std::vector<std::string> words{std::string(QV_RUNTIME_DIR) + "/hwconfig", "--machine", machine.description()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = -1;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void runHwconfig(benchmark::State& state, const BigMachine& machine, const std::vector<std::string>& arguments) {
    for (auto _ : state) {
        const double seconds = hwconfigCpuSeconds(machine, arguments);
        if (seconds < 0) {
            state.SkipWithError("hwconfig failed");
            break;
        }
        state.SetIterationTime(seconds);
    }
}

void BM_ListAllBoards(benchmark::State& state) {
    runHwconfig(state, thousandBoards(), {"list"});
}

void BM_ShowOneBoardByItemName(benchmark::State& state) {
    runHwconfig(state, thousandBoards(), {"show", thousandBoards().lastItemName()});
}

void BM_ShowOneBoardByNumber(benchmark::State& state) {
    runHwconfig(state, thousandBoards(), {"show", "1000"});
}

void BM_LargeAliasFile_ShowByItemName(benchmark::State& state) {
    runHwconfig(state, boardsWithLargeAliasFile(), {"show", boardsWithLargeAliasFile().lastItemName()});
}

void BM_LargeAliasFile_ShowByNumber(benchmark::State& state) {
    runHwconfig(state, boardsWithLargeAliasFile(), {"show", "5"});
}

void BM_LargeAliasFile_List(benchmark::State& state) {
    runHwconfig(state, boardsWithLargeAliasFile(), {"list"});
}

void BM_EmptyAliasFile_List(benchmark::State& state) {
    runHwconfig(state, boardsWithEmptyAliasFile(), {"list"});
}

} // namespace

BENCHMARK(BM_ListAllBoards)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowOneBoardByItemName)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowOneBoardByNumber)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeAliasFile_ShowByItemName)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeAliasFile_ShowByNumber)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeAliasFile_List)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmptyAliasFile_List)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
