#include "planted_devices.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

namespace gap {
namespace {

constexpr const char* kEnumRoot = "System\\CurrentControlSet\\Enum";

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

class OpenKey {
public:
    explicit OpenKey(const std::string& path) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    HKEY get() const { return key_; }

    std::vector<std::string> subkeys() const {
        std::vector<std::string> names;
        char name[256];
        for (DWORD index = 0; key_ != nullptr; ++index) {
            DWORD size = sizeof name;
            if (RegEnumKeyExA(key_, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                break;
            }
            names.emplace_back(name, size);
        }
        return names;
    }

private:
    HKEY key_ = nullptr;
};

std::optional<std::vector<BYTE>> readValue(const std::string& id, const char* valueName, DWORD wantedType) {
    const OpenKey key(std::string(kEnumRoot) + "\\" + id);
    DWORD type = 0;
    DWORD size = 0;
    if (key.get() == nullptr || RegQueryValueExA(key.get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != wantedType) {
        return std::nullopt;
    }
    std::vector<BYTE> data(size);
    if (RegQueryValueExA(key.get(), valueName, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(size);
    return data;
}

struct Numbering {
    std::mutex lock;
    std::vector<std::string> ids; // DEVINST n names ids[n - 1]
};

Numbering& numbering() {
    static Numbering instance;
    return instance;
}

} // namespace

FARPROC builtinProc(const char* name) {
    static const HMODULE module = LoadLibraryA(kBuiltinSetupApi);
    return module == nullptr ? nullptr : GetProcAddress(module, name);
}

bool equalIds(const std::string& a, const std::string& b) {
    return upper(a) == upper(b);
}

std::optional<std::string> plantedText(const std::string& id, const char* valueName) {
    const auto data = readValue(id, valueName, REG_SZ);
    if (!data) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(data->data()), strnlen(reinterpret_cast<const char*>(data->data()), data->size()));
}

std::optional<DWORD> plantedDword(const std::string& id, const char* valueName) {
    const auto data = readValue(id, valueName, REG_DWORD);
    if (!data || data->size() != sizeof(DWORD)) {
        return std::nullopt;
    }
    DWORD value = 0;
    std::memcpy(&value, data->data(), sizeof value);
    return value;
}

// A planted device is an Enum key with the QvPresent value plant-machine writes.
std::optional<PlantedDevice> plantedDevice(const std::string& id) {
    const auto present = plantedDword(id, "QvPresent");
    if (!present) {
        return std::nullopt;
    }
    return PlantedDevice{upper(id), upper(plantedText(id, "QvParent").value_or("")), *present != 0,
                         plantedDword(id, "QvOrder").value_or(0)};
}

std::vector<PlantedDevice> plantedDevices() {
    std::vector<PlantedDevice> devices;
    const OpenKey root(kEnumRoot);
    for (const std::string& enumerator : root.subkeys()) {
        const OpenKey enumeratorKey(std::string(kEnumRoot) + "\\" + enumerator);
        for (const std::string& device : enumeratorKey.subkeys()) {
            const std::string devicePath = enumerator + "\\" + device;
            const OpenKey deviceKey(std::string(kEnumRoot) + "\\" + devicePath);
            for (const std::string& instance : deviceKey.subkeys()) {
                if (auto planted = plantedDevice(devicePath + "\\" + instance)) {
                    devices.push_back(std::move(*planted));
                }
            }
        }
    }
    std::sort(devices.begin(), devices.end(),
              [](const PlantedDevice& a, const PlantedDevice& b) { return a.order < b.order; });
    return devices;
}

DEVINST devInstOf(const std::string& id) {
    if (id.empty()) {
        return 0;
    }
    Numbering& table = numbering();
    const std::lock_guard<std::mutex> hold(table.lock);
    const std::string key = upper(id);
    const auto at = std::find(table.ids.begin(), table.ids.end(), key);
    if (at != table.ids.end()) {
        return static_cast<DEVINST>(at - table.ids.begin()) + 1;
    }
    table.ids.push_back(key);
    return static_cast<DEVINST>(table.ids.size());
}

std::string idOfDevInst(DEVINST devInst) {
    Numbering& table = numbering();
    const std::lock_guard<std::mutex> hold(table.lock);
    return devInst == 0 || devInst > table.ids.size() ? std::string() : table.ids[devInst - 1];
}

} // namespace gap
