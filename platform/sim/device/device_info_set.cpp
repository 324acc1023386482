#include "platform/sim/device/device_info_set.h"

#include "platform/sim/device/device_ids.h"
#include "platform/sim/text_rules.h"
#include "platform/sim/windows_choices.h"

#include <atomic>

namespace winsim {
namespace {

constexpr ULONG_PTR kInterfaceTag = 0x80000000u;

std::uint32_t nextSetSerial() {
    static std::atomic<std::uint32_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

ULONG_PTR token(std::uint32_t serial, std::size_t position, ULONG_PTR tag) {
    return (static_cast<ULONG_PTR>(serial) << 32) | tag | static_cast<ULONG_PTR>(position + 1);
}

// The position a token names in the set `serial`; empty for a token of another set or kind.
std::optional<std::size_t> positionOfToken(ULONG_PTR value, std::uint32_t serial, ULONG_PTR tag) {
    if ((value >> 32) != serial || (value & kInterfaceTag) != tag || (value & 0x7FFFFFFFu) == 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>((value & 0x7FFFFFFFu) - 1);
}

// The devices an enumerator selects (every device when there is none), or the error it fails with.
std::variant<std::vector<std::size_t>, DWORD> devicesInScope(const MachineState& machine, const char* text,
                                                             bool interfaceSet) {
    std::vector<std::size_t> scope;
    const auto& devices = machine.devices();
    if (text == nullptr) {
        for (std::size_t d = 0; d < devices.size(); ++d) {
            scope.push_back(d);
        }
        return scope;
    }
    const std::string_view enumerator = text;
    if (enumerator.empty() && choice::kEmptyEnumeratorSelectsNothing) {
        return scope;
    }
    if (interfaceSet) {
        // With DIGCF_DEVICEINTERFACE the enumerator names one device by its instance ID.
        if (const DeviceNode* device = machine.findById(enumerator)) {
            scope.push_back(machine.indexOf(*device));
            return scope;
        }
        if (choice::kUnknownWellFormedIdGivesEmptySet && isWellFormedDeviceId(enumerator)) {
            return scope;
        }
        return choice::kClassDevsUnknownEnumerator;
    }
    for (std::size_t d = 0; d < devices.size(); ++d) {
        if (equalsIgnoringCase(devices[d].enumerator, enumerator)) {
            scope.push_back(d);
        }
    }
    if (scope.empty()) {
        return choice::kClassDevsUnknownEnumeratorName;
    }
    return scope;
}

} // namespace

std::variant<SetContents, DWORD> selectClassDevs(const MachineState& machine, const GUID* classGuid,
                                                 const char* enumerator, DWORD flags) {
    const bool allClasses = (flags & DIGCF_ALLCLASSES) != 0;
    const bool interfaceSet = (flags & DIGCF_DEVICEINTERFACE) != 0;
    if (classGuid == nullptr && !allClasses) {
        return DWORD{ERROR_INVALID_PARAMETER};
    }
    auto scope = devicesInScope(machine, enumerator, interfaceSet);
    if (const DWORD* error = std::get_if<DWORD>(&scope)) {
        return *error;
    }
    SetContents contents;
    for (const std::size_t d : std::get<std::vector<std::size_t>>(scope)) {
        const DeviceNode& device = machine.devices()[d];
        if ((flags & DIGCF_PRESENT) != 0 && !device.present) {
            continue;
        }
        if (!interfaceSet) {
            if (allClasses || !choice::kDevicesHaveNoSetupClass) {
                contents.devices.push_back(d);
            }
            continue;
        }
        for (std::size_t i = 0; i < device.interfaces.size(); ++i) {
            if (allClasses || device.interfaces[i].classGuid == *classGuid) {
                if (contents.devices.empty() || contents.devices.back() != d) {
                    contents.devices.push_back(d);
                }
                contents.interfaces.push_back({d, i});
            }
        }
    }
    return contents;
}

DeviceInfoSet::DeviceInfoSet(std::shared_ptr<const MachineState> machine, SetContents contents)
    : machine_(std::move(machine)), serial_(nextSetSerial()), interfaces_(std::move(contents.interfaces)),
      devices_(std::move(contents.devices)) {
    for (std::size_t position = 0; position < devices_.size(); ++position) {
        positions_.emplace(devices_[position], position);
    }
    if (!interfaces_.empty()) {
        onlyClass_ = interfaceOf(interfaces_.front()).classGuid;
        for (const SetInterface& entry : interfaces_) {
            if (!(interfaceOf(entry).classGuid == *onlyClass_)) {
                onlyClass_.reset();
                break;
            }
        }
    }
}

std::optional<std::size_t> DeviceInfoSet::findInterface(const GUID& interfaceClass, const DeviceNode* onlyDevice,
                                                        DWORD memberIndex) const {
    if (onlyDevice == nullptr && onlyClass_ && *onlyClass_ == interfaceClass) {
        return memberIndex < interfaces_.size() ? std::optional<std::size_t>(memberIndex) : std::nullopt;
    }
    DWORD seen = 0;
    for (std::size_t position = 0; position < interfaces_.size(); ++position) {
        const bool matches = interfaceOf(interfaces_[position]).classGuid == interfaceClass &&
                             (onlyDevice == nullptr || &deviceOf(interfaces_[position]) == onlyDevice);
        if (matches && seen++ == memberIndex) {
            return position;
        }
    }
    return std::nullopt;
}

const DeviceNode* DeviceInfoSet::deviceOf(const SP_DEVINFO_DATA* deviceInfo) const {
    if (deviceInfo == nullptr || deviceInfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return nullptr;
    }
    const auto position = positionOfToken(deviceInfo->Reserved, serial_, 0);
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!position || *position >= devices_.size()) {
        return nullptr;
    }
    return &machine_->devices()[devices_[*position]];
}

const DeviceNode* DeviceInfoSet::deviceAt(std::size_t position) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return position < devices_.size() ? &machine_->devices()[devices_[position]] : nullptr;
}

void DeviceInfoSet::addDevice(const DeviceNode& device, SP_DEVINFO_DATA* deviceInfo) {
    const std::size_t index = machine_->indexOf(device);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (positions_.emplace(index, devices_.size()).second) {
            devices_.push_back(index);
        }
    }
    describeDevice(device, deviceInfo);
}

void DeviceInfoSet::describeDevice(const DeviceNode& device, SP_DEVINFO_DATA* deviceInfo) const {
    if (deviceInfo == nullptr) {
        return;
    }
    std::size_t position = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        position = positionOf(machine_->indexOf(device));
    }
    deviceInfo->ClassGuid = GUID{};
    deviceInfo->DevInst = device.devInst;
    deviceInfo->Reserved = token(serial_, position, 0);
}

std::size_t DeviceInfoSet::positionOf(std::size_t machineIndex) const {
    const auto found = positions_.find(machineIndex);
    return found == positions_.end() ? devices_.size() : found->second;
}

const InterfaceNode& DeviceInfoSet::interfaceOf(const SetInterface& entry) const {
    return deviceOf(entry).interfaces[entry.index];
}

const SetInterface* DeviceInfoSet::interfaceOf(const SP_DEVICE_INTERFACE_DATA* interfaceData) const {
    if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return nullptr;
    }
    const auto position = positionOfToken(interfaceData->Reserved, serial_, kInterfaceTag);
    return position && *position < interfaces_.size() ? &interfaces_[*position] : nullptr;
}

void DeviceInfoSet::describeInterface(std::size_t position, SP_DEVICE_INTERFACE_DATA* interfaceData) const {
    const SetInterface& entry = interfaces_[position];
    interfaceData->InterfaceClassGuid = interfaceOf(entry).classGuid;
    interfaceData->Flags = deviceOf(entry).present ? SPINT_ACTIVE : 0;
    interfaceData->Reserved = token(serial_, position, kInterfaceTag);
}

} // namespace winsim
