// The reads that put a board's calibration records and temperatures into its report, through the
// board driver library. A read the library fails ends its group silently: the report shows what
// was read before it and stays a success. A function missing from the library throws
// qverr::Exception; a failing bag setter throws its HRESULT.
#pragma once

#include "source/reportBag.h"
#include "support/dynload.h"

#include <string>

namespace qvkelpsysapiexpert {

// The loaded driver library, its name (the prefix of every function name) and the device path of
// the board's main interface, which every function takes.
struct BoardDriver {
    const dynload::LibraryHandle& library;
    const std::string& prefix;
    const char* devicePath;

    template <typename Function> Function function(const char* suffix) const {
        return library.getFunction<Function>((prefix + suffix).c_str());
    }
};

void reportSelfCalInfo(const BoardDriver& driver, ReportBag& bag);
void reportExternalCalInfo(const BoardDriver& driver, ReportBag& bag);
void reportTemperatures(const BoardDriver& driver, ReportBag& bag);

} // namespace qvkelpsysapiexpert
