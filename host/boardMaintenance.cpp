#include "host/boardMaintenance.h"

#include "host/errorNames.h"
#include "host/output.h"
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

qv::com_ptr<IhwSysExpertDiagnostic> queryDiagnostic(IhwSysExpert2* expert) {
    qv::com_ptr<IhwSysExpertDiagnostic> diagnostic;
    throwIfFailed(expert->QueryInterface(IID_IhwSysExpertDiagnostic, diagnostic.put_void()),
                  "the expert offers no diagnostics");
    return diagnostic;
}

int reportMaintenanceResult(const CommandOptions& options, const char* action, const SelectedBoard& board,
                            HRESULT result, const qvkelpsysapiexpert::CqvBStr& errorText) {
    const std::string moduleText = toUtf8(errorText.get());
    const std::string outcome = std::string(action) + " of board " + std::to_string(board.number) + " " +
                                outcomeInWords(result);
    if (FAILED(result)) {
        throw HostError(outcome + ": " + describeHResult(result) +
                            (moduleText.empty() ? "" : "; the module says: " + moduleText),
                        kExitFailure, result, moduleText);
    }
    if (options.json) {
        const qv::unique_cjson document = newJsonObject();
        addJsonNumber(document.get(), "number", static_cast<double>(board.number));
        addJsonString(document.get(), "itemName", toUtf8(board.report.itemName.c_str()));
        addJsonBool(document.get(), "warning", result != S_OK);
        addJsonNumber(document.get(), "hresult", static_cast<double>(static_cast<std::uint32_t>(result)));
        addJsonString(document.get(), "name", hresultName(result));
        addJsonOptionalString(document.get(), "moduleText", moduleText);
        printJson(document.get());
    } else {
        printOut("%s: %s\n", outcome.c_str(), describeHResult(result).c_str());
        if (!moduleText.empty()) {
            printOut("The module says: %s\n", printable(moduleText).c_str());
        }
    }
    return kExitSuccess;
}

} // namespace hwconfig
