// hwconfig selftest BOARD [--mode N]: runs the board's self-test through the expert.
#include "host/boardMaintenance.h"

namespace hwconfig {
namespace {

// The mode is passed on as given, so that the module, not hwconfig, decides which it supports.
ULONG parseTestMode(const std::string& text) {
    if (text.empty()) {
        return 0;
    }
    if (text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10 ||
        std::stoull(text) > 0xFFFFFFFFull) {
        throw UsageError("--mode needs a number from 0 to 4294967295");
    }
    return static_cast<ULONG>(std::stoull(text));
}

} // namespace

int runSelfTest(ExpertModule& module, const CommandOptions& options) {
    const ULONG mode = parseTestMode(options.mode);
    const ItemName board = selectedItemName(module.expert(), options);
    qvkelpsysapiexpert::CqvBStr errorText;
    const HRESULT result =
        queryDiagnostic(module.expert())->SelfTestResource(board.c_str(), mode, errorText.address());
    return reportMaintenanceResult("Self-test", result, errorText);
}

} // namespace hwconfig
