// The builder side of sim::Machine: values, keys, devices and the machine's lists.
#include "platform/sim/device/machine.h"
#include "platform/sim/device/win32_setupapi.h"
#include "platform/sim/text_rules.h"

#include <algorithm>

namespace sim {

RegistryValue RegistryValue::dword(std::uint32_t value) {
    RegistryValue result;
    result.type = REG_DWORD;
    result.data = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                   static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    return result;
}

RegistryValue RegistryValue::text(const std::string& value) {
    RegistryValue result;
    result.type = REG_SZ;
    result.data.assign(value.begin(), value.end());
    result.data.push_back(0);
    return result;
}

RegistryValue RegistryValue::guid(const GUID& value) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    return binary(std::vector<std::uint8_t>(bytes, bytes + sizeof value));
}

RegistryValue RegistryValue::binary(std::vector<std::uint8_t> bytes) {
    RegistryValue result;
    result.type = REG_BINARY;
    result.data = std::move(bytes);
    return result;
}

RegistryKey& RegistryKey::set(const std::string& name, RegistryValue value) {
    const auto existing = std::find_if(values_.begin(), values_.end(), [&name](const auto& entry) {
        return winsim::equalsIgnoringCase(entry.first, name);
    });
    if (existing != values_.end()) {
        existing->second = std::move(value);
    } else {
        values_.emplace_back(name, std::move(value));
    }
    return *this;
}

RegistryKey& RegistryKey::subkey(const std::string& name) {
    const auto existing = std::find_if(subkeys_.begin(), subkeys_.end(), [&name](const auto& entry) {
        return winsim::equalsIgnoringCase(entry.first, name);
    });
    if (existing != subkeys_.end()) {
        return existing->second;
    }
    return subkeys_.emplace_back(name, RegistryKey{}).second;
}

const RegistryValue* RegistryKey::findValue(const std::string& name) const {
    const auto found = std::find_if(values_.begin(), values_.end(), [&name](const auto& entry) {
        return winsim::equalsIgnoringCase(entry.first, name);
    });
    return found == values_.end() ? nullptr : &found->second;
}

const RegistryKey* RegistryKey::findSubkey(const std::string& name) const {
    const auto found = std::find_if(subkeys_.begin(), subkeys_.end(), [&name](const auto& entry) {
        return winsim::equalsIgnoringCase(entry.first, name);
    });
    return found == subkeys_.end() ? nullptr : &found->second;
}

RegistryKey& DeviceInterface::key() {
    if (!registryKey) {
        registryKey.emplace();
    }
    return *registryKey;
}

RegistryKey& Device::hardwareKey() {
    if (!hardwareRegistryKey) {
        hardwareRegistryKey.emplace();
    }
    return *hardwareRegistryKey;
}

DeviceInterface& Device::addInterface(const GUID& classGuid, std::string reference) {
    DeviceInterface& added = interfaces.emplace_back();
    added.classGuid = classGuid;
    added.reference = std::move(reference);
    return added;
}

Device& Machine::addDevice(std::string id, std::string parent) {
    Device& added = devices.emplace_back();
    added.id = std::move(id);
    added.parent = std::move(parent);
    return added;
}

Machine& Machine::addPxi(const PxiLocation& location) {
    pxi.push_back(location);
    return *this;
}

Machine& Machine::addFault(Fault fault) {
    faults.push_back(std::move(fault));
    return *this;
}

Machine& Machine::mapDrive(char letter, std::string folder) {
    drives.emplace_back(letter, std::move(folder));
    return *this;
}

Machine& Machine::addLibraryFolder(std::string folder) {
    libraryPath.push_back(std::move(folder));
    return *this;
}

} // namespace sim
