#include "enumeration/tBasicString.h"
#include "support/status_codes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

using nQVOSALS100::tBasicString;
using nQVOSALS100::tStatus;

namespace {

std::string textOf(const tBasicString& text) {
    return std::string(text.c_str(), text.length());
}

} // namespace

TEST(BasicString, growth_reserves_exactly_the_new_length_and_keeps_a_nul) {
    tBasicString text;
    tStatus status;
    EXPECT_STREQ(text.c_str(), "");
    EXPECT_EQ(text.data(), nullptr);

    text.assign("PCI:VEN_ABCD", &status);
    EXPECT_EQ(text.capacity(), 12u);
    text.append("&DEV_1234", &status);
    EXPECT_EQ(text.capacity(), 21u);
    EXPECT_EQ(textOf(text), "PCI:VEN_ABCD&DEV_1234");
    EXPECT_EQ(text.data()[text.length()], '\0');
    EXPECT_EQ(status.code, 0);
}

TEST(BasicString, resize_fills_with_nul_and_shrinking_keeps_the_storage) {
    tBasicString text;
    tStatus status;
    text.assign("ab", &status);
    text.resize(5, &status);
    ASSERT_EQ(text.length(), 5u);
    EXPECT_EQ(std::memcmp(text.data(), "ab\0\0\0", 6), 0);

    text.resize(1, &status);
    EXPECT_EQ(textOf(text), "a");
    EXPECT_EQ(text.capacity(), 5u);
}

TEST(BasicString, erase_removes_a_range_and_ignores_positions_past_the_end) {
    tBasicString text;
    tStatus status;
    text.assign("0000:00:E0:00", &status);
    text.erase(7, 3);
    EXPECT_EQ(textOf(text), "0000:00:00");
    text.erase(8, 100);
    EXPECT_EQ(textOf(text), "0000:00:");
    text.erase(50, 1);
    EXPECT_EQ(textOf(text), "0000:00:");
}

TEST(BasicString, appending_its_own_text_survives_the_growth) {
    tBasicString text;
    tStatus status;
    text.assign("abc", &status);
    text.append(text.c_str(), &status);
    text.append(text.data() + 1, 2, &status);
    EXPECT_EQ(textOf(text), "abcabcbc");
}

TEST(BasicString, a_length_that_cannot_be_stored_sets_the_flag_reports_memory_full_and_keeps_the_text) {
    tBasicString text;
    tStatus status;
    text.assign("keep", &status);
    text.resize(std::numeric_limits<std::size_t>::max(), &status);
    EXPECT_TRUE(text.failed());
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusMemoryFull);
    EXPECT_EQ(textOf(text), "keep");

    tStatus second;
    text.append("x", std::numeric_limits<std::size_t>::max() - 2, &second);
    EXPECT_EQ(second.code, nQVOSALS100::osalStatusMemoryFull);
    EXPECT_EQ(textOf(text), "keep");

    tStatus third;
    text.append("!", &third);
    EXPECT_FALSE(text.failed());
    EXPECT_EQ(third.code, 0);
    EXPECT_EQ(textOf(text), "keep!");
}

TEST(BasicString, a_failed_allocation_is_reported_not_thrown) {
    tBasicString text;
    tStatus status;
    text.assign("keep", &status);
    // More than any allocator hands out: the allocation itself fails, not the length check.
    text.resize(std::numeric_limits<std::size_t>::max() / 2, &status);
    EXPECT_TRUE(text.failed());
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusMemoryFull);
    EXPECT_EQ(textOf(text), "keep");
}

TEST(BasicString, operations_do_nothing_once_the_status_holds_an_error) {
    tBasicString text;
    tStatus status;
    status.setCode(-52005, "x", "f", 1);
    text.assign("a", &status);
    text.append("b", &status);
    text.resize(3, &status);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(status.code, -52005);
}

TEST(BasicString, moving_hands_the_storage_over) {
    tBasicString text;
    tStatus status;
    text.assign("slot", &status);
    const char* storage = text.data();
    tBasicString moved(std::move(text));
    EXPECT_EQ(moved.data(), storage);
    EXPECT_EQ(text.data(), nullptr);
    tBasicString assigned;
    assigned = std::move(moved);
    EXPECT_EQ(textOf(assigned), "slot");
    assigned.release();
    EXPECT_EQ(assigned.data(), nullptr);
    EXPECT_STREQ(assigned.c_str(), "");
}
