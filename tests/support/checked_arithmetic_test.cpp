// Overflow-checked arithmetic and casts, and the exceptions they throw.
#include "support/BrixException.h"
#include "support/NumericCast.h"
#include "support/SafeInteger.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using qv::brix::NumericCast;
using qv::brix::exception::OutOfRange;

// Runs `action`, expecting it to throw OutOfRange from the named source file.
template <typename Action> void expectOutOfRangeFrom(const char* fileName, Action action) {
    try {
        action();
        ADD_FAILURE() << "no exception";
    } catch (const OutOfRange& error) {
        EXPECT_STREQ(error.what(), "Out of range");
        EXPECT_EQ(error.getCode(), 0x8ABC7007u);
        ASSERT_NE(error.getFile(), nullptr);
        EXPECT_NE(std::strstr(error.getFile(), fileName), nullptr) << error.getFile();
        EXPECT_GT(error.getLine(), 0u);
    }
}

TEST(CheckedArithmetic, addition_reaches_the_top_of_the_range_but_not_past_it) {
    EXPECT_EQ(qv::brix::checkedAdd(0xFFFFFFFEu, 1), 0xFFFFFFFFu);
    EXPECT_EQ(qv::brix::checkedAdd(0, 0xFFFFFFFFu), 0xFFFFFFFFu);
    expectOutOfRangeFrom("SafeInteger", [] { qv::brix::checkedAdd(0xFFFFFFFFu, 1); });
    expectOutOfRangeFrom("SafeInteger", [] { qv::brix::checkedAdd(0x80000000u, 0x80000000u); });
}

TEST(CheckedArithmetic, doubling_accepts_up_to_half_the_range) {
    EXPECT_EQ(qv::brix::checkedDouble(0x7FFFFFFFu), 0xFFFFFFFEu);
    expectOutOfRangeFrom("SafeInteger", [] { qv::brix::checkedDouble(0x80000000u); });
}

TEST(CheckedArithmetic, casts_keep_values_that_fit_and_refuse_the_others) {
    EXPECT_EQ(NumericCast<std::uint32_t>(std::uint64_t{0xFFFFFFFFu}), 0xFFFFFFFFu);
    EXPECT_EQ(NumericCast<std::int32_t>(std::int64_t{INT32_MIN}), INT32_MIN);
    EXPECT_EQ(NumericCast<std::int32_t>(std::int64_t{INT32_MAX}), INT32_MAX);
    EXPECT_EQ(NumericCast<std::uint32_t>(std::size_t{0}), 0u);
    expectOutOfRangeFrom("NumericCast", [] { NumericCast<std::uint32_t>(std::uint64_t{0x100000000u}); });
    expectOutOfRangeFrom("NumericCast", [] { NumericCast<std::int32_t>(std::int64_t{INT32_MAX} + 1); });
    expectOutOfRangeFrom("NumericCast", [] { NumericCast<std::int32_t>(std::int64_t{INT32_MIN} - 1); });
    expectOutOfRangeFrom("NumericCast", [] { NumericCast<std::uint32_t>(-1); });
}

TEST(SupportExceptions, carry_their_codes_and_texts) {
    const qv::brix::exception::Exception plain;
    EXPECT_STREQ(plain.what(), "unspecified exception");
    EXPECT_EQ(plain.getCode(), 0xFFFFFFFFu);
    EXPECT_EQ(plain.getFile(), nullptr);
    EXPECT_EQ(plain.getLine(), 0u);

    const qv::brix::exception::InvalidLocale locale("here.cpp", 9);
    const qv::brix::exception::Exception& base = locale;
    EXPECT_STREQ(base.what(), "Invalid locale");
    EXPECT_EQ(base.getCode(), 0x8ABC7024u);
    EXPECT_STREQ(base.getFile(), "here.cpp");
    EXPECT_EQ(base.getLine(), 9u);
}

} // namespace
