#include "host/boardMaintenance.h"

#include "host/boardSelection.h"
#include "host/utf8Text.h"

#include <cstdio>

namespace hwconfig {
namespace {

// What the user reads first; the HRESULT follows for whoever needs the exact value.
std::string outcomeInWords(HRESULT result) {
    struct Meaning {
        HRESULT result;
        const char* words;
    };
    static constexpr Meaning kMeanings[] = {
        {S_OK, "succeeded"},
        {S_FALSE, "succeeded with a warning"},
        {HW_E_UNSUPPORTED_TEST_MODE, "failed: the test mode is not supported"},
        {HW_E_CAL_PASSWORD_INVALID, "failed: the calibration password is not valid"},
        {E_UNEXPECTED, "failed: unexpected failure"},
        {E_OUTOFMEMORY, "failed: out of memory"},
        {E_INVALIDARG, "failed: invalid argument"},
        {E_POINTER, "failed: missing argument"},
    };
    for (const Meaning& meaning : kMeanings) {
        if (meaning.result == result) {
            return meaning.words;
        }
    }
    return "failed";
}

} // namespace

ItemName selectedItemName(IhwSysExpert2* expert, const CommandOptions& options) {
    if (options.operands.size() != 1) {
        throw UsageError("name one board by its list number, item name or alias");
    }
    const std::vector<BoardReport> boards = readBoardReports(expert);
    return boards[selectBoard(boards, options.operands.front())].itemName;
}

qv::com_ptr<IhwSysExpertDiagnostic> queryDiagnostic(IhwSysExpert2* expert) {
    qv::com_ptr<IhwSysExpertDiagnostic> diagnostic;
    const HRESULT result = expert->QueryInterface(IID_IhwSysExpertDiagnostic,
                                                  diagnostic.put_void());
    if (FAILED(result)) {
        throw HostError("the expert offers no diagnostics (HRESULT " + formatHResult(result) + ")");
    }
    return diagnostic;
}

int reportMaintenanceResult(const char* action, HRESULT result, const qvkelpsysapiexpert::CqvBStr& errorText) {
    std::printf("%s %s\n", action, outcomeInWords(result).c_str());
    std::printf("HRESULT: %s\n", formatHResult(result).c_str());
    if (errorText.get() != nullptr) {
        std::printf("Error text: %s\n", toUtf8(errorText.get()).c_str());
    }
    return SUCCEEDED(result) ? 0 : 1;
}

} // namespace hwconfig
