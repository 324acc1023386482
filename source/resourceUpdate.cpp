#include "source/resourceUpdate.h"

#include "com/hostBoundary.h"
#include "enumeration/deviceMatchingToken.h"
#include "enumeration/deviceValueReaders.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "hwsys/hwsys_errors.h"
#include "source/boardContext.h"
#include "source/aliases/AliasStore.h"
#include "support/byteWideText.h"
#include "support/cJSONUtils.h"

#include <cstdint>
#include <string>

namespace qvkelpsysapiexpert {

using nQVOSALS100::tBasicString;
using nQVOSALS100::tDeviceInterfaceIterator;
using nQVOSALS100::tStatus;

namespace {

constexpr const char* kBusProperties = "BusProperties";
constexpr const char* kDeviceProperties = "DeviceProperties";

std::uint32_t readChassisNumber(tDeviceInterfaceIterator& board, tStatus* status) {
    const std::uint32_t bus = nQVOSALS100::readDeviceNumber(board, kBusProperties, "pciBusNumber", status);
    const std::uint32_t device = nQVOSALS100::readDeviceNumber(board, kBusProperties, "pciDeviceNumber", status);
    const std::uint32_t function = nQVOSALS100::readDeviceNumber(board, kBusProperties, "pciFunctionNumber", status);
    return nQVOSALS100::readPXIChassisNumber(bus, device, function, status);
}

// The members in the order the file keeps them. After the first failed read the later ones read
// nothing and keep their defaults.
cJSONUtils::Tree buildBoardRecord(tDeviceInterfaceIterator& board, const std::string& alias, tStatus* status) {
    cJSONUtils::Tree record = cJSONUtils::createObject();
    cJSON* r = record.get();
    cJSONUtils::addString(r, "alias", alias.c_str());
    cJSONUtils::addBool(r, "simulated", false);
    cJSONUtils::addNumber(r, "vendor_id", nQVOSALS100::readDeviceNumber(board, kBusProperties, "pciVendorID", status));
    cJSONUtils::addString(r, "vendor_name", nQVOSALS100::readManufacturerName(board, status).c_str());
    cJSONUtils::addNumber(r, "device_id", nQVOSALS100::readDeviceNumber(board, kBusProperties, "pciDeviceID", status));
    cJSONUtils::addNumber(r, "subsystem_id", nQVOSALS100::readDeviceNumber(board, kBusProperties, "pciSubsystemID", status));
    cJSONUtils::addString(r, "model_name", nQVOSALS100::readModelName(board, status).c_str());
    cJSONUtils::addString(r, "serial_number", nQVOSALS100::readSerialNumber(board, status).c_str());
    cJSONUtils::addBool(r, "is_product_qv", nQVOSALS100::readInterfaceNumber(board, "isProductQV", status) != 0);
    cJSONUtils::addNumber(r, "pxi_chassis_number", readChassisNumber(board, status));
    cJSONUtils::addNumber(r, "pxi_slot_number",
                          nQVOSALS100::readDeviceNumber(board, kDeviceProperties, "pxiGeographicAddress", status));
    cJSONUtils::addNumber(r, "pxi_connects_to_num_slots", nQVOSALS100::readInterfaceNumber(board, "connectsToNumSlots", status));
    return record;
}

} // namespace

HRESULT renameResource(BoardContext& context, const WCHAR* newAlias, ULONG flags, LONG* aliasInUse,
                       tStatus* status) {
    validateAlias(newAlias);
    const std::string alias = qv::brix::narrowByteForByte(newAlias);
    AliasStore store;
    if (!store.openForUpdate(status)) {
        return failedStatusResult(*status);
    }
    tDeviceInterfaceIterator& board = context.presentBoard(status);
    tBasicString token;
    nQVOSALS100::buildPCIIdentityToken(board, token, status);
    // A board that cannot be found or identified has no key: storing its record would corrupt the file.
    if (status->isFatal()) {
        return failedStatusResult(*status);
    }
    // Removing the board's own records first means a board never conflicts with its current alias.
    store.removeDeviceRecord(token.c_str());
    if ((flags & kRenameEvenIfAliasInUse) == 0 && store.isAliasInUse(alias)) {
        *aliasInUse = 1;
        return HW_E_ALIAS_IN_USE;
    }
    const cJSONUtils::Tree record = buildBoardRecord(board, alias, status);
    // A read that failed left members at 0 or empty: storing that record would replace the board's
    // good one with wrong data behind a reported failure.
    if (status->isFatal()) {
        return failedStatusResult(*status);
    }
    store.replaceDeviceRecord(token.c_str(), record.get());
    return store.writeBack(status) ? S_OK : failedStatusResult(*status);
}

} // namespace qvkelpsysapiexpert
