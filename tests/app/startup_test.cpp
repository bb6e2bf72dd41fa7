// The start-up sequence with recorded hooks and a recorded sleep: the order of its steps, the
// traffic-service hold, the bounded waits for the readers and the first traffic, the user-aircraft
// requests, and an airport-list failure ending the program with SYSTEM ERROR.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/entry.h"
#include "app/exit.h"
#include "app/startup.h"
#include "app/status.h"
#include "app/window_model.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "support/app_sandbox.h"
#include "win32/window_model.h"

namespace {

using namespace std::chrono_literals;
using tvxtest::AppSandbox;
using tvxtest::CallRecorder;

struct SleepRecorder {
    SleepRecorder()
    {
        g_startUpSleep = [this](std::chrono::milliseconds wait) {
            waits.push_back(wait.count());
            if (onSleep)
                onSleep();
        };
    }
    int count(long long ms) const { return static_cast<int>(std::count(waits.begin(), waits.end(), ms)); }
    std::vector<long long> waits;
    std::function<void()> onSleep;
};

void recordStartUpHooks(CallRecorder& calls)
{
    auto rec = [&calls](const char* name) { return [&calls, name] { calls.add(name); }; };
    g_hooks.detectCommunityFolder = rec("detectCommunityFolder");
    g_hooks.detectInstallPath = rec("detectInstallPath");
    g_hooks.writeKeyFileTemplate = rec("writeKeyFileTemplate");
    g_hooks.loadAircraftDatabase = rec("loadAircraftDatabase");
    g_hooks.liveryScanDue = [&calls] {
        calls.add("liveryScanDue");
        return true;
    };
    g_hooks.scanLiveries = rec("scanLiveries");
    g_hooks.readAirports = rec("readAirports");
    g_hooks.scanAddonAirports = rec("scanAddonAirports");
    g_hooks.prepareFlightPlanFolder = rec("prepareFlightPlanFolder");
    g_hooks.readMyParkAirports = rec("readMyParkAirports");
    g_hooks.enableControls = rec("enableControls");
}

TEST(StartUp, StepsInOrder)
{
    for (const bool scanAirports : {true, false}) {
        AppSandbox box;
        SleepRecorder sleeps;
        CallRecorder calls;
        recordStartUpHooks(calls);
        ASSERT_TRUE(gf_initAppFolder());
        g_optScanAirports.set(scanAirports);
        // parameters.xml holds the choice, as the user's settings file would.
        g_optScanAirports.save();
        ASSERT_TRUE(lf_startUpTavix());
        std::vector<std::string> expected{"detectCommunityFolder", "detectInstallPath", "writeKeyFileTemplate",
                                          "loadAircraftDatabase",  "liveryScanDue",     "scanLiveries",
                                          "readAirports",          "scanAddonAirports", "prepareFlightPlanFolder",
                                          "readMyParkAirports",    "enableControls"};
        if (!scanAirports)
            expected.erase(std::find(expected.begin(), expected.end(), "scanAddonAirports"));
        EXPECT_EQ(calls.calls(), expected);
        EXPECT_TRUE(gf_paintedValues().controlsEnabled);
        EXPECT_TRUE(std::filesystem::is_directory("airports/learned"));
        EXPECT_TRUE(sleeps.waits.empty());  // no hold without an earlier logout
    }
}

TEST(StartUp, LoadedSettingsShownInTheControlsAndEnabled)
{
    AppSandbox box;
    SleepRecorder sleeps;
    ASSERT_TRUE(gf_initAppFolder());
    g_optWeek.set(true);
    g_optAirportRange.set(25);
    g_optDestination.set("LSZH");
    ASSERT_TRUE(gf_saveSettings());
    for (Parameter* p : gf_allParameters())
        p->resetToDefault();
    gf_resetSettingsStore();
    ASSERT_TRUE(initInstance());  // controls show the defaults, disabled
    EXPECT_FALSE(win32::windowModel().checked(g_optWeek.controlId()));
    EXPECT_FALSE(win32::windowModel().enabled(g_optWeek.controlId()));

    ASSERT_TRUE(lf_startUpTavix());
    EXPECT_TRUE(win32::windowModel().checked(g_optWeek.controlId()));
    EXPECT_EQ(win32::windowModel().text(g_optAirportRange.controlId()), "25");
    EXPECT_EQ(win32::windowModel().text(g_optDestination.controlId()), "LSZH");
    EXPECT_EQ(win32::windowModel().text(g_optMaxFitFl.controlId()), "24.0");
    EXPECT_TRUE(win32::windowModel().enabled(g_optWeek.controlId()));
    EXPECT_FALSE(win32::windowModel().enabled(g_optLateralRange.controlId()));  // AUTO_RANGE on by default
}

TEST(StartUp, ExitDuringTheScansStopsBeforeTheTrafficStarts)
{
    AppSandbox box;
    SleepRecorder sleeps;
    CallRecorder calls;
    recordStartUpHooks(calls);
    ASSERT_TRUE(gf_initAppFolder());
    g_hooks.scanLiveries = [&] {
        calls.add("scanLiveries");
        gf_exit(ExitReason::SIM_WAS_CLOSED, 0);
    };
    g_optScanAirports.set(true);
    g_optScanAirports.save();
    EXPECT_FALSE(lf_startUpTavix());
    EXPECT_EQ(calls.count("scanAddonAirports"), 0);
    EXPECT_EQ(calls.count("prepareFlightPlanFolder"), 0);
    ASSERT_TRUE(gf_waitFinalExitDone(10s));
}

TEST(StartUp, HoldsForTheTrafficServiceAfterALogout)
{
    AppSandbox box;
    SleepRecorder sleeps;
    ASSERT_TRUE(gf_initAppFolder());
    gf_noteServiceLogout();
    EXPECT_EQ(gf_serviceHoldSeconds(), 2);
    ASSERT_TRUE(lf_startUpTavix());
    EXPECT_NE(box.logText().find("Holding for 2 seconds... (RT API cannnot be revisited within 2 seconds)"),
              std::string::npos);
    EXPECT_EQ(sleeps.count(1000), 2);
}

TEST(StartUp, AirportListFailureEndsWithSystemError)
{
    AppSandbox box;
    ASSERT_TRUE(gf_initAppFolder());
    g_hooks.readAirports = [] { throw std::runtime_error("88: input/airports_msfs.xml not loaded"); };
    StartUpThread();
    ASSERT_TRUE(gf_waitFinalExitDone(10s));
    EXPECT_EQ(g_exitReason.load(), ExitReason::SYSTEM_ERROR);
    EXPECT_NE(box.logText().find("lf_startUpTavix: 88: input/airports_msfs.xml not loaded"), std::string::npos);
    EXPECT_FALSE(gf_paintedValues().controlsEnabled);
}

TEST(StartUp, BoundedWaitsForReadersAndFirstTraffic)
{
    AppSandbox box;
    SleepRecorder sleeps;
    CallRecorder calls;
    g_hooks.login = [] { return true; };
    // Detached reader bodies may outlive the test: they touch nothing of it.
    g_hooks.weatherReader = [] {};
    g_hooks.trafficReader = [] {};
    g_hooks.weatherReaderRunning = [] { return false; };  // never reports: ten waits of 300 ms
    g_hooks.trafficReaderRunning = [] { return false; };
    g_hooks.firstTrafficReceived = [] { return false; };  // 150 waits of 100 ms
    // No flight: lf_requestUserAcOnGround waits in 100 ms steps until the program exits.
    g_hooks.flightRunning = [] { return false; };
    int flightPolls = 0;
    sleeps.onSleep = [&] {
        if (sleeps.count(100) == 150 + 5 && ++flightPolls == 1)
            gf_exit(ExitReason::SIM_WAS_CLOSED, 0);
    };
    g_hooks.updateAI = [&] { calls.add("updateAI"); };
    lf_runReadersAndLoop();
    EXPECT_EQ(sleeps.count(300), 20);
    EXPECT_EQ(sleeps.count(100), 155);
    EXPECT_NE(box.logText().find("No traffic in this region?"), std::string::npos);
    EXPECT_EQ(calls.count("updateAI"), 0);  // the main loop never started
    ASSERT_TRUE(gf_waitFinalExitDone(10s));
}

TEST(StartUp, UserAircraftRequestsUntilThePositionIsKnown)
{
    AppSandbox box;
    SleepRecorder sleeps;
    CallRecorder calls;
    int flightChecks = 0;
    int positionChecks = 0;
    g_hooks.flightRunning = [&] { return ++flightChecks > 3; };
    g_hooks.requestUserAcOnGround = [&] {
        calls.add("request108");
        return false;  // refused: logged, the start-up goes on
    };
    g_hooks.requestUserAcPosition = [&] { calls.add("position"); };
    g_hooks.requestUserAcTitle = [&] { calls.add("title"); };
    g_hooks.userAcPositionSet = [&] { return ++positionChecks > 2; };
    EXPECT_TRUE(lf_requestUserAcOnGround());
    EXPECT_EQ(calls.calls(), (std::vector<std::string>{"request108", "position", "position", "title"}));
    EXPECT_EQ(sleeps.count(100), 3);
    EXPECT_EQ(sleeps.count(500), 2);
    EXPECT_NE(box.logText().find("SimConnect request ac gnd/air fails"), std::string::npos);

    // The program exits while waiting for the flight: false.
    g_hooks.flightRunning = [] { return false; };
    sleeps.onSleep = [] { g_exitRequested.store(true); };
    EXPECT_FALSE(lf_requestUserAcOnGround());
}

}  // namespace
