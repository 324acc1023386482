// Where the current machine comes from: an installed machine, else the description file named by
// QVKELP_MACHINE, read again whenever the name or the file changes, else the empty machine.
#include "platform/sim/device/host_files.h"
#include "platform/sim/device/machine_json.h"
#include "platform/sim/device/machine_state.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace winsim {
namespace {

constexpr const char* kMachineVariable = "QVKELP_MACHINE";

std::string diagnosticLine(const std::string& path, const std::string& problem) {
    return "qvwinsim: machine description " + path + ": " + problem;
}

// Reads and checks a description; throws std::invalid_argument with the diagnostic line.
ParsedDescription readDescriptionFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::invalid_argument(
            diagnosticLine(path, std::string("cannot be read: ") + std::strerror(errno)));
    }
    std::ostringstream text;
    text << file.rdbuf();
    const std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    try {
        return parseMachineDescription(text.str(), folder);
    } catch (const std::invalid_argument& problem) {
        throw std::invalid_argument(diagnosticLine(path, problem.what()));
    }
}

std::shared_ptr<const MachineState> buildDescription(ParsedDescription description, const std::string& path) {
    try {
        return MachineState::build(std::move(description.machine), path, std::move(description.boards));
    } catch (const std::invalid_argument& problem) {
        throw std::invalid_argument(diagnosticLine(path, problem.what()));
    }
}

// A malformed description gives the empty machine and one line on stderr, once per change.
std::shared_ptr<const MachineState> loadDescription(const std::string& path) {
    try {
        return buildDescription(readDescriptionFile(path), path);
    } catch (const std::invalid_argument& problem) {
        std::fprintf(stderr, "%s; the machine is empty\n", problem.what());
        return MachineState::build(sim::Machine{}, path);
    }
}

struct MachineSource {
    std::mutex mutex;
    std::shared_ptr<const MachineState> installed;
    std::shared_ptr<const MachineState> loaded;
    std::string loadedPath;
    FileSignature loadedSignature{};
    std::shared_ptr<const MachineState> empty = MachineState::build(sim::Machine{}, {});
};

MachineSource& machineSource() {
    static MachineSource source;
    return source;
}

void remember(MachineSource& source, std::shared_ptr<const MachineState> machine, std::string path,
              const FileSignature& signature) {
    source.loaded = std::move(machine);
    source.loadedPath = std::move(path);
    source.loadedSignature = signature;
}

} // namespace

std::shared_ptr<const MachineState> currentMachine() {
    MachineSource& source = machineSource();
    const std::lock_guard<std::mutex> lock(source.mutex);
    if (source.installed) {
        return source.installed;
    }
    const char* path = std::getenv(kMachineVariable);
    if (path == nullptr || *path == '\0') {
        return source.empty;
    }
    // The name and the file's signature tell whether the description changed.
    const FileSignature signature = fileSignature(path);
    if (!source.loaded || source.loadedPath != path || signature != source.loadedSignature) {
        remember(source, loadDescription(path), path, signature);
    }
    return source.loaded;
}

} // namespace winsim

namespace sim {

void installMachine(const Machine& machine) {
    std::shared_ptr<const winsim::MachineState> built = winsim::MachineState::build(machine, {});
    winsim::MachineSource& source = winsim::machineSource();
    const std::lock_guard<std::mutex> lock(source.mutex);
    source.installed = std::move(built);
}

void uninstallMachine() {
    winsim::MachineSource& source = winsim::machineSource();
    const std::lock_guard<std::mutex> lock(source.mutex);
    source.installed.reset();
}

Machine loadMachineFile(const std::string& path) {
    winsim::ParsedDescription description = winsim::readDescriptionFile(path);
    winsim::buildDescription(description, path);
    return winsim::machineWithBoardText(std::move(description));
}

void useMachineFile(const std::string& path) {
    // Taken before the read: a change while it reads makes the first call read the file again.
    const winsim::FileSignature signature = winsim::fileSignature(path);
    std::shared_ptr<const winsim::MachineState> built =
        winsim::buildDescription(winsim::readDescriptionFile(path), path);
    winsim::MachineSource& source = winsim::machineSource();
    const std::lock_guard<std::mutex> lock(source.mutex);
    winsim::remember(source, std::move(built), path, signature);
}

} // namespace sim
