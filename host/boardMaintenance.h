// What hwconfig's self-test and self-calibration commands share: the board they act on, the
// expert's diagnostic interface, and the report of how the action ended.
#pragma once

#include "com/CqvBStr.h"
#include "host/boardReports.h"
#include "host/commands.h"

#include <string>

namespace hwconfig {

// The item name of the one board named on the command line (list number, item name or alias).
// Throws UsageError when there is not exactly one board operand.
ItemName selectedItemName(IhwSysExpert2* expert, const CommandOptions& options);

qv::com_ptr<IhwSysExpertDiagnostic> queryDiagnostic(IhwSysExpert2* expert);

// Prints the result in words, the HRESULT and the module's error text when it gave one. Returns
// the exit code: 0 when the action succeeded (a warning included), 1 otherwise.
int reportMaintenanceResult(const char* action, HRESULT result, const qvkelpsysapiexpert::CqvBStr& errorText);

} // namespace hwconfig
