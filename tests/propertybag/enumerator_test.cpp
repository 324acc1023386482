// The string and tag enumerators: Next, Skip, Reset, Clone, ownership of the container.
#include "com_test_support.h"
#include "heap_faults.h"
#include "platform/sim/runtime/memory_hooks.h"
#include "platform/sim/runtime/test_hooks.h"
#include "propertybag/ChwSysEnumSTL.h"

#include <gtest/gtest.h>

namespace {

using namespace qvkelpsysapiexpert;

Ref<IhwSysEnumPropertyTag> tagEnumerator(std::vector<ULONG> tags) {
    IhwSysEnumPropertyTag* raw = nullptr;
    EXPECT_EQ(makeTagEnumerator(std::move(tags), &raw), S_OK);
    return Ref<IhwSysEnumPropertyTag>::attach(raw);
}

Ref<IhwSysEnumPropertyTag> setEnumerator(std::set<ULONG> tags) {
    IhwSysEnumPropertyTag* raw = nullptr;
    EXPECT_EQ(CreateEnumeratorOverSet(std::move(tags), &raw), S_OK);
    return Ref<IhwSysEnumPropertyTag>::attach(raw);
}

Ref<IhwSysEnumStringList> nameEnumerator(std::initializer_list<const char*> names) {
    tItemNameList list;
    for (const char* name : names) {
        list.emplace_back(name);
    }
    IhwSysEnumStringList* raw = nullptr;
    EXPECT_EQ(makeItemNameEnumerator(std::move(list), &raw), S_OK);
    return Ref<IhwSysEnumStringList>::attach(raw);
}

Ref<IhwSysEnumPropertyTag> cloneOf(IhwSysEnumPropertyTag* source) {
    IhwSysEnumPropertyTag* raw = nullptr;
    EXPECT_EQ(source->Clone(&raw), S_OK);
    return Ref<IhwSysEnumPropertyTag>::attach(raw);
}

TEST(TagEnumerator, next_checks_its_pointers_and_counts) {
    auto tags = tagEnumerator({7, 8, 9, 10});
    ULONG out[5] = {};
    ULONG fetched = 99;
    EXPECT_EQ(tags->Next(1, nullptr, &fetched), E_POINTER);
    EXPECT_EQ(tags->Next(0, out, nullptr), E_POINTER);
    EXPECT_EQ(tags->Next(2, out, nullptr), E_POINTER);
    EXPECT_EQ(tags->Next(0, out, &fetched), S_OK);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(tags->Next(1, out, nullptr), S_OK);
    EXPECT_EQ(out[0], 7u);
    EXPECT_EQ(tags->Next(2, out, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(tags->Next(5, out, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(out[0], 10u);
    out[0] = 1234;
    EXPECT_EQ(tags->Next(1, out, nullptr), S_FALSE);
    EXPECT_EQ(out[0], 1234u) << "nothing copied at the end";
}

TEST(TagEnumerator, skip_and_reset_move_the_position) {
    auto tags = tagEnumerator({1, 2, 3, 4});
    EXPECT_EQ(tags->Skip(0), S_OK);
    EXPECT_EQ(remainingTags(tags.get()), (std::vector<ULONG>{1, 2, 3, 4}));
    EXPECT_EQ(tags->Reset(), S_OK);
    EXPECT_EQ(tags->Skip(3), S_OK);
    EXPECT_EQ(remainingTags(tags.get()), (std::vector<ULONG>{4}));
    EXPECT_EQ(tags->Reset(), S_OK);
    EXPECT_EQ(tags->Skip(5), S_FALSE);
    EXPECT_EQ(remainingTags(tags.get()), std::vector<ULONG>{});
}

TEST(TagEnumerator, an_empty_container_reports_the_end_at_once) {
    auto tags = tagEnumerator({});
    ULONG out[2] = {};
    ULONG fetched = 5;
    EXPECT_EQ(tags->Next(2, out, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(tags->Skip(1), S_FALSE);
    EXPECT_EQ(tags->Reset(), S_OK);
}

TEST(TagEnumerator, a_vector_keeps_insertion_order_and_a_set_ascends) {
    EXPECT_EQ(remainingTags(tagEnumerator({30, 10, 20, 10}).get()), (std::vector<ULONG>{30, 10, 20, 10}));
    auto set = setEnumerator({30, 10, 20});
    EXPECT_EQ(remainingTags(set.get()), (std::vector<ULONG>{10, 20, 30}));
    EXPECT_EQ(set->Reset(), S_OK);
    ULONG smallest = 0;
    EXPECT_EQ(set->Next(1, &smallest, nullptr), S_OK);
    EXPECT_EQ(smallest, 10u);
}

TEST(TagEnumerator, a_clone_starts_where_its_source_is_and_moves_on_its_own) {
    auto tags = tagEnumerator({1, 2, 3, 4});
    ASSERT_EQ(tags->Skip(2), S_OK);
    auto clone = cloneOf(tags.get());
    EXPECT_EQ(remainingTags(clone.get()), (std::vector<ULONG>{3, 4}));
    EXPECT_EQ(remainingTags(tags.get()), (std::vector<ULONG>{3, 4}));
    EXPECT_EQ(clone->Reset(), S_OK);
    EXPECT_EQ(remainingTags(clone.get()), (std::vector<ULONG>{1, 2, 3, 4}));
    EXPECT_EQ(tags->Clone(nullptr), E_POINTER);
}

TEST(TagEnumerator, clones_outlive_the_enumerator_they_came_from) {
    auto source = setEnumerator({5, 6, 7});
    ASSERT_EQ(source->Skip(1), S_OK);
    auto clone = cloneOf(source.get());
    auto cloneOfClone = cloneOf(clone.get());
    source.reset();
    EXPECT_EQ(remainingTags(clone.get()), (std::vector<ULONG>{6, 7}));
    clone.reset();
    EXPECT_EQ(cloneOfClone->Reset(), S_OK);
    EXPECT_EQ(remainingTags(cloneOfClone.get()), (std::vector<ULONG>{5, 6, 7}));
}

TEST(TagEnumerator, answers_only_its_own_interface_and_iunknown) {
    auto tags = tagEnumerator({1});
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(tags->QueryInterface(IID_IhwSysEnumStringList, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(tags->QueryInterface(IID_IUnknown, &object), S_OK);
    EXPECT_EQ(object, static_cast<IUnknown*>(tags.get()));
    static_cast<IUnknown*>(object)->Release();
    ASSERT_EQ(tags->QueryInterface(IID_IhwSysEnumPropertyTag, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
}

class NameEnumerator : public testing::Test {
protected:
    void SetUp() override { liveBefore = winsimLiveTaskMemoryBlocks(); }
    void TearDown() override {
        winsim_failSysAllocString(0, 0);
        EXPECT_EQ(winsimLiveTaskMemoryBlocks(), liveBefore) << "the item names were not freed";
    }

private:
    long long liveBefore = 0;
};

TEST_F(NameEnumerator, hands_out_each_name_as_a_separate_copy_in_list_order) {
    auto names = nameEnumerator({"PCI\\VEN_1", "PXI\\B", "caf\xE9"});
    BSTR first[2] = {};
    ULONG fetched = 0;
    ASSERT_EQ(names->Next(2, first, &fetched), S_OK);
    ASSERT_EQ(fetched, 2u);
    EXPECT_NE(first[0], first[1]);
    EXPECT_EQ(SysStringLen(first[0]), 9u);
    SysFreeString(first[0]);
    SysFreeString(first[1]);

    auto clone = Ref<IhwSysEnumStringList>();
    IhwSysEnumStringList* raw = nullptr;
    ASSERT_EQ(names->Clone(&raw), S_OK);
    clone = Ref<IhwSysEnumStringList>::attach(raw);
    EXPECT_EQ(remainingNames(names.get()), (std::vector<std::u16string>{u"caf\u00E9"}));
    EXPECT_EQ(remainingNames(clone.get()), (std::vector<std::u16string>{u"caf\u00E9"}));
    EXPECT_EQ(names->Reset(), S_OK);
    EXPECT_EQ(remainingNames(names.get()),
              (std::vector<std::u16string>{u"PCI\\VEN_1", u"PXI\\B", u"caf\u00E9"}));
}

TEST_F(NameEnumerator, a_clone_keeps_the_names_after_the_original_is_released) {
    auto names = nameEnumerator({"first", "second"});
    IhwSysEnumStringList* raw = nullptr;
    ASSERT_EQ(names->Clone(&raw), S_OK);
    auto clone = Ref<IhwSysEnumStringList>::attach(raw);
    names.reset();
    EXPECT_EQ(remainingNames(clone.get()), (std::vector<std::u16string>{u"first", u"second"}));
}

TEST_F(NameEnumerator, running_out_of_memory_hands_out_nothing_and_loses_no_name) {
    auto names = nameEnumerator({"a", "b", "c"});
    BSTR out[3] = {};
    ULONG fetched = 7;
    winsim_failSysAllocString(1, 1);
    EXPECT_EQ(names->Next(3, out, &fetched), E_OUTOFMEMORY);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(out[0], nullptr) << "the copy already made is taken back";
    winsim_failSysAllocString(0, 0);
    EXPECT_EQ(remainingNames(names.get()), (std::vector<std::u16string>{u"a", u"b", u"c"}));
}

TEST(EnumeratorMaking, allocation_failures_give_e_outofmemory_and_keep_the_list) {
    for (long successes = 0; successes < 2; ++successes) {
        tItemNameList names;
        names.emplace_back("kept");
        IhwSysEnumStringList* enumerator = reinterpret_cast<IhwSysEnumStringList*>(1);
        HRESULT result = S_OK;
        {
            HeapFailure failure(successes);
            result = makeItemNameEnumerator(std::move(names), &enumerator);
            EXPECT_TRUE(failure.triggered());
        }
        EXPECT_EQ(result, E_OUTOFMEMORY);
        EXPECT_EQ(enumerator, nullptr);
        EXPECT_EQ(names.size(), 1u);
    }
}

TEST(EnumeratorMaking, a_clone_that_cannot_be_made_gives_e_outofmemory) {
    auto tags = tagEnumerator({1, 2});
    IhwSysEnumPropertyTag* clone = reinterpret_cast<IhwSysEnumPropertyTag*>(1);
    HRESULT result = S_OK;
    {
        HeapFailure failure(0);
        result = tags->Clone(&clone);
    }
    EXPECT_EQ(result, E_OUTOFMEMORY);
    EXPECT_EQ(clone, nullptr);
    EXPECT_EQ(remainingTags(tags.get()), (std::vector<ULONG>{1, 2}));
    EXPECT_EQ(CreateEnumeratorOverSet({1}, nullptr), E_POINTER);
}

} // namespace
