// The fixed-size status record chained through the operating-system access layer.
//
// The layout is shared with the PXI services library, which fills the same record; it must stay
// 208 bytes with the fields in this order.
#pragma once

#include <cstdint>

namespace nQVOSALS100 {

struct tStatus {
    static constexpr std::uint32_t kFullSize = 208;
    static constexpr std::int32_t kOSFault = -52008;
    static constexpr std::uint32_t kComponentCapacity = 10;
    static constexpr std::uint32_t kFileCapacity = 101;
    static constexpr std::uint32_t kExtensionSlots = 10;

    std::uint32_t structSize = kFullSize;
    std::int32_t code = 0;
    char component[kComponentCapacity] = {};
    char file[kFileCapacity] = {};
    std::uint32_t line = 0;
    void* extensions[kExtensionSlots] = {};

    bool isFatal() const { return code < 0; }
    bool isFull() const { return structSize >= kFullSize; }

    // Applies the precedence rule (first error wins, an error replaces a warning, success never
    // overwrites). Returns whether the code was accepted.
    bool setCode(std::int32_t newCode, const char* componentName, const char* fileName, std::uint32_t lineNumber);
    bool merge(const tStatus& from);
    // Back to the initialised state, keeping structSize.
    void clear();
};

static_assert(sizeof(tStatus) == 208, "tStatus is shared with other libraries and must keep its size");

// Translates a Win32 error by the module's table and reports it with the module's component name.
void setStatusFromWin32Error(std::uint32_t win32Error, tStatus* status, const char* fileName,
                             std::uint32_t lineNumber);

} // namespace nQVOSALS100
