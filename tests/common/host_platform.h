// What the host-level tests ask of the system they run on: on Linux the simulated Windows, on Windows
// (the test build of the module under Wine) the system itself, where the alias file lives in the real
// C:\ProgramData. Environment variables, temporary folders, other programs and drive C.
#pragma once

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include "platform/win32.h"
#include <process.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace hostplatform {

// On the shipped DLL (scripts/test-shipped.sh) Windows' own SetupAPI reads the machine from the
// registry: a machine named in QVKELP_MACHINE is planted there, by the program that
// QVKELP_PLANT_PROGRAM names (plant-machine.exe), before the module can look.
inline void plantWhenAsked([[maybe_unused]] const char* name, [[maybe_unused]] const std::string& value) {
#ifdef _WIN32
    const char* plant = std::getenv("QVKELP_PLANT_PROGRAM");
    if (plant != nullptr && *plant != '\0' && std::string(name) == "QVKELP_MACHINE" && !value.empty()) {
        const std::string argument = '"' + value + '"';
        if (_spawnl(_P_WAIT, plant, plant, argument.c_str(), nullptr) != 0) {
            std::fprintf(stderr, "%s %s failed\n", plant, argument.c_str());
        }
    }
#endif
}

inline void setEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
    plantWhenAsked(name, value);
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

inline void unsetEnvironment(const char* name) {
#ifdef _WIN32
    _putenv_s(name, ""); // an empty value removes the variable
#else
    ::unsetenv(name);
#endif
}

// True in a Windows program that runs under Wine, whose ntdll exports wine_get_version: the tests
// that check the simulation against Windows skip there only the checks where Wine differs from Windows.
inline bool runningUnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

inline int processId() {
#ifdef _WIN32
    return _getpid();
#else
    return ::getpid();
#endif
}

// A new empty folder under the system's temporary folder.
inline std::filesystem::path makeTemporaryFolder(const std::string& prefix) {
    static std::atomic<int> counter{0};
    for (;;) {
        const std::filesystem::path folder =
            std::filesystem::temp_directory_path() /
            (prefix + "-" + std::to_string(processId()) + "-" + std::to_string(counter++));
        if (std::filesystem::create_directories(folder)) {
            return folder;
        }
    }
}

// A new empty folder, removed with everything in it at the end.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string& prefix = "qvwinsim-test")
        : path_(makeTemporaryFolder(prefix)) {}
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The folder that drive C stands for: a folder of the simulated machine on Linux, drive C itself on
// Windows, where the description's drives have no effect.
inline std::filesystem::path driveC([[maybe_unused]] const std::filesystem::path& simulatedDrive) {
#ifdef _WIN32
    return "C:\\";
#else
    return simulatedDrive;
#endif
}

struct ProgramRun {
    int exitCode = -1;
    std::string output;
};

// A command line through the system's shell, its error output joined to its output.
inline ProgramRun runCommand(const std::string& commandLine) {
    ProgramRun run;
#ifdef _WIN32
    FILE* pipe = _popen((commandLine + " 2>&1").c_str(), "r");
#else
    FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
#endif
    if (pipe == nullptr) {
        return run;
    }
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
        run.output += chunk;
    }
#ifdef _WIN32
    run.exitCode = _pclose(pipe);
#else
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return run;
}

// This test program, quoted for the shell.
inline std::string thisProgramQuoted() {
#ifdef _WIN32
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return '"' + std::string(path) + '"';
#else
    return "'" + std::filesystem::read_symlink("/proc/self/exe").string() + "'";
#endif
}

// This test program again, running only the tests that `filter` names.
inline ProgramRun runThisProgram(const std::string& filter) {
    return runCommand(thisProgramQuoted() + " --gtest_filter=" + filter);
}

} // namespace hostplatform
