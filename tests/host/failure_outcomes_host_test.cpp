// What a host receives for each kind of failure: the HRESULT is all that crosses the boundary, so it
// is checked here, one row a kind, through the interface tables of the module loaded by name.
#include "host_module.h"
#include "rename_machine.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace hosttest;

namespace {

using Operation = std::function<HRESULT(IhwSysExpert2*)>;

HRESULT enumerateItemNames(IhwSysExpert2* expert) {
    IhwSysEnumStringList* raw = nullptr;
    const HRESULT result = expert->EnumerateItemNames(&raw);
    const auto names = ComRef<IhwSysEnumStringList>::attach(raw);
    EXPECT_EQ(names == nullptr, result != S_OK) << "an enumerator comes with S_OK and with nothing else";
    return result;
}

Operation renameTo(const OLECHAR* alias) {
    return [alias](IhwSysExpert2* expert) {
        const std::u16string item = widen(RenameMachine::itemName(0));
        LONG inUse = 0;
        void* reserved = nullptr;
        return expert->RenameResource(ole(item), alias, 0, &inUse, &reserved);
    };
}

HRESULT notImplementedOperation(IhwSysExpert2* expert) {
    ComRef<IhwSysExpertPlugPlay> plugPlay;
    EXPECT_EQ(expert->QueryInterface(IID_IhwSysExpertPlugPlay, plugPlay.put_void()), S_OK);
    return plugPlay->NotImplementedOperation();
}

class FailureOutcomes : public LoadedModuleTest {};

} // namespace

TEST_F(FailureOutcomes, each_kind_of_failure_reaches_the_host_as_its_hresult) {
    const struct {
        const char* kind;
        std::string fault;
        Operation operation;
        HRESULT expected;
        bool onRuntime = false; // the fault is in the system's runtime, simulated only on Linux
    } rows[] = {
        {"a system error whose status has an HRESULT of its own",
         R"({ "call": "SetupDiGetClassDevsA", "error": 121 })", enumerateItemNames, HW_E_TIMEOUT},
        {"a system error whose status has none", R"({ "call": "SetupDiGetClassDevsA", "error": 5 })",
         enumerateItemNames, E_FAIL},
        {"a system error outside the translation", R"({ "call": "SetupDiGetClassDevsA", "error": 6 })",
         enumerateItemNames, E_UNEXPECTED},
        {"a system warning", R"({ "call": "SetupDiGetClassDevsA", "error": 997 })", enumerateItemNames, S_FALSE},
        {"a status the module sets itself", "", notImplementedOperation, E_NOTIMPL},
        {"an error report thrown by the file lock", R"({ "call": "LockFileEx", "error": 33 })",
         renameTo(OLESTR("New")), E_FAIL, true},
        {"a refusal the module decides itself", "", renameTo(OLESTR("_x")), HW_E_INVALID_ALIAS},
    };
    for (const auto& row : rows) {
        if (row.onRuntime && !kRuntimeIsSimulated) {
            continue;
        }
        const RenameMachine machine(1, row.fault.empty() ? std::string() : "\"faults\": [" + row.fault + "]");
        RenameMachine::write(machine.aliasFile(), R"({"devices": {}})");
        IhwSysExpert2* raw = nullptr;
        ASSERT_EQ(create(&raw), S_OK);
        const auto expert = ComRef<IhwSysExpert2>::attach(raw);
        EXPECT_EQ(row.operation(expert.get()), row.expected) << row.kind;
    }
}
