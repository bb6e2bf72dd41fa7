// The scan-task gate: its limit holds under many threads, and the slot guard leaves exactly once.
#include "foundation/task_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

class TaskGate : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(gf_taskGateCount(), 0u); }
    void TearDown() override { EXPECT_EQ(gf_taskGateCount(), 0u); }
};

TEST_F(TaskGate, NeverMoreTasksAtOnceThanTheLimit)
{
    gf_setTaskGateLimit(3);
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                gf_waitTaskGate();
                const int now = ++inside;
                int seen = most.load();
                while (now > seen && !most.compare_exchange_weak(seen, now)) {
                }
                --inside;
                gf_leaveTaskGate();
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_LE(most.load(), 3);
    EXPECT_GE(most.load(), 1);
}

TEST_F(TaskGate, AWaiterPassesOnceASlotIsGivenBack)
{
    gf_setTaskGateLimit(2);
    gf_waitTaskGate();
    gf_waitTaskGate();
    EXPECT_EQ(gf_taskGateCount(), 2u);

    std::mutex mutex;
    std::condition_variable passedCv;
    bool passed = false;
    std::thread waiter([&] {
        gf_waitTaskGate();
        std::lock_guard lock(mutex);
        passed = true;
        passedCv.notify_one();
    });
    {
        std::lock_guard lock(mutex);
        EXPECT_FALSE(passed);
    }
    gf_leaveTaskGate();
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(passedCv.wait_for(lock, std::chrono::seconds(10), [&] { return passed; }));
    }
    waiter.join();
    EXPECT_EQ(gf_taskGateCount(), 2u);  // the waiter took the freed slot itself
    gf_leaveTaskGate();
    gf_leaveTaskGate();
}

TEST_F(TaskGate, SlotGuardLeavesExactlyOnceOnEveryPath)
{
    gf_setTaskGateLimit(4);
    {
        TaskGateSlot slot;
        EXPECT_EQ(gf_taskGateCount(), 1u);
    }
    EXPECT_EQ(gf_taskGateCount(), 0u);

    try {
        TaskGateSlot slot;
        throw std::runtime_error("task failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(gf_taskGateCount(), 0u);

    {
        TaskGateSlot slot;
        slot.leave();
        EXPECT_EQ(gf_taskGateCount(), 0u);
        slot.leave();
        EXPECT_FALSE(slot.owned());
    }
    EXPECT_EQ(gf_taskGateCount(), 0u);

    // Handed over to a worker thread: the walker's moved-from guard gives nothing back.
    {
        TaskGateSlot walker;
        std::thread worker([slot = std::move(walker)] { EXPECT_TRUE(slot.owned()); });
        EXPECT_FALSE(walker.owned());  // NOLINT(bugprone-use-after-move): checking the move
        worker.join();
    }
    EXPECT_EQ(gf_taskGateCount(), 0u);

    // Adopting a slot taken by gf_waitTaskGate.
    gf_waitTaskGate();
    {
        TaskGateSlot adopted(std::adopt_lock);
        EXPECT_EQ(gf_taskGateCount(), 1u);
        TaskGateSlot other;
        other = std::move(adopted);
        EXPECT_EQ(gf_taskGateCount(), 1u);  // other's own slot was given back by the assignment
    }
    EXPECT_EQ(gf_taskGateCount(), 0u);
}

TEST_F(TaskGate, StrayLeaveNeverDrivesTheCounterBelowZeroAndLimitIsAtLeastOne)
{
    gf_leaveTaskGate();
    EXPECT_EQ(gf_taskGateCount(), 0u);
    gf_setTaskGateLimit(0);
    EXPECT_EQ(gf_taskGateLimit(), 1u);
    gf_initTaskGate();
    EXPECT_EQ(gf_taskGateLimit(), std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace
