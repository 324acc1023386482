#include "source/maintenance.h"

#include "abi/boardLibraries.h"
#include "enumeration/deviceValueReaders.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "hwsys/hwsys_errors.h"
#include "com/hostBoundary.h"
#include "source/boardContext.h"
#include "support/dynload.h"
#include "support/errorException.h"
#include "support/formatWideText.h"
#include "support/statusCodes.h"

#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

namespace qvkelpsysapiexpert {

using nQVOSALS100::tBasicString;
using nQVOSALS100::tStatus;

namespace {

constexpr ULONG kSupportedTestMode = 0;
constexpr std::uint32_t kFirstVersionWithRoutingReset = 4;
constexpr const char* kDefaultSelfCalLibraryName = "qvKELPVRXGroupASelfCal";
constexpr const char* kDefaultSelfCalFunctionName = "qvKELPVRXGroupASelfCal_SelfCalibrateFromCFG";
// A companion the self-calibration library may need loaded beside it for as long as the process
// lives; boards without one simply have no such library.
constexpr const char* kPinnedCompanionSuffix = "_pin";

void mergeBoardCode(std::int32_t code, tStatus* status, std::uint32_t line) {
    status->setCode(code, nQVOSALS100::kComponentName, __FILE__, line);
}

// The host shows the failing code as the user's only clue; a warning is not a failure and gives no
// text. Without memory for the text the result alone has to do.
void handOutFailureCode(const tStatus& status, BSTR* errorText) {
    if (!status.isFatal()) {
        return;
    }
    constexpr std::size_t kCodeTextCapacity = 12; // "-2147483648" and its NUL
    WCHAR text[kCodeTextCapacity] = {};
    qv::brix::formatWideText(text, kCodeTextCapacity, OLESTR("%i"), status.code);
    *errorText = SysAllocString(text);
}

// What the self-calibration of one board is steered by, from its board interface's registry values.
struct SelfCalibrationPlan {
    bool resetRouting = false;
    tBasicString libraryName;
    tBasicString functionName;
};

SelfCalibrationPlan planSelfCalibration(nQVOSALS100::tDeviceInterfaceIterator& board, tStatus* status) {
    const std::uint32_t interfaceVersion = nQVOSALS100::readInterfaceVersion(board, status);
    SelfCalibrationPlan plan;
    if (interfaceVersion < kFirstVersionWithRoutingReset) {
        plan.libraryName.assign(kDefaultSelfCalLibraryName, status);
        plan.functionName.assign(kDefaultSelfCalFunctionName, status);
        return plan;
    }
    plan.resetRouting = nQVOSALS100::readResetRoutingForCal(board, status) != 0;
    plan.libraryName = nQVOSALS100::readSelfCalLibraryName(board, status);
    plan.functionName = nQVOSALS100::readSelfCalFunctionName(board, status);
    return plan;
}

// Opened reset sessions end through the reset library's destroy function: exactly once, also for
// the handle returned by a creation that reported a failure. (A shared_ptr with a deleter calls it
// for a null handle too, and calls it at once should its own construction fail.)
using ResetSessionOwner = boost::shared_ptr<void>;

// What a self-calibration holds until the call ends, declared so that it is let go in the order
// the libraries need: the reset session, then the reset library that made it, then the
// self-calibration library.
struct SelfCalibrationHold {
    dynload::LibraryHandle selfCalLibrary;
    dynload::LibraryHandle resetLibrary;
    ResetSessionOwner resetSession;
};

void openResetSession(SelfCalibrationHold& hold) {
    hold.resetLibrary.load(boardlib::kResetLibraryName);
    const auto create =
        hold.resetLibrary.getFunction<boardlib::CreateResetSessionFunction>(boardlib::kCreateResetSessionName);
    const auto destroy =
        hold.resetLibrary.getFunction<boardlib::DestroyResetSessionFunction>(boardlib::kDestroyResetSessionName);
    qverr::Status status;
    hold.resetSession = ResetSessionOwner(create(&status), destroy);
    qverr::throwIfFailed(status);
}

void resetRouting(SelfCalibrationHold& hold, const char* itemName) {
    openResetSession(hold);
    const auto initiateReset =
        hold.resetLibrary.getFunction<boardlib::InitiateDeviceResetFunction>(boardlib::kInitiateDeviceResetName);
    qverr::Status status;
    initiateReset(hold.resetSession.get(), itemName, &status);
    qverr::throwIfFailed(status);
}

// Loaded on purpose without an owner: the companion stays for the rest of the process.
void loadPinnedCompanion(const tBasicString& selfCalLibraryName) {
    const std::string name = std::string(selfCalLibraryName.c_str()) + kPinnedCompanionSuffix;
    qverr::Status ignored;
    dynload::load(name.c_str(), ignored);
}

} // namespace

HRESULT runSelfTest(BoardContext& board, ULONG testMode, BSTR* errorText, tStatus* status) {
    const nQVOSALS100::tDevicePath& devicePath = board.mainPath(status);
    const BoardDriverLibrary* library = board.driverLibrary(status);
    if (library == nullptr) {
        return failedStatusResult(*status);
    }
    const auto selfTest = library->function<boardlib::SelfTestFunction>(boardlib::kSelfTestSuffix);
    // Only after the library is found, so that a board without one reports that first.
    if (testMode != kSupportedTestMode) {
        return HW_E_UNSUPPORTED_TEST_MODE;
    }
    mergeBoardCode(selfTest(devicePath.text), status, __LINE__);
    handOutFailureCode(*status, errorText);
    return status->isFatal() ? failedStatusResult(*status) : S_OK;
}

HRESULT runSelfCalibration(BoardContext& board, BSTR* errorText, tStatus* status) {
    const tBasicString& narrowName = board.name(status);
    const SelfCalibrationPlan plan = planSelfCalibration(board.board(status), status);
    // Calibrating a board whose settings could not be read might run the wrong procedure.
    if (status->isFatal()) {
        return failedStatusResult(*status);
    }
    SelfCalibrationHold hold;
    if (plan.resetRouting) {
        resetRouting(hold, narrowName.c_str());
    }
    loadPinnedCompanion(plan.libraryName);
    hold.selfCalLibrary.load(plan.libraryName.c_str());
    const auto selfCalibrate =
        hold.selfCalLibrary.getFunction<boardlib::SelfCalibrateFunction>(plan.functionName.c_str());
    mergeBoardCode(selfCalibrate(narrowName.c_str()), status, __LINE__);
    handOutFailureCode(*status, errorText);
    return status->isFatal() ? failedStatusResult(*status) : S_OK;
}

} // namespace qvkelpsysapiexpert
