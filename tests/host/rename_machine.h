// A machine of numbered boards on a fresh temporary drive C that holds the alias file, named to
// the simulated Windows through QVKELP_MACHINE as a host's environment would name it.
#pragma once

#include "common/host_platform.h"
#include "support/unique_any.h"

#include <gtest/gtest.h>

#include <cjson/cJSON.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace hosttest {

using Json = qv::unique_cjson;

// Null when the text is not exactly one JSON value.
inline Json parseWhole(const std::string& text) {
    const char* end = nullptr;
    Json root(cJSON_ParseWithLengthOpts(text.c_str(), text.size() + 1, &end, 1));
    return root;
}

inline std::u16string widen(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// The journal's format as docs/aliases-file.md gives it, written here independently of the module:
// FNV-1a over 8-byte little-endian words, then the last bytes one at a time.
inline std::string recoveryJournal(const std::string& base, const std::string& next) {
    constexpr std::uint64_t kPrime = 1099511628211ull;
    const std::string both = base + next;
    std::uint64_t hash = 14695981039346656037ull;
    std::size_t at = 0;
    for (; at + 8 <= both.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, both.data() + at, sizeof word);
        hash = (hash ^ word) * kPrime;
    }
    for (; at < both.size(); ++at) {
        hash = (hash ^ static_cast<unsigned char>(both[at])) * kPrime;
    }
    char header[96];
    std::snprintf(header, sizeof header, "QVKELP-ALIASES-JOURNAL 2 %zu %zu %016llx\n", base.size(), next.size(),
                  static_cast<unsigned long long>(hash));
    return header + base + next;
}

class RenameMachine {
public:
    // `machineMembers` is spliced into the description's top level (faults, for instance).
    explicit RenameMachine(int boards, const std::string& machineMembers = {}) {
        folder_ = hostplatform::makeTemporaryFolder("rename");
        std::filesystem::create_directories(aliasFile().parent_path());
        removeAliasFiles(); // drive C may be the system's own, with the files of an earlier machine
        std::ofstream(folder_ / "machine.json") << description(boards, machineMembers);
        hostplatform::setEnvironment("QVKELP_MACHINE", (folder_ / "machine.json").string());
    }
    ~RenameMachine() {
        hostplatform::unsetEnvironment("QVKELP_MACHINE");
        removeAliasFiles();
        std::filesystem::remove_all(folder_);
    }
    RenameMachine(const RenameMachine&) = delete;
    RenameMachine& operator=(const RenameMachine&) = delete;

    static std::string itemName(int board) {
        char text[96];
        std::snprintf(text, sizeof text, "PCI\\VEN_1F2B&DEV_7A%02X&SUBSYS_7A%02X1F2B&REV_01\\3&11583659&0&%02X",
                      board, board, (board + 1) * 8);
        return text;
    }
    // The board's key in the alias file: its identity registers and its slot under the root bridge.
    static std::string token(int board) {
        char text[96];
        std::snprintf(text, sizeof text, "PCI:VEN_1F2B&DEV_7A%02X&SUBSYS_1F2B7A%02X&REV_01/0000:00:%02X", board,
                      board, (board + 1) * 8);
        return text;
    }

    std::filesystem::path machineFile() const { return folder_ / "machine.json"; }
    std::filesystem::path aliasFile() const {
        return hostplatform::driveC(folder_ / "drive_c") / "ProgramData" / "Quorvel" / "QV-KELP" / "aliases.json";
    }
    std::filesystem::path recoveryFile() const { return aliasFile().string() + ".recovery"; }
    // Whether the common journal holds a rewrite: once done with, it is kept empty, so that the
    // writers who may not create one as protected as the alias file find it.
    bool journalPending() const {
        std::error_code ignored;
        const std::uintmax_t size = std::filesystem::file_size(recoveryFile(), ignored);
        return !ignored && size > 0;
    }
    void removeAliasFiles() const {
        std::error_code ignored;
        std::filesystem::remove(aliasFile(), ignored);
        std::filesystem::remove(recoveryFile(), ignored);
    }

    static void write(const std::filesystem::path& file, const std::string& text) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    }
    static std::string read(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    static std::string board(int board) {
        char text[1400];
        std::snprintf(
            text, sizeof text,
            R"({ "id": "%s", "parent": "ACPI\\PNP0A08\\0", "address": %d,
  "hardwareKey": {
    "BusProperties": { "pciVendorID": 7979, "pciDeviceID": %d, "pciSubsystemVendorID": 7979,
                       "pciSubsystemID": %d, "pciRevision": 1, "pciBusNumber": 0,
                       "pciDeviceNumber": %d, "pciFunctionNumber": 0 },
    "DeviceProperties": { "manufacturerName": "Quorvel", "modelName": "QV-KELP 4110",
                          "serialNumber": "SN%02d", "pxiGeographicAddress": %d } },
  "interfaces": [ { "class": "{7729C356-96D6-4FAB-8D01-9266FB3D1BD7}",
                    "key": { "Properties": { "isProductQV": 1, "connectsToNumSlots": 1 } } } ] })",
            jsonEscaped(itemName(board)).c_str(), (board + 1) << 16,
            0x7A00 + board, 0x7A00 + board, board + 1, board, board + 2);
        return text;
    }

    static std::string jsonEscaped(const std::string& text) {
        std::string escaped;
        for (char c : text) {
            escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
        }
        return escaped;
    }

    static std::string description(int boards, const std::string& machineMembers) {
        std::string text = R"({ "drives": { "C": "drive_c" }, "devices": [
  { "id": "ROOT\\ACPI_HAL\\0000" },
  { "id": "ACPI_HAL\\PNP0C08\\0", "parent": "ROOT\\ACPI_HAL\\0000" },
  { "id": "ACPI\\PNP0A08\\0", "parent": "ACPI_HAL\\PNP0C08\\0" })";
        for (int i = 0; i < boards; ++i) {
            text += ",\n" + board(i);
        }
        text += "],\n\"pxi\": [";
        for (int i = 0; i < boards; ++i) {
            text += (i != 0 ? "," : "") + std::string("{ \"bus\": 0, \"device\": ") + std::to_string(i + 1) +
                    ", \"function\": 0, \"chassis\": 1, \"slot\": " + std::to_string(i + 2) + " }";
        }
        text += "]" + (machineMembers.empty() ? std::string() : ",\n" + machineMembers) + "\n}\n";
        return text;
    }

    std::filesystem::path folder_;
};

} // namespace hosttest
