// Fixtures of the simulated-Windows tests: temporary folders, description files, the environment
// variable that names the machine, and machines installed for the length of a test.
#pragma once

#include "common/host_platform.h"
#include "platform/sim/device/machine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace simtest {

using TempFolder = hostplatform::TemporaryFolder;

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

// Gives the file a modification time `seconds` after the epoch, so that a rewrite within the
// file system's time resolution is still seen as a change.
inline void setModificationTime(const std::string& path, long seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Sets (or unsets) QVKELP_MACHINE for the length of a scope.
class ScopedMachineVariable {
public:
    explicit ScopedMachineVariable(const std::optional<std::string>& value) {
        if (const char* old = std::getenv(kName)) {
            saved_ = old;
        }
        apply(value);
    }
    ~ScopedMachineVariable() { apply(saved_); }
    ScopedMachineVariable(const ScopedMachineVariable&) = delete;
    ScopedMachineVariable& operator=(const ScopedMachineVariable&) = delete;

private:
    static constexpr const char* kName = "QVKELP_MACHINE";
    static void apply(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(kName, value->c_str(), 1);
        } else {
            ::unsetenv(kName);
        }
    }
    std::optional<std::string> saved_;
};

// Installs a machine made in code for the length of a scope.
class ScopedMachine {
public:
    explicit ScopedMachine(const sim::Machine& machine) { sim::installMachine(machine); }
    ~ScopedMachine() { sim::uninstallMachine(); }
    ScopedMachine(const ScopedMachine&) = delete;
    ScopedMachine& operator=(const ScopedMachine&) = delete;
};

inline std::string examplePath(const std::string& relative) {
    return std::string(QV_SOURCE_DIR) + "/examples/" + relative;
}

} // namespace simtest
