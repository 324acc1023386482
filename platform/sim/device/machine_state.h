// The machine as the simulated calls see it: one immutable snapshot of a description, with the
// device tree resolved. Calls hold a snapshot through a shared_ptr, so a description reloaded by
// another thread never changes a device under a caller.
#pragma once

#include "platform/sim/device/board_json.h"
#include "platform/sim/device/board_state.h"
#include "platform/sim/device/machine_json.h"
#include "platform/sim/device/machine.h"
#include "platform/sim/machine_access.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace winsim {

inline constexpr const char* kRootDeviceId = "HTREE\\ROOT\\0";
// The state file is named after the description: machine.json keeps its writes in machine.json.state.json.
inline constexpr const char* kStateFileSuffix = ".state.json";

struct InterfaceNode {
    GUID classGuid{};
    std::string path;
    const sim::RegistryKey* key = nullptr; // null: the interface has no key
};

// An interface by where it is in the machine.
struct InterfacePlace {
    std::size_t device; // index in the machine
    std::size_t index;  // index among the device's interfaces
};

struct DeviceNode {
    std::string id;
    std::string enumerator;
    bool present = true;
    std::optional<std::uint32_t> address;
    const sim::RegistryKey* hardwareKey = nullptr; // null: the device has no hardware key
    std::vector<InterfaceNode> interfaces;
    std::string board;                     // as a machine made in code gives it
    std::shared_ptr<const cJSON> boardTree; // as a description file gives it
    std::optional<sim::BoardState> boardState; // absent for a device without a board

    // The board's JSON text; empty for a device without a board.
    std::string boardText() const { return boardTree ? boardTextOf(boardTree.get()) : board; }
    DEVINST devInst = 0;
    std::size_t parent = 0;            // index of the parent; the root is its own parent
    std::vector<std::size_t> children; // indices, in description order
};

// The counters of the injected faults of one snapshot; the only part of a snapshot that changes.
class FaultBook {
public:
    FaultBook(std::vector<sim::Fault> rules, bool recordCalls);
    bool take(std::string_view call, std::string_view argument, DWORD* error);
    std::vector<std::string> recordedCalls();

private:
    struct Counters {
        std::uint32_t passed = 0;
        std::uint32_t fired = 0;
    };
    std::mutex mutex_;
    std::vector<sim::Fault> rules_;
    std::vector<Counters> counters_;
    bool recordCalls_;
    std::vector<std::string> recorded_;
};

// The records the board libraries wrote (board_json.h gives the document's form): a state file
// beside the description, replaced by renaming under an exclusive lock on a lock file beside it
// (the state file itself changes its inode with every write), or memory for a machine made in code.
class BoardWrites {
public:
    // An empty file name keeps the writes in memory.
    explicit BoardWrites(std::string stateFile) : stateFile_(std::move(stateFile)) {}

    const std::string& stateFile() const { return stateFile_; }
    // The document; empty when nothing was written. Throws std::runtime_error when it cannot be read.
    std::string read() const;
    // Hands the document to `edit` under the lock and stores what it returns (nothing: no change).
    // Throws std::runtime_error when the document cannot be read or stored.
    void update(const std::function<std::optional<std::string>(const std::string&)>& edit);

private:
    std::string stateFile_;
    mutable std::mutex mutex_; // guards memory_
    std::string memory_;
};

class MachineState {
public:
    static constexpr std::size_t kRoot = 0;
    // The facts handed to the other parts of the simulated Windows.
    MachineFacts facts;
    std::string sourceFile;

    // Device 0 is the root; the others follow in description order.
    const std::vector<DeviceNode>& devices() const { return devices_; }
    const DeviceNode* findById(std::string_view id) const;
    const DeviceNode* findByDevInst(DEVINST devInst) const;
    // The interface with this device path (compared without case); empty when there is none.
    std::optional<InterfacePlace> findInterfaceByPath(std::string_view devicePath) const;
    const sim::PxiLocation* findPxiLocation(std::uint32_t bus, std::uint32_t device, std::uint32_t function) const;
    std::size_t indexOf(const DeviceNode& device) const {
        return static_cast<std::size_t>(&device - devices_.data());
    }
    const std::vector<sim::PxiLocation>& pxi() const { return description_.pxi; }
    FaultBook& faults() const { return *faults_; }
    BoardWrites& boardWrites() const { return *boardWrites_; }

    // Resolves a description; throws std::invalid_argument naming the member at fault. The boards,
    // one per device, when a description file gave them (none: parsed from each board's text).
    static std::shared_ptr<const MachineState> build(sim::Machine description, std::string sourceFile,
                                                     std::vector<ParsedBoard> boards = {});

private:
    MachineState() = default;
    void indexInterfacePaths();
    void indexPxiLocations();

    sim::Machine description_; // owns the registry keys the nodes point into
    std::vector<DeviceNode> devices_;
    std::unordered_map<std::string, std::size_t> byUpperId_;
    std::unordered_map<DEVINST, std::size_t> byDevInst_;
    std::unordered_map<std::string, InterfacePlace> byUpperInterfacePath_;
    std::map<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>, std::size_t> byPxiAddress_; // bus, device, function
    std::unique_ptr<FaultBook> faults_;
    std::unique_ptr<BoardWrites> boardWrites_;
};

// The snapshot every call works on: the installed machine, else the description named by
// QVKELP_MACHINE (read again when the name or the file changes), else the empty machine.
std::shared_ptr<const MachineState> currentMachine();

// Fault injection against one snapshot (the public form uses the current machine).
bool takeInjectedFault(const MachineState& machine, const char* call, std::string_view argument,
                       DWORD* error);

} // namespace winsim
