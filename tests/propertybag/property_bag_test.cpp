// The dynamic property bag: typed setters and getters, enumeration, the changed-tag record,
// copying, the caller's lock and allocation failures.
#include "com_test_support.h"
#include "heap_faults.h"
#include "platform/sim/runtime/test_hooks.h"
#include "propertybag/ChwDynamicPropertyBag.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <type_traits>

namespace {

using namespace qvkelpsysapiexpert;

Ref<IhwSysPropertyBag3> newBag() {
    IhwSysPropertyBag3* raw = nullptr;
    EXPECT_EQ(createPropertyBag(&raw), S_OK);
    return Ref<IhwSysPropertyBag3>::attach(raw);
}

std::vector<ULONG> enumerated(HRESULT (IhwSysPropertyBag3::*enumerate)(IhwSysEnumPropertyTag**),
                              IhwSysPropertyBag3* bag) {
    IhwSysEnumPropertyTag* raw = nullptr;
    const HRESULT result = (bag->*enumerate)(&raw);
    if (result == S_FALSE) {
        EXPECT_EQ(raw, nullptr);
        return {};
    }
    EXPECT_EQ(result, S_OK);
    auto tags = Ref<IhwSysEnumPropertyTag>::attach(raw);
    return remainingTags(tags.get());
}

std::vector<ULONG> allTags(IhwSysPropertyBag3* bag) {
    return enumerated(&IhwSysPropertyBag3::EnumPropertyTags, bag);
}
std::vector<ULONG> changedTags(IhwSysPropertyBag3* bag) {
    return enumerated(&IhwSysPropertyBag3::EnumChangedTags, bag);
}

constexpr GUID kSampleGuid = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr hwSysAttrTimestampUTC kSampleStamp = {0x8000000000000000ull, 3802680000};

using Writer = std::function<HRESULT(IhwSysPropertyBag3*, ULONG)>;

// One value of each stored type: how to write it, and how to read the tag as that type (the
// result, and whether the out value equals what was written).
struct TypedAccess {
    const char* name;
    ULONG code;
    Writer write;
    std::function<HRESULT(IhwSysPropertyBag3*, ULONG, bool*)> read;
};

template <typename Out>
TypedAccess typed(const char* name, ULONG code, Writer write, HRESULT (IhwSysPropertyBag3::*get)(ULONG, Out*),
                  bool (*matches)(const Out&)) {
    return {name, code, std::move(write), [get, matches](IhwSysPropertyBag3* bag, ULONG tag, bool* same) {
                Out value{};
                const HRESULT result = (bag->*get)(tag, &value);
                *same = matches(value);
                if constexpr (std::is_same_v<Out, BSTR>) {
                    SysFreeString(value);
                }
                return result;
            }};
}

const std::vector<TypedAccess>& everyType() {
    using Bag = IhwSysPropertyBag3;
    static const std::vector<TypedAccess> types = {
        typed<LONG>(
            "bool", hwSysPropertyTypeBool, [](Bag* b, ULONG t) { return b->SetBool(t, 2); }, &Bag::GetBool,
            [](const LONG& v) { return v == 1; }),
        typed<LONG>(
            "long", hwSysPropertyTypeLong, [](Bag* b, ULONG t) { return b->SetLong(t, -5); }, &Bag::GetLong,
            [](const LONG& v) { return v == -5; }),
        typed<ULONG>(
            "ulong", hwSysPropertyTypeULong, [](Bag* b, ULONG t) { return b->SetULong(t, 0xFFFFFFF0u); },
            &Bag::GetULong, [](const ULONG& v) { return v == 0xFFFFFFF0u; }),
        typed<double>(
            "double", hwSysPropertyTypeDouble, [](Bag* b, ULONG t) { return b->SetDouble(t, 41.25); },
            &Bag::GetDouble, [](const double& v) { return v == 41.25; }),
        typed<GUID>(
            "guid", hwSysPropertyTypeGuid, [](Bag* b, ULONG t) { return b->SetGuid(t, &kSampleGuid); },
            &Bag::GetGuid, [](const GUID& v) { return v == kSampleGuid; }),
        typed<BSTR>(
            "string", hwSysPropertyTypeString, [](Bag* b, ULONG t) { return b->SetString(t, u"Quorvel"); },
            &Bag::GetString, [](const BSTR& v) { return v != nullptr && textOf(v) == u"Quorvel"; }),
        typed<hwSysAttrTimestampUTC>(
            "timestamp", hwSysPropertyTypeTimestamp,
            [](Bag* b, ULONG t) { return b->SetTimestamp(t, &kSampleStamp); }, &Bag::GetTimestamp,
            [](const hwSysAttrTimestampUTC& v) { return std::memcmp(&v, &kSampleStamp, sizeof v) == 0; }),
    };
    return types;
}

TEST(PropertyBag, a_new_bag_is_empty) {
    auto bag = newBag();
    EXPECT_EQ(bag->HasProperty(1), S_FALSE);
    EXPECT_EQ(allTags(bag.get()), std::vector<ULONG>{});
    EXPECT_EQ(changedTags(bag.get()), std::vector<ULONG>{});
    EXPECT_EQ(bag->ClearChangedTags(), S_FALSE);
    EXPECT_EQ(bag->UnlockBag(), E_FAIL);
    EXPECT_EQ(bag->RemoveProperty(1), HW_E_PROPERTY_NOT_FOUND);
    EXPECT_EQ(bag->RemoveAllProperties(), S_OK);
}

// Checks that tags first, first + 1, ... hold the samples of everyType(), in that order.
void expectEveryTypeFrom(IhwSysPropertyBag3* bag, ULONG first) {
    for (const TypedAccess& type : everyType()) {
        SCOPED_TRACE(type.name);
        ULONG code = 0;
        EXPECT_EQ(bag->GetPropertyType(first, &code), S_OK);
        EXPECT_EQ(code, type.code);
        bool same = false;
        EXPECT_EQ(type.read(bag, first++, &same), S_OK);
        EXPECT_TRUE(same);
    }
}

TEST(PropertyBag, every_type_is_stored_read_back_and_reported) {
    auto bag = newBag();
    ULONG tag = 100;
    for (const TypedAccess& type : everyType()) {
        ASSERT_EQ(type.write(bag.get(), tag), S_OK);
        EXPECT_EQ(bag->HasProperty(tag++), S_OK);
    }
    expectEveryTypeFrom(bag.get(), 100);
}

TEST(PropertyBag, no_value_is_read_or_overwritten_as_another_type) {
    auto bag = newBag();
    for (const TypedAccess& stored : everyType()) {
        ASSERT_EQ(stored.write(bag.get(), 1), S_OK);
        ASSERT_EQ(bag->ClearChangedTags(), S_OK);
        for (const TypedAccess& other : everyType()) {
            if (other.code == stored.code) {
                continue;
            }
            SCOPED_TRACE(std::string(stored.name) + " accessed as " + other.name);
            bool same = true;
            EXPECT_EQ(other.read(bag.get(), 1, &same), HW_E_PROPERTY_TYPE_MISMATCH);
            EXPECT_FALSE(same);
            EXPECT_EQ(other.write(bag.get(), 1), HW_E_PROPERTY_TYPE_MISMATCH);
        }
        ULONG code = 0;
        EXPECT_EQ(bag->GetPropertyType(1, &code), S_OK);
        EXPECT_EQ(code, stored.code);
        bool same = false;
        EXPECT_EQ(stored.read(bag.get(), 1, &same), S_OK);
        EXPECT_TRUE(same);
        EXPECT_EQ(changedTags(bag.get()), std::vector<ULONG>{}) << "a refused write marks nothing";
        ASSERT_EQ(bag->RemoveProperty(1), S_OK);
    }
}

TEST(PropertyBag, failed_reads_leave_or_clear_the_out_value_as_each_getter_promises) {
    auto bag = newBag();
    ASSERT_EQ(bag->SetString(3, u"text"), S_OK);
    LONG flag = 9;
    EXPECT_EQ(bag->GetBool(4, &flag), HW_E_PROPERTY_NOT_FOUND);
    EXPECT_EQ(flag, 0);
    LONG number = 9;
    EXPECT_EQ(bag->GetLong(4, &number), HW_E_PROPERTY_NOT_FOUND);
    EXPECT_EQ(number, 9);
    BSTR text = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(bag->GetString(4, &text), HW_E_PROPERTY_NOT_FOUND);
    EXPECT_EQ(text, nullptr);
    hwSysAttrDateTime when{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(bag->GetDateTime(3, &when), HW_E_PROPERTY_TYPE_MISMATCH);
    EXPECT_EQ(when.year, -1);
    EXPECT_EQ(when.second, -1);
    ULONG code = 9;
    EXPECT_EQ(bag->GetPropertyType(4, &code), HW_E_PROPERTY_NOT_FOUND);
    EXPECT_EQ(code, 9u);
}

TEST(PropertyBag, strings_are_the_bags_own_copies) {
    auto bag = newBag();
    OLECHAR callers[] = u"ab\0cd";
    ASSERT_EQ(bag->SetString(1, callers), S_OK);
    callers[0] = u'X';
    BSTR first = nullptr;
    BSTR second = nullptr;
    ASSERT_EQ(bag->GetString(1, &first), S_OK);
    ASSERT_EQ(bag->GetString(1, &second), S_OK);
    const auto ownFirst = CqvBStr::Attach(first);
    const auto ownSecond = CqvBStr::Attach(second);
    EXPECT_EQ(textOf(first), u"ab");
    EXPECT_EQ(SysStringLen(first), 2u);
    EXPECT_NE(first, second);

    ASSERT_EQ(bag->SetString(2, nullptr), S_OK);
    BSTR none = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(bag->GetString(2, &none), S_OK);
    EXPECT_EQ(none, nullptr);
}

TEST(PropertyBag, date_times_are_read_from_time_stamps_and_never_written) {
    auto bag = newBag();
    const hwSysAttrTimestampUTC zero{0, 0};
    ASSERT_EQ(bag->SetTimestamp(5, &zero), S_OK);
    hwSysAttrDateTime when{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(bag->GetDateTime(5, &when), S_OK);
    EXPECT_EQ(when.year, -1);
    EXPECT_EQ(when.minute, -1);
    ASSERT_EQ(bag->SetTimestamp(5, &kSampleStamp), S_OK);
    EXPECT_EQ(bag->GetDateTime(5, &when), S_OK);
    EXPECT_EQ(when.year, 2024);
    EXPECT_EQ(bag->GetDateTime(6, &when), HW_E_PROPERTY_NOT_FOUND);
    EXPECT_EQ(when.year, -1);

    EXPECT_EQ(bag->SetDateTime(8, hwSysAttrDateTime{2024, 1, 1, 0, 0, 0}), E_NOTIMPL);
    EXPECT_EQ(bag->HasProperty(8), S_FALSE);
    EXPECT_EQ(changedTags(bag.get()), std::vector<ULONG>{5});
}

TEST(PropertyBag, tags_come_out_ascending_and_enumerations_are_snapshots) {
    auto bag = newBag();
    for (ULONG tag : {30u, 10u, 20u, 0xFFFFFFFFu, 0u}) {
        ASSERT_EQ(bag->SetULong(tag, tag), S_OK);
    }
    IhwSysEnumPropertyTag* raw = nullptr;
    ASSERT_EQ(bag->EnumPropertyTags(&raw), S_OK);
    auto before = Ref<IhwSysEnumPropertyTag>::attach(raw);
    ASSERT_EQ(bag->RemoveProperty(20), S_OK);
    ASSERT_EQ(bag->SetLong(15, 1), S_OK);
    EXPECT_EQ(remainingTags(before.get()), (std::vector<ULONG>{0, 10, 20, 30, 0xFFFFFFFFu}));
    EXPECT_EQ(allTags(bag.get()), (std::vector<ULONG>{0, 10, 15, 30, 0xFFFFFFFFu}));
    bag->RemoveAllProperties();
    EXPECT_EQ(allTags(bag.get()), std::vector<ULONG>{});
    EXPECT_EQ(bag->EnumPropertyTags(nullptr), E_POINTER);
    EXPECT_EQ(bag->EnumChangedTags(nullptr), E_POINTER);
}

TEST(PropertyBag, the_changed_record_follows_writes_removals_and_clearing) {
    auto bag = newBag();
    ASSERT_EQ(bag->SetLong(7, 1), S_OK);
    ASSERT_EQ(bag->SetLong(3, 1), S_OK);
    EXPECT_EQ(changedTags(bag.get()), (std::vector<ULONG>{3, 7}));
    EXPECT_EQ(bag->ClearChangedTags(), S_OK);
    EXPECT_EQ(changedTags(bag.get()), std::vector<ULONG>{});

    ASSERT_EQ(bag->SetLong(7, 1), S_OK) << "writing the same value still counts";
    EXPECT_EQ(changedTags(bag.get()), std::vector<ULONG>{7});
    ASSERT_EQ(bag->RemoveProperty(7), S_OK);
    EXPECT_EQ(changedTags(bag.get()), std::vector<ULONG>{});
    EXPECT_EQ(allTags(bag.get()), std::vector<ULONG>{3});

    ASSERT_EQ(bag->SetLong(9, 1), S_OK);
    bag->RemoveAllProperties();
    EXPECT_EQ(changedTags(bag.get()), std::vector<ULONG>{});
}

TEST(PropertyBag, a_copy_has_every_value_no_changes_and_a_life_of_its_own) {
    auto bag = newBag();
    IhwSysPropertyBag* empty = nullptr;
    ASSERT_EQ(bag->CloneBag(&empty), S_OK);
    EXPECT_EQ(empty->HasProperty(0), S_FALSE);
    empty->Release();
    EXPECT_EQ(bag->CloneBag(nullptr), E_POINTER);
    ULONG tag = 10;
    for (const TypedAccess& type : everyType()) {
        ASSERT_EQ(type.write(bag.get(), tag++), S_OK);
    }
    IhwSysPropertyBag* raw = nullptr;
    ASSERT_EQ(bag->CloneBag(&raw), S_OK);
    IhwSysPropertyBag3* rawCopy = nullptr;
    ASSERT_EQ(raw->QueryInterface(IID_IhwSysPropertyBag3, reinterpret_cast<void**>(&rawCopy)), S_OK);
    raw->Release();
    auto copy = Ref<IhwSysPropertyBag3>::attach(rawCopy);

    EXPECT_EQ(allTags(copy.get()), allTags(bag.get()));
    EXPECT_EQ(changedTags(copy.get()), std::vector<ULONG>{});
    EXPECT_EQ(changedTags(bag.get()).size(), everyType().size()) << "the source keeps its record";
    expectEveryTypeFrom(copy.get(), 10);
    EXPECT_EQ(copy->UnlockBag(), E_FAIL);

    ASSERT_EQ(copy->SetLong(11, 99), S_OK);
    ASSERT_EQ(copy->RemoveProperty(15), S_OK);
    LONG original = 0;
    EXPECT_EQ(bag->GetLong(11, &original), S_OK);
    EXPECT_EQ(original, -5);
    EXPECT_EQ(bag->HasProperty(15), S_OK);
    bag.reset();
    BSTR text = nullptr;
    EXPECT_EQ(copy->GetString(15, &text), HW_E_PROPERTY_NOT_FOUND);
    EXPECT_EQ(copy->HasProperty(16), S_OK) << "the copy outlives its source";
}

TEST(PropertyBag, all_three_interface_levels_are_the_same_pointer) {
    auto bag = newBag();
    for (const IID* iid :
         {&IID_IhwSysPropertyBag, &IID_IhwSysPropertyBag2, &IID_IhwSysPropertyBag3, &IID_IUnknown}) {
        void* object = nullptr;
        ASSERT_EQ(bag->QueryInterface(*iid, &object), S_OK);
        EXPECT_EQ(object, static_cast<IUnknown*>(bag.get()));
        static_cast<IUnknown*>(object)->Release();
    }
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(bag->QueryInterface(IID_IhwSysEnumPropertyTag, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST(PropertyBag, null_input_and_output_pointers_are_refused) {
    auto bag = newBag();
    EXPECT_EQ(bag->SetGuid(1, nullptr), E_POINTER);
    EXPECT_EQ(bag->SetTimestamp(1, nullptr), E_POINTER);
    EXPECT_EQ(bag->HasProperty(1), S_FALSE);
    ASSERT_EQ(bag->SetLong(1, 1), S_OK);
    EXPECT_EQ(bag->GetLong(1, nullptr), E_POINTER);
    EXPECT_EQ(bag->GetString(1, nullptr), E_POINTER);
    EXPECT_EQ(bag->GetPropertyType(1, nullptr), E_POINTER);
}

TEST(PropertyBagLock, is_held_as_often_as_taken_and_released_as_often) {
    auto bag = newBag();
    EXPECT_EQ(bag->LockBag(), S_OK);
    EXPECT_EQ(bag->LockBag(), S_OK);
    EXPECT_EQ(bag->SetLong(1, 1), S_OK) << "the holder keeps using the bag";
    EXPECT_EQ(bag->UnlockBag(), S_OK);
    EXPECT_EQ(bag->UnlockBag(), S_OK);
    EXPECT_EQ(bag->UnlockBag(), E_FAIL);
}

TEST(PropertyBagLock, another_thread_waits_until_the_holder_unlocks) {
    auto bag = newBag();
    ASSERT_EQ(bag->LockBag(), S_OK);
    std::atomic<int> sequence{0};
    std::atomic<bool> calling{false};
    int answeredAt = 0;
    HRESULT answer = E_FAIL;
    std::thread other([&] {
        calling = true;
        answer = bag->HasProperty(42);
        answeredAt = ++sequence;
    });
    while (!calling) {
        std::this_thread::yield();
    }
    for (int i = 0; i < 1000; ++i) {
        std::this_thread::yield(); // give the other thread every chance to get into the bag
    }
    ASSERT_EQ(bag->SetLong(42, 1), S_OK);
    const int unlockedAt = ++sequence;
    ASSERT_EQ(bag->UnlockBag(), S_OK);
    other.join();
    EXPECT_GT(answeredAt, unlockedAt);
    EXPECT_EQ(answer, S_OK) << "the waiting call sees what the holder wrote";
}

class PropertyBagMemory : public testing::Test {
protected:
    void TearDown() override { winsim_failSysAllocString(0, 0); }
};

TEST_F(PropertyBagMemory, every_allocation_failure_in_a_setter_leaves_a_consistent_bag) {
    bool sawAbsent = false;
    bool sawUnmarked = false;
    for (long successes = 0;; ++successes) {
        auto bag = newBag();
        ASSERT_EQ(bag->SetLong(1, 1), S_OK);
        ASSERT_EQ(bag->ClearChangedTags(), S_OK);
        HRESULT result = S_OK;
        bool failed = false;
        {
            HeapFailure failure(successes);
            result = bag->SetLong(5, 50);
            failed = failure.triggered();
        }
        if (!failed) {
            EXPECT_EQ(result, S_OK);
            break;
        }
        ASSERT_EQ(result, E_OUTOFMEMORY) << "failure after " << successes << " allocations";
        EXPECT_EQ(allTags(bag.get()).front(), 1u);
        if (bag->HasProperty(5) == S_FALSE) {
            sawAbsent = true;
        } else {
            LONG value = 0;
            EXPECT_EQ(bag->GetLong(5, &value), S_OK);
            EXPECT_EQ(value, 50);
            EXPECT_EQ(changedTags(bag.get()), std::vector<ULONG>{});
            sawUnmarked = true;
        }
        EXPECT_EQ(bag->SetLong(5, 51), S_OK) << "the bag still works";
        EXPECT_EQ(changedTags(bag.get()), std::vector<ULONG>{5});
    }
    EXPECT_TRUE(sawAbsent);
    EXPECT_TRUE(sawUnmarked);
}

TEST_F(PropertyBagMemory, a_string_that_cannot_be_copied_is_not_stored) {
    auto bag = newBag();
    ASSERT_EQ(bag->SetString(1, u"old"), S_OK);
    winsim_failSysAllocString(0, 1);
    EXPECT_EQ(bag->SetString(1, u"new"), E_OUTOFMEMORY);
    EXPECT_EQ(bag->SetString(2, nullptr), S_OK) << "a null string needs no copy";
    winsim_failSysAllocString(0, 1);
    EXPECT_EQ(bag->SetString(3, u"never"), E_OUTOFMEMORY);
    EXPECT_EQ(bag->HasProperty(3), S_FALSE);

    BSTR text = reinterpret_cast<BSTR>(1);
    winsim_failSysAllocString(0, 1);
    EXPECT_EQ(bag->GetString(1, &text), E_OUTOFMEMORY);
    EXPECT_EQ(text, nullptr);
    ASSERT_EQ(bag->GetString(1, &text), S_OK);
    const auto owned = CqvBStr::Attach(text);
    EXPECT_EQ(textOf(text), u"old");
}

TEST_F(PropertyBagMemory, enumerations_and_copies_that_cannot_be_made_hand_out_nothing) {
    auto bag = newBag();
    ASSERT_EQ(bag->SetLong(1, 1), S_OK);
    ASSERT_EQ(bag->SetString(2, u"two"), S_OK);
    for (long successes = 0; successes < 3; ++successes) {
        IhwSysEnumPropertyTag* tags = reinterpret_cast<IhwSysEnumPropertyTag*>(1);
        IhwSysPropertyBag* copy = reinterpret_cast<IhwSysPropertyBag*>(1);
        HRESULT enumResult = S_OK;
        HRESULT copyResult = S_OK;
        {
            HeapFailure failure(successes);
            enumResult = bag->EnumChangedTags(&tags);
        }
        {
            HeapFailure failure(successes);
            copyResult = bag->CloneBag(&copy);
        }
        EXPECT_EQ(enumResult, E_OUTOFMEMORY) << successes;
        EXPECT_EQ(tags, nullptr);
        EXPECT_EQ(copyResult, E_OUTOFMEMORY) << successes;
        EXPECT_EQ(copy, nullptr);
    }
    winsim_failSysAllocString(0, 1);
    IhwSysPropertyBag* copy = reinterpret_cast<IhwSysPropertyBag*>(1);
    EXPECT_EQ(bag->CloneBag(&copy), E_OUTOFMEMORY);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(allTags(bag.get()), (std::vector<ULONG>{1, 2}));
}

} // namespace
