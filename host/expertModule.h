// The module as a host sees it: loaded by name from the program's folder, asked for one expert.
#pragma once

#include "com/com_ptr.h"
#include "hwsys/hwsys.h"
#include "support/unique_any.h"

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace hwconfig {

// Exit codes of hwconfig, one per kind of failure a script may want to tell apart.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitFailure = 1,      // any failure not listed below
    kExitUsage = 2,        // the command line is wrong
    kExitNoSuchBoard = 3,  // BOARD names no board present
    kExitInvalidAlias = 4, // the module refused the alias's syntax
    kExitAliasInUse = 5,   // another board has the alias (--force shares it)
    kExitAccessDenied = 6, // the alias file may not be written
    // cal due: a board's calibration falls due within the window; overdue: one is past due.
    kExitCalibrationDue = 7,
    kExitCalibrationOverdue = 8,
    kExitAmbiguousBoard = 9,   // BOARD fits several boards; the candidates are listed
    kExitReportsFailed = 10,   // list, tree, cal due: some board's report failed; the rest are shown
};

// A board a name could mean, for the message that refuses an ambiguous name.
struct BoardCandidate {
    std::size_t number;    // in hwconfig list
    std::string itemName;
    std::string alias;
    std::string matchedBy; // "number", "alias", "location", "serialNumber"
};

// A failure the user can act on, and hwconfig's one error type: the message says what happened,
// the exit code what kind it was; the HRESULT, the module's own error text and, for an ambiguous
// board name, the boards it fits go with it when there are such.
class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string& message, int exitCode = kExitFailure,
                       std::optional<HRESULT> result = std::nullopt, std::string moduleText = {})
        : std::runtime_error(message), exitCode_(exitCode), result_(result), moduleText_(std::move(moduleText)) {}
    int exitCode() const { return exitCode_; }
    const std::optional<HRESULT>& result() const { return result_; }
    const std::string& moduleText() const { return moduleText_; }
    const std::vector<BoardCandidate>& candidates() const { return candidates_; }
    HostError& withCandidates(std::vector<BoardCandidate> candidates) {
        candidates_ = std::move(candidates);
        return *this;
    }

private:
    int exitCode_;
    std::optional<HRESULT> result_;
    std::string moduleText_;
    std::vector<BoardCandidate> candidates_;
};

// A call that returned `result`: the message ends with the HRESULT and its name,
// "...: HW_E_ALIAS_IN_USE (0x8004037B)".
HostError failedCall(const std::string& what, HRESULT result, int exitCode = kExitFailure);

// Throws failedCall(what, result) for a failed result.
void throwIfFailed(HRESULT result, const std::string& what);

// "E_UNEXPECTED (0x8000FFFF)": the code with its name, when it has one (host/errorNames.h).
std::string formatHResult(HRESULT result);

class ExpertModule {
public:
    // Loads the module and creates one expert; throws HostError.
    ExpertModule();

    IhwSysExpert2* expert() const { return expert_.get(); }

private:
    // Declared first, destroyed last: the expert's code lives in the module, so the expert is
    // released before the module is unloaded.
    qv::unique_hmodule module_;
    qv::com_ptr<IhwSysExpert2> expert_;
};

} // namespace hwconfig
