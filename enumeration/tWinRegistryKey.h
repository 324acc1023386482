// An owned registry key of the device-discovery layer.
#pragma once

#include "platform/win32.h"
#include "support/status.h"
#include "support/unique_any.h"

#include <cstdint>

namespace nQVOSALS100 {

class tWinRegistryKey {
public:
    tWinRegistryKey() = default;
    // Takes ownership of `key`; null and INVALID_HANDLE_VALUE both mean no key.
    explicit tWinRegistryKey(HKEY key);

    bool isOpen() const { return key_.is_valid(); }
    HKEY get() const { return key_.get(); }
    // Closes the key now; GetLastError is kept.
    void close() { key_.reset(); }

    // Opens a subkey for reading. On failure the returned key is not open and the registry's
    // error is in the status.
    tWinRegistryKey openSubkey(const char* subkeyName, tStatus* status) const;

    // Reads a value's raw bytes whatever its registry type. `requiredSize`, when given, always
    // receives the size the registry reported. A value larger than the buffer, and a pure size
    // query (no buffer), report -52019; any other registry error is translated into the status.
    void queryValue(const char* valueName, void* buffer, std::uint32_t bufferSize,
                    std::uint32_t* requiredSize, tStatus* status) const;

private:
    qv::unique_hkey key_;
};

} // namespace nQVOSALS100
