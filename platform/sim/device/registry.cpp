// RegOpenKeyExA, RegQueryValueExA and RegCloseKey over the keys of the machine description. These
// calls report their error as the returned LSTATUS and leave GetLastError alone.
#include "platform/sim/device/registry_keys.h"

#include "platform/sim/handle_table.h"

#include <algorithm>

namespace winsim {
namespace {

struct OpenKey {
    std::shared_ptr<const MachineState> machine;
    const sim::RegistryKey* key;
};

HandleTable<OpenKey>& openKeys() {
    static HandleTable<OpenKey> table;
    return table;
}

LSTATUS status(DWORD error) {
    return static_cast<LSTATUS>(error);
}

// Follows a path of subkey names separated by backslashes; null when a part is missing or empty
// (a trailing backslash is allowed).
const sim::RegistryKey* findSubkeyPath(const sim::RegistryKey& from, std::string_view path) {
    const sim::RegistryKey* key = &from;
    while (key != nullptr && !path.empty()) {
        const std::size_t end = std::min(path.find('\\'), path.size());
        const std::string_view part = path.substr(0, end);
        if (part.empty()) {
            return nullptr;
        }
        key = key->findSubkey(std::string(part));
        path.remove_prefix(end == path.size() ? end : end + 1);
    }
    return key;
}

} // namespace

HKEY openRegistryKey(std::shared_ptr<const MachineState> machine, const sim::RegistryKey& key) {
    return openKeys().add<HKEY>(std::make_shared<OpenKey>(OpenKey{std::move(machine), &key}));
}

} // namespace winsim

namespace sim {
std::size_t openRegistryKeyCount() {
    return winsim::openKeys().size();
}
} // namespace sim

using winsim::status;

// Argument offered to injected faults: the subkey path ("" when null).
WINSIM_API LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, HKEY* result) {
    if (result == nullptr) {
        return status(ERROR_INVALID_PARAMETER);
    }
    *result = nullptr;
    const auto parent = winsim::openKeys().find(key);
    if (!parent) {
        return status(ERROR_INVALID_HANDLE);
    }
    const std::string_view path = subKey == nullptr ? std::string_view() : std::string_view(subKey);
    DWORD injected = 0;
    if (winsim::takeInjectedFault("RegOpenKeyExA", path, &injected)) {
        return status(injected);
    }
    const sim::RegistryKey* found = winsim::findSubkeyPath(*parent->key, path);
    if (found == nullptr) {
        return status(ERROR_FILE_NOT_FOUND);
    }
    *result = winsim::openRegistryKey(parent->machine, *found);
    return status(ERROR_SUCCESS);
}

// Argument offered to injected faults: the value name ("" for the default value).
WINSIM_API LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                           BYTE* data, LPDWORD dataSize) {
    const auto open = winsim::openKeys().find(key);
    if (!open) {
        return status(ERROR_INVALID_HANDLE);
    }
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
        return status(ERROR_INVALID_PARAMETER);
    }
    const std::string name = valueName == nullptr ? std::string() : std::string(valueName);
    DWORD injected = 0;
    if (winsim::takeInjectedFault("RegQueryValueExA", name, &injected)) {
        return status(injected);
    }
    const sim::RegistryValue* value = open->key->findValue(name);
    if (value == nullptr) {
        return status(ERROR_FILE_NOT_FOUND);
    }
    if (type != nullptr) {
        *type = value->type;
    }
    const auto size = static_cast<DWORD>(value->data.size());
    if (data != nullptr && *dataSize < size) {
        *dataSize = size;
        return status(ERROR_MORE_DATA);
    }
    if (data != nullptr) {
        std::copy(value->data.begin(), value->data.end(), data);
    }
    if (dataSize != nullptr) {
        *dataSize = size;
    }
    return status(ERROR_SUCCESS);
}

// Argument offered to injected faults: none (""). A failed close has still closed the key, so
// that a caller's cleanup path can be made to fail without leaking.
WINSIM_API LSTATUS WINAPI RegCloseKey(HKEY key) {
    if (!winsim::openKeys().remove(key)) {
        return status(ERROR_INVALID_HANDLE);
    }
    DWORD injected = 0;
    return status(winsim::takeInjectedFault("RegCloseKey", "", &injected) ? injected : ERROR_SUCCESS);
}
