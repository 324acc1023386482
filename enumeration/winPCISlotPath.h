// The PCI slot path: the physical position of a PCI device, from its PCI root down to the device.
//
// Text form: "0000:RR" for the root (RR = index of the host bridge among its siblings), then ":DF"
// for every PCI device from the one below the root down to the device itself (DF = device number
// times 8 plus function number), upper-case hexadecimal. For example 0000:00:E0:00 is function 0
// of device 0 behind a bridge at device 0x1C of the first root.
#pragma once

#include "enumeration/tBasicString.h"
#include "platform/win32.h"
#include "support/status.h"

#include <cstddef>
#include <cstdint>

namespace nQVOSALS100 {

// Room for a device instance ID with its NUL.
constexpr std::uint32_t kDeviceIdScratchSize = 200;
// PCI numbers its buses with 8 bits, so no device lies below more than 256 PCI levels, itself included.
constexpr std::size_t kMaxPciLevels = 256;

// Delivers the slot path of `deviceInfo` with its NUL into `buffer`, computing it into `cache` first
// when the cache is empty. `requiredSize`, when given, receives the path length plus one; a smaller
// `bufferSize` reports -52019. A device that is not on PCI, or whose chain of parents is broken,
// reports -52006 and leaves the cache empty.
void getPCISlotPath(HDEVINFO deviceInfoSet, const SP_DEVINFO_DATA& deviceInfo, tBasicString& cache,
                    void* buffer, std::uint32_t bufferSize, std::uint32_t* requiredSize, tStatus* status);

// The upward walk from `deviceInfo` to its PCI root: `path` gets the root part first and this device
// last. A chain of more than kMaxPciLevels PCI devices, like a broken one, reports -52006. `scratch`
// holds kDeviceIdScratchSize bytes.
void buildSlotPath(HDEVINFO deviceInfoSet, const SP_DEVINFO_DATA& deviceInfo, tBasicString& path, char* scratch,
                   tStatus* status);

// How many PCI or PCI Express host bridges precede `devInst` among its parent's children.
std::uint8_t countPrecedingRootBridges(DEVINST devInst, char* scratch, tStatus* status);

} // namespace nQVOSALS100
