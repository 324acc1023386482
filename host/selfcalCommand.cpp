// hwconfig selfcal BOARD: runs the board's self-calibration through the expert.
#include "host/boardMaintenance.h"

namespace hwconfig {

int runSelfCalibration(ExpertModule& module, const CommandOptions& options) {
    if (!options.mode.empty()) {
        throw UsageError("selfcal takes no --mode");
    }
    const ItemName board = selectedItemName(module.expert(), options);
    qvkelpsysapiexpert::CqvBStr errorText;
    const HRESULT result =
        queryDiagnostic(module.expert())->SelfCalibrateResource(board.c_str(), errorText.address());
    return reportMaintenanceResult("Self-calibration", result, errorText);
}

} // namespace hwconfig
