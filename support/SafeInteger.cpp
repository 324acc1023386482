#include "support/SafeInteger.h"

#include "support/BrixException.h"

namespace qv::brix {

std::uint32_t checkedAdd(std::uint32_t a, std::uint32_t b) {
    if (b > UINT32_MAX - a) {
        throw exception::OutOfRange(__FILE__, __LINE__);
    }
    return a + b;
}

std::uint32_t checkedDouble(std::uint32_t a) {
    if (a > UINT32_MAX / 2) {
        throw exception::OutOfRange(__FILE__, __LINE__);
    }
    return a * 2;
}

} // namespace qv::brix
