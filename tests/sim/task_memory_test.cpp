// COM task memory of the simulated Windows and its fault plan.
#include "platform/sim/memory_hooks.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class TaskMemory : public testing::Test {
protected:
    void TearDown() override { winsimClearTaskMemoryFaults(); }
};

TEST_F(TaskMemory, realloc_of_null_allocates_and_to_zero_frees) {
    const long long before = winsimLiveTaskMemoryBlocks();
    void* block = CoTaskMemRealloc(nullptr, 16);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(winsimLiveTaskMemoryBlocks(), before + 1);
    EXPECT_EQ(CoTaskMemRealloc(block, 0), nullptr);
    EXPECT_EQ(winsimLiveTaskMemoryBlocks(), before);
    CoTaskMemFree(nullptr);
    EXPECT_EQ(winsimLiveTaskMemoryBlocks(), before);
}

TEST_F(TaskMemory, a_failed_reallocation_leaves_the_block_intact) {
    auto* block = static_cast<char*>(CoTaskMemAlloc(8));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "kelp123", 8);
    winsimFailTaskMemory(0, 1);
    EXPECT_EQ(CoTaskMemRealloc(block, 4096), nullptr);
    EXPECT_STREQ(block, "kelp123");
    void* grown = CoTaskMemRealloc(block, 4096);
    ASSERT_NE(grown, nullptr);
    EXPECT_STREQ(static_cast<char*>(grown), "kelp123");
    CoTaskMemFree(grown);
}

TEST_F(TaskMemory, the_fault_plan_counts_successes_then_failures) {
    winsimFailTaskMemory(2, 2);
    void* first = CoTaskMemAlloc(1);
    void* second = CoTaskMemAlloc(1);
    void* third = CoTaskMemAlloc(1);
    void* fourth = CoTaskMemRealloc(nullptr, 1);
    void* fifth = CoTaskMemAlloc(1);
    EXPECT_NE(first, nullptr);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(third, nullptr);
    EXPECT_EQ(fourth, nullptr);
    EXPECT_NE(fifth, nullptr);
    for (void* block : {first, second, fifth}) {
        CoTaskMemFree(block);
    }
}

TEST_F(TaskMemory, freeing_by_reallocation_to_zero_never_fails) {
    void* block = CoTaskMemAlloc(4);
    ASSERT_NE(block, nullptr);
    const long long live = winsimLiveTaskMemoryBlocks();
    winsimFailTaskMemory(0, 5);
    EXPECT_EQ(CoTaskMemRealloc(block, 0), nullptr);
    EXPECT_EQ(winsimLiveTaskMemoryBlocks(), live - 1);
}

} // namespace
