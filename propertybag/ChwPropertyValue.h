// The typed values a property bag stores under its tags. The bag creates, overwrites, reads and
// destroys them; they are never shared or handed out.
#pragma once

#include "hwsys/hwsys_types.h"
#include "com/CqvBStr.h"

#include <cstdint>
#include <typeinfo>
#include <utility>

namespace qvkelpsysapiexpert {

// The type code of each stored type. LONG and ULONG are the host's 32-bit integers whatever the
// width of long on the build platform.
template <typename T> struct PropertyTypeCode;
template <> struct PropertyTypeCode<bool> { static constexpr std::uint32_t value = hwSysPropertyTypeBool; };
template <> struct PropertyTypeCode<LONG> { static constexpr std::uint32_t value = hwSysPropertyTypeLong; };
template <> struct PropertyTypeCode<ULONG> { static constexpr std::uint32_t value = hwSysPropertyTypeULong; };
template <> struct PropertyTypeCode<double> {
    static constexpr std::uint32_t value = hwSysPropertyTypeDouble;
};
template <> struct PropertyTypeCode<GUID> { static constexpr std::uint32_t value = hwSysPropertyTypeGuid; };
template <> struct PropertyTypeCode<CqvBStr> {
    static constexpr std::uint32_t value = hwSysPropertyTypeString;
};
template <> struct PropertyTypeCode<hwSysAttrTimestampUTC> {
    static constexpr std::uint32_t value = hwSysPropertyTypeTimestamp;
};

class ChwPropertyValue {
public:
    ChwPropertyValue(const ChwPropertyValue&) = delete;
    ChwPropertyValue& operator=(const ChwPropertyValue&) = delete;
    virtual ~ChwPropertyValue() = default;

    // One of the hwSysPropertyType codes; always agrees with the dynamic class.
    const std::uint32_t type;

protected:
    explicit ChwPropertyValue(std::uint32_t typeCode) noexcept : type(typeCode) {}
};

template <typename T> class ChwTemplatePropertyValue final : public ChwPropertyValue {
public:
    template <typename Initial>
    explicit ChwTemplatePropertyValue(Initial&& initial)
        : ChwPropertyValue(PropertyTypeCode<T>::value), value(std::forward<Initial>(initial)) {}

    T value;
};

// The stored value as a T, or null when it holds another type. The check is on the dynamic class.
template <typename T> ChwTemplatePropertyValue<T>* propertyValueAs(ChwPropertyValue* stored) noexcept {
    return typeid(*stored) == typeid(ChwTemplatePropertyValue<T>)
               ? static_cast<ChwTemplatePropertyValue<T>*>(stored)
               : nullptr;
}

} // namespace qvkelpsysapiexpert
