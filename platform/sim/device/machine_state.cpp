// Resolving a description into the device tree the simulated calls walk.
#include "platform/sim/device/machine_state.h"

#include "platform/sim/device/board_json.h"
#include "platform/sim/device/device_ids.h"
#include "platform/sim/text_rules.h"

#include <stdexcept>

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

DeviceNode nodeOf(const sim::Device& device, std::size_t index, ParsedBoard* parsedBoard) {
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
    // Windows reports instance IDs in upper case, whatever case the bus driver gave them.
    node.id = toUpperAscii(device.id);
    node.enumerator = device.enumerator.empty() ? defaultEnumerator(node.id) : device.enumerator;
    node.present = device.present;
    node.address = device.address;
    node.hardwareKey = device.hardwareRegistryKey ? &*device.hardwareRegistryKey : nullptr;
    node.board = device.board;
    if (parsedBoard != nullptr) {
        node.boardState = std::move(parsedBoard->state);
        node.boardTree = std::move(parsedBoard->tree);
    } else if (!device.board.empty()) {
        node.boardState = parseBoardState(device.board, deviceMember(index, "board"));
    }
    for (std::size_t i = 0; i < device.interfaces.size(); ++i) {
        const sim::DeviceInterface& deviceInterface = device.interfaces[i];
        if (!isWellFormedReference(deviceInterface.reference)) {
            refuse(deviceMember(index, "interfaces[") + std::to_string(i) + "].reference",
                   "\"" + deviceInterface.reference + "\" is not a reference string (printable ASCII without "
                   "spaces, / or \\)");
        }
        InterfaceNode interfaceNode;
        interfaceNode.classGuid = deviceInterface.classGuid;
        interfaceNode.path = interfacePath(node.id, deviceInterface.classGuid, deviceInterface.reference);
        interfaceNode.key = deviceInterface.registryKey ? &*deviceInterface.registryKey : nullptr;
        node.interfaces.push_back(std::move(interfaceNode));
    }
    return node;
}

// PCI numbers its buses with 8 bits: no device lies below more than 256 PCI levels, itself included.
constexpr std::size_t kMaxPciLevels = 256;

bool isPci(const DeviceNode& device) {
    return equalsIgnoringCase(device.enumerator, "PCI");
}

// Refuses a chain of parents that never reaches the root (a cycle) and one with more PCI levels
// than PCI allows. Each device's count of PCI levels up to the first device that is not on PCI is
// worked out once, walking up only as far as a device already counted, so the check takes linear
// time on any tree.
void refuseCyclesAndDeepChains(const std::vector<DeviceNode>& devices) {
    constexpr std::size_t kUncounted = static_cast<std::size_t>(-1);
    constexpr std::size_t kOnThisWalk = static_cast<std::size_t>(-2);
    std::vector<std::size_t> pciLevels(devices.size(), kUncounted);
    pciLevels[MachineState::kRoot] = 0;
    std::vector<std::size_t> walk;
    for (std::size_t start = 1; start < devices.size(); ++start) {
        std::size_t at = start;
        while (pciLevels[at] == kUncounted) {
            pciLevels[at] = kOnThisWalk;
            walk.push_back(at);
            at = devices[at].parent;
        }
        if (pciLevels[at] == kOnThisWalk) {
            refuse(deviceMember(start - 1, "parent"), "the chain of parents of \"" + devices[start].id +
                                                          "\" never reaches the root (a cycle)");
        }
        for (std::size_t levels = pciLevels[at]; !walk.empty(); walk.pop_back()) {
            const std::size_t device = walk.back();
            levels = isPci(devices[device]) ? levels + 1 : 0;
            if (levels > kMaxPciLevels) {
                refuse(deviceMember(device - 1, "parent"),
                       "\"" + devices[device].id + "\" makes more than " + std::to_string(kMaxPciLevels) +
                           " PCI levels below its root, more than PCI's 8-bit bus numbers allow");
            }
            pciLevels[device] = levels;
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

std::shared_ptr<const MachineState> MachineState::build(sim::Machine description, std::string sourceFile,
                                                        std::vector<ParsedBoard> boards) {
    std::shared_ptr<MachineState> machine(new MachineState());
    machine->facts = factsOf(description);
    machine->sourceFile = std::move(sourceFile);
    machine->description_ = std::move(description);
    for (std::size_t i = 0; i < machine->description_.faults.size(); ++i) {
        if (machine->description_.faults[i].call.empty()) {
            refuse("faults[" + std::to_string(i) + "].call", "names no call");
        }
    }
    machine->indexPxiLocations();

    std::vector<DeviceNode>& devices = machine->devices_;
    const auto& described = machine->description_.devices;
    devices.reserve(described.size() + 1);
    devices.push_back(rootNode());
    for (std::size_t i = 0; i < described.size(); ++i) {
        devices.push_back(nodeOf(described[i], i, boards.empty() ? nullptr : &boards[i]));
    }
    for (std::size_t d = 0; d < devices.size(); ++d) {
        const std::string upperId = toUpperAscii(devices[d].id);
        const auto [entry, added] = machine->byUpperId_.emplace(upperId, d);
        if (!added) {
            refuse(deviceMember(d - 1, "id"), "the device ID \"" + described[d - 1].id +
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
    refuseCyclesAndDeepChains(devices);
    for (std::size_t d = 1; d < devices.size(); ++d) {
        devices[devices[d].parent].children.push_back(d);
    }
    machine->indexInterfacePaths();
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

// Indexes the interfaces by device path, refusing a path made twice.
void MachineState::indexInterfacePaths() {
    for (std::size_t d = 1; d < devices_.size(); ++d) {
        for (std::size_t i = 0; i < devices_[d].interfaces.size(); ++i) {
            const auto [entry, added] =
                byUpperInterfacePath_.emplace(toUpperAscii(devices_[d].interfaces[i].path), InterfacePlace{d, i});
            if (!added) {
                const InterfacePlace first = entry->second;
                refuse(deviceMember(d - 1, "interfaces[") + std::to_string(i) + "]",
                       "the device path \"" + devices_[d].interfaces[i].path + "\" is also that of " +
                           deviceMember(first.device - 1, "interfaces[") + std::to_string(first.index) +
                           "] (one class and one reference string make one interface)");
            }
        }
    }
}

// Indexes the PXI table by PCI address, refusing an address located twice.
void MachineState::indexPxiLocations() {
    const std::vector<sim::PxiLocation>& pxi = description_.pxi;
    for (std::size_t i = 0; i < pxi.size(); ++i) {
        const auto [entry, added] = byPxiAddress_.emplace(std::make_tuple(pxi[i].bus, pxi[i].device, pxi[i].function), i);
        if (!added) {
            refuse("pxi[" + std::to_string(i) + "]",
                   "bus " + std::to_string(pxi[i].bus) + ", device " + std::to_string(pxi[i].device) +
                       ", function " + std::to_string(pxi[i].function) + " is already located by pxi[" +
                       std::to_string(entry->second) + "]");
        }
    }
}

std::optional<InterfacePlace> MachineState::findInterfaceByPath(std::string_view devicePath) const {
    const auto found = byUpperInterfacePath_.find(toUpperAscii(devicePath));
    return found == byUpperInterfacePath_.end() ? std::nullopt : std::optional<InterfacePlace>(found->second);
}

const sim::PxiLocation* MachineState::findPxiLocation(std::uint32_t bus, std::uint32_t device,
                                                      std::uint32_t function) const {
    const auto found = byPxiAddress_.find(std::make_tuple(bus, device, function));
    return found == byPxiAddress_.end() ? nullptr : &description_.pxi[found->second];
}

bool takeInjectedFault(const MachineState& machine, const char* call, std::string_view argument,
                       DWORD* error) {
    return machine.faults().take(call, argument, error);
}

} // namespace winsim
