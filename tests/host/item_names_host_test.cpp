// The boards a host sees and names: the module loaded by name, the machine named by
// QVKELP_MACHINE.
#include "host_module.h"
#include "host_request_bag.h"
#include "rename_machine.h"

#include <gtest/gtest.h>
#include "common/call_log_file.h"
#include "common/host_platform.h"

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace hosttest;

namespace {

class ItemNamesHost : public LoadedModuleTest {
protected:
    void TearDown() override { hostplatform::unsetEnvironment("QVKELP_MACHINE"); }

    // Names the machine, as a host's environment would, and asks a new expert for the item names.
    HRESULT enumerate(const std::string& machineFile, ComRef<IhwSysEnumStringList>& names) {
        hostplatform::setEnvironment("QVKELP_MACHINE", kMachines + machineFile);
        IhwSysExpert2* raw = nullptr;
        EXPECT_EQ(create(&raw), S_OK);
        const auto expert = ComRef<IhwSysExpert2>::attach(raw);
        IhwSysEnumStringList* enumerator = nullptr;
        const HRESULT result = expert->EnumerateItemNames(&enumerator);
        names = ComRef<IhwSysEnumStringList>::attach(enumerator);
        return result;
    }

    static std::vector<std::u16string> readAll(IhwSysEnumStringList* names) {
        std::vector<std::u16string> result;
        BSTR name = nullptr;
        while (names->Next(1, &name, nullptr) == S_OK) {
            const auto owned = CqvBStr::Attach(name);
            result.push_back(fromOle(name, SysStringLen(name)));
        }
        return result;
    }
};

} // namespace

TEST_F(ItemNamesHost, the_present_boards_come_by_instance_id_in_the_order_of_the_machine) {
    ComRef<IhwSysEnumStringList> names;
    ASSERT_EQ(enumerate("three-boards.json", names), S_OK);
    ASSERT_NE(names, nullptr);
    EXPECT_EQ(readAll(names.get()), (std::vector<std::u16string>{
                                        u"PCI\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\4&2A5E1B0&0&00E0",
                                        u"PCI\\VEN_1F2B&DEV_7A22&SUBSYS_7A221F2B&REV_01\\3&11583659&0&18",
                                        u"PCI\\VEN_1F2B&DEV_7B10&SUBSYS_7B101F2B&REV_02\\3&2F1E4C9&0&00",
                                    }));
}

TEST_F(ItemNamesHost, a_machine_without_boards_gives_s_false_and_no_enumerator_even_after_one_with_boards) {
    ComRef<IhwSysEnumStringList> names;
    ASSERT_EQ(enumerate("three-boards.json", names), S_OK);
    EXPECT_EQ(enumerate("no-boards.json", names), S_FALSE);
    EXPECT_EQ(names, nullptr);
}

TEST_F(ItemNamesHost, a_failing_system_call_reaches_the_host_as_its_hresult) {
    ComRef<IhwSysEnumStringList> names;
    EXPECT_EQ(enumerate("failing-listing.json", names), E_OUTOFMEMORY);
    EXPECT_EQ(names, nullptr);
}

namespace {

// Every file under `folder`, by path, with its content.
std::map<std::filesystem::path, std::string> filesUnder(const std::filesystem::path& folder) {
    std::map<std::filesystem::path, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[entry.path()] = RenameMachine::read(entry.path());
        }
    }
    return files;
}

// A request that reaches the board in validation (the current password, which the board judges)
// and in a save (a new calibration date).
void changeCalibration(HostRequestBag& bag) {
    bag.hold(hwSysTagMainDevicePath, std::u16string(u"\\\\?\\kelp#main#0"));
    bag.change(hwSysTagExternalCalTime, hwSysAttrTimestampUTC{0, 3825100800});
    bag.change(hwSysTagExternalCalPassword, std::u16string(u"kelp"));
}

using BoardOperation = std::function<HRESULT(IhwSysExpert2*, const OLECHAR*)>;

const struct {
    const char* name;
    BoardOperation run;
} kBoardOperations[] = {
    {"GetResourceProperties",
     [](IhwSysExpert2* expert, const OLECHAR* itemName) {
         IhwSysPropertyBag* bag = nullptr;
         const HRESULT result = expert->GetResourceProperties(itemName, &bag);
         EXPECT_EQ(bag, nullptr);
         return result;
     }},
    {"ValidateResourceProperties",
     [](IhwSysExpert2* expert, const OLECHAR* itemName) {
         HostRequestBag request;
         changeCalibration(request);
         ULONG_PTR reserved = 0;
         IhwSysEnumPropertyTag* accepted = nullptr;
         const HRESULT result = expert->ValidateResourceProperties(itemName, &request, &reserved, &accepted);
         EXPECT_EQ(accepted, nullptr);
         return result;
     }},
    {"SaveResourceProperties",
     [](IhwSysExpert2* expert, const OLECHAR* itemName) {
         HostRequestBag request;
         changeCalibration(request);
         ULONG reserved = 0;
         return expert->SaveResourceProperties(itemName, &request, &reserved);
     }},
    {"RenameResource",
     [](IhwSysExpert2* expert, const OLECHAR* itemName) {
         LONG aliasInUse = 0;
         void* reserved = nullptr;
         return expert->RenameResource(itemName, OLESTR("Bench"), 0, &aliasInUse, &reserved);
     }},
    {"SelfTestResource",
     [](IhwSysExpert2* expert, const OLECHAR* itemName) {
         ComRef<IhwSysExpertDiagnostic> diagnostic;
         EXPECT_EQ(expert->QueryInterface(IID_IhwSysExpertDiagnostic, diagnostic.put_void()), S_OK);
         CqvBStr errorText;
         return diagnostic->SelfTestResource(itemName, 0, errorText.address());
     }},
    {"SelfCalibrateResource",
     [](IhwSysExpert2* expert, const OLECHAR* itemName) {
         ComRef<IhwSysExpertDiagnostic> diagnostic;
         EXPECT_EQ(expert->QueryInterface(IID_IhwSysExpertDiagnostic, diagnostic.put_void()), S_OK);
         CqvBStr errorText;
         return diagnostic->SelfCalibrateResource(itemName, errorText.address());
     }},
};

class BoardNames : public LoadedModuleTest {};

} // namespace

// The system would take an empty enumerator for no restriction and hand over the first board, so
// an empty enumerator reaching it fails here; the alias file exists, so that rename reaches the
// board too.
TEST_F(BoardNames, an_empty_name_is_a_board_that_is_not_there_and_a_null_one_is_e_pointer_loading_and_writing_nothing) {
    RenameMachine machine(1, R"("faults": [ { "call": "SetupDiGetClassDevsA", "argument": "", "error": 8 } ])");
    RenameMachine::write(machine.aliasFile(), R"({"devices": {}})");
    const auto filesBefore = filesUnder(machine.machineFile().parent_path());
    const std::string aliasesBefore = RenameMachine::read(machine.aliasFile());
    const std::u16string absent = widen("PCI\\VEN_1F2B&DEV_7AFF&SUBSYS_7AFF1F2B&REV_01\\3&11583659&0&F8");
    IhwSysExpert2* raw = nullptr;
    ASSERT_EQ(create(&raw), S_OK);
    const auto expert = ComRef<IhwSysExpert2>::attach(raw);
    CallLogFile log;
    for (const auto& operation : kBoardOperations) {
        SCOPED_TRACE(operation.name);
        const HRESULT absentResult = operation.run(expert.get(), ole(absent));
        EXPECT_TRUE(FAILED(absentResult)) << std::hex << absentResult;
        log.clear();
        EXPECT_EQ(operation.run(expert.get(), OLESTR("")), absentResult);
        EXPECT_EQ(operation.run(expert.get(), nullptr), E_POINTER);
        EXPECT_EQ(log.lines(), std::vector<std::string>{});
    }
    EXPECT_EQ(filesUnder(machine.machineFile().parent_path()), filesBefore);
    EXPECT_EQ(RenameMachine::read(machine.aliasFile()), aliasesBefore);
}
