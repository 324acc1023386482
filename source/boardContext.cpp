#include "source/boardContext.h"

#include "enumeration/deviceValueReaders.h"
#include "source/deviceEnumeration.h"
#include "support/byteWideText.h"

namespace qvkelpsysapiexpert {

using nQVOSALS100::tBasicString;
using nQVOSALS100::tDeviceInterfaceIterator;
using nQVOSALS100::tDevicePath;
using nQVOSALS100::tStatus;

tBasicString narrowItemName(const WCHAR* itemName, tStatus* status) {
    tBasicString name;
    name.assign(qv::brix::narrowByteForByte(itemName).c_str(), status);
    return name;
}

const tBasicString& BoardContext::name(tStatus* status) {
    if (!name_) {
        name_.emplace(narrowItemName(itemName_, status));
    }
    return *name_;
}

tDeviceInterfaceIterator& BoardContext::board(tStatus* status) {
    if (!board_) {
        const tBasicString& enumerator = name(status);
        board_.emplace(BoardInterfaceClassGuid, enumerator, status);
    }
    return *board_;
}

const tDevicePath& BoardContext::mainPath(tStatus* status) {
    if (mainPath_) {
        return *mainPath_;
    }
    tDevicePath& path = mainPath_.emplace(tDevicePath{});
    if (status->isFatal()) {
        return path;
    }
    GUID mainInterface{};
    nQVOSALS100::readInterfaceValue(board(status), "mainInterface", &mainInterface, sizeof mainInterface, nullptr,
                                    status);
    if (status->isFatal()) {
        return path;
    }
    tDeviceInterfaceIterator main(mainInterface, name(status), status);
    main.getDevicePath(&path, status);
    return path;
}

const std::string& BoardContext::driverModule(tStatus* status) {
    if (!driverModule_) {
        driverModule_.emplace(nQVOSALS100::readDriverModuleName(board(status), status).c_str());
    }
    return *driverModule_;
}

const dynload::LibraryHandle* BoardContext::driverLibrary(tStatus* status) {
    const std::string& module = driverModule(status);
    if (status->isFatal()) {
        return nullptr;
    }
    if (!driverLibrary_.isLoaded()) {
        driverLibrary_.load(module.c_str());
    }
    return &driverLibrary_;
}

} // namespace qvkelpsysapiexpert
