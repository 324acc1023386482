#include "com/hostBoundary.h"

#include "support/errorTranslation.h"
#include "support/statusCodes.h"

#include <new>
#include <stdexcept>

namespace qvkelpsysapiexpert::boundary {

using nQVOSALS100::statusToHResult;
using nQVOSALS100::tStatus;

HRESULT resultOfCompletion(const tStatus& status, HRESULT bodyResult) {
    return status.code == nQVOSALS100::osalStatusSuccess ? bodyResult : statusToHResult(status.code);
}

// An error already in the status says more about what went wrong than the exception that followed.
HRESULT resultOfException(const tStatus& status, const std::exception& exception) {
    if (status.isFatal()) {
        return statusToHResult(status.code);
    }
    if (dynamic_cast<const std::bad_alloc*>(&exception) != nullptr) {
        return E_OUTOFMEMORY;
    }
    if (dynamic_cast<const std::invalid_argument*>(&exception) != nullptr) {
        return E_INVALIDARG;
    }
    return E_FAIL;
}

HRESULT resultOfThrownHResult(const tStatus& status, HRESULT thrown) {
    return status.isFatal() ? statusToHResult(status.code) : thrown;
}

HRESULT resultOfUnknownException(tStatus& status) {
    constexpr std::int32_t kUnknownFailure = -1;
    status.setCode(kUnknownFailure, nQVOSALS100::kComponentName, __FILE__, __LINE__);
    return statusToHResult(status.code);
}

} // namespace qvkelpsysapiexpert::boundary
