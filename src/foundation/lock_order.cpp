// The main-loop thread registration behind gf_assertMainLoopThread. Any thread.
#include "foundation/lock_order.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

// Default id: no thread registered.
std::atomic<std::thread::id> g_mainLoopThread{};

}  // namespace

void gf_registerMainLoopThread(std::thread::id id)
{
    g_mainLoopThread.store(id);
}

void gf_clearMainLoopThread()
{
    g_mainLoopThread.store(std::thread::id());
}

bool gf_onMainLoopThread()
{
    const std::thread::id owner = g_mainLoopThread.load();
    return owner == std::thread::id() || owner == std::this_thread::get_id();
}

#ifndef NDEBUG
void gf_assertMainLoopThread()
{
    if (gf_onMainLoopThread())
        return;
    std::fputs("main-loop-only code ran on another thread than the main loop\n", stderr);
    std::abort();
}

void gf_assertOffMainLoopThread()
{
    const std::thread::id owner = g_mainLoopThread.load();
    if (owner == std::thread::id() || owner != std::this_thread::get_id())
        return;
    std::fputs("a request to the traffic service ran on the main loop\n", stderr);
    std::abort();
}
#endif
