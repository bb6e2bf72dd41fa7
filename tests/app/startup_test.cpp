// The start-up sequence with recorded subsystems and a recorded sleep: the order of its steps, the
// traffic-service hold, the bounded waits for the readers and the first traffic, the user-aircraft
// requests, and an airport-list failure ending the program with SYSTEM ERROR.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "app/entry.h"
#include "app/exit.h"
#include "app/startup.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "support/app_sandbox.h"
#include "support/full_disk_folder.h"
#include "win32/window_model.h"

namespace {

using namespace std::chrono_literals;
using tvxtest::AppSandbox;
using tvxtest::CallRecorder;
using tvxtest::RecordingSubsystems;

// Records the start-up's waits; one at a time (the sleep seam is a plain function).
struct SleepRecorder {
    SleepRecorder()
    {
        s_current = this;
        g_startUpSleep = [](std::chrono::milliseconds wait) {
            s_current->waits.push_back(wait.count());
            if (s_current->onSleep)
                s_current->onSleep();
        };
    }
    ~SleepRecorder()
    {
        g_startUpSleep = [](std::chrono::milliseconds) {};
        s_current = nullptr;
    }
    SleepRecorder(const SleepRecorder&) = delete;
    SleepRecorder& operator=(const SleepRecorder&) = delete;
    static inline SleepRecorder* s_current = nullptr;
    int count(long long ms) const { return static_cast<int>(std::count(waits.begin(), waits.end(), ms)); }
    std::vector<long long> waits;
    std::function<void()> onSleep;
};

TEST(StartUp, StepsInOrder)
{
    for (const bool scanAirports : {true, false}) {
        AppSandbox box;
        SleepRecorder sleeps;
        CallRecorder& calls = box.subsystems().calls;
        // The window's controls are on when the subsystems enable their parking controls.
        bool controlsOnFirst = false;
        box.subsystems().on["controls"] = [&] { controlsOnFirst = gf_paintedValues().controlsEnabled; };
        ASSERT_TRUE(gf_initAppFolder());
        g_optScanAirports.set(scanAirports);
        // parameters.xml holds the choice, as the user's settings file would.
        g_optScanAirports.save();
        ASSERT_TRUE(lf_startUpTavix());
        std::vector<std::string> expected{"simulatorFolders", "selectedSimulator", "aircraftData", "airports",
                                          "addonAirports",    "parking",           "controls"};
        if (!scanAirports)
            expected.erase(std::find(expected.begin(), expected.end(), "addonAirports"));
        EXPECT_EQ(calls.calls(), expected);
        EXPECT_TRUE(gf_paintedValues().controlsEnabled);
        EXPECT_TRUE(controlsOnFirst);
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
    CallRecorder& calls = box.subsystems().calls;
    ASSERT_TRUE(gf_initAppFolder());
    // The program is closed while the livery scan runs.
    box.subsystems().on["aircraftData"] = [] { gf_exit(ExitReason::SIM_WAS_CLOSED, 0); };
    g_optScanAirports.set(true);
    g_optScanAirports.save();
    EXPECT_FALSE(lf_startUpTavix());
    EXPECT_EQ(calls.count("addonAirports"), 0);
    EXPECT_EQ(calls.count("parking"), 0);
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

// The settings read well but cannot be written back (a full disk): the error line names the
// reason; the file itself was usable (the status line said it was not).
TEST(StartUp, SettingsThatCannotBeWrittenBackAreNamedOnTheErrorLine)
{
    AppSandbox box;
    ASSERT_TRUE(gf_initAppFolder());
    tvxtest::FullDiskFolder full(g_appFolder);
    ASSERT_TRUE(lf_startUpTavix());
    EXPECT_EQ(gf_errorLineText(), "Error parameters.xml cannot be written: " + full.cause());
    EXPECT_EQ(gf_statusLineText().find("could not be used as it was"), std::string::npos) << gf_statusLineText();
    if (full.mounted()) {
        EXPECT_NE(box.logText().find("parameters.xml.tmp could not be written: " + full.cause()), std::string::npos)
            << box.logText();
    }
}

// A Log.txt that cannot be written is named on the error line at the start.
TEST(StartUp, ALogThatCannotBeWrittenIsNamedOnTheErrorLine)
{
    AppSandbox box;
    ASSERT_TRUE(gf_initAppFolder());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(gf_openLog(box.path() / "gone", "1.0.0"));
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(lf_startUpTavix());
    EXPECT_EQ(gf_errorLineText(), "Error Log.txt cannot be written: " + std::generic_category().message(ENOENT));
}

TEST(StartUp, AirportListFailureEndsWithSystemError)
{
    AppSandbox box;
    ASSERT_TRUE(gf_initAppFolder());
    box.subsystems().on["airports"] = [] { throw std::runtime_error("88: input/airports_msfs.xml not loaded"); };
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
    RecordingSubsystems& subsystems = box.subsystems();
    CallRecorder& calls = subsystems.calls;
    // Detached reader bodies may outlive the test: the recording ones only record.
    subsystems.answers[Question::WeatherReaderRunning] = [] { return false; };  // never reports: ten waits of 300 ms
    subsystems.answers[Question::TrafficReaderRunning] = [] { return false; };
    subsystems.answers[Question::FirstTrafficReceived] = [] { return false; };  // 150 waits of 100 ms
    // No flight: lf_requestUserAcOnGround waits in 100 ms steps until the program exits.
    subsystems.answers[Question::FlightRunning] = [] { return false; };
    int flightPolls = 0;
    sleeps.onSleep = [&] {
        if (sleeps.count(100) == 150 + 5 && ++flightPolls == 1)
            gf_exit(ExitReason::SIM_WAS_CLOSED, 0);
    };
    lf_runReadersAndLoop();
    EXPECT_EQ(sleeps.count(300), 20);
    EXPECT_EQ(sleeps.count(100), 155);
    EXPECT_NE(box.logText().find("No traffic in this region?"), std::string::npos);
    EXPECT_EQ(calls.indexOf("traffic"), 0);  // containers and queues ready before anything starts
    EXPECT_LT(calls.indexOf("accept(false)"), calls.indexOf("login"));
    EXPECT_LT(calls.indexOf("userAc(state)"), calls.indexOf("login"));
    EXPECT_EQ(calls.count("flightWake"), 0);  // the main loop never started
    ASSERT_TRUE(gf_waitFinalExitDone(10s));
}

// Without the user aircraft's position (no simulator yet) no traffic can be asked for: the end of
// the first-traffic wait leaves the status line saying what the user must do.
TEST(StartUp, NoRegionWithoutASimulatorKeepsTheStatusLine)
{
    AppSandbox box;
    SleepRecorder sleeps;
    RecordingSubsystems& subsystems = box.subsystems();
    subsystems.answers[Question::FirstTrafficReceived] = [] { return false; };
    subsystems.answers[Question::UserPositionSet] = [] { return false; };
    subsystems.answers[Question::FlightRunning] = [] { return false; };
    gf_setStatusLine("SimConnect.dll not found in C:\\Tavix (MSFS_SDK not set)", true);
    int flightPolls = 0;
    std::string statusWhileWaitingForTheFlight;
    sleeps.onSleep = [&] {
        if (sleeps.count(100) == 150 + 1)
            statusWhileWaitingForTheFlight = gf_statusLineText();
        if (sleeps.count(100) == 150 + 5 && ++flightPolls == 1)
            gf_exit(ExitReason::SIM_WAS_CLOSED, 0);
    };
    lf_runReadersAndLoop();
    EXPECT_EQ(sleeps.count(100), 155);  // the first-traffic wait ran out
    EXPECT_EQ(statusWhileWaitingForTheFlight, "SimConnect.dll not found in C:\\Tavix (MSFS_SDK not set)");
    EXPECT_EQ(box.logText().find("No traffic in this region?"), std::string::npos);
    ASSERT_TRUE(gf_waitFinalExitDone(10s));
}

TEST(StartUp, UserAircraftRequestsUntilThePositionIsKnown)
{
    AppSandbox box;
    SleepRecorder sleeps;
    RecordingSubsystems& subsystems = box.subsystems();
    int flightChecks = 0;
    int positionChecks = 0;
    subsystems.answers[Question::FlightRunning] = [&] { return ++flightChecks > 3; };
    // The on-ground request is refused: logged, the start-up goes on.
    subsystems.userAcAnswer = [](UserAcRequest request) { return request != UserAcRequest::OnGround; };
    subsystems.answers[Question::UserPositionSet] = [&] { return ++positionChecks > 2; };
    EXPECT_TRUE(lf_requestUserAcOnGround());
    EXPECT_EQ(subsystems.calls.calls(),
              (std::vector<std::string>{"userAc(onGround)", "userAc(position)", "userAc(position)", "userAc(title)"}));
    EXPECT_EQ(sleeps.count(100), 3);
    EXPECT_EQ(sleeps.count(500), 2);
    EXPECT_NE(box.logText().find("SimConnect request ac gnd/air fails"), std::string::npos);

    // The program exits while waiting for the flight: false.
    subsystems.answers[Question::FlightRunning] = [] { return false; };
    sleeps.onSleep = [] { g_exitRequested.store(true); };
    EXPECT_FALSE(lf_requestUserAcOnGround());
}

}  // namespace
