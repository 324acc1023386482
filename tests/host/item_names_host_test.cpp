// The boards a host sees: the module loaded by name, the machine named by QVKELP_MACHINE.
#include "host_module.h"

#include <gtest/gtest.h>
#include "common/host_platform.h"

#include <cstdlib>
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
