// What hwconfig reads of the boards: their item names and each board's property bag, copied into
// plain values so that commands can print and select without holding the module's objects.
#pragma once

#include "host/aliaskeys/aliasKeys.h"
#include "host/expertModule.h"
#include "hwsys/hwsys_types.h"

#include <cjson/cJSON.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace hwconfig {

using ItemName = std::basic_string<WCHAR>;

struct BoardProperty {
    ULONG tag;
    ULONG type; // hwSysPropertyType
    std::variant<bool, LONG, ULONG, double, GUID, std::string, hwSysAttrTimestampUTC> value;
};

struct BoardReport {
    ItemName itemName;
    // GetResourceProperties' result; the properties are empty when it failed.
    HRESULT result = S_OK;
    std::vector<BoardProperty> properties; // ascending tags
};

// The item names in the order hwconfig numbers the boards: by where they are - in a PXI chassis by
// chassis and slot, then the others by PCI bus, device and function - then by item name. Throws
// HostError.
std::vector<ItemName> readItemNames(IhwSysExpert2* expert);
// The same, and the places read to order them (a board whose place cannot be read has none).
std::vector<ItemName> readItemNames(IhwSysExpert2* expert, aliaskeys::BoardPlaces& places);

// One board's bag; a report that fails is returned with its HRESULT, not thrown.
BoardReport readBoardReport(IhwSysExpert2* expert, const ItemName& itemName);
std::vector<BoardReport> readBoardReports(IhwSysExpert2* expert);

// The property's value, or null when the bag lacks the tag.
const BoardProperty* findProperty(const BoardReport& report, ULONG tag);
// The value as text ("" when absent); numbers in decimal, PCI IDs in hexadecimal as lspci shows them.
std::string propertyText(const BoardReport& report, ULONG tag);

// A board's place in a PXI chassis: the chassis the PXI services know it in, and its geographic
// address. A board outside a chassis (the services report chassis 0) has none.
struct PxiLocation {
    unsigned long chassis;
    long slot;
};
std::optional<PxiLocation> pxiLocation(const BoardReport& report);
// "PXI1/3"
std::string locationText(const PxiLocation& location);
// The alias the board shows when it has no record: its chassis text and geographic address, as the
// module prints them ("PXI1Slot3"; "PXI0Slot0" outside a chassis).
std::string defaultAlias(const BoardReport& report);
// The properties of a failed report, in words a user can act on.
HostError reportFailure(const BoardReport& report);

// "PCI vendor ID"; "tag 0x1234" for tags the host header does not name.
std::string propertyName(ULONG tag);
const char* propertyTypeName(ULONG type);
// Timestamps as ISO-8601 UTC and local time, e.g. "2026-03-04T16:05:44Z (2026-03-04T17:05:44+0100)".
std::string propertyText(const BoardProperty& property);
// A new JSON value: booleans, numbers and strings as such, a timestamp as an object with its
// seconds, fraction, UTC and local time.
cJSON* propertyJson(const BoardProperty& property);

// "0x01003000"
std::string formatTag(ULONG tag);

} // namespace hwconfig
