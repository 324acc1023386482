// Machines made in code, for tests and for the simulated outside libraries.
//
// A sim::Machine holds the same facts as a machine description file (docs/machine-format.md):
// devices with their registry keys and interfaces, PXI locations, injected faults, drives. A test
// builds one, installs it, and from then on every simulated Windows call in the process sees it:
//
//     sim::Machine machine;
//     sim::Device& board =
//     machine.addDevice("PCI\\VEN_ABCD&DEV_1234&SUBSYS_5678ABCD&REV_01\\4&2A5E1B0&0&00E0"); board.address =
//     0x00020000; board.hardwareKey().subkey("BusProperties").set("pciVendorID", 0xABCD);
//     board.addInterface(boardClass).key().subkey("Properties").set("driverBaseName", "qvkelpdrv");
//     sim::installMachine(machine);
//
// The simulated libraries use the accessors at the end to reach the machine they serve.
#pragma once

#include "platform/sim/win32_types.h"
#include "platform/sim/sim_api.h"

#include <cstdint>
#include <deque>
#include <list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// One registry value: its type and its raw bytes, as RegQueryValueExA delivers them.
struct SIM_API RegistryValue {
    DWORD type = 0;
    std::vector<std::uint8_t> data;

    static RegistryValue dword(std::uint32_t value);
    // REG_SZ: each byte of the text, then a NUL.
    static RegistryValue text(const std::string& value);
    // REG_BINARY: the 16 bytes of the GUID in memory layout.
    static RegistryValue guid(const GUID& value);
    static RegistryValue binary(std::vector<std::uint8_t> bytes);
};

// A registry key: named values and named subkeys, both in insertion order. Names are compared
// without regard to case, as Windows compares them.
class SIM_API RegistryKey {
public:
    RegistryKey& set(const std::string& name, RegistryValue value);
    RegistryKey& set(const std::string& name, int value) {
        return set(name, RegistryValue::dword(static_cast<std::uint32_t>(value)));
    }
    RegistryKey& set(const std::string& name, std::uint32_t value) {
        return set(name, RegistryValue::dword(value));
    }
    RegistryKey& set(const std::string& name, const char* value) {
        return set(name, RegistryValue::text(value));
    }
    RegistryKey& set(const std::string& name, const std::string& value) {
        return set(name, RegistryValue::text(value));
    }
    RegistryKey& set(const std::string& name, const GUID& value) {
        return set(name, RegistryValue::guid(value));
    }
    // The subkey of that name, created when missing. References stay valid as keys are added.
    RegistryKey& subkey(const std::string& name);

    const RegistryValue* findValue(const std::string& name) const;
    const RegistryKey* findSubkey(const std::string& name) const;
    const std::vector<std::pair<std::string, RegistryValue>>& values() const { return values_; }
    const std::list<std::pair<std::string, RegistryKey>>& subkeys() const { return subkeys_; }

private:
    std::vector<std::pair<std::string, RegistryValue>> values_;
    // A list: a key without subkeys holds no memory, and moving a key allocates none (a deque does both).
    std::list<std::pair<std::string, RegistryKey>> subkeys_;
};

struct SIM_API DeviceInterface {
    GUID classGuid{};
    // The reference string that tells apart interfaces of one class on one device; empty for none.
    // The device path is derived from the device ID, the class and it (devicePathOf).
    std::string reference;
    // The interface's registry key; absent means the key does not exist.
    std::optional<RegistryKey> registryKey;

    RegistryKey& key();
};

struct SIM_API Device {
    std::string id;
    // Empty: the root device HTREE\ROOT\0.
    std::string parent;
    // Empty: the part of the ID before the first backslash.
    std::string enumerator;
    bool present = true;
    // SPDRP_ADDRESS; absent unless given.
    std::optional<std::uint32_t> address;
    // The hardware key (DIREG_DEV); absent means the key does not exist.
    std::optional<RegistryKey> hardwareRegistryKey;
    std::deque<DeviceInterface> interfaces;
    // State for the simulated board libraries, as JSON text; empty when the device has none.
    std::string board;

    RegistryKey& hardwareKey();
    DeviceInterface& addInterface(const GUID& classGuid, std::string reference = {});
};

struct PxiLocation {
    std::uint32_t bus = 0;
    std::uint32_t device = 0;
    std::uint32_t function = 0;
    std::uint32_t chassis = 0;
    std::uint32_t slot = 0;
};

// Makes the named call fail with `error` (the Win32 error, the CONFIGRET, the registry call's
// LSTATUS, or the HRESULT or status code the call reports). With an argument only calls for that
// argument count (compared without regard to case; which argument each call offers is listed in
// docs/machine-format.md). The first `after` counted calls succeed; then `times` calls fail
// (absent: every later call). The call "*" stands for every call, so that `after` and `times`
// count the calls of all kinds together: a test fails "the Kth call, whatever it is" with
// after = K - 1 and times = 1.
struct Fault {
    std::string call;
    DWORD error = 0;
    std::optional<std::string> argument;
    std::uint32_t after = 0;
    std::optional<std::uint32_t> times;
};

class SIM_API Machine {
public:
    // Devices keep the order in which they are added: the configuration manager's child order and
    // the enumeration order of device interfaces. References stay valid as devices are added.
    Device& addDevice(std::string id, std::string parent = {});
    Machine& addPxi(const PxiLocation& location);
    Machine& addFault(Fault fault);
    // Maps a drive letter to a folder (relative folders are taken from the current folder).
    Machine& mapDrive(char letter, std::string folder);
    Machine& addLibraryFolder(std::string folder);

    std::deque<Device> devices;
    std::vector<PxiLocation> pxi;
    std::vector<Fault> faults;
    std::vector<std::pair<char, std::string>> drives;
    std::vector<std::string> libraryPath;
    std::u16string commonAppData = u"C:\\ProgramData";
    UINT ansiCodePage = 1252;
    // Keeps the name of every call that asks the fault rules, in order, for recordedCalls().
    bool recordCalls = false;
};

// Makes `machine` the machine of the whole process until uninstalled, replacing any description
// named by QVKELP_MACHINE. Throws std::invalid_argument, with the message a description file
// would get, when the machine is not well formed (duplicate IDs, unknown parents, cycles, ...).
SIM_API void installMachine(const Machine& machine);
// Back to the machine named by QVKELP_MACHINE (or the empty machine).
SIM_API void uninstallMachine();
// Reads a description file as the simulation does, with its relative paths resolved. Throws
// std::invalid_argument with the diagnostic line when the file cannot be read or is malformed.
SIM_API Machine loadMachineFile(const std::string& path);
// Reads the description file named `path` once and makes it the machine that QVKELP_MACHINE names
// while the variable holds `path` and the file does not change, so that the first system call does
// not read it again. Throws as loadMachineFile does, and then changes nothing.
SIM_API void useMachineFile(const std::string& path);

// The description file the current machine comes from; empty for an installed or empty machine.
SIM_API std::string currentMachineFile();
// The "board" member of the device with this instance ID (JSON text); empty when none.
SIM_API std::string boardDescription(const std::string& deviceId);
// The device path the system gives the interface of this class and reference string on this device:
// \\?\pci#ven_abcd&dev_1234#4&2a5e1b0&0&00e0#{7729c356-96d6-4fab-8d01-9266fb3d1bd7}, then
// \ and the reference string when there is one; all lower case.
SIM_API std::string devicePathOf(const std::string& deviceId, const GUID& classGuid, const std::string& reference = {});
// The instance ID of the device that owns the interface with this device path; empty when none.
SIM_API std::string deviceIdOfInterfacePath(const std::string& devicePath);
// The PXI location of the PCI function at bus, device, function; empty when the machine has none.
SIM_API std::optional<PxiLocation> findPxiLocation(std::uint32_t bus, std::uint32_t device, std::uint32_t function);

// The calls that asked the current machine's fault rules since it was installed or read, in
// order, by their names in the faults table; empty unless the machine has recordCalls set.
SIM_API std::vector<std::string> recordedCalls();

// Open device information sets and registry keys of the process, so that a test can see that a
// caller released every handle it acquired.
SIM_API std::size_t openDeviceInfoSetCount();
SIM_API std::size_t openRegistryKeyCount();

} // namespace sim
