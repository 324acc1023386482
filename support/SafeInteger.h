// Unsigned 32-bit arithmetic that throws OutOfRange instead of wrapping; buffer sizes are computed
// with it.
#pragma once

#include <cstdint>

namespace qv::brix {

std::uint32_t checkedAdd(std::uint32_t a, std::uint32_t b);
std::uint32_t checkedDouble(std::uint32_t a);

} // namespace qv::brix
