// hwconfig selfcal BOARD: runs the board's self-calibration through the expert.
#include "host/boardMaintenance.h"
#include "host/output.h"

#include <string>

namespace hwconfig {

int runSelfCalibration(ExpertModule& module, const CommandOptions& options) {
    const SelectedBoard board = selectBoard(module.expert(), options.board);
    qvkelpsysapiexpert::CqvBStr errorText;
    const HRESULT result =
        queryDiagnostic(module.expert())->SelfCalibrateResource(board.report.itemName.c_str(), errorText.address());
    if (SUCCEEDED(result)) {
        // The board's calibration changed: an output that then fails must not hide it.
        noteChangeMade("the self-calibration of board " + std::to_string(board.number) + " ran");
    }
    return reportMaintenanceResult(options, "Self-calibration", board, result, errorText);
}

} // namespace hwconfig
