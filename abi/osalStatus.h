// The status record of the operating-system access layer as it travels between libraries: the PXI
// services library fills the caller's record, so its size and the order of its fields are fixed.
// The module adds its rules for filling the record on top (support/status.h).
#pragma once

#include <cstdint>

namespace nQVOSALS100 {

struct tStatusRecord {
    static constexpr std::uint32_t kFullSize = 208;
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
    // A caller with an older, shorter record gets only the code written.
    bool isFull() const { return structSize >= kFullSize; }
};

static_assert(sizeof(tStatusRecord) == tStatusRecord::kFullSize, "the record's size is part of the binary interface");

} // namespace nQVOSALS100
