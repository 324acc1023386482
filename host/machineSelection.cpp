#include "host/machineSelection.h"

#include "host/expertModule.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace hwconfig {
namespace {

fs::path programFolder() {
#ifdef _WIN32
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
#else
    return fs::read_symlink("/proc/self/exe").parent_path();
#endif
}

void setMachineVariable(const std::string& value) {
#ifdef _WIN32
    _putenv_s("QVKELP_MACHINE", value.c_str());
#else
    setenv("QVKELP_MACHINE", value.c_str(), 1);
#endif
}

} // namespace

void selectMachine(const std::string& requested) {
    const fs::path machine =
        requested.empty() ? programFolder() / "examples" / "lab.json" : fs::path(requested);
    std::error_code error;
    if (!fs::is_regular_file(machine, error)) {
        throw HostError("machine description not found: " + machine.string());
    }
    setMachineVariable(fs::absolute(machine).string());
}

} // namespace hwconfig
