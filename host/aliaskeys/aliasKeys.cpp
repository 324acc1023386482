#include "host/aliaskeys/aliasKeys.h"

#include "com/hostBoundary.h"
#include "enumeration/boardInterfaceClass.h"
#include "enumeration/deviceMatchingToken.h"
#include "enumeration/deviceValueReaders.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "source/aliases/AliasStore.h"
#include "support/StringBase.h"
#include "support/cJSONUtils.h"

namespace aliaskeys {

using nQVOSALS100::tStatus;

HRESULT readAliasFile(std::string& filePath, std::vector<AliasFileRecord>& records, bool& opened,
                      std::string& folderFault) {
    // The store reports a file it cannot open and returns false; what it finds once the file is open
    // (its lock, its text) it throws.
    bool openTried = false;
    bool refused = false;
    const HRESULT result = qvkelpsysapiexpert::runHostOperation([&](tStatus& status) {
        filePath = getAliasesFilePath();
        AliasStore store;
        openTried = true;
        if (!store.openForRead(&status)) {
            refused = true;
            folderFault = store.folderFault();
            return;
        }
        const cJSON* record = nullptr;
        cJSON_ArrayForEach(record, store.devices()) {
            records.push_back({record->string != nullptr ? record->string : "",
                               cJSONUtils::getString(cJSONUtils::getMember(record, "alias")),
                               cJSON_IsTrue(cJSONUtils::findMember(record, "simulated")) != 0});
        }
    });
    opened = openTried && !refused;
    return result;
}

HRESULT aliasFilePath(std::string& filePath) {
    return qvkelpsysapiexpert::runHostOperation([&](tStatus&) { filePath = getAliasesFilePath(); });
}

std::uint64_t maxAliasFileBytes() {
    return kMaxAliasFileBytes;
}

bool isValidAlias(const std::string& alias) {
    // The rule takes wide text and throws its refusal as an HRESULT; an alias of other characters
    // than its ASCII set is refused whatever its width.
    const std::basic_string<WCHAR> wide(alias.begin(), alias.end());
    return qvkelpsysapiexpert::runHostOperation([&](tStatus&) { validateAlias(wide.c_str()); }) == S_OK;
}

HRESULT findBoardKey(const std::string& itemName, BoardKey& key) {
    return qvkelpsysapiexpert::runHostOperation([&](tStatus& status) {
        nQVOSALS100::tBasicString enumerator;
        enumerator.assign(itemName.c_str(), &status);
        nQVOSALS100::tDeviceInterfaceIterator iterator(qvkelpsysapiexpert::BoardInterfaceClassGuid, enumerator,
                                                       &status);
        if (status.isFatal() || !iterator.isValid()) {
            return HRESULT_FROM_WIN32(ERROR_NO_SUCH_DEVINST);
        }
        key.devInst = iterator.getDeviceInfo().DevInst;
        // A board without a token still has a place in the device tree: its own status, not the call's.
        tStatus tokenStatus;
        nQVOSALS100::tBasicString token;
        nQVOSALS100::buildPCIIdentityToken(iterator, token, &tokenStatus);
        key.identityToken = token.c_str();
        return S_OK;
    });
}

namespace {

// The place of the board the walk stands on; fatal in `status` when a value cannot be read.
BoardPlace placeOfCurrentBoard(nQVOSALS100::tDeviceInterfaceIterator& boards, tStatus* status) {
    BoardPlace place;
    // The hardware key is opened once for all four values, not once a value.
    const nQVOSALS100::tWinRegistryKey hardwareKey = nQVOSALS100::openHardwareKey(boards, status);
    {
        const nQVOSALS100::tWinRegistryKey bus = hardwareKey.openSubkey("BusProperties", status);
        place.bus = nQVOSALS100::readKeyNumber(bus, "pciBusNumber", status);
        place.device = nQVOSALS100::readKeyNumber(bus, "pciDeviceNumber", status);
        place.function = nQVOSALS100::readKeyNumber(bus, "pciFunctionNumber", status);
    }
    if (status->isFatal()) {
        return place;
    }
    place.chassis = nQVOSALS100::readPXIChassisNumber(place.bus, place.device, place.function, status);
    // The slot as the report shows it beside the chassis: the geographic address, 0 when unread.
    tStatus slotStatus;
    const nQVOSALS100::tWinRegistryKey device = hardwareKey.openSubkey("DeviceProperties", &slotStatus);
    place.slot = nQVOSALS100::readKeyNumber(device, "pxiGeographicAddress", &slotStatus);
    place.serialNumber = nQVOSALS100::readSerialNumber(boards, status).c_str();
    // A board without a token still has a place and a default alias: its own status, not the walk's.
    tStatus tokenStatus;
    nQVOSALS100::tBasicString token;
    nQVOSALS100::buildPCIIdentityToken(boards, token, &tokenStatus);
    place.identityToken = token.c_str();
    return place;
}

} // namespace

HRESULT readBoardPlaces(BoardPlaces& places) {
    return qvkelpsysapiexpert::runHostOperation([&](tStatus& status) {
        // One walk over one set of the boards. Opening a set may read the interface keys of every
        // board (Wine's SetupAPI does, whatever the enumerator), so a set for each board made
        // naming one board grow with the square of the boards.
        nQVOSALS100::tDeviceInterfaceIterator boards(qvkelpsysapiexpert::BoardInterfaceClassGuid, &status);
        nQVOSALS100::tBasicString itemName;
        for (; boards.isValid() && !status.isFatal(); boards.advance()) {
            // One board's failure leaves only that board without a place.
            const SP_DEVINFO_DATA deviceInfo = boards.getDeviceInfo();
            if (deviceInfo.DevInst == 0) {
                continue;
            }
            tStatus boardStatus;
            nQVOSALS100::getDeviceMatchingToken(boards.deviceInfoSet(), deviceInfo, itemName, &boardStatus);
            const BoardPlace place = placeOfCurrentBoard(boards, &boardStatus);
            if (!boardStatus.isFatal()) {
                // Keyed as the module's list of item names widens them.
                places.emplace(qv::brix::StringBase<WCHAR>(itemName.c_str()).c_str(), place);
            }
        }
        boards.reportEnumerationFailure(&status);
    });
}

} // namespace aliaskeys
