// The start-up thread: started by WM_APP+1 on the window thread, it runs the start-up sequence
// (lf_startUpTavix), then sets up the simulator client and the traffic readers and becomes the main
// loop (lf_runReadersAndLoop). It owns the simulator client's joinable thread, which FinalExit stops
// through its stop token once the removal queue has drained.
#include "app/startup.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "app/data_packs.h"
#include "app/exit.h"
#include "app/main_loop.h"
#include "app/subsystems.h"
#include "foundation/data_folders.h"
#include "foundation/errors.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "win32/win_api.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void (*g_startUpSleep)(std::chrono::milliseconds) = [](std::chrono::milliseconds wait) {
    std::this_thread::sleep_for(wait);
};

namespace {

// Guards the two thread objects; taken by the window thread (start, join) and the exit thread (stop).
std::mutex g_threadsMutex;
std::thread g_startUpThread;
std::jthread g_simClientThread;

std::atomic<int> g_startUpCount{0};
// The write problems of Log.txt and parameters.xml last shown on the error line.
std::mutex g_writeProblemsMutex;
std::string g_shownLogProblem;
std::string g_shownSettingsProblem;
// steady_clock time of the last logout in nanoseconds; 0 before any logout.
std::atomic<std::int64_t> g_lastLogoutNs{0};

bool lf_exiting()
{
    return g_exitRequested.load() || g_shuttingDown.load();
}

// Waits in steps until the condition holds; false when the steps ran out or the program exits.
template <typename Cond>
bool lf_waitSteps(Cond cond, int steps, std::chrono::milliseconds step)
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

// The live limit outside a parking file and the airport list; the airport list's exception passes
// on to the start-up thread's handler. (The package folders were found right after the settings
// load, since the livery scan walks them.)
void lf_detectInstallPath()
{
    g_maxLiveOutsidePark.store(g_optMaxLive.value());
    gf_subsystems().startUpStep(StartUpStep::Airports);
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

bool lf_ask(Question question)
{
    return gf_subsystems().ask(question);
}

void lf_startReader(Reader reader, Question running, const char* name)
{
    std::thread([reader, name] {
        try {
            gf_subsystems().runReader(reader);
        } catch (...) {
            lf_handleException(name, std::current_exception());
        }
    }).detach();
    if (!lf_waitSteps([running] { return lf_ask(running); }, 10, 300ms) && !lf_exiting())
        gf_logError("{} did not start", name);
}

}  // namespace

void gf_showWriteProblems(bool again)
{
    const std::string log = gf_logProblem();
    const std::string settings = gf_settingsWriteProblem();
    std::lock_guard lock(g_writeProblemsMutex);
    if (again) {
        g_shownLogProblem.clear();
        g_shownSettingsProblem.clear();
    }
    // Not logged again: the log has its own line of the problem, or cannot take one.
    auto show = [](std::string& shown, const std::string& problem, const char* file) {
        if (problem == shown)
            return;
        shown = problem;
        if (!problem.empty())
            gf_showErrorLine(tvx::format("{} cannot be written: {}", file, problem));
    };
    show(g_shownLogProblem, log, "Log.txt");
    show(g_shownSettingsProblem, settings, "parameters.xml");
}

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
    gf_showWriteProblems(true);
    gf_enableAllControls(false);

    if (!lf_checkOwnFolder())
        return false;
    Subsystems& subsystems = gf_subsystems();
    subsystems.startUpStep(StartUpStep::SimulatorFolders);
    if (!gf_loadSettings())
        gf_setStatusLine("parameters.xml could not be used as it was, see Log.txt", true);
    gf_showWriteProblems(false);
    lf_applyLoadedSettings();
    subsystems.startUpStep(StartUpStep::SelectedSimulator);

    gf_updateDataPacks();
    subsystems.startUpStep(StartUpStep::AircraftData);

    lf_detectInstallPath();
    if (g_optScanAirports.value() && !lf_exiting())
        subsystems.startUpStep(StartUpStep::AddonAirports);
    if (lf_exiting())
        return false;

    lf_holdForService();
    subsystems.startUpStep(StartUpStep::Parking);
    gf_enableAllControls(true);
    subsystems.startUpStep(StartUpStep::Controls);
    return !lf_exiting();
}

bool lf_requestUserAcOnGround()
{
    Subsystems& subsystems = gf_subsystems();
    if (!lf_waitSteps([] { return lf_ask(Question::FlightRunning); }, INT32_MAX, 100ms))
        return false;
    if (!subsystems.requestUserAc(UserAcRequest::OnGround))
        gf_logError("SimConnect request ac gnd/air fails");
    while (!subsystems.ask(Question::UserPositionSet)) {
        if (lf_exiting())
            return false;
        subsystems.requestUserAc(UserAcRequest::Position);
        g_startUpSleep(500ms);
    }
    subsystems.requestUserAc(UserAcRequest::Title);
    return lf_waitSteps([] { return lf_ask(Question::UserPositionSet); }, INT32_MAX, 200ms);
}

void lf_runReadersAndLoop()
{
    Subsystems& subsystems = gf_subsystems();
    subsystems.startUpStep(StartUpStep::Traffic);
    {
        std::lock_guard lock(g_threadsMutex);
        g_simClientThread = std::jthread([](std::stop_token stop) {
            try {
                gf_subsystems().runSimClient(stop);
            } catch (...) {
                lf_handleException("SimClient", std::current_exception());
            }
        });
    }
    subsystems.acceptTraffic(false);
    subsystems.requestUserAc(UserAcRequest::State);

    const LoginOutcome login = subsystems.login();
    if (login == LoginOutcome::Refused) {
        if (gf_errorLineText().empty())
            gf_setErrorLine("login to the traffic service failed");
    } else {
        // A service that did not answer yet is asked again by the readers, as after an outage
        // in mid-run; the status line tells when, and the traffic starts once it answers.
        lf_startReader(Reader::Weather, Question::WeatherReaderRunning, "gf_weatherReader");
        lf_startReader(Reader::Traffic, Question::TrafficReaderRunning, "gf_trafficReader");
        // Traffic is asked for around the user aircraft: without its position (no simulator, or no
        // flight yet) there is no region, and the status line keeps saying what the user must do.
        if (login == LoginOutcome::Session &&
            !lf_waitSteps([] { return lf_ask(Question::FirstTrafficReceived); }, 150, 100ms) && !lf_exiting() &&
            lf_ask(Question::UserPositionSet))
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
    gf_startExitThread();
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
