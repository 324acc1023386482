// The calendar form of a stored time stamp.
#pragma once

#include "hwsys/hwsys_types.h"

namespace qvkelpsysapiexpert {

// Local calendar time of `stamp`, rounded to the nearest second (ties to the even second). All six
// fields are -1 for the all-zero stamp and for stamps the local-time conversion cannot represent
// (outside the years 1601 to 9999). Never fails.
void TimestampToDateTime(const hwSysAttrTimestampUTC& stamp, hwSysAttrDateTime* dateTime) noexcept;

} // namespace qvkelpsysapiexpert
