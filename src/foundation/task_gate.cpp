// The scan-task gate: a counter of running scan tasks and its limit. Any thread (the scan's
// walker waits, its workers leave); both are atomics.
#include "foundation/task_gate.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

std::uint32_t lf_processorCount()
{
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : count;
}

// The processor count from the start, so the gate holds even before start-up sets it.
std::atomic<std::uint32_t> g_taskGateLimit{lf_processorCount()};
std::atomic<std::uint32_t> g_taskGateCount{0};

}  // namespace

void gf_setTaskGateLimit(std::uint32_t limit) { g_taskGateLimit.store(limit == 0 ? 1 : limit); }
std::uint32_t gf_taskGateLimit() { return g_taskGateLimit.load(); }
void gf_initTaskGate() { gf_setTaskGateLimit(lf_processorCount()); }
std::uint32_t gf_taskGateCount() { return g_taskGateCount.load(); }

void gf_waitTaskGate()
{
    std::uint32_t count = g_taskGateCount.load();
    while (true) {
        if (count < g_taskGateLimit.load()) {
            if (g_taskGateCount.compare_exchange_weak(count, count + 1))
                return;
            continue;  // count was reloaded by the failed exchange
        }
        std::this_thread::sleep_for(std::chrono::nanoseconds(10000));
        count = g_taskGateCount.load();
    }
}

void gf_leaveTaskGate()
{
    // Never below zero: a stray leave must not open the gate for good.
    std::uint32_t count = g_taskGateCount.load();
    while (count > 0 && !g_taskGateCount.compare_exchange_weak(count, count - 1)) {
    }
}
