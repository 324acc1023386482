#include "source/boardContext.h"

#include "enumeration/deviceValueReaders.h"
#include "source/deviceEnumeration.h"
#include "support/byteWideText.h"
#include "support/statusCodes.h"

namespace qvkelpsysapiexpert {

using nQVOSALS100::tBasicString;
using nQVOSALS100::tDeviceInterfaceIterator;
using nQVOSALS100::tDevicePath;
using nQVOSALS100::tStatus;

namespace {

// The present interfaces of `interfaceClass` that belong to the device `name` names, opened into
// `slot`: the one place a set is opened by the item name.
tDeviceInterfaceIterator& openByName(std::optional<tDeviceInterfaceIterator>& slot, const GUID& interfaceClass,
                                     const tBasicString& name, tStatus* status) {
    if (name.isEmpty()) {
        return slot.emplace(interfaceClass, tDeviceInterfaceIterator::kNoDevice, status);
    }
    return slot.emplace(interfaceClass, name, status);
}

} // namespace

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
        openByName(board_, BoardInterfaceClassGuid, name(status), status);
    }
    return *board_;
}

tDeviceInterfaceIterator& BoardContext::presentBoard(tStatus* status) {
    tDeviceInterfaceIterator& found = board(status);
    if (!status->isFatal() && !found.isValid()) {
        status->setCode(nQVOSALS100::osalStatusResourceNotFound, nQVOSALS100::kComponentName, __FILE__, __LINE__);
    }
    return found;
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
    interfacePath(mainInterface, path, status);
    return path;
}

bool BoardContext::interfacePath(const GUID& interfaceClass, tDevicePath& path, tStatus* status) {
    if (status->isFatal()) {
        return false;
    }
    std::optional<tDeviceInterfaceIterator> interfaces;
    openByName(interfaces, interfaceClass, name(status), status).getDevicePath(&path, status);
    return !status->isFatal();
}

const BoardDriverLibrary* BoardContext::driverLibrary(tStatus* status) {
    if (driverLibrary_.library_.isLoaded()) {
        return &driverLibrary_;
    }
    const std::string name = nQVOSALS100::readDriverModuleName(board(status), status).c_str();
    if (status->isFatal()) {
        return nullptr;
    }
    driverLibrary_.library_.load(name.c_str());
    driverLibrary_.name_ = name;
    return &driverLibrary_;
}

} // namespace qvkelpsysapiexpert
