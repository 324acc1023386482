// Integer conversion that throws OutOfRange when the value does not fit the target type.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>

namespace qv::brix {

[[noreturn]] void throwNumericCastOutOfRange();

template <typename To, typename From> constexpr bool fitsIn(From value) {
    static_assert(std::is_integral_v<To> && std::is_integral_v<From>, "integers only");
    if constexpr (std::is_signed_v<From>) {
        if (value < 0) {
            return std::is_signed_v<To> && static_cast<std::intmax_t>(value) >=
                                               static_cast<std::intmax_t>(std::numeric_limits<To>::min());
        }
    }
    return static_cast<std::uintmax_t>(value) <= static_cast<std::uintmax_t>(std::numeric_limits<To>::max());
}

template <typename To, typename From> To NumericCast(From value) {
    if (!fitsIn<To>(value)) {
        throwNumericCastOutOfRange();
    }
    return static_cast<To>(value);
}

} // namespace qv::brix
