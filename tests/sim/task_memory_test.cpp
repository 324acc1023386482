// COM task memory of the simulated Windows and its fault plan.
#include "platform/sim/runtime/memory_hooks.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class TaskMemory : public testing::Test {
protected:
    void TearDown() override { winsimClearTaskMemoryFaults(); }
};

TEST_F(TaskMemory, realloc_allocates_from_null_frees_at_zero_and_keeps_the_block_when_it_fails) {
    const long long before = winsimLiveTaskMemoryBlocks();
    auto* block = static_cast<char*>(CoTaskMemRealloc(nullptr, 8));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(winsimLiveTaskMemoryBlocks(), before + 1);
    std::memcpy(block, "kelp123", 8);
    winsimFailTaskMemory(0, 1);
    EXPECT_EQ(CoTaskMemRealloc(block, 4096), nullptr);
    EXPECT_STREQ(block, "kelp123");
    winsimFailTaskMemory(0, 5);
    EXPECT_EQ(CoTaskMemRealloc(block, 0), nullptr) << "freeing never fails";
    EXPECT_EQ(winsimLiveTaskMemoryBlocks(), before);
    CoTaskMemFree(nullptr);
}

TEST_F(TaskMemory, the_fault_plan_counts_successes_then_failures) {
    winsimFailTaskMemory(1, 2);
    void* first = CoTaskMemAlloc(1);
    void* second = CoTaskMemAlloc(1);
    void* third = CoTaskMemRealloc(nullptr, 1);
    void* fourth = CoTaskMemAlloc(1);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(third, nullptr);
    EXPECT_NE(fourth, nullptr);
    CoTaskMemFree(first);
    CoTaskMemFree(fourth);
}

} // namespace
