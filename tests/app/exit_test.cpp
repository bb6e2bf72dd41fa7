// Exit and restart: gf_exit taken once, FinalExit's order against the subsystems, the main-loop
// handshake, the removal flush before the simulator client stops, the exception texts, and an
// in-process restart that runs the start-up again.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/entry.h"
#include "app/exit.h"
#include "app/startup.h"
#include "foundation/format.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "simulator/command_queues.h"
#include "simulator/sim_client.h"
#include "support/app_sandbox.h"
#include "win32/win_api.h"

namespace {

using namespace std::chrono_literals;
using tvxtest::AppSandbox;
using tvxtest::CallRecorder;
using tvxtest::RecordingSubsystems;

// The next program message of the window queue (WM_APP+1 or WM_APP+2), 0 when none came in time.
UINT nextAppMessage(std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    MSG msg{};
    while (std::chrono::steady_clock::now() < end) {
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == g_msgStartUp || msg.message == g_msgQuit)
                return msg.message;
            continue;
        }
        std::this_thread::sleep_for(1ms);
    }
    return 0;
}

TEST(Exit, ReasonNamesAsLogged)
{
    EXPECT_EQ(gf_exitReasonName(ExitReason::NOT_YET_SET), "NOT_YET_SET");
    EXPECT_EQ(gf_exitReasonName(ExitReason::SIM_WAS_CLOSED), "SIM WAS CLOSED");
    EXPECT_EQ(gf_exitReasonName(ExitReason::RESTART), "RESTART");
    EXPECT_EQ(gf_exitReasonName(ExitReason::RESTART_IPP), "RESTART_IPP");
    EXPECT_EQ(gf_exitReasonName(ExitReason::USER_CLOSED_SIM), "USER CLOSED SIM");
    EXPECT_EQ(gf_exitReasonName(ExitReason::SYSTEM_ERROR), "SYSTEM ERROR");
    EXPECT_EQ(static_cast<int>(ExitReason::SIM_WAS_CLOSED), 1);
    EXPECT_EQ(static_cast<int>(ExitReason::RESTART), 2);
    EXPECT_EQ(static_cast<int>(ExitReason::SYSTEM_ERROR), 5);
}

TEST(Exit, VersionTextsAndOrder)
{
    Version v;
    ASSERT_TRUE(gf_parseVersion("1.2.3", v));
    EXPECT_EQ(v, (Version{1, 2, 3}));
    ASSERT_TRUE(gf_parseVersion("2", v));
    EXPECT_EQ(v, (Version{2, 0, 0}));
    for (const char* bad : {"", "1.", ".1", "1.2.3.4", "1.x", "v1.2", "1..2", "1.2.3 "})
        EXPECT_FALSE(gf_parseVersion(bad, v)) << bad;
    EXPECT_LT((Version{1, 2, 3}), (Version{1, 10, 0}));
    EXPECT_EQ(gf_versionText(Version{1, 10, 0}), "1.10.0");
}

TEST(Exit, TakesEffectOnceAndRunsFinalExitInOrder)
{
    AppSandbox box;
    CallRecorder& calls = box.subsystems().calls;
    ASSERT_TRUE(gf_initAppFolder());
    // The settings are saved after the subsystems have cleaned up.
    bool savedBeforeCleanUp = true;
    box.subsystems().on["cleanUp"] = [&] { savedBeforeCleanUp = std::filesystem::exists(gf_settingsPath()); };
    gf_exit(ExitReason::SIM_WAS_CLOSED, 0);
    gf_exit(ExitReason::RESTART, 10);  // ignored: the exit was already taken
    gf_exit(ExitReason::SYSTEM_ERROR, 0);
    ASSERT_TRUE(gf_waitFinalExitDone(10s));
    EXPECT_TRUE(g_exitRequested.load());
    EXPECT_EQ(g_exitReason.load(), ExitReason::SIM_WAS_CLOSED);
    EXPECT_EQ(calls.calls(), (std::vector<std::string>{"stopReaders", "logout", "removeAllTraffic", "cleanUp"}));
    EXPECT_FALSE(savedBeforeCleanUp);
    EXPECT_TRUE(std::filesystem::exists(gf_settingsPath()));
    const std::string log = box.logText();
    EXPECT_NE(log.find("Exiting: SIM WAS CLOSED"), std::string::npos);
    EXPECT_EQ(log.find("Exiting: RESTART"), std::string::npos);
    EXPECT_EQ(log.find("Exiting: SYSTEM ERROR"), std::string::npos);
    EXPECT_EQ(nextAppMessage(2s), g_msgQuit);  // SIM WAS CLOSED ends the program
}

// Threads of this process, as the kernel lists them.
std::size_t threadCount()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

// The third SimConnect error, counted inside a g_simConnectMutex section, starts and joins no
// thread there and only makes the restart due; the caller takes it once it has released the lock,
// and the request wakes the run's exit thread, which was there before.
TEST(Exit, ThirdSimConnectErrorUnderTheSimulatorLockStartsNoThread)
{
    AppSandbox box;
    std::mutex releaseMutex;
    std::condition_variable releaseChanged;
    bool release = false;
    // FinalExit stays in its first step until the test has counted the threads.
    box.subsystems().on["stopReaders"] = [&] {
        std::unique_lock lock(releaseMutex);
        releaseChanged.wait(lock, [&] { return release; });
    };
    g_simErrorCount.store(0);
    std::size_t before = 0;
    std::size_t after = 0;
    {
        std::lock_guard simLock(g_simConnectMutex);
        gf_simConnectError();
        gf_simConnectError();
        before = threadCount();
        gf_simConnectError();
        after = threadCount();
        EXPECT_FALSE(gf_exitRequest().has_value());
    }
    gf_exitOnSimConnectErrors();
    ASSERT_TRUE(box.subsystems().calls.waitFor("stopReaders", 5s));
    EXPECT_EQ(after, before);
    EXPECT_EQ(g_exitReason.load(), ExitReason::RESTART);
    ASSERT_TRUE(gf_exitRequest().has_value());
    EXPECT_EQ(gf_exitRequest()->seconds, 10);
    {
        std::lock_guard lock(releaseMutex);
        release = true;
    }
    releaseChanged.notify_all();
    ASSERT_TRUE(gf_waitFinalExitDone(10s));
    EXPECT_NE(box.logText().find("Exiting: RESTART"), std::string::npos);
    EXPECT_EQ(nextAppMessage(10s), g_msgStartUp);
    g_simErrorCount.store(0);
    g_simConnectFailed.store(false);
}

TEST(Exit, WaitsForTheMainLoopBeforeTouchingItsContainers)
{
    AppSandbox box;
    CallRecorder& calls = box.subsystems().calls;
    std::atomic<bool> loopRunningAtRemoval{true};
    box.subsystems().on["removeAllTraffic"] = [&] { loopRunningAtRemoval = g_mainLoopRunning.load(); };
    gf_markMainLoopStarted();
    gf_exit(ExitReason::SIM_WAS_CLOSED, 0);
    ASSERT_TRUE(calls.waitFor("stopReaders", 5s));
    // The exit thread now waits for the main loop; nothing of the containers has been touched.
    EXPECT_EQ(calls.count("removeAllTraffic"), 0);
    EXPECT_TRUE(g_exitRequested.load());  // what the main loop leaves on
    gf_markMainLoopEnded();
    ASSERT_TRUE(gf_waitFinalExitDone(10s));
    EXPECT_EQ(calls.count("removeAllTraffic"), 1);
    EXPECT_FALSE(loopRunningAtRemoval.load());
}

TEST(Exit, SimClientKeepsFlushingRemovalsUntilTheQueueIsEmpty)
{
    AppSandbox box;
    RecordingSubsystems& subsystems = box.subsystems();
    // A simulator client that removes one queued object per "frame" until it is asked to stop.
    std::mutex queueMutex;
    std::deque<int> removeQueue;
    std::vector<int> removed;
    std::atomic<bool> clientStarted{false};
    std::atomic<std::size_t> leftAtStop{99};
    subsystems.simClient = [&](std::stop_token stop) {
        clientStarted = true;
        while (!stop.stop_requested()) {
            {
                std::lock_guard lock(queueMutex);
                if (!removeQueue.empty()) {
                    removed.push_back(removeQueue.front());
                    removeQueue.pop_front();
                }
            }
            std::this_thread::sleep_for(1ms);
        }
        std::lock_guard lock(queueMutex);
        leftAtStop = removeQueue.size();
    };
    subsystems.on["removeAllTraffic"] = [&] {
        std::lock_guard lock(queueMutex);
        for (int id = 1; id <= 20; ++id)
            removeQueue.push_back(id);
    };
    subsystems.answers[Question::RemovalQueueEmpty] = [&] {
        std::lock_guard lock(queueMutex);
        return removeQueue.empty();
    };
    // Start the client the way the start-up does (exit raised at once: no readers, no main loop).
    subsystems.loginAnswer = [] {
        gf_exit(ExitReason::SIM_WAS_CLOSED, 0);
        return LoginOutcome::Refused;
    };
    lf_runReadersAndLoop();
    ASSERT_TRUE(gf_waitFinalExitDone(10s));
    EXPECT_TRUE(clientStarted.load());
    EXPECT_EQ(leftAtStop.load(), 0u);
    EXPECT_EQ(removed.size(), 20u);
    EXPECT_FALSE(gf_simClientRunning());
}

TEST(Exit, HandleExceptionTextsAndSystemError)
{
    struct Case {
        std::exception_ptr error;
        std::string logged;
    };
    std::exception_ptr formatError;
    try {
        (void)tvx::vformat("{:d}", tvx::make_format_args("text"));
    } catch (...) {
        formatError = std::current_exception();
    }
    ASSERT_TRUE(formatError);
    const Case cases[] = {
        {formatError, "std::format error: "},
        {std::make_exception_ptr(std::runtime_error("disk full")), "SimClient: disk full"},
        {std::make_exception_ptr(42), "Unknown exception"},
    };
    for (const Case& c : cases) {
        AppSandbox box;
        lf_handleException("SimClient", c.error);
        ASSERT_TRUE(gf_waitFinalExitDone(10s));
        EXPECT_NE(box.logText().find(c.logged), std::string::npos) << c.logged;
        EXPECT_NE(box.logText().find("Exiting: SYSTEM ERROR"), std::string::npos);
        EXPECT_EQ(g_exitReason.load(), ExitReason::SYSTEM_ERROR);
        EXPECT_NE(gf_errorLineText().find(c.logged), std::string::npos);
        EXPECT_EQ(nextAppMessage(2s), g_msgQuit);
    }
}

TEST(Exit, InProcessRestartRunsTheStartUpAgain)
{
    AppSandbox box;
    RecordingSubsystems& subsystems = box.subsystems();
    CallRecorder& calls = subsystems.calls;
    std::atomic<int> mainLoopWakes{0};
    subsystems.answers[Question::FlightRunning] = [] { return true; };
    subsystems.on["flightWake"] = [&] { ++mainLoopWakes; };
    ASSERT_TRUE(gf_initAppFolder());

    const int startsBefore = gf_startUpCount();
    gf_handleAppMessage(g_msgStartUp);
    ASSERT_TRUE(calls.waitFor("login", 10s));
    while (!g_mainLoopRunning.load() || mainLoopWakes.load() < 5)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(gf_startUpCount(), startsBefore + 1);

    gf_exit(ExitReason::RESTART, 2);
    ASSERT_EQ(nextAppMessage(10s), g_msgStartUp);
    EXPECT_NE(box.logText().find("Exiting: RESTART"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(gf_settingsPath()));  // settings saved at exit
    calls.clear();
    gf_handleAppMessage(g_msgStartUp);  // the window's WM_APP+1: the sequence starts again
    ASSERT_TRUE(calls.waitFor("login", 10s));
    EXPECT_EQ(gf_startUpCount(), startsBefore + 2);
    EXPECT_FALSE(g_exitRequested.load());
    EXPECT_EQ(calls.indexOf("airports") < calls.indexOf("traffic"), true);

    // A second exit is taken again in the new run.
    gf_exit(ExitReason::SIM_WAS_CLOSED, 0);
    ASSERT_EQ(nextAppMessage(10s), g_msgQuit);
    gf_joinStartUpThread();
    EXPECT_NE(box.logText().find("Exiting: SIM WAS CLOSED"), std::string::npos);
}

}  // namespace
