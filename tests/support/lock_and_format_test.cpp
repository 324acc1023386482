// The critical-section lock and wide formatting of the support library.
#include "support/CqvSync.h"
#include "support/formatWideText.h"

#include <gtest/gtest.h>

#include <future>
#include <string>

namespace {

TEST(CqvCS, is_recursive_for_its_owner_and_excludes_other_threads_until_fully_unlocked) {
    Tessel::CqvCS lock;
    ASSERT_TRUE(lock.lock(INFINITE));
    ASSERT_TRUE(lock.lock(0));
    std::promise<void> otherHasLock;
    int order = 0;
    auto other = std::async(std::launch::async, [&] {
        lock.lock(INFINITE);
        const int seen = order;
        order = 2;
        lock.unlock();
        return seen;
    });
    lock.unlock();
    order = 1; // still held once: the other thread cannot be inside yet
    lock.unlock();
    EXPECT_EQ(other.get(), 1);
    EXPECT_EQ(order, 2);
}

TEST(FormatWideText, prints_the_module_formats) {
    WCHAR buffer[32];
    EXPECT_EQ(qv::brix::formatWideText(buffer, 32, u"%i", -17), 3);
    EXPECT_EQ(std::u16string(buffer), u"-17");
    EXPECT_EQ(qv::brix::formatWideText(buffer, 32, u"PXI%u", 12u), 5);
    EXPECT_EQ(std::u16string(buffer), u"PXI12");
    EXPECT_EQ(qv::brix::formatWideText(buffer, 32, u"%lsSlot%u", u"PXI3", 4u), 9);
    EXPECT_EQ(std::u16string(buffer), u"PXI3Slot4");
    EXPECT_EQ(qv::brix::formatWideText(buffer, 4, u"PXI%u", 12u), -1);
}

} // namespace
