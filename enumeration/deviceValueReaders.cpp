#include "enumeration/deviceValueReaders.h"

#include "enumeration/tWinRegistryKey.h"
#include "enumeration/winPCISlotPath.h"
#include "abi/qvpxisvc.h"
#include "support/byteWideText.h"

#include <cstring>

namespace nQVOSALS100 {
namespace {

constexpr const char* kInterfacePropertiesSubkey = "Properties";
constexpr const char* kDevicePropertiesSubkey = "DeviceProperties";
constexpr std::uint32_t kShortTextSize = 40;
constexpr std::uint32_t kFunctionNameSize = 60;

tWinRegistryKey openInterfaceKey(tDeviceInterfaceIterator& iterator, tStatus* status) {
    if (status->isFatal()) {
        return tWinRegistryKey();
    }
    tWinRegistryKey key(
        SetupDiOpenDeviceInterfaceRegKey(iterator.deviceInfoSet(), iterator.interfaceData(), 0, KEY_READ));
    if (!key.isOpen()) {
        setStatusFromWin32Error(GetLastError(), status, __FILE__, __LINE__);
    }
    return key;
}

// A text read into a buffer of `size` bytes and cut at its first NUL.
template <typename ReadValue>
tBasicString readBoundedText(ReadValue&& read, std::uint32_t size, tStatus* status) {
    tBasicString text;
    text.resize(size, status);
    read(text.data(), size, status);
    if (status->isFatal()) {
        text.clear();
    } else {
        text.erase(std::strlen(text.c_str()), size);
    }
    return text;
}

tBasicString readDeviceText(tDeviceInterfaceIterator& iterator, const char* valueName, tStatus* status) {
    return readBoundedText(
        [&](void* buffer, std::uint32_t size, tStatus* readStatus) {
            readDeviceValue(iterator, kDevicePropertiesSubkey, valueName, buffer, size, nullptr, readStatus);
        },
        kShortTextSize, status);
}

tBasicString readInterfaceText(tDeviceInterfaceIterator& iterator, const char* valueName, std::uint32_t size,
                               tStatus* status) {
    return readBoundedText(
        [&](void* buffer, std::uint32_t bufferSize, tStatus* readStatus) {
            readInterfaceValue(iterator, valueName, buffer, bufferSize, nullptr, readStatus);
        },
        size, status);
}

tBasicString readInterfaceText(tDeviceInterfaceIterator& iterator, const char* valueName, tStatus* status) {
    return readInterfaceText(iterator, valueName, kShortTextSize, status);
}

// One attribute of the PXI module at a PCI location, in a session of its own. The library reports
// into a private record that starts as a copy of the caller's, so that it does nothing after an
// earlier error; what it reports is dropped: an unknown location simply reads as 0.
std::uint32_t readPXIAttribute(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                               std::uint32_t attribute, const tStatus* status) {
    tStatus pxiStatus;
    pxiStatus.merge(*status);
    std::uint32_t value = 0;
    nQVPXIINIT100_openPXISession(&pxiStatus);
    if (pxiStatus.isFatal()) {
        // No session was opened, so there is none to close.
        return 0;
    }
    nQVPXIINIT100_getDeviceU32Attribute(bus, device, function, attribute, &value, &pxiStatus);
    nQVPXIINIT100_closePXISession(&pxiStatus);
    return value;
}

} // namespace

tWinRegistryKey openHardwareKey(tDeviceInterfaceIterator& iterator, tStatus* status) {
    if (status->isFatal()) {
        return tWinRegistryKey();
    }
    SP_DEVINFO_DATA deviceInfo = iterator.getDeviceInfo();
    tWinRegistryKey key(SetupDiOpenDevRegKey(iterator.deviceInfoSet(), &deviceInfo, DICS_FLAG_GLOBAL, 0,
                                             DIREG_DEV, KEY_READ));
    if (!key.isOpen()) {
        setStatusFromWin32Error(GetLastError(), status, __FILE__, __LINE__);
    }
    return key;
}

std::uint32_t readKeyNumber(const tWinRegistryKey& key, const char* valueName, tStatus* status) {
    std::uint32_t value = 0;
    key.queryValue(valueName, &value, sizeof value, nullptr, status);
    return status->isFatal() ? 0 : value;
}

void readDeviceValue(tDeviceInterfaceIterator& iterator, const char* subkey, const char* valueName,
                     void* buffer, std::uint32_t bufferSize, std::uint32_t* requiredSize, tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    if (std::strcmp(valueName, kSlotPathValueName) == 0) {
        const SP_DEVINFO_DATA deviceInfo = iterator.getDeviceInfo();
        getPCISlotPath(iterator.deviceInfoSet(), deviceInfo, iterator.slotPathCache(), buffer, bufferSize,
                       requiredSize, status);
        return;
    }
    // Each step does nothing once an earlier one has failed.
    const tWinRegistryKey hardwareKey = openHardwareKey(iterator, status);
    const tWinRegistryKey values = hardwareKey.openSubkey(subkey, status);
    values.queryValue(valueName, buffer, bufferSize, requiredSize, status);
}

void readInterfaceValue(tDeviceInterfaceIterator& iterator, const char* valueName, void* buffer,
                        std::uint32_t bufferSize, std::uint32_t* requiredSize, tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    const tWinRegistryKey interfaceKey = openInterfaceKey(iterator, status);
    const tWinRegistryKey properties = interfaceKey.openSubkey(kInterfacePropertiesSubkey, status);
    properties.queryValue(valueName, buffer, bufferSize, requiredSize, status);
}

std::uint32_t readDeviceNumber(tDeviceInterfaceIterator& iterator, const char* subkey, const char* valueName,
                               tStatus* status) {
    std::uint32_t value = 0;
    readDeviceValue(iterator, subkey, valueName, &value, sizeof value, nullptr, status);
    // A failed read may leave bytes behind; the value is then 0.
    return status->isFatal() ? 0 : value;
}

std::uint32_t readInterfaceNumber(tDeviceInterfaceIterator& iterator, const char* valueName, tStatus* status) {
    std::uint32_t value = 0;
    readInterfaceValue(iterator, valueName, &value, sizeof value, nullptr, status);
    return status->isFatal() ? 0 : value;
}

tBasicString readManufacturerName(tDeviceInterfaceIterator& iterator, tStatus* status) {
    return readDeviceText(iterator, "manufacturerName", status);
}

tBasicString readModelName(tDeviceInterfaceIterator& iterator, tStatus* status) {
    return readDeviceText(iterator, "modelName", status);
}

tBasicString readSerialNumber(tDeviceInterfaceIterator& iterator, tStatus* status) {
    return readDeviceText(iterator, "serialNumber", status);
}

tBasicString readRoutingAdaptorName(tDeviceInterfaceIterator& iterator, tStatus* status) {
    return readInterfaceText(iterator, "routingAdaptorName", status);
}

tBasicString readDriverModuleName(tDeviceInterfaceIterator& iterator, tStatus* status) {
    tBasicString name = readInterfaceText(iterator, "driverBaseName", status);
    name.append("u", status);
    if (status->isFatal()) {
        name.clear();
    }
    return name;
}

std::uint32_t readInterfaceVersion(tDeviceInterfaceIterator& iterator, tStatus* status) {
    return readInterfaceNumber(iterator, "interfaceVersion", status);
}

std::uint32_t readResetRoutingForCal(tDeviceInterfaceIterator& iterator, tStatus* status) {
    return readInterfaceNumber(iterator, "resetRoutingForCal", status);
}

tBasicString readSelfCalLibraryName(tDeviceInterfaceIterator& iterator, tStatus* status) {
    return readInterfaceText(iterator, "selfCalLibraryName", status);
}

tBasicString readSelfCalFunctionName(tDeviceInterfaceIterator& iterator, tStatus* status) {
    return readInterfaceText(iterator, "selfCalFunctionName", kFunctionNameSize, status);
}

std::basic_string<WCHAR> readHardwareRevision(tDeviceInterfaceIterator& iterator,
                                              std::uint32_t interfaceVersion, tStatus* status) {
    constexpr std::uint32_t kFirstVersionWithRevision = 4;
    if (interfaceVersion < kFirstVersionWithRevision) {
        return {};
    }
    const tBasicString text = readInterfaceText(iterator, "hardwareRevision", status);
    return qv::brix::widenByteForByte(text.c_str(), text.length());
}

std::uint32_t readPXIChassisNumber(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                   tStatus* status) {
    return readPXIAttribute(bus, device, function, nQVPXIINIT100::kAttributeChassisNumber, status);
}

std::uint32_t readPXISlotNumber(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                tStatus* status) {
    return readPXIAttribute(bus, device, function, nQVPXIINIT100::kAttributeSlotNumber, status);
}

} // namespace nQVOSALS100
