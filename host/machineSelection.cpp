#include "host/machineSelection.h"

#include "host/expertModule.h"
#include "platform/machine_file.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace hwconfig {
namespace {

#ifndef _WIN32
fs::path programFolder() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

void requireRegularFile(const fs::path& machine) {
    std::error_code error;
    const fs::file_status status = fs::status(machine, error);
    if (!fs::exists(status)) {
        throw HostError("machine description not found: " + machine.string());
    }
    if (!fs::is_regular_file(status)) {
        throw HostError("machine description is not a file: " + machine.string());
    }
}
#endif

} // namespace

std::string selectMachine(const std::optional<std::string>& requested) {
#ifdef _WIN32
    (void)requested;
    return {};
#else
    const fs::path machine = requested ? fs::path(*requested) : programFolder() / "examples" / "lab.json";
    requireRegularFile(machine);
    const std::string absolute = fs::absolute(machine).string();
    std::string problem = takeMachineFile(absolute);
    if (!problem.empty()) {
        const std::string simulationPrefix = "qvwinsim: ";
        if (problem.rfind(simulationPrefix, 0) == 0) {
            problem.erase(0, simulationPrefix.size());
        }
        throw HostError("cannot use the " + problem);
    }
    setenv("QVKELP_MACHINE", absolute.c_str(), 1);
    return absolute;
#endif
}

} // namespace hwconfig
