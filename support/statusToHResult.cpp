#include "support/statusToHResult.h"

#include "support/statusCodes.h"

namespace nQVOSALS100 {

HRESULT statusToHResult(std::int32_t code) {
    if (code == osalStatusSuccess) {
        return S_OK;
    }
    if (code > 0) {
        return S_FALSE;
    }
    switch (code) {
    case osalStatusMemoryFull:
        return E_OUTOFMEMORY;
    case osalStatusNotSupported:
        return E_NOTIMPL;
    case osalStatusUnexpected:
        return E_UNEXPECTED;
    case osalStatusInvalidParameter:
        return E_INVALIDARG;
    case osalStatusTimeout:
        return HW_E_TIMEOUT;
    case osalStatusFileAccessDenied:
        return HW_E_FILE_ACCESS_DENIED;
    case boardStatusCalPasswordInvalid:
        return HW_E_CAL_PASSWORD_INVALID;
    default:
        return E_FAIL;
    }
}

} // namespace nQVOSALS100
