#include "propertybag/TimestampToDateTime.h"

#include "support/AbsTime.h"
#include "support/BrixException.h"

namespace qvkelpsysapiexpert {

void TimestampToDateTime(const hwSysAttrTimestampUTC& stamp, hwSysAttrDateTime* dateTime) noexcept {
    *dateTime = hwSysAttrDateTime{-1, -1, -1, -1, -1, -1};
    if (stamp.fraction == 0 && stamp.seconds == 0) {
        return;
    }
    try {
        const struct tm local =
            qv::brix::AbsTimeToLocalCalendar(qv::brix::AbsTime{stamp.fraction, stamp.seconds}, true);
        *dateTime = hwSysAttrDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                      local.tm_hour,        local.tm_min,     local.tm_sec};
    } catch (const qv::brix::exception::OutOfRange&) {
        // Not representable: the caller sees "no time set".
    }
}

} // namespace qvkelpsysapiexpert
