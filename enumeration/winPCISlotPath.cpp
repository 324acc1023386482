#include "enumeration/winPCISlotPath.h"

#include "support/statusCodes.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace nQVOSALS100 {
namespace {

constexpr std::uint32_t kEnumeratorNameSize = 16;
constexpr std::size_t kRootBridgePrefixLength = 12;
constexpr const char* kRootBridgePrefixes[] = {"ACPI\\PNP0A03", "ACPI\\PNP0A08"};

bool equalCharactersIgnoringCase(char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
}

// Compares at most `count` characters, stopping after a NUL in both.
bool equalIgnoringCase(const char* a, const char* b, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!equalCharactersIgnoringCase(a[i], b[i])) {
            return false;
        }
        if (a[i] == '\0') {
            return true;
        }
    }
    return true;
}

bool isRootBridgeId(const char* deviceId) {
    for (const char* prefix : kRootBridgePrefixes) {
        if (equalIgnoringCase(deviceId, prefix, kRootBridgePrefixLength)) {
            return true;
        }
    }
    return false;
}

// Bits 16 to 20 of SPDRP_ADDRESS hold the PCI device number, bits 0 to 2 the function number.
std::uint32_t devfnFromAddress(DWORD address) {
    return ((address >> 16) & 0x1Fu) * 8u + (address & 0x7u);
}

// CM_Get_Device_IDA leaves out the NUL when the ID fills the buffer exactly; such an ID cannot be
// passed on as text.
bool readDeviceId(DEVINST devInst, char* scratch) {
    return CM_Get_Device_IDA(devInst, scratch, kDeviceIdScratchSize, 0) == CR_SUCCESS &&
           std::memchr(scratch, '\0', kDeviceIdScratchSize) != nullptr;
}

void reportNotFound(tStatus* status) {
    if (!status->isFatal()) {
        status->setCode(osalStatusResourceNotFound, kComponentName, __FILE__, __LINE__);
    }
}

// Opens the parent of `device` in the set. A PCI device always hangs below something, so a parent
// the configuration manager cannot name is a missing link: going on would give a path without its
// root part.
bool openParent(HDEVINFO deviceInfoSet, const SP_DEVINFO_DATA& device, char* scratch, SP_DEVINFO_DATA* parentInfo) {
    DEVINST parent = 0;
    *parentInfo = SP_DEVINFO_DATA{};
    parentInfo->cbSize = sizeof(SP_DEVINFO_DATA);
    return CM_Get_Parent(&parent, device.DevInst, 0) == CR_SUCCESS && readDeviceId(parent, scratch) &&
           SetupDiOpenDeviceInfoA(deviceInfoSet, scratch, nullptr, 0, parentInfo);
}

bool hasEnumerator(const char* enumeratorName, bool haveName, const char* wanted) {
    return haveName && equalIgnoringCase(enumeratorName, wanted, kEnumeratorNameSize);
}

} // namespace

// The walk goes up from the device one parent at a time, keeping each PCI level's devfn, until the
// first device that is not on PCI: the root. It is a loop with a bound, not a recursion, so that no
// device tree, however deep, can exhaust the stack.
void buildSlotPath(HDEVINFO deviceInfoSet, const SP_DEVINFO_DATA& deviceInfo, tBasicString& path, char* scratch,
                   tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    std::uint8_t devfns[kMaxPciLevels]; // the device's own first
    std::size_t levels = 0;
    // The calls take non-const records though they only read them.
    SP_DEVINFO_DATA device = deviceInfo;
    for (;;) {
        char enumeratorName[kEnumeratorNameSize] = {};
        const bool haveName = SetupDiGetDeviceRegistryPropertyA(deviceInfoSet, &device, SPDRP_ENUMERATOR_NAME,
                                                                nullptr, reinterpret_cast<BYTE*>(enumeratorName),
                                                                sizeof enumeratorName, nullptr) != 0;
        if (!hasEnumerator(enumeratorName, haveName, "PCI")) {
            if (levels == 0) { // the device itself is not on PCI
                reportNotFound(status);
                return;
            }
            const bool isAcpi = hasEnumerator(enumeratorName, haveName, "ACPI");
            const unsigned rootIndex = isAcpi ? countPrecedingRootBridges(device.DevInst, scratch, status) : 0u;
            char root[16];
            std::snprintf(root, sizeof root, "%04X:%02X", 0u, rootIndex);
            path.assign(root, status);
            break;
        }
        DWORD address = 0;
        SP_DEVINFO_DATA parentInfo{};
        // More PCI levels than PCI has buses is a malformed device tree.
        if (levels == kMaxPciLevels ||
            !SetupDiGetDeviceRegistryPropertyA(deviceInfoSet, &device, SPDRP_ADDRESS, nullptr,
                                               reinterpret_cast<BYTE*>(&address), sizeof address, nullptr) ||
            !openParent(deviceInfoSet, device, scratch, &parentInfo)) {
            reportNotFound(status);
            return;
        }
        devfns[levels++] = static_cast<std::uint8_t>(devfnFromAddress(address));
        device = parentInfo;
    }
    while (levels > 0 && !status->isFatal()) {
        char part[8];
        std::snprintf(part, sizeof part, ":%02X", static_cast<unsigned>(devfns[--levels]));
        path.append(part, status);
    }
}

std::uint8_t countPrecedingRootBridges(DEVINST devInst, char* scratch, tStatus* status) {
    if (status->isFatal()) {
        return 0;
    }
    DEVINST parent = 0;
    DEVINST child = 0;
    if (CM_Get_Parent(&parent, devInst, 0) != CR_SUCCESS || CM_Get_Child(&child, parent, 0) != CR_SUCCESS) {
        return 0;
    }
    std::uint8_t count = 0;
    while (child != devInst) {
        if (readDeviceId(child, scratch) && isRootBridgeId(scratch)) {
            ++count;
        }
        DEVINST next = 0;
        if (CM_Get_Sibling(&next, child, 0) != CR_SUCCESS) {
            break;
        }
        child = next;
    }
    return count;
}

void getPCISlotPath(HDEVINFO deviceInfoSet, const SP_DEVINFO_DATA& deviceInfo, tBasicString& cache,
                    void* buffer, std::uint32_t bufferSize, std::uint32_t* requiredSize, tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    if (cache.isEmpty()) {
        char scratch[kDeviceIdScratchSize] = {};
        buildSlotPath(deviceInfoSet, deviceInfo, cache, scratch, status);
        if (status->isFatal()) {
            // A later request with a fresh status must not be served a partial path.
            cache.clear();
            return;
        }
    }
    const std::size_t needed = cache.length() + 1;
    if (requiredSize != nullptr) {
        *requiredSize = static_cast<std::uint32_t>(needed);
    }
    if (bufferSize < needed) {
        status->setCode(osalStatusBufferTooSmall, kComponentName, __FILE__, __LINE__);
        return;
    }
    std::memcpy(buffer, cache.c_str(), needed);
}

} // namespace nQVOSALS100
