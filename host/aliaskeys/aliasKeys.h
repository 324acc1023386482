// What hwconfig shares with the module: the records of the alias file, read under the shared lock
// the module takes, and a present board's key there - its PCI identity token - built by the module's
// own discovery code, so that hwconfig and the module never disagree on a key. The one library of
// the module's code that hwconfig links; the expert itself it loads by name, as a host does.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace aliaskeys {

struct AliasFileRecord {
    std::string key;
    std::string alias;
    bool simulated = false;
};

// Reads every record of the alias file into records and its path into filePath. Returns S_OK or the
// HRESULT the module gives for the same failure; opened tells whether the file could be opened, so
// that a failure after it means the text is not a valid alias file; folderFault names a folder
// above the file that the module refuses, and what is wrong with it (empty otherwise).
HRESULT readAliasFile(std::string& filePath, std::vector<AliasFileRecord>& records, bool& opened,
                      std::string& folderFault);

// The path of the alias file, as the module builds it (nothing is opened). Returns S_OK or the
// HRESULT of the folder lookup that failed.
HRESULT aliasFilePath(std::string& filePath);

// The largest alias file the module reads.
std::uint64_t maxAliasFileBytes();

// True when the module accepts `alias` as an alias (its own rule: 1 to 254 of A-Z a-z 0-9 - _, not
// beginning with _).
bool isValidAlias(const std::string& alias);

struct BoardKey {
    DEVINST devInst = 0;
    // Empty when the board has none (not a PCI device, or its slot path cannot be computed).
    std::string identityToken;
};

// Finds the present board named by its item name; HRESULT_FROM_WIN32(ERROR_NO_SUCH_DEVINST) when
// there is none, or the HRESULT of the failing device-installation call.
HRESULT findBoardKey(const std::string& itemName, BoardKey& key);

// Where a board sits, read as the module reads it for its report, from the registry values its
// driver stores and the PXI services, so that it is known whatever else the report needs (the
// alias file, the board libraries): its PCI bus, device and function, and in a PXI chassis its
// chassis and slot (both 0 outside a chassis) as the report shows them: the PXI services' chassis
// number and the board's geographic address.
struct BoardPlace {
    std::uint32_t chassis = 0;
    std::uint32_t slot = 0;
    std::uint32_t bus = 0;
    std::uint32_t device = 0;
    std::uint32_t function = 0;
    // What else names the board without its report, read in the same walk as the module reads it:
    // its serial number (bytes, as the registry holds them) and its key in the alias file (empty
    // when the board has none).
    std::string serialNumber;
    std::string identityToken;
};

// The places of the present boards by item name, read in one walk over them. A board whose place
// or serial number cannot be read is left out; a walk that fails keeps the places read before it
// and returns the HRESULT of the failure.
using BoardPlaces = std::unordered_map<std::basic_string<WCHAR>, BoardPlace>;
HRESULT readBoardPlaces(BoardPlaces& places);

} // namespace aliaskeys
