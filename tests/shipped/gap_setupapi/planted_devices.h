// What the gap-filling setupapi.dll knows of the devices plant-machine wrote: their Enum keys, the
// test equipment's values in them, and one DEVINST numbering for device sets and the tree.
#pragma once

#include <windows.h>

#include <cfgmgr32.h>

#include <optional>
#include <string>
#include <vector>

namespace gap {

// The renamed copy of Wine's builtin setupapi.dll, beside this one, which answers everything else.
constexpr const char* kBuiltinSetupApi = "setupapi_wine.dll";
FARPROC builtinProc(const char* name);
template <class Function>
Function* builtin(const char* name) {
    // FARPROC is the loader's "some function"; the caller names the real type.
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(builtinProc(name)));
}

struct PlantedDevice {
    std::string id;     // upper case, as Wine's SetupAPI reports instance IDs
    std::string parent; // empty for the root
    bool present = false;
    DWORD order = 0; // the place in the description: the tree's child order
};

// Every planted device, in the description's order.
std::vector<PlantedDevice> plantedDevices();
std::optional<PlantedDevice> plantedDevice(const std::string& id);
std::optional<std::string> plantedText(const std::string& id, const char* valueName);
std::optional<DWORD> plantedDword(const std::string& id, const char* valueName);

// The DEVINST of a device instance ID: 1, 2, ... in the order first asked, never 0, for the life of
// the process. 0 when the ID is empty.
DEVINST devInstOf(const std::string& id);
// The ID of a DEVINST handed out, or empty.
std::string idOfDevInst(DEVINST devInst);

bool equalIds(const std::string& a, const std::string& b);

} // namespace gap
