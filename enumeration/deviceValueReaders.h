// Reads of the values a board's driver stores in the registry, and of a PXI module's location.
//
// Hardware-key values live in a subkey ("BusProperties", "DeviceProperties") of the board's
// hardware key; interface-key values in the subkey "Properties" of the board interface's key. A
// value's registry type is never looked at: its raw bytes are copied, so a 4-byte value reads as a
// little-endian uint32 and a text as ANSI characters with their NUL.
#pragma once

#include "enumeration/tBasicString.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "enumeration/tWinRegistryKey.h"
#include "platform/win32.h"
#include "support/status.h"
#include "support/statusCodes.h"

#include <cstdint>
#include <string>

namespace nQVOSALS100 {

// The value name that stands for the computed PCI slot path of the current board, whatever subkey
// is named.
constexpr const char* kSlotPathValueName = "pciSlotPath";

void readDeviceValue(tDeviceInterfaceIterator& iterator, const char* subkey, const char* valueName,
                     void* buffer, std::uint32_t bufferSize, std::uint32_t* requiredSize, tStatus* status);
void readInterfaceValue(tDeviceInterfaceIterator& iterator, const char* valueName, void* buffer,
                        std::uint32_t bufferSize, std::uint32_t* requiredSize, tStatus* status);

// Appends a value of unknown length to `text`: asks for the size, grows the text by it, reads the
// value into the new tail and drops the value's closing NUL. `read` is called as
// read(buffer, bufferSize, requiredSize, status) with the protocol of the readers above. Failures
// other than the expected "buffer too small" of the size query reach `status`, and the text keeps
// its old length.
template <typename ReadValue>
void appendValueBySizeQuery(tBasicString& text, ReadValue&& read, tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    tStatus privateStatus;
    std::uint32_t needed = 0;
    read(nullptr, 0, &needed, &privateStatus);
    if (privateStatus.code == osalStatusBufferTooSmall) {
        privateStatus.clear();
        const std::size_t start = text.length();
        text.resize(start + needed, &privateStatus);
        read(text.data() + start, needed, nullptr, &privateStatus);
        if (privateStatus.isFatal()) {
            text.erase(start, needed);
        } else if (text.length() > start && text.data()[text.length() - 1] == '\0') {
            text.erase(text.length() - 1, 1);
        }
    }
    status->merge(privateStatus);
}

// The board's hardware key, for several reads from its subkeys; not open when the status is or
// becomes fatal.
tWinRegistryKey openHardwareKey(tDeviceInterfaceIterator& iterator, tStatus* status);
// A 4-byte value of an open key; 0 when it cannot be read.
std::uint32_t readKeyNumber(const tWinRegistryKey& key, const char* valueName, tStatus* status);

// 4-byte values (numbers and flags); 0 when the value cannot be read.
std::uint32_t readDeviceNumber(tDeviceInterfaceIterator& iterator, const char* subkey, const char* valueName,
                               tStatus* status);
std::uint32_t readInterfaceNumber(tDeviceInterfaceIterator& iterator, const char* valueName, tStatus* status);

// Texts of up to 40 bytes with their NUL, cut at the first NUL. On failure the text is empty.
tBasicString readManufacturerName(tDeviceInterfaceIterator& iterator, tStatus* status);
tBasicString readModelName(tDeviceInterfaceIterator& iterator, tStatus* status);
tBasicString readSerialNumber(tDeviceInterfaceIterator& iterator, tStatus* status);
tBasicString readRoutingAdaptorName(tDeviceInterfaceIterator& iterator, tStatus* status);
// The board driver library's module name: the stored "driverBaseName" with "u" appended.
tBasicString readDriverModuleName(tDeviceInterfaceIterator& iterator, tStatus* status);
// The interface key's "interfaceVersion" and "resetRoutingForCal": 0 when they cannot be read,
// the failure then in the status.
std::uint32_t readInterfaceVersion(tDeviceInterfaceIterator& iterator, tStatus* status);
std::uint32_t readResetRoutingForCal(tDeviceInterfaceIterator& iterator, tStatus* status);
// The self-calibration library (40-byte value) and its function (60-byte value) that a board of
// interface version 4 or above names; cut at the first NUL, empty on failure.
tBasicString readSelfCalLibraryName(tDeviceInterfaceIterator& iterator, tStatus* status);
tBasicString readSelfCalFunctionName(tDeviceInterfaceIterator& iterator, tStatus* status);
// Empty, without touching the registry, below interface version 4. Throws std::runtime_error
// "unexpected return value from mbstowcs()" when the text does not widen byte for byte.
std::basic_string<WCHAR> readHardwareRevision(tDeviceInterfaceIterator& iterator,
                                              std::uint32_t interfaceVersion, tStatus* status);

// The chassis and slot numbers of the PXI module at a PCI location, from the PXI services
// library. Their failures are not reported: an unknown location reads as 0.
std::uint32_t readPXIChassisNumber(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                   tStatus* status);
std::uint32_t readPXISlotNumber(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                tStatus* status);

} // namespace nQVOSALS100
