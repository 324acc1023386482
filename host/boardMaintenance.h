// What hwconfig's self-test and self-calibration commands share: the board they act on, the
// expert's diagnostic interface, and the report of how the action ended.
#pragma once

#include "host/commands.h"

#include <string>

namespace hwconfig {

// The item name of the one board named on the command line: an item name as the list shows it, or
// its number in the list. Throws UsageError when there is not exactly one board operand.
std::string selectBoard(IhwSysExpert2* expert, const CommandOptions& options);

InterfaceRef<IhwSysExpertDiagnostic> queryDiagnostic(IhwSysExpert2* expert);

// Prints the result in words, the HRESULT and the module's error text when it gave one. Returns
// the exit code: 0 when the action succeeded (a warning included), 1 otherwise.
int reportMaintenanceResult(const char* action, HRESULT result, const OwnedBstr& errorText);

} // namespace hwconfig
