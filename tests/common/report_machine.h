// The machine builder of the tests, benchmarks and fuzz targets that run the module in their own
// process: boards of the lab's kind whose registry values, PXI place, interfaces and board-library
// state a caller chooses, on a drive C of their own that holds the alias file.
#pragma once

#include "platform/sim/device/machine.h"

#include "host_platform.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace reporttest {

inline constexpr GUID kBoardClass = {0x7729C356, 0x96D6, 0x4FAB, {0x8D, 0x01, 0x92, 0x66, 0xFB, 0x3D, 0x1B, 0xD7}};
inline constexpr GUID kMainClass = {0x6A2F9D13, 0x8C47, 0x4E0B, {0xB5, 0xD8, 0x3F, 0x1C, 0x27, 0xE9, 0xA0, 0x46}};
inline constexpr GUID kRegisterClass = {0x307EC87D, 0x29CC, 0x4584, {0xA9, 0x48, 0x31, 0xD0, 0x57, 0x74, 0x69, 0x9E}};
inline constexpr GUID kRoutingClass = {0x9060DC52, 0xD4F8, 0x4768, {0x82, 0x56, 0x6E, 0xE7, 0xB4, 0xD5, 0xC7, 0x77}};


// Board-library state: every record present and readable.
inline const std::string kHealthyBoard = R"({
  "selfCal": { "time": { "seconds": 3855600000, "fraction": 4503599627370496 }, "temperature": 38.0 },
  "externalCal": { "time": { "seconds": 3840652800, "fraction": 9007199254740992 },
                   "intervalDays": 365, "password": "kelp" },
  "temperatures": [44.5, 61.75, 40.25, 39.0] })";

// A board of the machine; its index in the machine tells it apart (device ID, PCI bus, PXI place
// and device paths).
struct BoardSpec {
    std::uint32_t interfaceVersion = 4;
    bool routing = true;
    bool routingEnumeration = true;
    bool registerEnumeration = true;
    bool inPxiChassis = true;
    std::string board = kHealthyBoard;
};

inline std::string hex2(std::uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    return {digits[(value >> 4) & 0xF], digits[value & 0xF]};
}

// Each board sits behind a root port of its own; a root bridge takes 31 of them.
constexpr std::uint32_t kPortsPerBridge = 31;
inline std::string rootBridgeId(std::uint32_t index) {
    return "ACPI\\PNP0A08\\" + std::to_string(index / kPortsPerBridge);
}
inline std::uint32_t portDevice(std::uint32_t index) {
    return index % kPortsPerBridge + 1;
}
inline std::string rootPortId(std::uint32_t index) {
    return "PCI\\VEN_8086&DEV_A110&SUBSYS_00000000&REV_F0\\3&11583659&0&P" + std::to_string(index);
}
inline std::string boardId(std::uint32_t index) {
    return "PCI\\VEN_1F2B&DEV_7A40&SUBSYS_7A401F2B&REV_03\\4&2A5E1B0&" + std::to_string(index) + "&00E0";
}
inline std::uint32_t busNumber(std::uint32_t index) {
    return 5 + index;
}
// The PXI services' slot differs from the stored geographic address, so that a report that takes
// one for the other shows it.
inline std::uint32_t geographicAddress(std::uint32_t index) {
    return 4 + index;
}
inline std::uint32_t pxiSlot(std::uint32_t index) {
    return 10 + index;
}
inline std::string devicePath(const GUID& interfaceClass, std::uint32_t index) {
    return sim::devicePathOf(boardId(index), interfaceClass);
}
// The board's key in the alias file: its PCI identity and its slot path below its root port.
inline std::string identityToken(std::uint32_t index) {
    return "PCI:VEN_1F2B&DEV_7A40&SUBSYS_1F2B7A40&REV_03/0000:" + hex2(index / kPortsPerBridge) + ":" +
           hex2(portDevice(index) * 8) + ":00";
}

inline void addBoard(sim::Machine& machine, std::uint32_t index, const BoardSpec& layout) {
    if (index % kPortsPerBridge == 0) {
        machine.addDevice(rootBridgeId(index));
    }
    sim::Device& port = machine.addDevice(rootPortId(index), rootBridgeId(index));
    port.address = portDevice(index) << 16;
    sim::Device& board = machine.addDevice(boardId(index), port.id);
    board.address = 0;
    board.hardwareKey()
        .subkey("BusProperties")
        .set("pciVendorID", 0x1F2B)
        .set("pciDeviceID", 0x7A40)
        .set("pciSubsystemVendorID", 0x1F2B)
        .set("pciSubsystemID", 0x7A40)
        .set("pciRevision", 3)
        .set("pciBusNumber", busNumber(index))
        .set("pciDeviceNumber", 2)
        .set("pciFunctionNumber", 1)
        .set("pcieLinkWidth", 8)
        .set("pcieMaxLinkWidth", 16);
    board.hardwareKey()
        .subkey("DeviceProperties")
        .set("manufacturerName", "Quorvel")
        .set("modelName", "QV-KELP 4480R")
        .set("serialNumber", "01E2C95A")
        .set("pxiGeographicAddress", geographicAddress(index));
    board.addInterface(kBoardClass)
        .key()
        .subkey("Properties")
        .set("interfaceVersion", layout.interfaceVersion)
        .set("isProductQV", 1)
        .set("mainInterface", kMainClass)
        .set("connectsToNumSlots", 2)
        .set("supportsRouting", layout.routing ? 1 : 0)
        .set("supportsRoutingEnumeration", layout.routingEnumeration ? 1 : 0)
        .set("supportsRegiEnumeration", layout.registerEnumeration ? 1 : 0)
        .set("driverBaseName", "qvkelpdrv")
        .set("hardwareRevision", "C2")
        .set("routingAdaptorName", "QV-KELP Trigger Router");
    board.addInterface(kMainClass);
    board.addInterface(kRegisterClass);
    board.addInterface(kRoutingClass);
    board.board = layout.board;
    if (layout.inPxiChassis) {
        machine.addPxi({busNumber(index), 2, 1, 1, pxiSlot(index)});
    }
}

// A drive C of its own in a fresh temporary folder, removed with the object.
class AliasDrive {
public:
    AliasDrive() : root_(hostplatform::makeTemporaryFolder("qvkelp-drive")) {
        std::filesystem::create_directories(aliasFile().parent_path());
        remove();
    }
    ~AliasDrive() {
        std::error_code ignored;
        std::filesystem::remove(aliasFile(), ignored); // drive C may be the system's own
        std::filesystem::remove_all(root_, ignored);
    }
    AliasDrive(const AliasDrive&) = delete;
    AliasDrive& operator=(const AliasDrive&) = delete;

    std::filesystem::path root() const { return root_; }
    std::filesystem::path aliasFile() const {
        return hostplatform::driveC(root_) / "ProgramData" / "Quorvel" / "QV-KELP" / "aliases.json";
    }
    void write(const std::string& text) const { std::ofstream(aliasFile(), std::ios::binary | std::ios::trunc) << text; }
    void remove() const {
        std::error_code ignored;
        std::filesystem::remove(aliasFile(), ignored);
    }
    std::string read() const {
        std::ifstream in(aliasFile(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path root_;
};

// An alias file naming the boards of the given indices board-<index>.
inline std::string aliasFileNaming(const std::vector<std::uint32_t>& indices) {
    std::string text = "{\"devices\":{";
    for (std::size_t i = 0; i < indices.size(); ++i) {
        text += (i == 0 ? "\"" : ",\"") + identityToken(indices[i]) + "\":{\"alias\":\"board-" +
                std::to_string(indices[i]) + "\"}";
    }
    return text + "}}";
}

// The boards in the order given, with indices counting up from 0, and drive C; the board
// libraries load from `libraryFolder`.
inline sim::Machine reportMachine(const AliasDrive& drive, const std::vector<BoardSpec>& boards,
                                  const std::string& libraryFolder = {}) {
    sim::Machine machine;
    for (std::uint32_t index = 0; index < boards.size(); ++index) {
        addBoard(machine, index, boards[index]);
    }
    machine.mapDrive('C', drive.root().string());
    if (!libraryFolder.empty()) {
        machine.addLibraryFolder(libraryFolder);
    }
    return machine;
}

// The boards given installed as this process's machine for the object's life, on a drive C of their
// own; no boards gives a machine of drive C alone.
class InstalledMachine {
public:
    explicit InstalledMachine(const std::vector<BoardSpec>& boards = {}) {
        sim::installMachine(reportMachine(drive_, boards));
    }
    ~InstalledMachine() { sim::uninstallMachine(); }
    InstalledMachine(const InstalledMachine&) = delete;
    InstalledMachine& operator=(const InstalledMachine&) = delete;

    const AliasDrive& drive() const { return drive_; }

private:
    AliasDrive drive_;
};

} // namespace reporttest
