// The host operations the reliability loops drive, one row each, on a machine of two boards whose
// alias file names the second board. Adding an operation is adding a row.
#pragma once

#include "host/host_module.h"
#include "host/rename_machine.h"

#include <set>
#include <string>
#include <vector>

namespace reliability {

struct Operation {
    const char* name;
    HRESULT (*run)(IhwSysExpert2* expert);
    // Calls whose failure the operation may drop by design, so that it still succeeds.
    std::set<std::string> droppedFailures;
    // Calls whose failure is reported while the alias file is still rewritten (a failed registry
    // read leaves its member of the board's record at 0 or empty, and the record is stored).
    std::set<std::string> storedDespiteFailure;
    // Allocations whose failure the operation reports as E_FAIL: the folder lookup reports running
    // out of memory as its own error, thrown as an error object.
    unsigned outOfMemoryAsFailure;
};

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

inline HRESULT renameResource(IhwSysExpert2* expert) {
    const std::u16string item = hosttest::widen(hosttest::RenameMachine::itemName(0));
    LONG inUse = 0;
    void* reserved = nullptr;
    return expert->RenameResource(item.c_str(), u"Renamed", 0, &inUse, &reserved);
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
inline const std::set<std::string> kCleanUps = {"DeleteFileA"};
// The reads of a board's record.
inline const std::set<std::string> kRecordReads = {"SetupDiOpenDevRegKey", "SetupDiOpenDeviceInterfaceRegKey",
                                                   "SetupDiGetDeviceInterfaceDetailA", "RegOpenKeyExA",
                                                   "RegQueryValueExA"};

inline std::set<std::string> unite(std::set<std::string> a, const std::set<std::string>& b) {
    a.insert(b.begin(), b.end());
    return a;
}

inline const std::vector<Operation> kOperations = {
    {"EnumerateItemNames", enumerateItemNames, kReleases, {}, 0},
    {"RenameResource", renameResource, unite(unite(unite(kReleases, kPxiLookups), kSlotPathRootSteps), kCleanUps),
     kRecordReads, 1},
};

inline const std::string kAliasText =
    "{\n\t\"devices\":\t{\n\t\t\"" + hosttest::RenameMachine::token(1) +
    "\":\t{\n\t\t\t\"alias\":\t\"Other\"\n\t\t}\n\t},\n\t\"keep\":\t1\n}";

} // namespace reliability
