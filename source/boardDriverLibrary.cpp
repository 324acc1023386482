#include "source/boardDriverLibrary.h"

#include "enumeration/deviceValueReaders.h"
#include "source/deviceEnumeration.h"

#include <cstdlib>
#include <stdexcept>

namespace qvkelpsysapiexpert {

using nQVOSALS100::tBasicString;
using nQVOSALS100::tDeviceInterfaceIterator;
using nQVOSALS100::tStatus;

tBasicString narrowItemName(const WCHAR* itemName, tStatus* status) {
    const std::size_t length = itemName != nullptr ? std::basic_string<WCHAR>(itemName).size() : 0;
    std::string narrow(length, '\0');
    if (itemName == nullptr || wcstombs(narrow.data(), itemName, length) != length) {
        throw std::runtime_error("unexpected return value from wcstombs()");
    }
    tBasicString name;
    name.assign(narrow.c_str(), status);
    return name;
}

void findMainInterfacePath(const tBasicString& itemName, nQVOSALS100::tDevicePath& path, tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    tDeviceInterfaceIterator board(BoardInterfaceClassGuid, itemName, status);
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
