// The host operations the reliability loops drive, one row each, on a machine of two boards with
// board libraries whose alias file names the second board. Every operation works on the first
// board. Adding an operation is adding a row.
#pragma once

#include "common/report_machine.h"
#include "host/host_module.h"
#include "host/host_request_bag.h"

#include <set>
#include <string>
#include <vector>

namespace reliability {

struct Operation {
    const char* name;
    HRESULT (*run)(IhwSysExpert2* expert);
    // Calls whose failure the operation may drop by design, so that it still succeeds.
    std::set<std::string> droppedFailures;
    // Allocations whose failure the operation reports as E_FAIL: the folder lookup reports running
    // out of memory as its own error, thrown as an error object.
    unsigned outOfMemoryAsFailure;
};

inline std::u16string wide(const std::string& text) {
    return {text.begin(), text.end()};
}

inline const std::u16string kItemName = wide(reporttest::boardId(0));

// Every item name read to the end, each BSTR freed.
inline HRESULT enumerateItemNames(IhwSysExpert2* expert) {
    IhwSysEnumStringList* raw = nullptr;
    const HRESULT listed = expert->EnumerateItemNames(&raw);
    if (raw == nullptr) {
        return listed;
    }
    const auto names = hosttest::ComRef<IhwSysEnumStringList>::attach(raw);
    HRESULT next = S_OK;
    while (next == S_OK) {
        BSTR name = nullptr;
        next = names->Next(1, &name, nullptr);
        SysFreeString(name);
    }
    return FAILED(next) ? next : listed;
}

inline HRESULT reportProperties(IhwSysExpert2* expert) {
    IhwSysPropertyBag* raw = nullptr;
    const HRESULT result = expert->GetResourceProperties(kItemName.c_str(), &raw);
    const auto bag = hosttest::ComRef<IhwSysPropertyBag>::attach(raw);
    return result;
}

inline HRESULT renameResource(IhwSysExpert2* expert) {
    LONG inUse = 0;
    void* reserved = nullptr;
    return expert->RenameResource(kItemName.c_str(), u"Renamed", 0, &inUse, &reserved);
}

// The board's calibration as the host read it, with a new calibration date, due date and password.
inline void requestCalibrationChange(hosttest::HostRequestBag& bag) {
    constexpr std::int64_t kCalibrated = 3840652800;
    constexpr std::int64_t kDay = 86400;
    bag.hold(hwSysTagMainDevicePath, wide(reporttest::devicePath(reporttest::kMainClass, 0)));
    bag.hold(hwSysTagExternalCalTime, hwSysAttrTimestampUTC{0, kCalibrated});
    bag.hold(hwSysTagExternalCalPassword, std::u16string(u"kelp"));
    bag.change(hwSysTagExternalCalTime, hwSysAttrTimestampUTC{0, kCalibrated + 10 * kDay});
    bag.change(hwSysTagExternalCalDue, hwSysAttrTimestampUTC{0, kCalibrated + 375 * kDay});
    bag.change(hwSysTagNewExternalCalPassword, std::u16string(u"tide"));
}

inline HRESULT validateProperties(IhwSysExpert2* expert) {
    hosttest::HostRequestBag bag;
    requestCalibrationChange(bag);
    ULONG_PTR reserved = 0;
    IhwSysEnumPropertyTag* raw = nullptr;
    const HRESULT result = expert->ValidateResourceProperties(kItemName.c_str(), &bag, &reserved, &raw);
    const auto accepted = hosttest::ComRef<IhwSysEnumPropertyTag>::attach(raw);
    return result;
}

inline HRESULT saveProperties(IhwSysExpert2* expert) {
    hosttest::HostRequestBag bag;
    requestCalibrationChange(bag);
    ULONG reserved = 0;
    return expert->SaveResourceProperties(kItemName.c_str(), &bag, &reserved);
}

// Runs `action` on the expert's diagnostic interface and frees the error text it hands out.
template <typename Action> HRESULT diagnose(IhwSysExpert2* expert, Action action) {
    hosttest::ComRef<IhwSysExpertDiagnostic> diagnostic;
    const HRESULT found = expert->QueryInterface(IID_IhwSysExpertDiagnostic, diagnostic.put_void());
    if (FAILED(found)) {
        return found;
    }
    hosttest::CqvBStr errorText;
    return action(diagnostic.get(), errorText.address());
}

inline HRESULT selfTest(IhwSysExpert2* expert) {
    return diagnose(expert, [](IhwSysExpertDiagnostic* diagnostic, BSTR* errorText) {
        return diagnostic->SelfTestResource(kItemName.c_str(), 0, errorText);
    });
}

inline HRESULT selfCalibrate(IhwSysExpert2* expert) {
    return diagnose(expert, [](IhwSysExpertDiagnostic* diagnostic, BSTR* errorText) {
        return diagnostic->SelfCalibrateResource(kItemName.c_str(), errorText);
    });
}

// The PXI services are asked for a board's chassis; without an answer the chassis is 0.
inline const std::set<std::string> kPxiLookups = {"nQVPXIINIT100_openPXISession",
                                                  "nQVPXIINIT100_getDeviceU32Attribute",
                                                  "nQVPXIINIT100_closePXISession"};
// Releasing a handle cannot fail in a way a caller could act on.
inline const std::set<std::string> kReleases = {"SetupDiDestroyDeviceInfoList", "RegCloseKey", "UnlockFileEx"};

// Reaching the PCI root: a failing step there gives root index 0 instead of an error.
inline const std::set<std::string> kSlotPathRootSteps = {"SetupDiGetDeviceRegistryPropertyA", "CM_Get_Parent",
                                                         "CM_Get_Child", "CM_Get_Sibling",
                                                         "SetupDiGetDeviceInterfaceDetailA"};
// A recovery copy that cannot be removed after a complete rewrite is only left behind.
// Removing or emptying a journal whose rewrite is done: a failure leaves a journal that gives the
// file the text it holds (the same calls write a journal, where their failure fails the rename).
inline const std::set<std::string> kCleanUps = {"DeleteFileA", "SetFilePointerEx", "SetEndOfFile"};

// A report's calibration and temperature rows come in groups; a failed read ends its group's rows
// and nothing else.
inline const std::set<std::string> kBoardRecordReads = {
    "qvkelpdrvu_readSelfCalTime", "qvkelpdrvu_readSelfCalTemperature", "qvkelpdrvu_readExternalCalVerificationTime",
    "qvkelpdrvu_readExternalCalInterval", "qvkelpdrvu_readTemperature"};
inline std::set<std::string> unite(std::set<std::string> a, const std::set<std::string>& b) {
    a.insert(b.begin(), b.end());
    return a;
}

inline const std::vector<Operation> kOperations = {
    {"EnumerateItemNames", enumerateItemNames, kReleases, 0},
    {"GetResourceProperties", reportProperties,
     unite(unite(unite(kReleases, kPxiLookups), kSlotPathRootSteps), kBoardRecordReads), 1},
    {"RenameResource", renameResource, unite(unite(unite(kReleases, kPxiLookups), kSlotPathRootSteps), kCleanUps),
     1},
    {"ValidateResourceProperties", validateProperties, kReleases, 0},
    {"SaveResourceProperties", saveProperties, kReleases, 0},
    {"SelfTestResource", selfTest, kReleases, 0},
    {"SelfCalibrateResource", selfCalibrate, kReleases, 0},
};

// The first board runs its self-calibration through group B's library after a routing reset; the
// second board is named in the alias file.
inline sim::Machine reliabilityMachine(const reporttest::AliasDrive& drive) {
    sim::Machine machine = reporttest::reportMachine(drive, {reporttest::BoardSpec{}, reporttest::BoardSpec{}});
    for (sim::Device& device : machine.devices) {
        if (device.id == reporttest::boardId(0)) {
            device.interfaces.front()
                .key()
                .subkey("Properties")
                .set("resetRoutingForCal", 1)
                .set("selfCalLibraryName", "qvKELPVRXGroupBSelfCal")
                .set("selfCalFunctionName", "qvKELPVRXGroupBSelfCal_SelfCalibrate");
        }
    }
    return machine;
}

inline const std::string kAliasText = "{\n\t\"devices\":\t{\n\t\t\"" + reporttest::identityToken(1) +
                                      "\":\t{\n\t\t\t\"alias\":\t\"Other\"\n\t\t}\n\t},\n\t\"keep\":\t1\n}";

} // namespace reliability
