// One board's property bag as the expert reports it (GetResourceProperties), read by tag.
#pragma once

#include "host/hostRefs.h"
#include "hwsys/hwsys.h"

#include <cstdint>
#include <optional>
#include <string>

namespace hwconfig {

class BoardReport {
public:
    // Asks the expert for the board's report; throws HostError when it fails.
    BoardReport(IhwSysExpert2* expert, const std::basic_string<WCHAR>& itemName, const std::string& itemText);

    // Each is empty when the bag has no such property; a failure other than absence throws.
    std::optional<std::string> text(ULONG tag) const;
    std::optional<LONG> signedNumber(ULONG tag) const;
    // Seconds since 1970 of a time stamp; empty also for the "no time" stamp.
    std::optional<std::int64_t> time(ULONG tag) const;

private:
    bool has(ULONG tag) const;

    std::string itemText_;
    InterfaceRef<IhwSysPropertyBag3> bag_;
};

} // namespace hwconfig
