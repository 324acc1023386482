// Critical sections of the simulated Windows.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace {

class CriticalSection : public testing::Test {
protected:
    void SetUp() override { InitializeCriticalSection(&section); }
    void TearDown() override { DeleteCriticalSection(&section); }

    BOOL tryFromAnotherThread() {
        return std::async(std::launch::async,
                          [this] {
                              const BOOL entered = TryEnterCriticalSection(&section);
                              if (entered) {
                                  LeaveCriticalSection(&section);
                              }
                              return entered;
                          })
            .get();
    }

    CRITICAL_SECTION section{};
};

TEST_F(CriticalSection, the_owner_may_enter_again_and_others_wait_until_it_has_left_every_time) {
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    EXPECT_FALSE(tryFromAnotherThread());
    LeaveCriticalSection(&section);
    EXPECT_FALSE(tryFromAnotherThread());
    LeaveCriticalSection(&section);
    EXPECT_TRUE(tryFromAnotherThread());
}

TEST_F(CriticalSection, a_waiting_thread_enters_once_the_owner_leaves) {
    EnterCriticalSection(&section);
    std::promise<void> started;
    int sharedValue = 0;
    std::thread waiter([&] {
        started.set_value();
        EnterCriticalSection(&section);
        sharedValue += 10;
        LeaveCriticalSection(&section);
    });
    started.get_future().wait();
    sharedValue = 1; // still ours: the waiter cannot have entered
    LeaveCriticalSection(&section);
    waiter.join();
    EXPECT_EQ(sharedValue, 11);
}

} // namespace
