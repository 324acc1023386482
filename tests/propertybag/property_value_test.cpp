// The owning BSTR wrapper and the calendar form of a time stamp.
#include "com/CqvBStr.h"
#include "com_test_support.h"
#include "common/time_zone_override.h"
#include "platform/sim/runtime/test_hooks.h"
#include "propertybag/TimestampToDateTime.h"

#include <gtest/gtest.h>

namespace {

using qvkelpsysapiexpert::CqvBStr;
using qvkelpsysapiexpert::TimestampToDateTime;

class BStrWrapper : public testing::Test {
protected:
    void TearDown() override { winsim_failSysAllocString(0, 0); }
};

TEST_F(BStrWrapper, copies_stop_at_the_first_nul_and_null_stays_null) {
    const OLECHAR withNul[] = u"ab\0cd";
    const CqvBStr copy(withNul);
    EXPECT_EQ(SysStringLen(copy.get()), 2u);
    EXPECT_EQ(textOf(copy.get()), u"ab");
    EXPECT_NE(copy.get(), withNul);

    const CqvBStr none(static_cast<const OLECHAR*>(nullptr));
    EXPECT_EQ(none.get(), nullptr);
    const CqvBStr copyOfNone(none);
    EXPECT_EQ(copyOfNone.get(), nullptr);
}

TEST_F(BStrWrapper, attaching_adopts_and_detaching_gives_up_the_string) {
    BSTR raw = SysAllocString(u"owned");
    CqvBStr adopted(raw, true);
    EXPECT_EQ(adopted.get(), raw);
    BSTR back = adopted.Detach();
    EXPECT_EQ(back, raw);
    EXPECT_EQ(adopted.get(), nullptr);
    SysFreeString(back);
}

TEST_F(BStrWrapper, assignment_replaces_the_string_and_keeps_it_when_the_copy_fails) {
    CqvBStr target(u"old");
    const CqvBStr source(u"new");
    target = source;
    EXPECT_EQ(textOf(target.get()), u"new");
    EXPECT_NE(target.get(), source.get());

    const CqvBStr other(u"other");
    winsim_failSysAllocString(0, 1);
    EXPECT_THROW(target = other, std::bad_alloc);
    EXPECT_EQ(textOf(target.get()), u"new");
}

TEST_F(BStrWrapper, an_out_parameter_fill_frees_the_previous_string) {
    CqvBStr wrapper(u"before");
    *wrapper.address() = SysAllocString(u"after");
    EXPECT_EQ(textOf(wrapper.get()), u"after");
}

hwSysAttrDateTime convert(std::int64_t seconds, std::uint64_t fraction = 0) {
    hwSysAttrDateTime result{};
    TimestampToDateTime(hwSysAttrTimestampUTC{fraction, seconds}, &result);
    return result;
}

constexpr std::int64_t kJulyFirst2024Noon = 3802680000;
constexpr std::uint64_t kHalfSecond = 0x8000000000000000ull;

bool noTime(const hwSysAttrDateTime& t) {
    return t.year == -1 && t.month == -1 && t.day == -1 && t.hour == -1 && t.minute == -1 && t.second == -1;
}

TEST(CalendarForm, gives_the_full_year_and_the_month_from_one) {
    TimeZoneOverride zone("UTC0");
    const hwSysAttrDateTime t = convert(kJulyFirst2024Noon + 3723);
    EXPECT_EQ(t.year, 2024);
    EXPECT_EQ(t.month, 7);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.hour, 13);
    EXPECT_EQ(t.minute, 2);
    EXPECT_EQ(t.second, 3);
}

TEST(CalendarForm, half_seconds_round_to_the_even_second) {
    TimeZoneOverride zone("UTC0");
    EXPECT_EQ(convert(kJulyFirst2024Noon + 2, kHalfSecond).second, 2);
    EXPECT_EQ(convert(kJulyFirst2024Noon + 3, kHalfSecond).second, 4);
    EXPECT_EQ(convert(kJulyFirst2024Noon + 3, kHalfSecond - 1).second, 3);
}

TEST(CalendarForm, the_zero_stamp_and_unrepresentable_stamps_mean_no_time) {
    TimeZoneOverride zone("UTC0");
    EXPECT_TRUE(noTime(convert(0, 0)));
    EXPECT_FALSE(noTime(convert(0, 1))) << "only all sixteen bytes zero mean no time";
    EXPECT_TRUE(noTime(convert(-9561628801)));            // 1600-12-31 23:59:59
    EXPECT_TRUE(noTime(convert(255485145600)));           // 10000-01-01
    const hwSysAttrDateTime early = convert(-8001028800); // 1650-06-15 12:00
    EXPECT_EQ(early.year, 1650);
    EXPECT_EQ(early.hour, 12);
}

} // namespace
