// The module as a host meets it: loaded by name, reached through its one export and the interface
// tables alone.
#include "host_module.h"

#ifndef _WIN32
#include "platform/sim/runtime/test_hooks.h"
#endif
#include "common/host_collection.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>
#include <string>

using namespace hosttest;

namespace {

std::basic_string<OLECHAR> textOf(BSTR text) {
    return text == nullptr ? OLESTR("<null>") : std::basic_string<OLECHAR>(text, SysStringLen(text));
}

IID iidWithThirdWord(std::uint32_t third) {
    const std::uint32_t words[4] = {0, 0, third, 0x46000000u};
    IID iid;
    std::memcpy(&iid, words, sizeof iid);
    return iid;
}

constexpr IID kUnknownInterface = {
    0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

// A host's collection that only counts what it is given.
struct tCountingCollection : public TestHostCollection {
    int added = 0;
    HRESULT STDMETHODCALLTYPE AddToHostCollection(IhwSysPropertyBag*) override {
        ++added;
        return S_OK;
    }
};

class ExpertHost : public LoadedModuleTest {
protected:
    void SetUp() override {
        ASSERT_NE(create, nullptr);
        IhwSysExpert2* raw = nullptr;
        ASSERT_EQ(create(&raw), S_OK);
        ASSERT_NE(raw, nullptr);
        expert = ComRef<IhwSysExpert2>::attach(raw);
    }
#ifndef _WIN32
    void TearDown() override { winsim_failSysAllocString(0, 0); }
#endif

    template <class I> ComRef<I> query(IUnknown* through, REFIID iid) {
        void* result = nullptr;
        EXPECT_EQ(through->QueryInterface(iid, &result), S_OK);
        return ComRef<I>::attach(static_cast<I*>(result));
    }

    ComRef<IhwSysExpert2> expert;
};

} // namespace

TEST_F(ExpertHost, a_new_expert_holds_one_reference_and_its_last_release_returns_zero) {
    IhwSysExpert2* raw = expert.detach();
    EXPECT_EQ(raw->AddRef(), 2u);
    EXPECT_EQ(raw->Release(), 1u);
    EXPECT_EQ(raw->Release(), 0u);
}

TEST_F(ExpertHost, each_creation_gives_a_distinct_independent_expert) {
    IhwSysExpert2* other = nullptr;
    ASSERT_EQ(create(&other), S_OK);
    EXPECT_NE(other, expert.get());
    EXPECT_EQ(other->AddRef(), 2u);
    EXPECT_EQ(expert->AddRef(), 2u);
    EXPECT_EQ(other->Release(), 1u);
    EXPECT_EQ(other->Release(), 0u);
    EXPECT_EQ(expert->Release(), 1u);
}

TEST_F(ExpertHost, a_null_destination_for_the_expert_is_refused) {
    EXPECT_EQ(create(nullptr), E_POINTER);
}

TEST_F(ExpertHost, every_interface_pointer_answers_the_same_interface_matrix) {
    ComRef<IhwSysExpertPlugPlay> plugPlay =
        query<IhwSysExpertPlugPlay>(expert.get(), IID_IhwSysExpertPlugPlay);
    ComRef<IhwSysExpertDiagnostic> diagnostic =
        query<IhwSysExpertDiagnostic>(expert.get(), IID_IhwSysExpertDiagnostic);
    void* const first = expert.get();
    void* const second = plugPlay.get();
    void* const third = diagnostic.get();
    ASSERT_NE(first, second);
    ASSERT_NE(second, third);
    ASSERT_NE(first, third);

    const struct {
        IID iid;
        void* expected;
    } matrix[] = {
        {iidWithThirdWord(0x000000C0u), first},
        {iidWithThirdWord(0x0000C000u), first},
        {IID_IhwSysExpertInfo, first},
        {IID_IhwSysExpert, first},
        {IID_IhwSysExpert2, first},
        {IID_IhwSysExpertPlugPlay, second},
        {IID_IhwSysExpertDiagnostic, third},
    };
    IUnknown* const pointers[] = {expert.get(), plugPlay.get(), diagnostic.get()};
    for (IUnknown* through : pointers) {
        for (const auto& row : matrix) {
            void* result = nullptr;
            ASSERT_EQ(through->QueryInterface(row.iid, &result), S_OK);
            EXPECT_EQ(result, row.expected);
            static_cast<IUnknown*>(result)->Release();
        }
        void* result = &result;
        EXPECT_EQ(through->QueryInterface(kUnknownInterface, &result), E_NOINTERFACE);
        EXPECT_EQ(result, nullptr);
        EXPECT_EQ(through->QueryInterface(IID_IhwSysPropertyBag, &result), E_NOINTERFACE);
        EXPECT_EQ(through->QueryInterface(IID_IhwSysExpert2, nullptr), E_POINTER);
    }
    // One reference each for the three held pointers: the queries gave back what they took.
    EXPECT_EQ(expert->AddRef(), 4u);
    EXPECT_EQ(plugPlay->Release(), 3u);
}

TEST_F(ExpertHost, the_expert_names_itself) {
    GUID guid{};
    ASSERT_EQ(expert->GetExpertGuid(&guid), S_OK);
    EXPECT_EQ(guid, hwSysExpertGuidQVKELP);
    const GUID written = {0xC7110F75, 0x8354, 0x442E, {0x8E, 0xE8, 0x24, 0x55, 0x6D, 0xC6, 0x87, 0x14}};
    EXPECT_EQ(std::memcmp(&guid, &written, sizeof guid), 0);

    BSTR name = nullptr;
    BSTR version = nullptr;
    BSTR identifier = nullptr;
    ASSERT_EQ(expert->GetExpertName(&name), S_OK);
    ASSERT_EQ(expert->GetExpertVersion(&version), S_OK);
    ASSERT_EQ(expert->GetExpertIdentifier(&identifier), S_OK);
    const CqvBStr owned[] = {CqvBStr::Attach(name), CqvBStr::Attach(version), CqvBStr::Attach(identifier)};
    EXPECT_EQ(textOf(name), OLESTR("QV-KELP"));
    EXPECT_EQ(textOf(version), OLESTR("3.0.0"));
    EXPECT_EQ(textOf(identifier), OLESTR("qv-kelp"));
    EXPECT_EQ(SysStringByteLen(version), 10u);
}

// Allocation failures are injected by the simulated Windows only.
#ifndef _WIN32
TEST_F(ExpertHost, a_name_that_cannot_be_allocated_gives_out_of_memory_and_no_string) {
    using tTextOperation = HRESULT (STDMETHODCALLTYPE IhwSysExpertInfo::*)(BSTR*);
    const tTextOperation operations[] = {&IhwSysExpertInfo::GetExpertName,
                                         &IhwSysExpertInfo::GetExpertVersion,
                                         &IhwSysExpertInfo::GetExpertIdentifier};
    for (tTextOperation operation : operations) {
        winsim_failSysAllocString(0, 1);
        BSTR text = reinterpret_cast<BSTR>(&text);
        EXPECT_EQ((expert.get()->*operation)(&text), E_OUTOFMEMORY);
        EXPECT_EQ(text, nullptr);
    }
}
#endif

TEST_F(ExpertHost, only_a_zero_request_flag_is_accepted) {
    EXPECT_EQ(expert->CheckRequestFlag(OLESTR("PCI\\VEN_ABCD"), 0), S_OK);
    EXPECT_EQ(expert->CheckRequestFlag(nullptr, 1), HW_E_PROPERTY_NOT_FOUND);
    EXPECT_EQ(expert->CheckRequestFlag(nullptr, 0xFFFFFFFFu), HW_E_PROPERTY_NOT_FOUND);
}

TEST_F(ExpertHost, the_reserved_operations_succeed_and_the_unimplemented_one_says_so_in_every_table) {
    EXPECT_EQ(expert->ReservedOperation1(), S_OK);
    EXPECT_EQ(expert->ReservedOperation2(), S_OK);
    EXPECT_EQ(expert->NotImplementedOperation(), E_NOTIMPL);
    EXPECT_EQ(query<IhwSysExpertPlugPlay>(expert.get(), IID_IhwSysExpertPlugPlay)->NotImplementedOperation(),
              E_NOTIMPL);
    EXPECT_EQ(
        query<IhwSysExpertDiagnostic>(expert.get(), IID_IhwSysExpertDiagnostic)->NotImplementedOperation(),
        E_NOTIMPL);
}

TEST_F(ExpertHost, every_missing_out_pointer_or_object_is_refused_before_any_work) {
    EXPECT_EQ(expert->GetExpertGuid(nullptr), E_POINTER);
    EXPECT_EQ(expert->GetExpertName(nullptr), E_POINTER);
    EXPECT_EQ(expert->GetExpertVersion(nullptr), E_POINTER);
    EXPECT_EQ(expert->GetExpertIdentifier(nullptr), E_POINTER);
    EXPECT_EQ(expert->ReportResources(nullptr), E_POINTER);
    EXPECT_EQ(expert->EnumerateItemNames(nullptr), E_POINTER);
    EXPECT_EQ(expert->GetResourceProperties(OLESTR("x"), nullptr), E_POINTER);

    LONG aliasInUse = 5;
    void* reserved = &reserved;
    EXPECT_EQ(expert->RenameResource(OLESTR("x"), OLESTR("a"), 0, nullptr, &reserved), E_POINTER);
    EXPECT_EQ(reserved, static_cast<void*>(&reserved));
    EXPECT_EQ(expert->RenameResource(OLESTR("x"), OLESTR("a"), 0, &aliasInUse, nullptr), E_POINTER);
    EXPECT_EQ(aliasInUse, 0);

    ULONG_PTR reservedValue = 9;
    IhwSysEnumPropertyTag* accepted = reinterpret_cast<IhwSysEnumPropertyTag*>(&accepted);
    EXPECT_EQ(expert->ValidateResourceProperties(OLESTR("x"), nullptr, &reservedValue, nullptr), E_POINTER);
    EXPECT_EQ(expert->ValidateResourceProperties(OLESTR("x"), nullptr, nullptr, &accepted), E_POINTER);
    EXPECT_EQ(accepted, nullptr);
    EXPECT_EQ(expert->ValidateResourceProperties(OLESTR("x"), nullptr, &reservedValue, &accepted), E_POINTER);
    EXPECT_EQ(reservedValue, 0u);

    ULONG saveReserved = 9;
    EXPECT_EQ(expert->SaveResourceProperties(OLESTR("x"), nullptr, nullptr), E_POINTER);
    EXPECT_EQ(expert->SaveResourceProperties(OLESTR("x"), nullptr, &saveReserved), E_POINTER);
    EXPECT_EQ(saveReserved, 0u);

    ComRef<IhwSysExpertDiagnostic> diagnostic =
        query<IhwSysExpertDiagnostic>(expert.get(), IID_IhwSysExpertDiagnostic);
    EXPECT_EQ(diagnostic->SelfTestResource(OLESTR("x"), 0, nullptr), E_POINTER);
    EXPECT_EQ(diagnostic->SelfCalibrateResource(OLESTR("x"), nullptr), E_POINTER);
}

// Windows refuses an enumerator that is not a device instance ID with ERROR_INVALID_DATA (13), which
// reaches the host as E_UNEXPECTED. Wine answers ERROR_INVALID_PARAMETER (87), so under Wine the host
// sees E_INVALIDARG; the difference is Wine's (see platform/sim/windows_choices.h).
#ifdef _WIN32
const HRESULT kUnknownEnumeratorResult = E_INVALIDARG;
#else
const HRESULT kUnknownEnumeratorResult = E_UNEXPECTED;
#endif

// On a machine without boards the reports hand nothing out, and a self-test of a board that is not
// there fails before any library is tried, with no error text.
TEST_F(ExpertHost, operations_without_a_board_refuse_cleanly_and_hand_nothing_out) {
    tCountingCollection collection;
    EXPECT_EQ(expert->ReportResources(&collection), S_FALSE);
    EXPECT_EQ(collection.added, 0);

    IhwSysPropertyBag* bag = reinterpret_cast<IhwSysPropertyBag*>(&bag);
    EXPECT_EQ(expert->GetResourceProperties(OLESTR("x"), &bag), kUnknownEnumeratorResult);
    EXPECT_EQ(bag, nullptr);

    ComRef<IhwSysExpertDiagnostic> diagnostic =
        query<IhwSysExpertDiagnostic>(expert.get(), IID_IhwSysExpertDiagnostic);
    BSTR errorText = reinterpret_cast<BSTR>(&errorText);
    // The system refuses an enumerator it does not know; that failure reaches the host.
    EXPECT_EQ(diagnostic->SelfTestResource(OLESTR("x"), 0, &errorText), kUnknownEnumeratorResult);
    EXPECT_EQ(errorText, nullptr);
}

// Hosts resolve exactly one name; anything else exported would be a promise to keep. (The Windows
// DLL's exports are checked with objdump by scripts/test-windows.sh.)
#ifndef _WIN32
TEST(ModuleExports, create_sys_api_expert_is_the_only_symbol_the_module_defines_for_others) {
    const std::string command = "nm -D --defined-only " + kModulePath;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line);
        std::string address;
        std::string type;
        std::string name;
        fields >> address >> type >> name;
        // The linker's own entry points, and version-node names (absolute symbols), are not ours.
        if (name == "_init" || name == "_fini" || type == "A") {
            continue;
        }
        exported.insert(name.substr(0, name.find('@')));
    }
    EXPECT_EQ(pclose(pipe.release()), 0) << command;
    EXPECT_EQ(exported, std::set<std::string>{"createSysApiExpert"});
}
#endif
