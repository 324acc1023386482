// The reads that put a board's calibration records and temperatures into its report, through the
// board driver library. A read the library fails ends its group silently: the report shows what
// was read before it and stays a success. A function missing from the library throws
// qverr::Exception; a failing bag setter throws its HRESULT.
#pragma once

#include "source/reportBag.h"
#include "source/boardContext.h"

namespace qvkelpsysapiexpert {

// The board's loaded driver library, and the device path of its main interface, which every
// function of the library takes.
struct BoardDriver {
    const BoardDriverLibrary& library;
    const char* devicePath;

    template <typename Function> Function function(const char* suffix) const {
        return library.function<Function>(suffix);
    }
};

void reportSelfCalInfo(const BoardDriver& driver, ReportBag& bag);
void reportExternalCalInfo(const BoardDriver& driver, ReportBag& bag);
void reportTemperatures(const BoardDriver& driver, ReportBag& bag);

} // namespace qvkelpsysapiexpert
