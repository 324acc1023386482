// plant-machine MACHINE.json: writes a machine description's device tree into the registry of the
// Windows it runs on (a Wine prefix), where Windows' own SetupAPI finds it, replacing the devices
// planted before. The description is read by the simulation's own reader, so a description is
// refused here exactly when the simulation refuses it, with the same message.
//
// What is written, all under HKLM\System\CurrentControlSet (docs/machine-format.md, "On Windows:
// the shipped DLL"):
//   Enum\<id>                       ClassGUID, and the test equipment's values kQv* below
//   Enum\<id>\Device Parameters     the hardware key
//   Control\DeviceClasses\{class}\<path without reference, \\?\ as ##?#>   DeviceInstance
//       #<reference string>         SymbolicLink (one subkey per interface of the class)
//       #<reference string>\Control Linked (1 when the device is present)
//       #<reference string>\Device Parameters   the interface key
// The keys planted are listed under kPlantRecordKey, so that the next run deletes them first.
//
// Exit codes: 0 planted (members that cannot be planted are named on stderr, one line each, and
// skipped); 1 usage; 2 the description is refused (the registry is not touched); 3 a registry call
// failed (the prefix may hold part of the machine; run again to replace it).
#include "platform/sim/device/device_ids.h"
#include "platform/sim/device/machine.h"
#include "platform/sim/text_rules.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr const char* kEnumRoot = "System\\CurrentControlSet\\Enum\\";
constexpr const char* kDeviceClassesRoot = "System\\CurrentControlSet\\Control\\DeviceClasses\\";
constexpr const char* kPlantRecordKey = "Software\\Quorvel\\QV-KELP test machine";
constexpr const char* kPlantRecordValue = "Planted keys";
// The device setup class every planted device gets; Wine passes over a device without a
// well-formed ClassGUID. This is Windows' "System" class; the module reads no setup class.
constexpr const char* kSystemSetupClass = "{4D36E97D-E325-11CE-BFC1-08002BE10318}";
// The test equipment's own values in a device's Enum key, read by the gap-filling setupapi.dll
// for what Wine's SetupAPI does not keep: the configuration manager's tree and two properties.
constexpr const char* kQvParent = "QvParent";
constexpr const char* kQvPresent = "QvPresent";
constexpr const char* kQvEnumeratorName = "QvEnumeratorName";
constexpr const char* kQvAddress = "QvAddress";
// The device's place in the description, which is the configuration manager's child order: the
// order in which a bus reported its children, which the registry does not keep.
constexpr const char* kQvOrder = "QvOrder";
constexpr const char* kRootDeviceId = "HTREE\\ROOT\\0";
constexpr const char* kDefaultCommonAppData = "C:\\ProgramData";

struct RegistryFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An open HKEY, closed on every path.
class Key {
public:
    Key(HKEY parent, const std::string& path) {
        check(RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &key_, nullptr),
              "RegCreateKeyExA " + path);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() { RegCloseKey(key_); }

    HKEY get() const { return key_; }
    void set(const std::string& name, DWORD type, const void* data, std::size_t size) const {
        check(RegSetValueExA(key_, name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)),
              "RegSetValueExA " + name);
    }
    void setText(const std::string& name, const std::string& text) const {
        set(name, REG_SZ, text.c_str(), text.size() + 1);
    }
    void setDword(const std::string& name, DWORD value) const { set(name, REG_DWORD, &value, sizeof value); }

    static void check(LSTATUS status, const std::string& what) {
        if (status != ERROR_SUCCESS) {
            throw RegistryFailure(what + " failed with " + std::to_string(status));
        }
    }

private:
    HKEY key_ = nullptr;
};

// Values keep the type and bytes the simulation gives them (docs/machine-format.md, "Registry keys
// and values"); RegSetValueExA takes REG_SZ bytes in the ANSI code page, as the module reads them.
void writeKey(const Key& key, const sim::RegistryKey& content) {
    for (const auto& [name, value] : content.values()) {
        key.set(name, value.type, value.data.data(), value.data.size());
    }
    for (const auto& [name, subkey] : content.subkeys()) {
        writeKey(Key(key.get(), name), subkey);
    }
}

// The key of a device's interfaces of one class: the device path without its reference string,
// with \\?\ kept as ##?# since a key name holds no backslash.
std::string interfaceKeyName(const std::string& deviceId, const GUID& classGuid) {
    std::string name = winsim::interfacePath(deviceId, classGuid, {});
    std::replace(name.begin(), name.end(), '\\', '#');
    return name;
}

std::vector<std::string> readPlantRecord() {
    HKEY record = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPlantRecordKey, 0, KEY_READ, &record) != ERROR_SUCCESS) {
        return {};
    }
    DWORD size = 0;
    std::vector<char> text;
    if (RegQueryValueExA(record, kPlantRecordValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        text.resize(size + 2);
        RegQueryValueExA(record, kPlantRecordValue, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &size);
    }
    RegCloseKey(record);
    std::vector<std::string> keys;
    for (const char* name = text.data(); !text.empty() && *name != '\0'; name += std::strlen(name) + 1) {
        keys.emplace_back(name);
    }
    return keys;
}

void writePlantRecord(const std::vector<std::string>& keys) {
    std::string multi;
    for (const std::string& key : keys) {
        multi += key;
        multi.push_back('\0');
    }
    multi.push_back('\0');
    Key(HKEY_LOCAL_MACHINE, kPlantRecordKey).set(kPlantRecordValue, REG_MULTI_SZ, multi.data(), multi.size());
}

void deletePlanted(const std::vector<std::string>& keys) {
    for (const std::string& key : keys) {
        const LSTATUS status = RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
        if (status != ERROR_FILE_NOT_FOUND) {
            Key::check(status, "RegDeleteTreeA " + key);
        }
    }
}

struct PlantedInterface {
    std::string keyPath;
    const sim::DeviceInterface* source;
};

// The keys of one device's interfaces, one per class it has interfaces of: an interface is the
// subkey # + its reference string there.
std::vector<PlantedInterface> interfacesOf(const sim::Device& device) {
    std::vector<PlantedInterface> planted;
    for (const sim::DeviceInterface& deviceInterface : device.interfaces) {
        planted.push_back({kDeviceClassesRoot + winsim::formatGuid(deviceInterface.classGuid) + "\\" +
                               interfaceKeyName(device.id, deviceInterface.classGuid),
                           &deviceInterface});
    }
    return planted;
}

// IDs are planted in upper case, as Windows keeps them.
void plantDevice(const sim::Device& device, DWORD order) {
    const std::string id = winsim::toUpperAscii(device.id);
    const Key enumKey(HKEY_LOCAL_MACHINE, kEnumRoot + id);
    enumKey.setText("ClassGUID", kSystemSetupClass);
    if (device.id != kRootDeviceId) {
        enumKey.setText(kQvParent, device.parent.empty() ? kRootDeviceId : winsim::toUpperAscii(device.parent));
    }
    enumKey.setDword(kQvPresent, device.present ? 1 : 0);
    enumKey.setDword(kQvOrder, order);
    enumKey.setText(kQvEnumeratorName,
                    device.enumerator.empty() ? winsim::defaultEnumerator(id) : device.enumerator);
    if (device.address) {
        enumKey.setDword(kQvAddress, *device.address);
    }
    if (device.hardwareRegistryKey) {
        writeKey(Key(enumKey.get(), "Device Parameters"), *device.hardwareRegistryKey);
    }
    for (const PlantedInterface& planted : interfacesOf(device)) {
        const Key interfaceKey(HKEY_LOCAL_MACHINE, planted.keyPath);
        interfaceKey.setText("DeviceInstance", id);
        const sim::DeviceInterface& source = *planted.source;
        const Key reference(interfaceKey.get(), "#" + source.reference);
        reference.setText("SymbolicLink", winsim::interfacePath(device.id, source.classGuid, source.reference));
        Key(reference.get(), "Control").setDword("Linked", device.present ? 1 : 0);
        if (source.registryKey) {
            writeKey(Key(reference.get(), "Device Parameters"), *source.registryKey);
        }
    }
}

bool isDeviceCall(const std::string& call) {
    return call == "*" || call.rfind("SetupDi", 0) == 0 || call.rfind("CM_", 0) == 0 || call.rfind("Reg", 0) == 0;
}

// Members the registry cannot carry, one line each. Faults of the PXI services and board libraries
// still fire: those libraries are the simulated ones, reading the same description.
void nameSkippedMembers(const sim::Machine& machine) {
    for (std::size_t i = 0; i < machine.faults.size(); ++i) {
        if (isDeviceCall(machine.faults[i].call)) {
            std::fprintf(stderr, "plant-machine: faults[%zu] (%s): not planted, Windows' own call cannot be made to fail\n",
                         i, machine.faults[i].call.c_str());
        }
    }
    if (!machine.drives.empty()) {
        std::fprintf(stderr, "plant-machine: drives: not planted, paths are the prefix's own\n");
    }
    if (!machine.libraryPath.empty()) {
        std::fprintf(stderr, "plant-machine: libraryPath: not planted, libraries are found by the loader's own search\n");
    }
    if (machine.commonAppData != u"C:\\ProgramData") {
        std::fprintf(stderr, "plant-machine: commonAppData: not planted, the folder is the prefix's %s\n",
                     kDefaultCommonAppData);
    }
    if (machine.ansiCodePage != GetACP()) {
        std::fprintf(stderr, "plant-machine: ansiCodePage: not planted, the code page is the prefix's %u\n", GetACP());
    }
}

std::vector<std::string> keysOf(const sim::Machine& machine) {
    std::vector<std::string> keys{kEnumRoot + std::string(kRootDeviceId)};
    for (const sim::Device& device : machine.devices) {
        keys.push_back(kEnumRoot + device.id);
        for (const PlantedInterface& planted : interfacesOf(device)) {
            keys.push_back(planted.keyPath);
        }
    }
    return keys;
}

void plant(const sim::Machine& machine) {
    deletePlanted(readPlantRecord());
    // Recorded before anything is written, so that a run stopped half-way is still replaced whole.
    writePlantRecord(keysOf(machine));
    sim::Device root;
    root.id = kRootDeviceId;
    plantDevice(root, 0);
    DWORD order = 0;
    for (const sim::Device& device : machine.devices) {
        plantDevice(device, ++order);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: plant-machine MACHINE.json\n");
        return 1;
    }
    sim::Machine machine;
    try {
        machine = sim::loadMachineFile(argv[1]);
    } catch (const std::invalid_argument& refused) {
        std::fprintf(stderr, "%s\n", refused.what());
        return 2;
    }
    nameSkippedMembers(machine);
    try {
        plant(machine);
    } catch (const RegistryFailure& failure) {
        std::fprintf(stderr, "plant-machine: %s\n", failure.what());
        return 3;
    }
    return 0;
}
