// The main-loop thread registration: before a main loop registers, any thread may run the
// main-loop code (start-up, tests); once one has, only that thread.
#include "foundation/lock_order.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

bool lf_onMainLoopFromOtherThread()
{
    bool result = false;
    std::thread other([&result] { result = gf_onMainLoopThread(); });
    other.join();
    return result;
}

TEST(MainLoopThread, OnlyTheRegisteredThreadPassesUntilCleared)
{
    gf_clearMainLoopThread();
    EXPECT_TRUE(gf_onMainLoopThread());
    EXPECT_TRUE(lf_onMainLoopFromOtherThread());

    gf_registerMainLoopThread();
    EXPECT_TRUE(gf_onMainLoopThread());
    EXPECT_FALSE(lf_onMainLoopFromOtherThread());

    // A test may hand the role to another thread: then this one fails the check.
    std::thread owner([] { gf_registerMainLoopThread(); });
    owner.join();
    EXPECT_FALSE(gf_onMainLoopThread());

    gf_clearMainLoopThread();
    EXPECT_TRUE(gf_onMainLoopThread());
    EXPECT_TRUE(lf_onMainLoopFromOtherThread());
}

#ifndef NDEBUG
TEST(MainLoopThreadDeathTest, AssertStopsAnotherThread)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            std::thread owner([] { gf_registerMainLoopThread(); });
            owner.join();
            gf_assertMainLoopThread();
        },
        "main-loop-only code ran on another thread");
    gf_clearMainLoopThread();
}
#endif

}  // namespace
