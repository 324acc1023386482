#include "source/devicePropertyReport.h"

#include "com/com_ptr.h"
#include "com/hostBoundary.h"
#include "enumeration/deviceMatchingToken.h"
#include "enumeration/deviceValueReaders.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "hwsys/hwsys_tags.h"
#include "propertybag/ChwDynamicPropertyBag.h"
#include "source/ChwSysExpertKELP.h"
#include "source/boardContext.h"
#include "source/calibrationReads.h"
#include "source/deviceEnumeration.h"
#include "source/reportBag.h"
#include "source/aliases/AliasStore.h"
#include "support/byteWideText.h"
#include "support/formatWideText.h"

#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>
#include <optional>
#include <string>

namespace qvkelpsysapiexpert {

using nQVOSALS100::readDeviceNumber;
using nQVOSALS100::readInterfaceNumber;
using nQVOSALS100::tBasicString;
using nQVOSALS100::tDeviceInterfaceIterator;
using nQVOSALS100::tDevicePath;
using nQVOSALS100::tStatus;
using qv::brix::WideText;
using qv::brix::widenByteForByte;

namespace {

// The device interface classes through which a board's software reaches its registers and its
// signal routing, when the driver exposes them separately from the main interface.
constexpr GUID RegisterAccessInterfaceClassGuid = {
    0x307EC87D, 0x29CC, 0x4584, {0xA9, 0x48, 0x31, 0xD0, 0x57, 0x74, 0x69, 0x9E}};
constexpr GUID RoutingInterfaceClassGuid = {
    0x9060DC52, 0xD4F8, 0x4768, {0x82, 0x56, 0x6E, 0xE7, 0xB4, 0xD5, 0xC7, 0x77}};

// Drivers of older property sets know neither the separate register-access and routing interfaces
// nor the flags that announce them.
constexpr std::uint32_t kFirstVersionWithInterfaceFlags = 3;

constexpr const char* kBusProperties = "BusProperties";
constexpr const char* kDeviceProperties = "DeviceProperties";

struct PciLocation {
    std::uint32_t bus;
    std::uint32_t device;
    std::uint32_t function;
};

// Where a PXI module sits, as the report names it: "PXI1" and the geographic address.
struct PxiPosition {
    WCHAR chassis[14];
    std::uint32_t geographicAddress;
};

WideText widen(const tBasicString& text) {
    return widenByteForByte(text.c_str(), text.length());
}

WideText widen(const tDevicePath& path) {
    return widenByteForByte(path.text, std::strlen(path.text));
}

LONG asLong(std::uint32_t value) {
    return static_cast<LONG>(value);
}

void reportIdentity(tDeviceInterfaceIterator& board, ReportBag& bag, tStatus* status) {
    bag.setULong(hwSysTagPciVendorId, readDeviceNumber(board, kBusProperties, "pciVendorID", status));
    bag.setString(hwSysTagManufacturerName, widen(nQVOSALS100::readManufacturerName(board, status)));
    bag.setULong(hwSysTagPciSubsystemId, readDeviceNumber(board, kBusProperties, "pciSubsystemID", status));
    bag.setString(hwSysTagModelName, widen(nQVOSALS100::readModelName(board, status)));
    bag.setString(hwSysTagSerialNumber, widen(nQVOSALS100::readSerialNumber(board, status)));
    bag.setBool(hwSysTagIsProductQV, readInterfaceNumber(board, "isProductQV", status) != 0);
}

PciLocation readPciLocation(tDeviceInterfaceIterator& board, tStatus* status) {
    // Braced initialisation reads the three in order.
    return PciLocation{readDeviceNumber(board, kBusProperties, "pciBusNumber", status),
                       readDeviceNumber(board, kBusProperties, "pciDeviceNumber", status),
                       readDeviceNumber(board, kBusProperties, "pciFunctionNumber", status)};
}

PxiPosition reportPxiPosition(tDeviceInterfaceIterator& board, const PciLocation& pci, ReportBag& bag,
                              tStatus* status) {
    PxiPosition position{};
    const std::uint32_t chassis = nQVOSALS100::readPXIChassisNumber(pci.bus, pci.device, pci.function, status);
    qv::brix::formatWideText(position.chassis, std::size(position.chassis), OLESTR("PXI%u"), chassis);
    bag.setString(hwSysTagPxiChassis, position.chassis);
    position.geographicAddress = readDeviceNumber(board, kDeviceProperties, "pxiGeographicAddress", status);
    bag.setLong(hwSysTagPxiSlot, asLong(position.geographicAddress));
    bag.setLong(hwSysTagSlotsOccupied, asLong(readInterfaceNumber(board, "connectsToNumSlots", status)));
    bag.setBool(hwSysTagFixed1020000, true);
    return position;
}

void reportBusAndLink(tDeviceInterfaceIterator& board, const PciLocation& pci, const WCHAR* itemName,
                      ReportBag& bag, tStatus* status) {
    bag.setULong(hwSysTagPciBusNumber, pci.bus);
    bag.setULong(hwSysTagPciDeviceNumber, pci.device);
    bag.setULong(hwSysTagPciFunctionNumber, pci.function);
    bag.setLong(hwSysTagPcieLinkWidth, asLong(readDeviceNumber(board, kBusProperties, "pcieLinkWidth", status)));
    bag.setLong(hwSysTagPcieMaxLinkWidth,
                asLong(readDeviceNumber(board, kBusProperties, "pcieMaxLinkWidth", status)));
    bag.setLong(hwSysTagPxiSlotNumber,
                asLong(nQVOSALS100::readPXISlotNumber(pci.bus, pci.device, pci.function, status)));
    bag.setLong(hwSysTagFixed101C000, 1);
    bag.setString(hwSysTagItemName, itemName);
    bag.setLong(hwSysTagFixed102A000, 0x40001000);
    bag.setString(hwSysTagExpertIdentifier, kExpertIdentifier);
}

// The stored alias, or the default one made of the PXI position (PXI1Slot3). False when the alias
// store cannot be opened, which ends the report.
bool reportAlias(tDeviceInterfaceIterator& board, const PxiPosition& position, ReportBag& bag,
                 AliasSnapshot& aliases, tStatus* status) {
    WCHAR defaultAlias[28];
    qv::brix::formatWideText(defaultAlias, std::size(defaultAlias), OLESTR("%lsSlot%u"), position.chassis,
                             position.geographicAddress);
    if (!aliases.open(status)) {
        return false;
    }
    tBasicString token;
    nQVOSALS100::buildPCIIdentityToken(board, token, status);
    const std::optional<std::string> stored = aliases.readAlias(token.c_str());
    bag.setString(hwSysTagAlias, stored ? widenByteForByte(*stored) : WideText(defaultAlias));
    bag.setULong(hwSysTagFixed1037000, 0xE0000);
    bag.setBool(hwSysTagFixed1054000, true);
    return true;
}

bool offersInterface(tDeviceInterfaceIterator& board, std::uint32_t interfaceVersion, const char* flagName,
                     tStatus* status) {
    return interfaceVersion >= kFirstVersionWithInterfaceFlags && readInterfaceNumber(board, flagName, status) != 0;
}

// The register-access path is the main path unless the driver exposes a separate interface for it;
// false when that interface's path cannot be had, which ends the report.
bool reportRegisterAccessPath(BoardContext& context, std::uint32_t interfaceVersion, const tDevicePath& mainPath,
                              ReportBag& bag, tStatus* status) {
    tDevicePath path = mainPath;
    if (offersInterface(context.board(status), interfaceVersion, "supportsRegiEnumeration", status) &&
        !context.interfacePath(RegisterAccessInterfaceClassGuid, path, status)) {
        return false;
    }
    bag.setString(hwSysTagRegisterAccessDevicePath, widen(path));
    return true;
}

// Boards that route signals name the router and the path to it; false when the router's own
// interface path cannot be had, which ends the report.
bool reportRouting(BoardContext& context, std::uint32_t interfaceVersion, const tDevicePath& mainPath,
                   ReportBag& bag, tStatus* status) {
    tDeviceInterfaceIterator& board = context.board(status);
    if (!offersInterface(board, interfaceVersion, "supportsRouting", status)) {
        return true;
    }
    bag.setString(hwSysTagRoutingAdaptorName, widen(nQVOSALS100::readRoutingAdaptorName(board, status)));
    tDevicePath path = mainPath;
    if (readInterfaceNumber(board, "supportsRoutingEnumeration", status) != 0 &&
        !context.interfacePath(RoutingInterfaceClassGuid, path, status)) {
        return false;
    }
    bag.setString(hwSysTagRoutingDevicePath, widen(path));
    bag.setString(hwSysTagRoutingItemName, context.itemName());
    return true;
}

void reportClosingProperties(const tDevicePath& mainPath, ReportBag& bag) {
    bag.setBool(hwSysTagFixed10001000, true);
    bag.setULong(hwSysTagFixed10002000, 1);
    bag.setBool(hwSysTagFixed10003000, false);
    bag.setString(hwSysTagMainDevicePath, widen(mainPath));
}

// One board of a ReportResources call: a host call of its own as far as the board goes, so that
// its libraries and device sets are let go before the next board.
void reportBoard(const WCHAR* itemName, IhwSysPropertyBag3* bag, AliasSnapshot& aliases, tStatus* status) {
    BoardContext board(itemName);
    ReportDeviceProperties(board, bag, aliases, status);
}

qv::com_ptr<IhwSysPropertyBag3> createReportBag() {
    qv::com_ptr<IhwSysPropertyBag3> created;
    throwIfFailedHResult(createPropertyBag(created.put()));
    return created;
}

std::string lowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

} // namespace

bool AliasSnapshot::open(tStatus* status) {
    if (devices_) {
        return true;
    }
    AliasStore store;
    if (!store.openForRead(status)) {
        return false;
    }
    qv::unique_cjson devices(cJSON_Duplicate(store.devices(), true));
    if (!devices) {
        throw std::bad_alloc();
    }
    const cJSON* record = nullptr;
    cJSON_ArrayForEach(record, devices.get()) {
        if (record->string != nullptr) {
            firstRecordByKey_.emplace(lowerCase(record->string), record);
        }
    }
    devices_ = std::move(devices);
    return true;
}

std::optional<std::string> AliasSnapshot::readAlias(const std::string& token) const {
    const auto found = firstRecordByKey_.find(lowerCase(token));
    if (found == firstRecordByKey_.end()) {
        return std::nullopt;
    }
    // What AliasStore::readAlias does with the record it finds.
    return cJSONUtils::getString(cJSONUtils::getMember(found->second, "alias"));
}

void ReportDeviceProperties(BoardContext& context, IhwSysPropertyBag3* target, AliasSnapshot& aliases,
                            tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    ReportBag bag(target);
    bag.setBool(hwSysTagFixed1001000, true);
    bag.setULong(hwSysTagFixed1002000, 1);
    tDeviceInterfaceIterator& board = context.board(status);
    const std::uint32_t interfaceVersion = readInterfaceNumber(board, "interfaceVersion", status);
    reportIdentity(board, bag, status);
    const PciLocation pci = readPciLocation(board, status);
    const PxiPosition position = reportPxiPosition(board, pci, bag, status);
    const tDevicePath& mainPath = context.mainPath(status);
    const BoardDriverLibrary* library = context.driverLibrary(status);
    if (library == nullptr) {
        return;
    }
    const BoardDriver driver{*library, mainPath.text};
    reportSelfCalInfo(driver, bag);
    reportExternalCalInfo(driver, bag);
    reportBusAndLink(board, pci, context.itemName(), bag, status);
    if (!reportAlias(board, position, bag, aliases, status)) {
        return;
    }
    bag.setLong(hwSysTagFixed1024000, 1);
    bag.setBool(hwSysTagFixed1056000, true);
    reportTemperatures(driver, bag);
    bag.setLong(hwSysTagFixed106F000, 1);
    if (!reportRegisterAccessPath(context, interfaceVersion, mainPath, bag, status)) {
        return;
    }
    bag.setString(hwSysTagHardwareRevision, nQVOSALS100::readHardwareRevision(board, interfaceVersion, status));
    if (!reportRouting(context, interfaceVersion, mainPath, bag, status)) {
        return;
    }
    reportClosingProperties(mainPath, bag);
}

HRESULT reportResources(IhwSysHostCollection* collection, tStatus* status) {
    BoardItemNameList names;
    // Boards listed before a failure of the listing are still reported; the failure then decides
    // the result.
    ListDeviceItemNames(names, status);
    bool handedOver = false;
    AliasSnapshot aliases;
    for (const auto& name : names) {
        const qv::com_ptr<IhwSysPropertyBag3> bag = createReportBag();
        tStatus boardStatus;
        reportBoard(name.c_str(), bag.get(), aliases, &boardStatus);
        if (boardStatus.isFatal()) {
            throwHResult(E_FAIL);
        }
        throwIfFailedHResult(collection->AddToHostCollection(bag.get()));
        handedOver = true;
    }
    return handedOver ? S_OK : S_FALSE;
}

void getResourceProperties(BoardContext& board, IhwSysPropertyBag** bag, tStatus* status) {
    qv::com_ptr<IhwSysPropertyBag3> report = createReportBag();
    AliasSnapshot aliases;
    ReportDeviceProperties(board, report.get(), aliases, status);
    if (!status->isFatal()) {
        *bag = report.detach();
    }
}

} // namespace qvkelpsysapiexpert
