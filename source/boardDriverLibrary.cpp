#include "source/boardDriverLibrary.h"

#include "enumeration/deviceValueReaders.h"
#include "source/deviceEnumeration.h"
#include "support/byteWideText.h"

namespace qvkelpsysapiexpert {

using nQVOSALS100::tBasicString;
using nQVOSALS100::tDeviceInterfaceIterator;
using nQVOSALS100::tStatus;

tBasicString narrowItemName(const WCHAR* itemName, tStatus* status) {
    tBasicString name;
    name.assign(qv::brix::narrowByteForByte(itemName).c_str(), status);
    return name;
}

void findMainInterfacePath(const tBasicString& itemName, nQVOSALS100::tDevicePath& path, tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    tDeviceInterfaceIterator board(BoardInterfaceClassGuid, itemName, status);
    findMainInterfacePath(board, itemName, path, status);
}

void findMainInterfacePath(tDeviceInterfaceIterator& board, const tBasicString& itemName,
                           nQVOSALS100::tDevicePath& path, tStatus* status) {
    GUID mainInterface{};
    nQVOSALS100::readInterfaceValue(board, "mainInterface", &mainInterface, sizeof mainInterface, nullptr, status);
    if (status->isFatal()) {
        return;
    }
    tDeviceInterfaceIterator main(mainInterface, itemName, status);
    main.getDevicePath(&path, status);
}

std::string loadBoardDriverLibrary(const WCHAR* itemName, dynload::LibraryHandle& library, tStatus* status) {
    const tBasicString narrowName = narrowItemName(itemName, status);
    tDeviceInterfaceIterator board(BoardInterfaceClassGuid, narrowName, status);
    const tBasicString moduleName = nQVOSALS100::readDriverModuleName(board, status);
    if (status->isFatal()) {
        return {};
    }
    if (!library.isLoaded()) {
        library.load(moduleName.c_str());
    }
    return moduleName.c_str();
}

} // namespace qvkelpsysapiexpert
