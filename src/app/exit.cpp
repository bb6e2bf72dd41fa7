// Exit and in-process restart. gf_exit records the run's exit request; the run's exit thread,
// started with the run, wakes on it and runs FinalExit, which stops the traffic, removes every AI object the program created, saves the
// settings and then restarts the start-up sequence (WM_APP+1) or ends the program (WM_APP+2).
//
// Order of FinalExit: "Exiting: {}", stop the readers, wait for the main loop to acknowledge its end
// (bounded: the containers are the main loop's), 3 s, log out, remove every live and static AI
// object and move all removal requests into the removal queue, let the simulator client drain that
// queue (at most 2 s, then a short grace for the last frames) before its stop token is used, then
// parked traffic, no-match list, flight-plan folder, traffic state, simulator state, settings saved;
// finally the restart countdown and WM_APP+1, or WM_APP+2.
#include "app/exit.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/entry.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings_store.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "win32/win_api.h"

std::atomic<bool> g_mainLoopRunning{false};
std::atomic<bool> g_mainLoopEnded{false};
ExitTimings g_exitTimings;

namespace {

// Guards g_exitThread: taken by the window thread (start, join) and by tests; a leaf lock, never
// held while a thread is joined.
std::mutex g_exitThreadMutex;
std::thread g_exitThread;  // the exit thread of this run, or of the last run until joined

std::mutex g_mainLoopMutex;   // pairs with g_mainLoopChanged for the stop handshake
std::condition_variable g_mainLoopChanged;

constexpr Version g_thisVersion{0, 1, 0};

bool lf_isRestart(ExitReason reason)
{
    return reason == ExitReason::RESTART || reason == ExitReason::RESTART_IPP;
}

// Waits until the predicate holds or the limit passed, checking every 10 ms.
template <typename Pred>
bool lf_waitUntil(Pred pred, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(10, limit.count())));
    }
    return true;
}

// The exit thread's body: one exit per run.
void ExitWaiter()
{
    if (const std::optional<ExitRequest> request = gf_waitForExitRequest())
        FinalExit(request->reason, request->seconds);
}

}  // namespace

Version gf_programVersion()
{
    return g_thisVersion;
}

std::string gf_versionText(const Version& version)
{
    return tvx::format("{}.{}.{}", version.major, version.minor, version.patch);
}

bool gf_parseVersion(std::string_view text, Version& out)
{
    // One to three dot-separated decimal parts, each at most six digits; nothing else.
    int parts[3] = {0, 0, 0};
    int count = 0;
    std::size_t pos = 0;
    for (;;) {
        std::size_t end = pos;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
            ++end;
        if (end == pos || end - pos > 6 || count == 3)
            return false;
        int value = 0;
        for (std::size_t i = pos; i < end; ++i)
            value = value * 10 + (text[i] - '0');
        parts[count++] = value;
        if (end == text.size())
            break;
        if (text[end] != '.')
            return false;
        pos = end + 1;
    }
    out = Version{parts[0], parts[1], parts[2]};
    return true;
}

void gf_startExitThread()
{
    std::lock_guard lock(g_exitThreadMutex);
    if (!g_exitThread.joinable())
        g_exitThread = std::thread(ExitWaiter);
}

void gf_joinExitThread()
{
    std::thread exitThread;
    {
        std::lock_guard lock(g_exitThreadMutex);
        if (g_exitThread.get_id() == std::this_thread::get_id())
            return;
        exitThread = std::move(g_exitThread);
    }
    if (!exitThread.joinable())
        return;
    if (!gf_exitRequest())
        gf_closeExitWait();
    exitThread.join();
}

void FinalExit(ExitReason reason, int seconds)
{
    try {
        gf_log("Exiting: {}", gf_exitReasonName(reason));
        g_shuttingDown.store(true);
        g_exitRequested.store(true);

        Subsystems& subsystems = gf_subsystems();
        subsystems.exitStep(ExitStep::StopReaders);
        // The containers below belong to the main loop; it must have left before they are touched.
        if (!gf_waitMainLoopEnded(g_exitTimings.mainLoopStopLimit))
            gf_logError("main loop did not stop in time");
        std::this_thread::sleep_for(g_exitTimings.readerStopWait);
        subsystems.exitStep(ExitStep::Logout);
        gf_noteServiceLogout();

        subsystems.exitStep(ExitStep::RemoveAllTraffic);
        // The simulator client flushes the removal queue once per frame; give it time to empty. A
        // simulator that has quit took its objects with it: nothing is left to remove, no fault.
        const auto queueEmpty = [&] { return subsystems.ask(Question::RemovalQueueEmpty); };
        const auto simHasQuit = [&] { return subsystems.ask(Question::SimHasQuit); };
        lf_waitUntil([&] { return queueEmpty() || simHasQuit(); }, g_exitTimings.removalFlushLimit);
        if (!queueEmpty()) {
            if (simHasQuit())
                gf_log("The simulator has quit: its AI objects went with it, no removals sent");
            else
                gf_logError("removal queue not empty at exit");
        }
        // The simulator handles the last removals with its next frames; closing the connection
        // at once could lose them.
        if (gf_simClientRunning() && !simHasQuit())
            std::this_thread::sleep_for(g_exitTimings.removalGrace);
        gf_stopSimClient();

        subsystems.exitStep(ExitStep::CleanUp);
        gf_saveSettings();
        gf_showWriteProblems(false);
        gf_resetPainted();
    } catch (const std::exception& e) {
        gf_logError("FinalExit: {}", e.what());
    } catch (...) {
        gf_logError("FinalExit: Unknown exception");
    }

    if (lf_isRestart(reason)) {
        for (int left = seconds; left > 0; --left) {
            gf_setStatusLine(tvx::format("Restarting in {} seconds", left));
            std::this_thread::sleep_for(g_exitTimings.countdownStep);
        }
        gf_log("Restarting");
        gf_markFinalExitDone();
        PostMessageW(g_hWnd, g_msgStartUp, 0, 0);
    } else {
        gf_markFinalExitDone();
        PostMessageW(g_hWnd, g_msgQuit, 0, 0);
    }
}

bool gf_waitFinalExitDone(std::chrono::milliseconds limit)
{
    if (!gf_waitFinalExitDoneFor(limit))
        return false;
    // Only an exit thread that took a request ends by itself; one still waiting is left to wait.
    if (gf_exitRequest())
        gf_joinExitThread();
    return true;
}

void gf_resetExitState()
{
    gf_resetExitRequest();
    g_mainLoopEnded.store(false);
}

void gf_markMainLoopStarted()
{
    std::lock_guard lock(g_mainLoopMutex);
    g_mainLoopEnded.store(false);
    g_mainLoopRunning.store(true);
}

void gf_markMainLoopEnded()
{
    {
        std::lock_guard lock(g_mainLoopMutex);
        g_mainLoopRunning.store(false);
        g_mainLoopEnded.store(true);
    }
    g_mainLoopChanged.notify_all();
}

bool gf_waitMainLoopEnded(std::chrono::milliseconds limit)
{
    std::unique_lock lock(g_mainLoopMutex);
    return g_mainLoopChanged.wait_for(lock, limit, [] { return !g_mainLoopRunning.load(); });
}

void lf_handleException(std::string_view name, const std::exception& error)
{
    std::string text;
    if (dynamic_cast<const tvx::format_error*>(&error) != nullptr)
        text = tvx::format("std::format error: {}", error.what());
    else
        text = tvx::format("{}: {}", name, error.what());
    gf_logError(text);
    gf_showErrorLine(text);
    gf_exit(ExitReason::SYSTEM_ERROR, 0);
}

void lf_handleException(std::string_view name, std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& e) {
        lf_handleException(name, e);
        return;
    } catch (...) {
    }
    gf_logError("Unknown exception");
    gf_showErrorLine("Unknown exception");
    gf_exit(ExitReason::SYSTEM_ERROR, 0);
}
