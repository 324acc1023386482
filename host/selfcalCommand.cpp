// hwconfig selfcal BOARD: runs the board's self-calibration through the expert.
#include "host/boardMaintenance.h"

namespace hwconfig {

int runSelfCalibration(ExpertModule& module, const CommandOptions& options) {
    const SelectedBoard board = selectBoard(module.expert(), options.board);
    qvkelpsysapiexpert::CqvBStr errorText;
    const HRESULT result =
        queryDiagnostic(module.expert())->SelfCalibrateResource(board.report.itemName.c_str(), errorText.address());
    return reportMaintenanceResult(options, "Self-calibration", board, result, errorText);
}

} // namespace hwconfig
