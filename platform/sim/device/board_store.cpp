// Where the board libraries' writes are kept, and the board state read through them.
#include "platform/sim/device/board_json.h"
#include "platform/sim/device/host_files.h"
#include "platform/sim/device/machine_state.h"

#include <stdexcept>

namespace winsim {
namespace {

const DeviceNode* boardNode(const MachineState& machine, const std::string& deviceId) {
    const DeviceNode* device = machine.findById(deviceId);
    return device != nullptr && device->present && device->boardState ? device : nullptr;
}

// A state file that does not hold a document of records is reported with its name.
template <typename Work> auto withStateFileNamed(const BoardWrites& writes, Work work) {
    try {
        return work();
    } catch (const std::invalid_argument& problem) {
        throw std::runtime_error("qvwinsim: state file " + writes.stateFile() + ": " + problem.what());
    }
}

} // namespace

std::string BoardWrites::read() const {
    if (!stateFile_.empty()) {
        return readWholeFile(stateFile_);
    }
    const std::lock_guard<std::mutex> guard(mutex_);
    return memory_;
}

void BoardWrites::update(const std::function<std::optional<std::string>(const std::string&)>& edit) {
    if (!stateFile_.empty()) {
        const ExclusiveFileLock lock(stateFile_ + ".lock");
        if (const std::optional<std::string> changed = edit(readWholeFile(stateFile_))) {
            replaceFile(stateFile_, *changed);
        }
        return;
    }
    const std::lock_guard<std::mutex> guard(mutex_);
    if (std::optional<std::string> changed = edit(memory_)) {
        memory_ = std::move(*changed);
    }
}

} // namespace winsim

namespace sim {

std::optional<BoardState> readBoardState(const std::string& deviceId) {
    const auto machine = winsim::currentMachine();
    const winsim::DeviceNode* device = winsim::boardNode(*machine, deviceId);
    if (device == nullptr) {
        return std::nullopt;
    }
    BoardState state = *device->boardState;
    const winsim::BoardWrites& writes = machine->boardWrites();
    winsim::withStateFileNamed(writes, [&] { winsim::layOverWrites(state, writes.read(), device->id); });
    return state;
}

std::optional<std::int32_t> updateBoardState(const std::string& deviceId,
                                             const std::function<std::int32_t(BoardState&)>& change) {
    const auto machine = winsim::currentMachine();
    const winsim::DeviceNode* device = winsim::boardNode(*machine, deviceId);
    if (device == nullptr) {
        return std::nullopt;
    }
    winsim::BoardWrites& writes = machine->boardWrites();
    std::int32_t code = 0;
    winsim::withStateFileNamed(writes, [&] {
        writes.update([&](const std::string& document) -> std::optional<std::string> {
            BoardState state = *device->boardState;
            winsim::layOverWrites(state, document, device->id);
            code = change(state);
            return code < 0 ? std::nullopt : std::optional<std::string>(winsim::withWrites(document, device->id, state));
        });
    });
    return code;
}

} // namespace sim
