// The bag a board's report is written into. A setter that fails ends the report: its HRESULT is
// thrown, and the host boundary hands it on.
#pragma once

#include "hwsys/hwsys_propertybag.h"
#include "hwsys/hwsys_types.h"
#include "com/hostBoundary.h"

#include <string>

namespace qvkelpsysapiexpert {

class ReportBag {
public:
    explicit ReportBag(IhwSysPropertyBag3* bag) : bag_(bag) {}

    void setBool(ULONG tag, bool value) { throwIfFailedHResult(bag_->SetBool(tag, value ? TRUE : FALSE)); }
    void setLong(ULONG tag, LONG value) { throwIfFailedHResult(bag_->SetLong(tag, value)); }
    void setULong(ULONG tag, ULONG value) { throwIfFailedHResult(bag_->SetULong(tag, value)); }
    void setDouble(ULONG tag, double value) { throwIfFailedHResult(bag_->SetDouble(tag, value)); }
    // The bag keeps its own copy of the text.
    void setString(ULONG tag, const WCHAR* text) { throwIfFailedHResult(bag_->SetString(tag, text)); }
    void setString(ULONG tag, const std::basic_string<WCHAR>& text) { setString(tag, text.c_str()); }
    void setTimestamp(ULONG tag, const hwSysAttrTimestampUTC& time) {
        throwIfFailedHResult(bag_->SetTimestamp(tag, &time));
    }

private:
    IhwSysPropertyBag3* bag_;
};

} // namespace qvkelpsysapiexpert
