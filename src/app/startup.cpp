// The start-up thread: started by WM_APP+1 on the window thread, it runs the start-up sequence
// (lf_startUpTavix), then sets up the simulator client and the traffic readers and becomes the main
// loop (lf_runReadersAndLoop). It owns the simulator client's joinable thread, which FinalExit stops
// through its stop token once the removal queue has drained.
#include "app/startup.h"

#include <atomic>
#include <fstream>
#include <mutex>
#include <thread>

#include <nlohmann/json.hpp>

#include "app/downloads.h"
#include "app/exit.h"
#include "app/folders.h"
#include "app/hook_calls.h"
#include "app/main_loop.h"
#include "app/status.h"
#include "app/subsystem_hooks.h"
#include "app/window_model.h"
#include "foundation/errors.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "win32/win_api.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::function<void(std::chrono::milliseconds)> g_startUpSleep = [](std::chrono::milliseconds wait) {
    std::this_thread::sleep_for(wait);
};

namespace {

// Guards the two thread objects; taken by the window thread (start, join) and the exit thread (stop).
std::mutex g_threadsMutex;
std::thread g_startUpThread;
std::jthread g_simClientThread;

std::atomic<int> g_startUpCount{0};
// steady_clock time of the last logout in nanoseconds; 0 before any logout.
std::atomic<std::int64_t> g_lastLogoutNs{0};

bool lf_exiting()
{
    return g_exitRequested.load() || g_shuttingDown.load();
}

// Waits in steps until the condition holds; false when the steps ran out or the program exits.
bool lf_waitSteps(const std::function<bool()>& cond, int steps, std::chrono::milliseconds step)
{
    for (int i = 0;; ++i) {
        if (cond())
            return true;
        if (i >= steps || lf_exiting())
            return false;
        g_startUpSleep(step);
    }
}

// The program works in and below the working folder: it must be able to create its folders there.
bool lf_checkOwnFolder()
{
    std::error_code ec;
    const fs::path here = fs::current_path(ec);
    if (ec || !gf_prepareDataFolders()) {
        gf_setErrorLine(tvx::format("cannot create the program's folders in {}", here.string()));
        return false;
    }
    gf_log("working folder {}", here.string());
    return true;
}

// The service's key file RealTraffic.lic in the program's settings folder: when it is missing, a
// template with an empty "License" is written there, so the user only has to fill in the key.
void lf_writeKeyFileTemplate()
{
    if (g_hooks.writeKeyFileTemplate) {
        g_hooks.writeKeyFileTemplate();
        return;
    }
    const fs::path file = g_appFolder / "RealTraffic.lic";
    std::error_code ec;
    if (g_appFolder.empty() || fs::exists(file, ec))
        return;
    std::ofstream out(file, std::ios::binary);
    if (!out) {
        gf_logError("could not write the key file template {}", file.string());
        return;
    }
    out << nlohmann::json{{"License", ""}}.dump(4) << '\n';
    gf_log("key file template written: {}", file.string());
}

// The live limit outside a parking file and the airport list; the airport list's exception passes
// on to the start-up thread's handler. (The package folders were found right after the settings
// load, since the livery scan walks them.)
void lf_detectInstallPath()
{
    g_maxLiveOutsidePark.store(g_optMaxLive.value());
    gf_callHook(g_hooks.trimLiveToMaxLive);
    gf_callHook(g_hooks.readAirports);
}

// Values the window and the query keep beside the settings, taken once the settings are loaded.
void lf_applyLoadedSettings()
{
    g_manualLateralRange = g_optLateralRange.value();
    gf_setLateralRange(g_optLateralRange.value());
    g_maxLiveOutsidePark.store(g_optMaxLive.value());
    gf_showAllOptions();
}

void lf_holdForService()
{
    const int seconds = gf_serviceHoldSeconds();
    if (seconds <= 0)
        return;
    gf_setStatusLine(tvx::format("Holding for {} seconds... (RT API cannnot be revisited within 2 seconds)", seconds),
                     true);
    for (int left = seconds; left > 0 && !lf_exiting(); --left)
        g_startUpSleep(1000ms);
    gf_clearStatusLine();
}

void lf_startReader(const std::function<void()>& body, const std::function<bool()>& running, const char* name)
{
    if (!body)
        return;
    std::thread([body, name] {
        try {
            body();
        } catch (...) {
            lf_handleException(name, std::current_exception());
        }
    }).detach();
    if (!lf_waitSteps([&] { return gf_askHook(running, true); }, 10, 300ms) && !lf_exiting())
        gf_logError("{} did not start", name);
}

}  // namespace

int gf_startUpCount()
{
    return g_startUpCount.load();
}

void lf_resetStartUpCount()
{
    g_startUpCount.store(0);
}

void gf_noteServiceLogout()
{
    g_lastLogoutNs.store(std::chrono::steady_clock::now().time_since_epoch().count());
}

void lf_resetServiceHold()
{
    g_lastLogoutNs.store(0);
}

int gf_serviceHoldSeconds()
{
    const std::int64_t last = g_lastLogoutNs.load();
    if (last == 0)
        return 0;
    const auto since = std::chrono::steady_clock::now().time_since_epoch() - std::chrono::nanoseconds(last);
    const auto left = std::chrono::seconds(g_serviceHoldSeconds) - since;
    if (left <= 0s)
        return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::seconds>(left).count());
}

bool lf_startUpTavix()
{
    g_startUpCount.fetch_add(1);
    gf_clearErrorLine();
    gf_clearStatusLine();
    gf_enableAllControls(false);

    if (!lf_checkOwnFolder())
        return false;
    gf_callHook(g_hooks.detectCommunityFolder);
    if (!gf_loadSettings())
        gf_setStatusLine("parameters.xml could not be used as it was, see Log.txt", true);
    lf_applyLoadedSettings();
    gf_callHook(g_hooks.detectInstallPath);
    lf_writeKeyFileTemplate();

    gf_updateDataPacks();
    gf_callHook(g_hooks.loadAircraftDatabase);
    if (gf_askHook(g_hooks.liveryScanDue, false) && !lf_exiting())
        gf_callHook(g_hooks.scanLiveries);

    lf_detectInstallPath();
    if (g_optScanAirports.value() && !lf_exiting())
        gf_callHook(g_hooks.scanAddonAirports);
    if (lf_exiting())
        return false;

    lf_holdForService();
    gf_callHook(g_hooks.prepareFlightPlanFolder);
    gf_callHook(g_hooks.readMyParkAirports);
    gf_enableAllControls(true);
    gf_callHook(g_hooks.enableControls);
    return !lf_exiting();
}

bool lf_requestUserAcOnGround()
{
    if (!lf_waitSteps([] { return gf_askHook(g_hooks.flightRunning, false); }, INT32_MAX, 100ms))
        return false;
    if (!gf_askHook(g_hooks.requestUserAcOnGround, true))
        gf_logError("SimConnect request ac gnd/air fails");
    while (!gf_askHook(g_hooks.userAcPositionSet, true)) {
        if (lf_exiting())
            return false;
        gf_callHook(g_hooks.requestUserAcPosition);
        g_startUpSleep(500ms);
    }
    gf_callHook(g_hooks.requestUserAcTitle);
    return lf_waitSteps([] { return gf_askHook(g_hooks.userAcPositionSet, true); }, INT32_MAX, 200ms);
}

void lf_runReadersAndLoop()
{
    gf_callHook(g_hooks.reserveTrafficContainers);
    gf_callHook(g_hooks.resetSimQueues);
    if (g_hooks.simClient) {
        std::lock_guard lock(g_threadsMutex);
        g_simClientThread = std::jthread([](std::stop_token stop) {
            try {
                g_hooks.simClient(stop);
            } catch (...) {
                lf_handleException("SimClient", std::current_exception());
            }
        });
    }
    gf_callHook(g_hooks.acceptUdpMessages, false);
    gf_callHook(g_hooks.requestUserAcState);

    if (!gf_askHook(g_hooks.login, true)) {
        if (gf_errorLineText().empty())
            gf_setErrorLine("login to the traffic service failed");
    } else {
        lf_startReader(g_hooks.weatherReader, g_hooks.weatherReaderRunning, "gf_weatherReader");
        lf_startReader(g_hooks.trafficReader, g_hooks.trafficReaderRunning, "gf_trafficReader");
        if (!lf_waitSteps([] { return gf_askHook(g_hooks.firstTrafficReceived, true); }, 150, 100ms) && !lf_exiting())
            gf_setStatusLine("No traffic in this region?", true);
    }
    if (lf_exiting())
        return;
    if (!lf_requestUserAcOnGround())
        return;
    mainLoop();
}

void StartUpThread()
{
    gf_markMainLoopStarted();
    try {
        if (lf_startUpTavix())
            lf_runReadersAndLoop();
        else if (!lf_exiting())
            gf_exit(ExitReason::SYSTEM_ERROR, 0);
    } catch (...) {
        lf_handleException("lf_startUpTavix", std::current_exception());
    }
    gf_markMainLoopEnded();
}

void gf_startStartUpThread()
{
    gf_joinStartUpThread();  // the previous run's thread has left its main loop
    gf_joinExitThread();     // and its exit thread has posted this very message
    gf_resetExitState();
    std::lock_guard lock(g_threadsMutex);
    g_startUpThread = std::thread(StartUpThread);
}

void gf_joinStartUpThread()
{
    std::thread old;
    {
        std::lock_guard lock(g_threadsMutex);
        old = std::move(g_startUpThread);
    }
    if (old.joinable())
        old.join();
}

void gf_stopSimClient()
{
    std::jthread client;
    {
        std::lock_guard lock(g_threadsMutex);
        client = std::move(g_simClientThread);
    }
    if (client.joinable()) {
        client.request_stop();
        client.join();
    }
}

bool gf_simClientRunning()
{
    std::lock_guard lock(g_threadsMutex);
    return g_simClientThread.joinable();
}
