#include "host/boardReport.h"

#include "host/hostError.h"
#include "host/output.h"

namespace hwconfig {

BoardReport::BoardReport(IhwSysExpert2* expert, const std::basic_string<WCHAR>& itemName,
                         const std::string& itemText)
    : itemText_(itemText) {
    InterfaceRef<IhwSysPropertyBag> bag;
    throwIfFailed(expert->GetResourceProperties(itemName.c_str(), bag.put()),
                  "reading the properties of " + itemText);
    if (!bag) {
        throw HostError("reading the properties of " + itemText, E_POINTER);
    }
    throwIfFailed(bag->QueryInterface(IID_IhwSysPropertyBag3, reinterpret_cast<void**>(bag_.put())),
                  "reading the properties of " + itemText);
}

bool BoardReport::has(ULONG tag) const {
    const HRESULT result = bag_->HasProperty(tag);
    throwIfFailed(result, "reading the properties of " + itemText_);
    return result == S_OK;
}

std::optional<std::string> BoardReport::text(ULONG tag) const {
    if (!has(tag)) {
        return std::nullopt;
    }
    OwnedBstr value;
    throwIfFailed(bag_->GetString(tag, value.put()), "reading a text property of " + itemText_);
    return toUtf8(value.get());
}

std::optional<LONG> BoardReport::signedNumber(ULONG tag) const {
    if (!has(tag)) {
        return std::nullopt;
    }
    LONG value = 0;
    throwIfFailed(bag_->GetLong(tag, &value), "reading a number property of " + itemText_);
    return value;
}

std::optional<std::int64_t> BoardReport::time(ULONG tag) const {
    if (!has(tag)) {
        return std::nullopt;
    }
    hwSysAttrTimestampUTC stamp{};
    throwIfFailed(bag_->GetTimestamp(tag, &stamp), "reading a time property of " + itemText_);
    std::int64_t seconds = 0;
    if (!unixSeconds(stamp, seconds)) {
        return std::nullopt;
    }
    return seconds;
}

} // namespace hwconfig
