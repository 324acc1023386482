// hwconfig selfcal BOARD: runs the board's self-calibration through the expert.
#include "host/boardMaintenance.h"

namespace hwconfig {

int runSelfCalibration(ExpertModule& module, const CommandOptions& options) {
    if (!options.mode.empty()) {
        throw UsageError("selfcal takes no --mode");
    }
    const std::string board = selectBoard(module.expert(), options);
    OwnedBstr errorText;
    const HRESULT result =
        queryDiagnostic(module.expert())->SelfCalibrateResource(toUtf16(board).c_str(), errorText.put());
    return reportMaintenanceResult("Self-calibration", result, errorText);
}

} // namespace hwconfig
