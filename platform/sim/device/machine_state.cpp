// Resolving a description into the device tree the simulated calls walk.
#include "platform/sim/machine_state.h"

#include "platform/sim/board_json.h"
#include "platform/sim/device_ids.h"
#include "platform/sim/text_rules.h"

#include <stdexcept>
#include <tuple>

namespace winsim {
namespace {

[[noreturn]] void refuse(const std::string& member, const std::string& problem) {
    throw std::invalid_argument(member + ": " + problem);
}

std::string deviceMember(std::size_t index, const char* member) {
    return "devices[" + std::to_string(index) + "]." + member;
}

// A device keeps its DEVINST for the life of the process, across reloads of the description,
// as a devnode keeps its handle while the device exists. The root is always 1; 0 is never used.
DEVINST internDevInst(const std::string& upperId) {
    static std::mutex mutex;
    static std::unordered_map<std::string, DEVINST> numbers{{toUpperAscii(kRootDeviceId), 1}};
    const std::lock_guard<std::mutex> lock(mutex);
    const auto [entry, added] = numbers.emplace(upperId, static_cast<DEVINST>(numbers.size() + 1));
    (void)added;
    return entry->second;
}

DeviceNode rootNode() {
    DeviceNode root;
    root.id = kRootDeviceId;
    root.enumerator = defaultEnumerator(kRootDeviceId);
    return root;
}

DeviceNode nodeOf(const sim::Device& device, std::size_t index) {
    if (!isWellFormedDeviceId(device.id)) {
        refuse(deviceMember(index, "id"),
               "\"" + device.id + "\" is not a device instance ID (three parts separated by backslashes)");
    }
    if (equalsIgnoringCase(device.id, kRootDeviceId)) {
        refuse(deviceMember(index, "id"),
               "the root device HTREE\\ROOT\\0 is implicit and cannot be described");
    }
    if (device.enumerator.find('\\') != std::string::npos) {
        refuse(deviceMember(index, "enumerator"), "\"" + device.enumerator + "\" contains a backslash");
    }
    DeviceNode node;
    node.id = device.id;
    node.enumerator = device.enumerator.empty() ? defaultEnumerator(device.id) : device.enumerator;
    node.present = device.present;
    node.address = device.address;
    node.hardwareKey = device.hardwareRegistryKey ? &*device.hardwareRegistryKey : nullptr;
    node.board = device.board;
    if (!device.board.empty()) {
        node.boardState = parseBoardState(device.board, deviceMember(index, "board"));
    }
    for (const sim::DeviceInterface& deviceInterface : device.interfaces) {
        InterfaceNode interfaceNode;
        interfaceNode.classGuid = deviceInterface.classGuid;
        interfaceNode.path = deviceInterface.path.empty()
                                 ? defaultInterfacePath(device.id, deviceInterface.classGuid)
                                 : deviceInterface.path;
        interfaceNode.key = deviceInterface.registryKey ? &*deviceInterface.registryKey : nullptr;
        node.interfaces.push_back(std::move(interfaceNode));
    }
    return node;
}

void refuseDuplicateInterfacePaths(const std::vector<DeviceNode>& devices) {
    std::unordered_map<std::string, std::string> seen;
    for (std::size_t d = 1; d < devices.size(); ++d) {
        for (std::size_t i = 0; i < devices[d].interfaces.size(); ++i) {
            const std::string member = deviceMember(d - 1, "interfaces[") + std::to_string(i) + "].path";
            const auto [entry, added] = seen.emplace(toUpperAscii(devices[d].interfaces[i].path), member);
            if (!added) {
                refuse(member, "the device path \"" + devices[d].interfaces[i].path + "\" is also that of " +
                                   entry->second);
            }
        }
    }
}

// Each device has one parent, so a chain longer than the number of devices has a cycle.
void refuseCycles(const std::vector<DeviceNode>& devices) {
    for (std::size_t start = 1; start < devices.size(); ++start) {
        std::size_t at = start;
        for (std::size_t steps = 0; at != MachineState::kRoot; ++steps) {
            at = devices[at].parent;
            if (at == start || steps > devices.size()) {
                refuse(deviceMember(start - 1, "parent"), "the chain of parents of \"" + devices[start].id +
                                                              "\" never reaches the root (a cycle)");
            }
        }
    }
}

void refuseDuplicatePxiLocations(const std::vector<sim::PxiLocation>& pxi) {
    for (std::size_t i = 0; i < pxi.size(); ++i) {
        for (std::size_t k = 0; k < i; ++k) {
            if (std::tie(pxi[i].bus, pxi[i].device, pxi[i].function) ==
                std::tie(pxi[k].bus, pxi[k].device, pxi[k].function)) {
                refuse("pxi[" + std::to_string(i) + "]",
                       "bus " + std::to_string(pxi[i].bus) + ", device " + std::to_string(pxi[i].device) +
                           ", function " + std::to_string(pxi[i].function) + " is already located by pxi[" +
                           std::to_string(k) + "]");
            }
        }
    }
}

MachineFacts factsOf(const sim::Machine& description) {
    MachineFacts facts;
    for (std::size_t i = 0; i < description.drives.size(); ++i) {
        const char letter = toUpperAscii(std::string(1, description.drives[i].first))[0];
        if (letter < 'A' || letter > 'Z') {
            refuse("drives", "\"" + std::string(1, description.drives[i].first) + "\" is not a drive letter");
        }
        facts.drives[letter] = description.drives[i].second;
    }
    facts.commonAppData = description.commonAppData;
    facts.libraryPath = description.libraryPath;
    facts.ansiCodePage = description.ansiCodePage;
    return facts;
}

} // namespace

FaultBook::FaultBook(std::vector<sim::Fault> rules, bool recordCalls)
    : rules_(std::move(rules)), counters_(rules_.size()), recordCalls_(recordCalls) {}

// Rules are asked in order; a rule that lets the call pass has counted it, and the first rule
// that fails the call ends the search.
bool FaultBook::take(std::string_view call, std::string_view argument, DWORD* error) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (recordCalls_) {
        recorded_.emplace_back(call);
    }
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        const sim::Fault& rule = rules_[i];
        if ((rule.call != call && rule.call != "*") || (rule.argument && !equalsIgnoringCase(*rule.argument, argument))) {
            continue;
        }
        Counters& counters = counters_[i];
        if (counters.passed < rule.after || (rule.times && counters.fired >= *rule.times)) {
            ++counters.passed;
            continue;
        }
        ++counters.fired;
        *error = rule.error;
        return true;
    }
    return false;
}

std::vector<std::string> FaultBook::recordedCalls() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return recorded_;
}

std::shared_ptr<const MachineState> MachineState::build(sim::Machine description, std::string sourceFile) {
    std::shared_ptr<MachineState> machine(new MachineState());
    machine->facts = factsOf(description);
    machine->sourceFile = std::move(sourceFile);
    machine->description_ = std::move(description);
    for (std::size_t i = 0; i < machine->description_.faults.size(); ++i) {
        if (machine->description_.faults[i].call.empty()) {
            refuse("faults[" + std::to_string(i) + "].call", "names no call");
        }
    }
    refuseDuplicatePxiLocations(machine->description_.pxi);

    std::vector<DeviceNode>& devices = machine->devices_;
    devices.push_back(rootNode());
    const auto& described = machine->description_.devices;
    for (std::size_t i = 0; i < described.size(); ++i) {
        devices.push_back(nodeOf(described[i], i));
    }
    for (std::size_t d = 0; d < devices.size(); ++d) {
        const std::string upperId = toUpperAscii(devices[d].id);
        const auto [entry, added] = machine->byUpperId_.emplace(upperId, d);
        if (!added) {
            refuse(deviceMember(d - 1, "id"), "the device ID \"" + devices[d].id +
                                                  "\" is also that of devices[" +
                                                  std::to_string(entry->second - 1) + "]");
        }
        devices[d].devInst = internDevInst(upperId);
        machine->byDevInst_.emplace(devices[d].devInst, d);
    }
    for (std::size_t d = 1; d < devices.size(); ++d) {
        const std::string& parentId = described[d - 1].parent;
        const DeviceNode* parent = parentId.empty() ? &devices[kRoot] : machine->findById(parentId);
        if (parent == nullptr) {
            refuse(deviceMember(d - 1, "parent"), "there is no device \"" + parentId + "\"");
        }
        devices[d].parent = machine->indexOf(*parent);
    }
    refuseCycles(devices);
    for (std::size_t d = 1; d < devices.size(); ++d) {
        devices[devices[d].parent].children.push_back(d);
    }
    refuseDuplicateInterfacePaths(devices);
    machine->faults_ = std::make_unique<FaultBook>(machine->description_.faults, machine->description_.recordCalls);
    machine->boardWrites_ = std::make_unique<BoardWrites>(
        machine->sourceFile.empty() ? std::string() : machine->sourceFile + kStateFileSuffix);
    return machine;
}

const DeviceNode* MachineState::findById(std::string_view id) const {
    const auto found = byUpperId_.find(toUpperAscii(id));
    return found == byUpperId_.end() ? nullptr : &devices_[found->second];
}

const DeviceNode* MachineState::findByDevInst(DEVINST devInst) const {
    const auto found = byDevInst_.find(devInst);
    return found == byDevInst_.end() ? nullptr : &devices_[found->second];
}

bool takeInjectedFault(const MachineState& machine, const char* call, std::string_view argument,
                       DWORD* error) {
    return machine.faults().take(call, argument, error);
}

} // namespace winsim
