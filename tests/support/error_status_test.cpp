#include "support/errorReport.h"
#include "support/errorStatus.h"

#include <gtest/gtest.h>

#include <string>

using qverr::Status;

namespace {

// How many more times limitedReserve may grow a buffer; negative means without limit.
int growthsLeft = -1;

bool limitedReserve(Status& status, std::uint32_t requested) {
    if (requested > status.capacity && growthsLeft >= 0) {
        if (growthsLeft == 0) {
            return false;
        }
        --growthsLeft;
    }
    return qverr::defaultReserve(status, requested);
}

// Allocates the first buffer, then claims success without ever growing it: a cursor must not
// retry for ever.
bool stuckReserve(Status& status, std::uint32_t requested) {
    return status.payload != nullptr && requested != 0 ? true : qverr::defaultReserve(status, requested);
}

const char* const kStandardMembers = R"({"file":"f.cpp","line":1,"component":"qvkelpsysapiexpertu"})";

} // namespace

TEST(ErrorStatus, the_default_reserve_function_allocates_powers_of_two_from_512_and_frees_on_zero) {
    Status status;
    ASSERT_TRUE(qverr::defaultReserve(status, 4));
    EXPECT_EQ(status.capacity, 512u);
    EXPECT_EQ(std::string(status.payload, 512), std::string("{}") + std::string(509, '\0') + "J");
    char* first = status.payload;
    EXPECT_TRUE(qverr::defaultReserve(status, 512));
    EXPECT_EQ(status.payload, first);
    EXPECT_TRUE(qverr::defaultReserve(status, 4097));
    EXPECT_EQ(status.capacity, 8192u);
    EXPECT_STREQ(status.payload, "{}");
    EXPECT_EQ(status.payload[8191], 'J');
    EXPECT_FALSE(qverr::defaultReserve(status, 0x80000000u));
    EXPECT_EQ(status.capacity, 8192u);
    EXPECT_TRUE(qverr::defaultReserve(status, 0));
    EXPECT_EQ(status.payload, nullptr);
    EXPECT_EQ(status.capacity, 0u);
}

TEST(ErrorStatus, a_member_too_long_for_the_buffer_doubles_it_until_it_fits_keeping_the_text_before) {
    Status status;
    qverr::PayloadCursor cursor = qverr::reportError(status, -52003, nullptr, "f.cpp", 1);
    ASSERT_EQ(status.capacity, 512u);
    ASSERT_EQ(status.payload[511], 'J');
    const std::string before = status.payload;
    const std::string value(1500, 'v');
    cursor.addString("long", value.c_str());
    EXPECT_EQ(status.capacity, 2048u);
    EXPECT_EQ(status.payload[2047], 'J');
    EXPECT_EQ(std::string(status.payload),
              before.substr(0, before.size() - 1) + R"(,"long":")" + value + "\"}");
}

TEST(ErrorStatus, when_the_buffer_cannot_grow_the_code_stays_and_the_payload_keeps_earlier_members) {
    const std::string longValue(600, 'v');
    for (const qverr::ReserveFunction reserve : {&limitedReserve, &stuckReserve}) {
        Status status;
        status.reserve = reserve;
        growthsLeft = 1;
        qverr::PayloadCursor cursor = qverr::reportError(status, -52003, nullptr, "f.cpp", 1);
        cursor.addString("long", longValue.c_str()).addSigned("after", 1);
        EXPECT_TRUE(cursor.isEmpty());
        EXPECT_EQ(status.code, -52003);
        EXPECT_STREQ(status.payload, kStandardMembers);
    }
    Status none;
    none.reserve = &limitedReserve;
    growthsLeft = 0;
    EXPECT_TRUE(qverr::reportError(none, -52000, "qvosalerr_memoryFull", "f.cpp", 1).isEmpty());
    EXPECT_EQ(none.code, -52000);
    EXPECT_EQ(none.payload, nullptr);
    growthsLeft = -1;
}

TEST(ErrorStatus, merging_hands_the_buffer_over_with_the_same_reserve_function_and_copies_it_otherwise) {
    Status source;
    qverr::reportError(source, -52006, nullptr, "f.cpp", 1);
    char* buffer = source.payload;
    Status target;
    qverr::reportError(target, 52011, nullptr, "warning.cpp", 2); // its buffer is freed by the merge
    EXPECT_TRUE(target.merge(source));
    EXPECT_EQ(target.code, -52006);
    EXPECT_EQ(target.payload, buffer);
    EXPECT_EQ(target.capacity, 512u);
    EXPECT_EQ(source.payload, nullptr);
    EXPECT_EQ(source.capacity, 0u);
    EXPECT_EQ(source.code, -52006);

    Status copy;
    copy.reserve = &limitedReserve;
    EXPECT_TRUE(copy.merge(target));
    EXPECT_STREQ(copy.payload, kStandardMembers);
    EXPECT_NE(copy.payload, buffer);
    EXPECT_EQ(target.payload, buffer) << "a copy leaves the source its buffer";

    Status later;
    qverr::reportError(later, -52005, nullptr, "later.cpp", 3);
    EXPECT_FALSE(copy.merge(later));
    EXPECT_STREQ(copy.payload, kStandardMembers);
    EXPECT_NE(later.payload, nullptr);
}
