// What hwconfig's self-test and self-calibration commands share: the board they act on, the
// expert's diagnostic interface, and the one report of how the action ended.
#pragma once

#include "com/CqvBStr.h"
#include "host/boardSelection.h"
#include "host/commands.h"

namespace hwconfig {

qv::com_ptr<IhwSysExpertDiagnostic> queryDiagnostic(IhwSysExpert2* expert);

// Prints how the action ended (text or JSON); a failure is thrown as HostError with the HRESULT and
// the module's error text. Returns kExitSuccess, a warning (S_FALSE) included.
int reportMaintenanceResult(const CommandOptions& options, const char* action, const SelectedBoard& board,
                            HRESULT result, const qvkelpsysapiexpert::CqvBStr& errorText);

} // namespace hwconfig
