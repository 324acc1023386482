#include "discovery_machine.h"

#include "enumeration/tBasicString.h"
#include "support/statusCodes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

using namespace std::string_literals;

using discoverytest::textOf;
using nQVOSALS100::tBasicString;
using nQVOSALS100::tStatus;

namespace {

constexpr std::size_t kHuge = std::numeric_limits<std::size_t>::max();

} // namespace

TEST(BasicString, growth_is_exact_keeps_a_nul_and_survives_appending_its_own_text) {
    tBasicString text;
    tStatus status;
    EXPECT_STREQ(text.c_str(), "");
    text.assign("abc", &status);
    EXPECT_EQ(text.capacity(), 3u);
    text.append(text.c_str(), &status);
    text.append(text.data() + 1, 2, &status);
    EXPECT_EQ(textOf(text), "abcabcbc");
    EXPECT_EQ(text.capacity(), 8u);
    EXPECT_EQ(text.data()[text.length()], '\0');

    text.resize(10, &status);
    EXPECT_EQ(std::memcmp(text.data(), "abcabcbc\0\0\0", 11), 0);
    text.erase(1, 3);
    text.erase(50, 1);
    EXPECT_EQ(textOf(text), "abcbc\0\0"s);
    EXPECT_EQ(status.code, 0);
}

TEST(BasicString, a_growth_that_cannot_happen_sets_the_flag_reports_memory_full_and_keeps_the_text) {
    // An unrepresentable length, an overflowing append, and a request no allocator grants.
    for (const auto grow : {+[](tBasicString&t, tStatus*s) { t.resize(kHuge, s); },
                            +[](tBasicString&t, tStatus*s) { t.append("x", kHuge - 2, s); },
                            +[](tBasicString&t, tStatus*s) { t.resize(kHuge / 2, s); }}) {
        tBasicString text;
        tStatus status;
        text.assign("keep", &status);
        grow(text, &status);
        EXPECT_TRUE(text.failed());
        EXPECT_EQ(status.code, nQVOSALS100::osalStatusMemoryFull);
        EXPECT_EQ(textOf(text), "keep");

        tStatus next;
        text.append("!", &next);
        EXPECT_FALSE(text.failed());
        EXPECT_EQ(textOf(text), "keep!");
    }
}
