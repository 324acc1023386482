// Sixteen threads on one expert and one shared property bag, each running every host operation
// in turn and using the bag at the same time: the module's report bag of the first board, also
// handed back as the request bag of validations and saves. Run under ThreadSanitizer (tsan preset)
// to check the module's locking as well as the results.
#include "operations.h"

#include "common/host_collection.h"
#include "hwsys/hwsys_tags.h"
#include "platform/sim/device/machine.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace reliability;

namespace {

constexpr int kThreads = 16;
constexpr int kRoundsPerThread = 10;
constexpr std::int64_t kCalibrated = 3840652800;
constexpr std::int64_t kDay = 86400;

// Takes every bag it is given and keeps none.
struct CountingCollection : public TestHostCollection {
    HRESULT STDMETHODCALLTYPE AddToHostCollection(IhwSysPropertyBag*) override { return S_OK; }
};

HRESULT reportAll(IhwSysExpert2* expert) {
    CountingCollection collection;
    return expert->ReportResources(&collection);
}

// Reads the bag as a host does: the alias, every tag, a copy; rewrites its one changed value.
HRESULT useSharedBag(IhwSysPropertyBag3* bag) {
    BSTR alias = nullptr;
    HRESULT result = bag->GetString(hwSysTagAlias, &alias);
    SysFreeString(alias);
    IhwSysEnumPropertyTag* rawTags = nullptr;
    if (SUCCEEDED(result)) {
        result = bag->EnumPropertyTags(&rawTags);
    }
    const auto tags = hosttest::ComRef<IhwSysEnumPropertyTag>::attach(rawTags);
    for (ULONG tag = 0; tags != nullptr && tags->Next(1, &tag, nullptr) == S_OK;) {
    }
    IhwSysPropertyBag* rawCopy = nullptr;
    if (SUCCEEDED(result)) {
        result = bag->CloneBag(&rawCopy);
    }
    const auto copy = hosttest::ComRef<IhwSysPropertyBag>::attach(rawCopy);
    const hwSysAttrTimestampUTC due{0, kCalibrated + 375 * kDay};
    return SUCCEEDED(result) ? bag->SetTimestamp(hwSysTagExternalCalDue, &due) : result;
}

HRESULT validateWith(IhwSysExpert2* expert, IhwSysPropertyBag3* bag) {
    ULONG_PTR reserved = 0;
    IhwSysEnumPropertyTag* raw = nullptr;
    const HRESULT result = expert->ValidateResourceProperties(kItemName.c_str(), bag, &reserved, &raw);
    const auto accepted = hosttest::ComRef<IhwSysEnumPropertyTag>::attach(raw);
    return result;
}

HRESULT saveWith(IhwSysExpert2* expert, IhwSysPropertyBag3* bag) {
    ULONG reserved = 0;
    return expert->SaveResourceProperties(kItemName.c_str(), bag, &reserved);
}

class Threads : public hosttest::LoadedModuleTest {
protected:
    void TearDown() override { sim::uninstallMachine(); }
    reporttest::AliasDrive drive_;
};

} // namespace

TEST_F(Threads, sixteen_threads_mixing_every_operation_on_one_expert_and_one_bag_all_succeed) {
    // The board libraries stay loaded for the whole test. Otherwise one thread's last FreeLibrary
    // unmaps a library that another thread's LoadLibraryExW maps again at the same address, and
    // ThreadSanitizer, which does not see the loader's own lock, takes the new copy's static
    // initialisation for a race with the old copy's last use.
    std::vector<qv::unique_hmodule> heldLibraries;
    for (const char16_t* name : {u"qvkelpdrvu", u"qvrocoapi", u"qvKELPVRXGroupBSelfCal"}) {
        heldLibraries.emplace_back(LoadLibraryExW(name, nullptr, 0));
        ASSERT_NE(heldLibraries.back(), nullptr);
    }
    drive_.write(kAliasText);
    sim::installMachine(reliabilityMachine(drive_));
    hosttest::ComRef<IhwSysExpert2> expert;
    ASSERT_EQ(create(expert.put()), S_OK);
    IhwSysPropertyBag* raw = nullptr;
    ASSERT_EQ(expert->GetResourceProperties(kItemName.c_str(), &raw), S_OK);
    hosttest::ComRef<IhwSysPropertyBag3> bag;
    ASSERT_EQ(raw->QueryInterface(IID_IhwSysPropertyBag3, bag.put_void()), S_OK);
    raw->Release();
    // A request to change the due date alone, with the board's password.
    ASSERT_EQ(bag->SetString(hwSysTagExternalCalPassword, u"kelp"), S_OK);
    ASSERT_EQ(bag->ClearChangedTags(), S_OK);
    ASSERT_EQ(useSharedBag(bag.get()), S_OK);

    std::vector<std::vector<std::string>> failures(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const auto expect = [&](const char* what, HRESULT result) {
                if (result != S_OK) {
                    failures[t].push_back(std::string(what) + " gave " + std::to_string(result));
                }
            };
            for (int round = 0; round < kRoundsPerThread; ++round) {
                // Each thread starts at another row, so that different operations overlap.
                for (std::size_t i = 0; i < kOperations.size(); ++i) {
                    const Operation& operation = kOperations[(i + t) % kOperations.size()];
                    // The table's save changes the password, which the other threads' saves still pass.
                    if (operation.run != saveProperties) {
                        expect(operation.name, operation.run(expert.get()));
                    }
                }
                expect("ReportResources", reportAll(expert.get()));
                expect("the shared bag", useSharedBag(bag.get()));
                expect("validate with the shared bag", validateWith(expert.get(), bag.get()));
                expect("save with the shared bag", saveWith(expert.get(), bag.get()));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_TRUE(failures[t].empty()) << "thread " << t << ": " << failures[t].front();
    }
    EXPECT_EQ(sim::openDeviceInfoSetCount(), 0u);
    EXPECT_EQ(sim::openRegistryKeyCount(), 0u);
}
