// The fixed-size status record chained through the operating-system access layer, with the rules
// by which the module fills it. The layout is the one shared with outside libraries (abi/).
#pragma once

#include "abi/osalStatus.h"

#include <cstdint>

namespace nQVOSALS100 {

struct tStatus : tStatusRecord {
    static constexpr std::int32_t kOSFault = -52008;

    // Applies the precedence rule (first error wins, an error replaces a warning, success never
    // overwrites). Returns whether the code was accepted.
    bool setCode(std::int32_t newCode, const char* componentName, const char* fileName, std::uint32_t lineNumber);
    bool merge(const tStatus& from);
    // Back to the initialised state, keeping structSize.
    void clear();
};

static_assert(sizeof(tStatus) == 208, "tStatus is shared with other libraries and must keep its size");

// Translates a Win32 error (support/errorTranslation.h) and reports it with the module's component name.
void setStatusFromWin32Error(std::uint32_t win32Error, tStatus* status, const char* fileName,
                             std::uint32_t lineNumber);

} // namespace nQVOSALS100
