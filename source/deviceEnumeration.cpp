#include "source/deviceEnumeration.h"

#include "enumeration/deviceMatchingToken.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "com/hostBoundary.h"

#include <utility>

namespace qvkelpsysapiexpert {

using nQVOSALS100::tStatus;

void ListDeviceItemNames(BoardItemNameList& names, tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    nQVOSALS100::tDeviceInterfaceIterator boards(BoardInterfaceClassGuid, status);
    nQVOSALS100::tBasicString token;
    // A board that goes away during the walk simply ends it: the iterator is then no longer valid.
    for (; boards.isValid() && !status->isFatal(); boards.advance()) {
        const SP_DEVINFO_DATA deviceInfo = boards.getDeviceInfo();
        if (deviceInfo.DevInst == 0) {
            // The walk stops here, so a failure that left no error code must still count as one.
            const DWORD error = GetLastError();
            nQVOSALS100::setStatusFromWin32Error(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE, status,
                                                 __FILE__, __LINE__);
            return;
        }
        nQVOSALS100::getDeviceMatchingToken(boards.deviceInfoSet(), deviceInfo, token, status);
        if (status->isFatal()) {
            return;
        }
        names.emplace_back(token.c_str());
    }
    boards.reportEnumerationFailure(status);
}

HRESULT enumerateItemNames(IhwSysEnumStringList** itemNames, tStatus* status) {
    BoardItemNameList names;
    ListDeviceItemNames(names, status);
    // After a failure the status decides the host's result, and nothing is handed out.
    if (status->isFatal() || names.empty()) {
        return S_FALSE;
    }
    throwIfFailedHResult(makeItemNameEnumerator(std::move(names), itemNames));
    return S_OK;
}

} // namespace qvkelpsysapiexpert
