#include "host/boardMaintenance.h"

#include <cstdio>

namespace hwconfig {
namespace {

// A list number: decimal digits only, so that an item name made of digits could still be meant
// literally if no such number exists.
bool isListNumber(const std::string& text) {
    return !text.empty() && text.size() < 10 && text.find_first_not_of("0123456789") == std::string::npos;
}

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

std::string selectBoard(IhwSysExpert2* expert, const CommandOptions& options) {
    if (options.operands.size() != 1) {
        throw UsageError("name one board by its item name or list number");
    }
    const std::string& board = options.operands.front();
    if (!isListNumber(board)) {
        return board;
    }
    const std::vector<std::string> names = readItemNames(expert);
    const unsigned long number = std::stoul(board);
    if (number == 0 || number > names.size()) {
        throw HostError("there is no board number " + board + " (" + std::to_string(names.size()) +
                        " boards are present)");
    }
    return names[number - 1];
}

InterfaceRef<IhwSysExpertDiagnostic> queryDiagnostic(IhwSysExpert2* expert) {
    InterfaceRef<IhwSysExpertDiagnostic> diagnostic;
    const HRESULT result = expert->QueryInterface(IID_IhwSysExpertDiagnostic,
                                                  reinterpret_cast<void**>(diagnostic.put()));
    if (FAILED(result)) {
        throw HostError("the expert offers no diagnostics (HRESULT " + formatHResult(result) + ")");
    }
    return diagnostic;
}

int reportMaintenanceResult(const char* action, HRESULT result, const OwnedBstr& errorText) {
    std::printf("%s %s\n", action, outcomeInWords(result).c_str());
    std::printf("HRESULT: %s\n", formatHResult(result).c_str());
    if (errorText.get() != nullptr) {
        std::printf("Error text: %s\n", toUtf8(errorText.get()).c_str());
    }
    return SUCCEEDED(result) ? 0 : 1;
}

} // namespace hwconfig
