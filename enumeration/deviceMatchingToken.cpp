#include "enumeration/deviceMatchingToken.h"

#include "enumeration/deviceValueReaders.h"

#include <cstdio>

namespace nQVOSALS100 {
namespace {

struct tIdentityPiece {
    const char* valueName;
    const char* format;
};

// The order and formats are part of the keys stored in the alias file.
constexpr tIdentityPiece kIdentityPieces[] = {
    {"pciVendorID", "PCI:VEN_%04X"}, {"pciDeviceID", "&DEV_%04X"},  {"pciSubsystemVendorID", "&SUBSYS_%04X"},
    {"pciSubsystemID", "%04X"},      {"pciRevision", "&REV_%02X/"},
};
constexpr std::size_t kPieceSize = 33;

} // namespace

void getDeviceMatchingToken(HDEVINFO deviceInfoSet, const SP_DEVINFO_DATA& deviceInfo, tBasicString& token,
                            tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    SP_DEVINFO_DATA device = deviceInfo;
    DWORD usedSize = 0;
    DWORD requiredSize = 0;
    BOOL succeeded = SetupDiGetDeviceInstanceIdA(deviceInfoSet, &device, nullptr, 0, &requiredSize);
    while (!succeeded) {
        const DWORD error = GetLastError();
        // Only a larger size is worth another try; anything else would ask the same question again.
        if (error != ERROR_INSUFFICIENT_BUFFER || requiredSize <= usedSize) {
            token.clear();
            setStatusFromWin32Error(error, status, __FILE__, __LINE__);
            return;
        }
        token.resize(requiredSize, status);
        if (status->isFatal()) {
            token.clear();
            return;
        }
        usedSize = requiredSize;
        requiredSize = 0;
        succeeded =
            SetupDiGetDeviceInstanceIdA(deviceInfoSet, &device, token.data(), usedSize, &requiredSize);
    }
    if (!token.isEmpty() && token.data()[token.length() - 1] == '\0') {
        token.erase(token.length() - 1, 1);
    }
}

void buildPCIIdentityToken(tDeviceInterfaceIterator& iterator, tBasicString& token, tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    token.clear();
    tBasicString working;
    for (const tIdentityPiece& piece : kIdentityPieces) {
        std::uint32_t value = 0;
        readDeviceValue(iterator, "BusProperties", piece.valueName, &value, sizeof value, nullptr, status);
        if (status->isFatal()) {
            return;
        }
        char text[kPieceSize];
        std::snprintf(text, sizeof text, piece.format, static_cast<unsigned>(value));
        working.append(text, status);
    }
    appendPCISlotPath(iterator, working, status);
    if (!status->isFatal()) {
        token.swap(working);
    }
}

void appendPCISlotPath(tDeviceInterfaceIterator& iterator, tBasicString& text, tStatus* status) {
    appendValueBySizeQuery(
        text,
        [&iterator](void* buffer, std::uint32_t bufferSize, std::uint32_t* requiredSize,
                    tStatus* readStatus) {
            readDeviceValue(iterator, "BusProperties", kSlotPathValueName, buffer, bufferSize, requiredSize,
                            readStatus);
        },
        status);
}

} // namespace nQVOSALS100
