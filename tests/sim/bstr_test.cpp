#include "platform/sim/runtime/test_hooks.h"
#include "platform/sim/runtime/win32_debug.h"
#include "platform/sim/runtime/win32_ole.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::uint32_t prefixOf(BSTR text) {
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const unsigned char*>(text) - sizeof prefix, sizeof prefix);
    return prefix;
}

class Bstr : public ::testing::Test {
protected:
    void TearDown() override { winsim_failSysAllocString(0, 0); }
};

} // namespace

TEST_F(Bstr, a_string_carries_its_byte_count_before_it_and_a_nul_after_it) {
    BSTR text = SysAllocString(OLESTR("QV-KELP"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(prefixOf(text), 14u);
    EXPECT_EQ(SysStringByteLen(text), 14u);
    EXPECT_EQ(SysStringLen(text), 7u);
    EXPECT_EQ(std::u16string(text), u"QV-KELP");
    EXPECT_EQ(text[7], 0);
    SysFreeString(text);
}

TEST_F(Bstr, a_copy_is_a_new_string_that_ends_at_the_first_nul) {
    const OLECHAR source[] = {'a', 'b', 0, 'c', 0};
    BSTR copy = SysAllocString(source);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(static_cast<const OLECHAR*>(copy), source);
    EXPECT_EQ(SysStringLen(copy), 2u);
    SysFreeString(copy);

    BSTR empty = SysAllocString(OLESTR(""));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], 0);
    SysFreeString(empty);
}

TEST_F(Bstr, null_is_allocated_as_null_measured_as_empty_and_freed_as_nothing) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST_F(Bstr, injected_failures_come_after_the_allowed_successes_and_then_service_returns) {
    winsim_failSysAllocString(1, 2);
    BSTR first = SysAllocString(OLESTR("one"));
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(SysAllocString(OLESTR("two")), nullptr);
    EXPECT_EQ(SysAllocString(OLESTR("three")), nullptr);
    BSTR fourth = SysAllocString(OLESTR("four"));
    EXPECT_NE(fourth, nullptr);
    SysFreeString(first);
    SysFreeString(fourth);

    // Null stays null without using up a planned failure.
    winsim_failSysAllocString(0, 1);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysAllocString(OLESTR("x")), nullptr);
}

TEST(DebugOutput, is_silent_unless_requested_and_then_goes_to_standard_error) {
    unsetenv("QVKELP_DEBUG_OUTPUT");
    testing::internal::CaptureStderr();
    OutputDebugStringA("hidden");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    setenv("QVKELP_DEBUG_OUTPUT", "1", 1);
    testing::internal::CaptureStderr();
    OutputDebugStringA("shown\n");
    OutputDebugStringA(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "shown\n");

    setenv("QVKELP_DEBUG_OUTPUT", "0", 1);
    testing::internal::CaptureStderr();
    OutputDebugStringA("hidden again");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    unsetenv("QVKELP_DEBUG_OUTPUT");
}
