// hwconfig selftest BOARD [--mode N]: runs the board's self-test through the expert. The mode is
// passed on as given, so that the module, not hwconfig, decides which it supports.
#include "host/boardMaintenance.h"

namespace hwconfig {

int runSelfTest(ExpertModule& module, const CommandOptions& options, ULONG mode) {
    const SelectedBoard board = selectBoard(module.expert(), options.board);
    qvkelpsysapiexpert::CqvBStr errorText;
    const HRESULT result = queryDiagnostic(module.expert())
                               ->SelfTestResource(board.report.itemName.c_str(), mode, errorText.address());
    return reportMaintenanceResult(options, "Self-test", board, result, errorText);
}

} // namespace hwconfig
