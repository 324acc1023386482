// This test program started again as a child process, to play one part of a test between processes:
// the child runs only the tests that a filter names, learns its part from environment variables, and
// writes its output to a file. The same on Linux and on Windows, where a child cannot be forked.
#pragma once

#include "common/host_platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifdef _WIN32
#include "platform/win32.h"
#include "support/unique_any.h"
#else
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace hostplatform {

using Environment = std::vector<std::pair<std::string, std::string>>;

// A child still running when its owner goes is killed, so that a failed test leaves no process behind.
class ChildProgram {
public:
    ChildProgram(const std::string& testFilter, const Environment& environment,
                 std::filesystem::path outputFile)
        : outputFile_(std::move(outputFile)) {
        // Set in this process only while the child starts: the child inherits them, nothing else sees them.
        for (const auto& [name, value] : environment) {
            setEnvironment(name.c_str(), value);
        }
        start("--gtest_filter=" + testFilter);
        for (const auto& variable : environment) {
            unsetEnvironment(variable.first.c_str());
        }
    }
    ~ChildProgram() { stop(); }
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // The child's exit code once it has ended; -1 when it never started or did not exit by itself.
    int wait();

    // Played its part: exited with 0 after running its one test (a child that skipped its test did
    // not play). Otherwise says how the child ended, which its output alone may not: a child that
    // crashes loses what its runtime still held for a file.
    testing::AssertionResult played() {
        const int code = wait();
        const std::string text = output();
        if (code == 0 && text.find("[  PASSED  ] 1 test.") != std::string::npos) {
            return testing::AssertionSuccess();
        }
        return testing::AssertionFailure() << ending_ << "; its output:\n" << text;
    }

    std::string output() const {
        std::ifstream in(outputFile_, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    void start(const std::string& filterArgument);
    void stop();

    std::filesystem::path outputFile_;
    int exitCode_ = -1;
    std::string ending_ = "not started";
#ifdef _WIN32
    qv::unique_handle process_;
#else
    pid_t process_ = -1;
#endif
};

#ifdef _WIN32

inline void ChildProgram::start(const std::string& filterArgument) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const qv::unique_hfile output(CreateFileW(outputFile_.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                              &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) {
        ending_ = "not started: its output file, Win32 error " + std::to_string(GetLastError());
        return;
    }
    WCHAR program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\" " +
                               std::filesystem::path(filterArgument).wstring() + L" --gtest_brief=1";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        const qv::unique_handle thread(process.hThread);
        process_.reset(process.hProcess);
        ending_ = "running";
    } else {
        ending_ = "not started: Win32 error " + std::to_string(GetLastError());
    }
}

inline int ChildProgram::wait() {
    if (process_) {
        WaitForSingleObject(process_.get(), INFINITE);
        DWORD code = 0;
        exitCode_ = GetExitCodeProcess(process_.get(), &code) ? static_cast<int>(code) : -1;
        char text[32];
        std::snprintf(text, sizeof text, "exit code 0x%lX", static_cast<unsigned long>(code));
        ending_ = text;
        process_.reset();
    }
    return exitCode_;
}

inline void ChildProgram::stop() {
    if (process_) {
        TerminateProcess(process_.get(), 1);
        wait();
        exitCode_ = -1;
        ending_ = "stopped by its owner";
    }
}

#else

inline void ChildProgram::start(const std::string& filterArgument) {
    // Everything the child needs is made before the fork: after it, only exec-safe calls.
    const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string output = outputFile_.string();
    const pid_t child = fork();
    if (child == 0) {
        const int file = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (file >= 0 && dup2(file, STDOUT_FILENO) >= 0 && dup2(file, STDERR_FILENO) >= 0) {
            execl(program.c_str(), program.c_str(), filterArgument.c_str(), "--gtest_brief=1", nullptr);
        }
        _exit(127);
    }
    process_ = child;
    ending_ = child > 0 ? "running" : "not started: fork failed";
}

inline int ChildProgram::wait() {
    if (process_ > 0) {
        int status = 0;
        const bool reaped = waitpid(process_, &status, 0) == process_;
        exitCode_ = reaped && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (!reaped) {
            ending_ = "not found by waitpid";
        } else if (WIFEXITED(status)) {
            ending_ = "exit code " + std::to_string(exitCode_);
        } else {
            ending_ = "killed by signal " + std::to_string(WTERMSIG(status));
        }
        process_ = -1;
    }
    return exitCode_;
}

inline void ChildProgram::stop() {
    if (process_ > 0) {
        kill(process_, SIGKILL);
        wait();
    }
}

#endif

// Waits until `file` exists, for at most `within`: how a child tells its parent that it got somewhere.
inline bool appearsWithin(const std::filesystem::path& file, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    for (;;) {
        if (std::filesystem::exists(file)) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

inline void createEmptyFile(const std::filesystem::path& file) {
    std::ofstream(file, std::ios::binary);
}

} // namespace hostplatform
