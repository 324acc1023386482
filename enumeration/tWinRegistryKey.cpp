#include "enumeration/tWinRegistryKey.h"

#include "support/statusCodes.h"


namespace nQVOSALS100 {

tWinRegistryKey::tWinRegistryKey(HKEY key)
    : key_(key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE) ? nullptr : key) {}

tWinRegistryKey tWinRegistryKey::openSubkey(const char* subkeyName, tStatus* status) const {
    if (status->isFatal()) {
        return tWinRegistryKey();
    }
    HKEY subkey = nullptr;
    const LSTATUS result = RegOpenKeyExA(key_.get(), subkeyName, 0, KEY_READ, &subkey);
    if (result != ERROR_SUCCESS) {
        setStatusFromWin32Error(static_cast<std::uint32_t>(result), status, __FILE__, __LINE__);
        return tWinRegistryKey();
    }
    return tWinRegistryKey(subkey);
}

void tWinRegistryKey::queryValue(const char* valueName, void* buffer, std::uint32_t bufferSize,
                                 std::uint32_t* requiredSize, tStatus* status) const {
    if (status->isFatal()) {
        return;
    }
    DWORD size = bufferSize;
    const LSTATUS result =
        RegQueryValueExA(key_.get(), valueName, nullptr, nullptr, static_cast<BYTE*>(buffer), &size);
    if (requiredSize != nullptr) {
        *requiredSize = size;
    }
    if (result == ERROR_SUCCESS) {
        if (buffer == nullptr) {
            status->setCode(osalStatusBufferTooSmall, kComponentName, __FILE__, __LINE__);
        }
        return;
    }
    if (static_cast<DWORD>(result) == ERROR_MORE_DATA) {
        status->setCode(osalStatusBufferTooSmall, kComponentName, __FILE__, __LINE__);
        return;
    }
    setStatusFromWin32Error(static_cast<std::uint32_t>(result), status, __FILE__, __LINE__);
}

} // namespace nQVOSALS100
