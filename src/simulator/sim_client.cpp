// The SimConnect client thread: open with retry, registration, the 1 ms dispatch loop, its ways
// out (stop request, QUIT, exceptions) and the request-error limit. Everything here runs on the
// SimConnect thread except gf_simConnectError, which runs on whichever thread made the failed
// call, with g_simConnectMutex held, and gf_exitOnSimConnectErrors, which that thread calls once
// it has released the lock.
#include "simulator/sim_client.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/time_slots.h"
#include "frame/exit_request.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "simulator/command_queues.h"
#include "simconnect/simconnect_library.h"
#include "simulator/user_aircraft.h"
#include "win32/win_api.h"

HANDLE g_hSimConnect = nullptr;
std::atomic<bool> g_flightRunning{false};
std::uint32_t g_frameCount = 0;
std::atomic<float> g_frameRate{0.0f};
std::atomic<std::uint32_t> g_simErrorCount{0};
std::atomic<bool> g_simConnectFailed{false};
std::atomic<bool> g_simConnectedIndicator{false};

// The third request error makes the restart due; it is taken outside g_simConnectMutex, which
// then reaches no lock beyond the status line, the painted values and the log.
std::atomic<bool> g_simErrorExitDue{false};

// Set by the QUIT record; the dispatch loop then leaves through lf_closeSimConnect.
std::atomic<bool> g_simQuit{false};

namespace {
std::atomic<std::thread::id> g_simClientThreadId{};
}  // namespace

bool gf_onSimClientThread()
{
    return g_simClientThreadId.load() == std::this_thread::get_id();
}

namespace {

// At this many SimConnect request errors the program restarts, after this delay (s).
constexpr std::uint32_t kSimErrorsForRestart = 3;
constexpr int kSimErrorRestartSeconds = 10;

std::mutex g_simTextMutex;  // innermost; guards g_simulatorText
std::string g_simulatorText;

void lf_repaint()
{
    InvalidateRect(g_hWnd, nullptr, TRUE);
}

// Sleeps up to the given time; a stop request ends the wait early.
void lf_sleep(const std::stop_token& stopToken, std::chrono::milliseconds time)
{
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    cv.wait_for(lock, stopToken, time, [] { return false; });
}

bool lf_mustEnd(const std::stop_token& stopToken)
{
    return g_exitRequested.load() || g_shuttingDown.load() || stopToken.stop_requested();
}

// Unregisters and closes the connection; announce = the simulator went away (the program exits
// with SIM WAS CLOSED unless an exit is already under way).
void lf_disconnect(bool announce)
{
    g_simConnectedIndicator = false;
    lf_repaint();
    lf_unregisterSimConnect();
    // The handle is cleared before it is closed, so no other thread calls through a closed one.
    HANDLE closing = nullptr;
    {
        std::lock_guard lock(g_simConnectMutex);
        closing = std::exchange(g_hSimConnect, nullptr);
    }
    if (FAILED(SimConnect_Close(closing))) {
        // After a QUIT the simulator has dropped the connection itself, so closing it fails: no fault.
        if (g_simQuit.load())
            gf_log("SimConnect connection already closed: the simulator has quit");
        else
            gf_logError("SimConnect close failed!");
    }
    if (announce && !g_exitRequested.load()) {
        gf_log("{} Flight Simulator no longer connected, {} will stop ...", gf_utcClockText(),
               g_productName);
        gf_exit(ExitReason::SIM_WAS_CLOSED, 0);
    }
}

// Opens, registers and dispatches until a stop request or a QUIT. True: the thread is to end.
bool lf_runConnection(const std::stop_token& stopToken, bool& firstPass)
{
    if (firstPass) {
        firstPass = false;
        gf_setStatusLine(tvx::format("Waiting for MSFS {} ...", g_simIs2020.load() ? "2020" : "2024"),
                         true);
        lf_repaint();
    }
    HANDLE handle = nullptr;
    if (FAILED(SimConnect_Open(&handle, g_productName, nullptr, 0, nullptr, 0))) {
        // A SimConnect.dll that is missing or unusable is told once; the open is retried as usual.
        if (const std::string problem = gf_takeSimConnectLibraryProblem(); !problem.empty())
            gf_setStatusLine(problem, true);
        lf_sleep(stopToken, std::chrono::seconds(1));
        return false;
    }
    g_notYetConnected.exchange(false);
    // Creations and announcements of an earlier connection can never be matched on this one.
    gf_clearPendingCreations();
    g_simQuit = false;
    {
        // Other threads read the handle under this mutex when they call SimConnect: they see it
        // once the data definitions and events their requests name are registered (a request for
        // the user aircraft's state sent before them was lost, and the first traffic with it).
        std::lock_guard lock(g_simConnectMutex);
        g_hSimConnect = handle;
        lf_setupSimConnect();
    }
    // The 1 ms timer resolution lasts while the dispatch loop runs, whichever way it ends.
    struct TimerPeriod {
        TimerPeriod() { timeBeginPeriod(1); }
        ~TimerPeriod() { timeEndPeriod(1); }
    } timerPeriod;
    while (!stopToken.stop_requested()) {
        SimConnect_CallDispatch(g_hSimConnect, lf_simConnectDispatch, nullptr);
        if (g_simQuit.load()) {
            g_flightRunning = false;
            lf_closeSimConnect();
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    lf_disconnect(false);
    return true;
}

}  // namespace

std::string gf_simulatorText()
{
    std::lock_guard lock(g_simTextMutex);
    return g_simulatorText;
}

void lf_setSimulatorText(const std::string& text)
{
    {
        std::lock_guard lock(g_simTextMutex);
        g_simulatorText = text;
    }
    lf_repaint();
}

void gf_resetSimClientState()
{
    g_simConnectedIndicator = false;
    g_flightRunning = false;
    g_simQuit = false;
    g_frameCount = 0;
    g_simErrorCount = 0;
    g_simErrorExitDue = false;
    lf_setSimulatorText("");
}

bool gf_simHasQuit()
{
    return g_simQuit.load();
}

void lf_closeSimConnect()
{
    lf_disconnect(true);
}

void SimClient(std::stop_token stopToken)
{
    g_simClientThreadId = std::this_thread::get_id();
    bool firstPass = true;
    try {
        while (!lf_mustEnd(stopToken)) {
            if (lf_runConnection(stopToken, firstPass))
                break;
        }
    } catch (const tvx::UserErrorException& e) {
        // Wrong simulator or version: the link stays down until the user acts; not closed.
        gf_setErrorLine(e.what());
    } catch (const std::exception& e) {
        gf_setErrorLine(e.what());
        g_flightRunning = false;
        lf_closeSimConnect();
    } catch (...) {
        gf_setErrorLine(tvx::format("Exception in {}", "SimClient"));
        g_flightRunning = false;
        lf_closeSimConnect();
    }
    g_flightRunning = false;
    try {
        lf_checkUserStand();
    } catch (const std::exception& e) {
        gf_log("{}: {}", "SimClient", e.what());
    }
}

void gf_simConnectError()
{
    const std::uint32_t count = ++g_simErrorCount;
    if (count < kSimErrorsForRestart)
        return;
    gf_setStatusLine(tvx::format("SimConnect request error {}, see Log.txt", count), true);
    g_simConnectFailed = true;
    g_simErrorExitDue = true;
}

void gf_exitOnSimConnectErrors()
{
    if (g_simErrorExitDue.exchange(false))
        gf_exit(ExitReason::RESTART, kSimErrorRestartSeconds);
}
