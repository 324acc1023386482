#include "source/ChwSysExpertKELP.h"

#include "hwsys/hwsys_errors.h"
#include "hwsys/hwsys_types.h"
#include "source/boardContext.h"
#include "source/calibrationWrites.h"
#include "source/deviceEnumeration.h"
#include "com/hostBoundary.h"
#include "source/devicePropertyReport.h"
#include "source/resourceUpdate.h"
#include "source/maintenance.h"
#include "support/statusCodes.h"

namespace qvkelpsysapiexpert {

using nQVOSALS100::tStatus;

namespace {

void reportStatus(tStatus& status, std::int32_t code, std::uint32_t line) {
    status.setCode(code, nQVOSALS100::kComponentName, __FILE__, line);
}

// Operations the expert does not offer (yet) answer E_NOTIMPL through the status table.
void reportNotSupported(tStatus& status) {
    reportStatus(status, nQVOSALS100::osalStatusNotSupported, __LINE__);
}

HRESULT handOutText(const OLECHAR* text, BSTR* out) {
    return runHostOperation(
        [text, out](tStatus& status) {
            *out = SysAllocString(text);
            if (*out == nullptr) {
                reportStatus(status, nQVOSALS100::osalStatusMemoryFull, __LINE__);
            }
        },
        outArgument(out));
}

// A host operation on the board the item name names: body(board, status) with the call's board
// context. A null item name is refused with E_POINTER, after the operation's other pointer
// arguments, by every operation alike.
template <class Body, class... PointerArguments>
HRESULT runBoardOperation(LPCWSTR itemName, Body&& body, PointerArguments... pointerArguments) {
    return runHostOperation(
        [itemName, &body](tStatus& status) {
            BoardContext board(itemName);
            return body(board, status);
        },
        pointerArguments..., requiredArgument(itemName));
}

} // namespace

const tQVInterfaceEntry* ChwSysExpertKELP::interfaceMap() {
    static const tQVInterfaceEntry map[] = {
        qvInterfaceEntry<ChwSysExpertKELP, IhwSysExpertInfo>(IID_IhwSysExpertInfo),
        qvInterfaceEntry<ChwSysExpertKELP, IhwSysExpert>(IID_IhwSysExpert),
        qvInterfaceEntry<ChwSysExpertKELP, IhwSysExpert2>(IID_IhwSysExpert2),
        qvInterfaceEntry<ChwSysExpertKELP, IhwSysExpertPlugPlay>(IID_IhwSysExpertPlugPlay),
        qvInterfaceEntry<ChwSysExpertKELP, IhwSysExpertDiagnostic>(IID_IhwSysExpertDiagnostic),
        kQVInterfaceMapEnd,
    };
    return map;
}

HRESULT ChwSysExpertKELP::GetExpertGuid(GUID* guid) {
    return runHostOperation([guid](tStatus&) { *guid = hwSysExpertGuidQVKELP; }, outArgument(guid));
}

HRESULT ChwSysExpertKELP::GetExpertName(BSTR* name) {
    return handOutText(kExpertName, name);
}

HRESULT ChwSysExpertKELP::GetExpertVersion(BSTR* version) {
    return handOutText(kExpertVersion, version);
}

HRESULT ChwSysExpertKELP::GetExpertIdentifier(BSTR* identifier) {
    return handOutText(kExpertIdentifier, identifier);
}

HRESULT ChwSysExpertKELP::ReservedOperation1() {
    return runHostOperation([](tStatus&) {});
}

HRESULT ChwSysExpertKELP::ReservedOperation2() {
    return runHostOperation([](tStatus&) {});
}

HRESULT ChwSysExpertKELP::ReportResources(IhwSysHostCollection* collection) {
    return runHostOperation([collection](tStatus& status) { return reportResources(collection, &status); },
                            requiredArgument(collection));
}

HRESULT ChwSysExpertKELP::EnumerateItemNames(IhwSysEnumStringList** itemNames) {
    return runHostOperation([itemNames](tStatus& status) { return enumerateItemNames(itemNames, &status); },
                            outArgument(itemNames));
}

HRESULT ChwSysExpertKELP::GetResourceProperties(LPCWSTR itemName, IhwSysPropertyBag** bag) {
    return runBoardOperation(
        itemName, [bag](BoardContext& board, tStatus& status) { getResourceProperties(board, bag, &status); },
        outArgument(bag));
}

// The host asks whether a request flag needs the expert's attention; none does.
HRESULT ChwSysExpertKELP::CheckRequestFlag(LPCWSTR /*itemName*/, ULONG flag) {
    return runHostOperation([flag](tStatus&) { return flag != 0 ? HW_E_PROPERTY_NOT_FOUND : S_OK; });
}

HRESULT ChwSysExpertKELP::NotImplementedOperation() {
    return runHostOperation(reportNotSupported);
}

HRESULT ChwSysExpertKELP::RenameResource(LPCWSTR itemName, LPCWSTR newAlias, ULONG flags, LONG* aliasInUse,
                                         void** reserved) {
    return runBoardOperation(
        itemName,
        [=](BoardContext& board, tStatus& status) {
            return renameResource(board, newAlias, flags, aliasInUse, &status);
        },
        outArgument(aliasInUse), outArgument(reserved));
}

HRESULT ChwSysExpertKELP::ValidateResourceProperties(LPCWSTR itemName, IhwSysPropertyBag* bag,
                                                     ULONG_PTR* reserved,
                                                     IhwSysEnumPropertyTag** acceptedTags) {
    return runBoardOperation(
        itemName,
        [=](BoardContext& board, tStatus& status) {
            return validateResourceProperties(board, bag, acceptedTags, &status);
        },
        outArgument(acceptedTags), outArgument(reserved), requiredArgument(bag));
}

HRESULT ChwSysExpertKELP::SaveResourceProperties(LPCWSTR itemName, IhwSysPropertyBag* bag, ULONG* reserved) {
    return runBoardOperation(
        itemName, [=](BoardContext& board, tStatus& status) { return saveResourceProperties(board, bag, &status); },
        outArgument(reserved), requiredArgument(bag));
}

HRESULT ChwSysExpertKELP::SelfTestResource(LPCWSTR itemName, ULONG testMode, BSTR* errorText) {
    return runBoardOperation(
        itemName,
        [=](BoardContext& board, tStatus& status) { return runSelfTest(board, testMode, errorText, &status); },
        outArgument(errorText));
}

HRESULT ChwSysExpertKELP::SelfCalibrateResource(LPCWSTR itemName, BSTR* errorText) {
    return runBoardOperation(
        itemName, [=](BoardContext& board, tStatus& status) { return runSelfCalibration(board, errorText, &status); },
        outArgument(errorText));
}

HRESULT createExpert(IhwSysExpert2** expert) noexcept {
    return runHostOperation(
        [expert](tStatus&) {
            qv::com_ptr<CQVComObject<ChwSysExpertKELP>> object;
            throwIfFailedHResult(qvCreateObject(object));
            qvHandOut(object, expert);
        },
        outArgument(expert));
}

} // namespace qvkelpsysapiexpert
