// Fault runs a user meets, on the demo's Keflavik traffic with BIKF as the park airport: the disk
// full while the exit saves the settings, the learned file and Log.txt; the learned files' folder
// that cannot be made; the settings folder deleted while the program runs; the traffic service answering after 30 s and dropping the connection
// mid-body; the simulator stalling its frames for 10 s; the machine's clock set back an hour. In
// each the program goes on or exits through its own road, no data file is lost or half-written,
// and no object is left in the simulator.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/exit.h"
#include "e2e/e2e_checks.h"
#include "e2e/e2e_world.h"
#include "foundation/time_slots.h"
#include "simconnect/standin_sim.h"
#include "support/disk_full.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace tvxtest;

// A learned file of an earlier visit to Keflavik: one stand enlarged, one option learned.
const char* const kEarlierLearned = R"(<?xml version="1.0"?>
<meta>
	<info name="author" value="Tavix" />
	<info name="version" value="0.1.0" />
	<info name="date" value="2026-12-01" />
</meta>
<parameters>
	<parameter name="airport_name" value="Keflavik" />
	<parameter name="publisher" value="stock" />
</parameters>
<parkpositions>
	<parkpos id="1" radius="40.0">
		<opt reg="TF-FIA" airl="ICE" type="B752" day="1" hh="12,13" cs="ICE400" />
	</parkpos>
</parkpositions>
)";

// A freighter parked at a stand the parking file has for passengers: logged as learned.
const std::string kCargoLearned = "cargo attribute set to true";

E2eSetup lf_keflavikSetup()
{
    E2eSetup setup;
    setup.replayStart = 270.0;
    setup.settings = {{"AUTO_RANGE", "false"}, {"LATERAL_RANGE", "5"}};
    setup.flightLoaded = true;
    return setup;
}

fs::path lf_learnedFile(const E2eWorld& world)
{
    return world.folder() / "airports" / "learned" / "stock" / "BIKF.xml";
}

fs::path lf_settingsFile(const E2eWorld& world)
{
    return world.folder() / "roaming" / "Tavix" / "parameters.xml";
}

// Runs until the park airport's plan is in and a live aircraft has parked at a gate (a sighting
// to save), at most to simulated second 130.
void lf_runToParkedTraffic(E2eWorld& world)
{
    ASSERT_TRUE(world.runUntilSimSecond(20.0, 120s)) << world.logText();
    world.stepWhile([&] { return world.logText().find(" parks\n") == std::string::npos && world.simSeconds() < 130.0; },
                    150s);
    ASSERT_NE(world.logText().find("The park airport is BIKF (KEF)"), std::string::npos) << world.logText();
}

// No file of the program's own left half-written beside its data: no ".tmp" file anywhere.
void lf_expectNoTemporaries(const fs::path& folder)
{
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}

TEST(E2eFaults, DiskFullAtTheExitLosesNoFile)
{
    E2eWorld world(lf_keflavikSetup());
    writeFile(lf_learnedFile(world), kEarlierLearned);
    world.start();
    lf_runToParkedTraffic(world);
    ASSERT_GT(gf_createdObjects().size(), 3u) << world.logText();
    const std::string settings = readFile(lf_settingsFile(world));
    const std::string log = world.logText();
    ASSERT_NE(settings.find("name=\"LATERAL_RANGE\" value=\"5\""), std::string::npos) << settings;

    {
        // The exit saves the settings, the sightings into the learned file and its log lines onto
        // a full disk: each save fails, the old files stay whole, the program still exits.
        DiskFull full;
        world.closeWindow();
        ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    }
    EXPECT_EQ(world.exitCode(), 0);
    gf_expectNothingLeft();
    EXPECT_EQ(readFile(lf_settingsFile(world)), settings);
    EXPECT_EQ(readFile(lf_learnedFile(world)), kEarlierLearned);
    EXPECT_EQ(world.logText().substr(0, log.size()), log);
    lf_expectNoTemporaries(world.folder());
}

TEST(E2eFaults, LearnedFolderUnwritableAtTheExitLeavesNothingBehind)
{
    E2eWorld world(lf_keflavikSetup());
    world.start();
    lf_runToParkedTraffic(world);
    ASSERT_GT(gf_createdObjects().size(), 3u) << world.logText();
    // A file stands where the learned files' folder should be made (as on a read-only disk, the
    // folder cannot be made): the sightings cannot be saved, the exit goes its whole road.
    const fs::path folder = lf_learnedFile(world).parent_path();
    fs::remove_all(folder);
    writeFile(folder, "not a folder\n");

    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    EXPECT_EQ(world.exitCode(), 0);
    gf_expectNothingLeft();
    const std::string log = world.logText();
    EXPECT_NE(log.find("\"airports\\learned\\stock\\BIKF.xml\" could not be saved: "), std::string::npos) << log;
    EXPECT_EQ(readFile(folder), "not a folder\n");
    EXPECT_NE(readFile(lf_settingsFile(world)).find("name=\"LATERAL_RANGE\" value=\"5\""), std::string::npos);
    EXPECT_EQ(gf_otherErrorLines(log, {kCargoLearned, "could not be saved"}), std::vector<std::string>{});
}

// The service hangs on the logout at the exit: the logout gives up after 3 s, and the aircraft are
// removed and the settings and the sightings saved right after (the exit waited the transfer's
// 20 s before, the aircraft frozen in the simulator and nothing saved yet).
TEST(E2eFaults, TrafficServiceHangsAtTheExitAndTheExitGoesOn)
{
    E2eWorld world(lf_keflavikSetup());
    world.start();
    lf_runToParkedTraffic(world);
    ASSERT_GT(gf_createdObjects().size(), 3u) << world.logText();
    ASSERT_FALSE(fs::exists(lf_learnedFile(world)));
    fs::remove(lf_settingsFile(world));

    world.traffic().setSlowMs(60000);
    world.traffic().setFault(tvxstandin::StandinFault::Slow, 1, "deauth");
    const auto closed = std::chrono::steady_clock::now();
    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    // The readers' stop, the 3 s pause before the logout, at most 3 s of logout, the removals.
    EXPECT_LT(std::chrono::steady_clock::now() - closed, 12s);
    EXPECT_EQ(world.exitCode(), 0);
    gf_expectNothingLeft();
    const std::string log = world.logText();
    EXPECT_NE(log.find("===> traffic service logout: no reply from " + world.traffic().apiBase() + "/deauth"),
              std::string::npos) << log;
    EXPECT_NE(readFile(lf_learnedFile(world)).find("</parkpositions>"), std::string::npos) << log;
    EXPECT_NE(readFile(lf_settingsFile(world)).find("name=\"LATERAL_RANGE\" value=\"5\""), std::string::npos);
    EXPECT_EQ(gf_otherErrorLines(log, {kCargoLearned, "traffic service logout: no reply"}), std::vector<std::string>{});
}

TEST(E2eFaults, SettingsFolderDeletedWhileRunningIsMadeAgainAtTheExit)
{
    E2eWorld world(lf_keflavikSetup());
    world.start();
    ASSERT_TRUE(world.runUntilSimSecond(30.0)) << world.logText();
    const fs::path folder = lf_settingsFile(world).parent_path();
    const std::string logBefore = world.logText();
    fs::remove_all(folder);

    const std::uint64_t deleted = simstandin::sim().frameCount();
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 30.0)) << logBefore;
    EXPECT_GT(simstandin::sim().frameCount(), deleted);
    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << logBefore;
    EXPECT_EQ(world.exitCode(), 0);
    gf_expectNothingLeft();
    // The user's settings are saved again where they belong.
    const std::string settings = readFile(lf_settingsFile(world));
    EXPECT_NE(settings.find("name=\"LATERAL_RANGE\" value=\"5\""), std::string::npos) << settings;
    EXPECT_NE(settings.find("name=\"AUTO_RANGE\" value=\"false\""), std::string::npos) << settings;
    lf_expectNoTemporaries(world.folder());
}

TEST(E2eFaults, TrafficServiceSlowAndDroppingAndTheTrafficGoesOn)
{
    E2eWorld world(lf_keflavikSetup());
    world.start();
    ASSERT_TRUE(world.runUntilSimSecond(40.0)) << world.logText();
    ASSERT_GT(gf_createdObjects().size(), 3u) << world.logText();

    // One reply 30 s late (past the program's 20 s transfer limit), then two connections closed
    // half-way through the body.
    const int before = world.traffic().stats().traffic;
    world.traffic().setSlowMs(30000);
    world.traffic().setFault(tvxstandin::StandinFault::Slow, 1, "traffic");
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 4.0, 120s)) << world.logText();
    world.traffic().setFault(tvxstandin::StandinFault::Drop, 2, "traffic");
    ASSERT_TRUE(world.stepWhile([&] { return world.traffic().stats().traffic < before + 4; }, 120s))
        << world.logText();
    const std::uint64_t faultsOver = simstandin::sim().frameCount();
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 30.0)) << world.logText();
    EXPECT_GT(gf_positionWritesAfter(faultsOver), 100u) << world.logText();
    EXPECT_FALSE(g_exitRequested.load());

    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    EXPECT_EQ(world.exitCode(), 0);
    gf_expectNothingLeft();
    const std::string log = world.logText();
    EXPECT_NE(log.find("===> traffic request: no reply from"), std::string::npos) << log;
    // The weather request waits behind the late traffic reply on the simulated clock. The dropped
    // connections go to whichever traffic requests come next: on a busy machine the traffic reader's
    // request for the parked traffic may be one of them.
    EXPECT_EQ(gf_otherErrorLines(log, {"traffic request: ", "parked traffic: no reply from", "weather: no reply",
                                       kCargoLearned}),
              std::vector<std::string>{});
}

TEST(E2eFaults, SimulatorStallsItsFramesAndTheProgramGoesOn)
{
    E2eWorld world(lf_keflavikSetup());
    world.start();
    ASSERT_TRUE(world.runUntilSimSecond(40.0)) << world.logText();
    ASSERT_GT(gf_createdObjects().size(), 3u) << world.logText();

    // Ten seconds of the program's time (1000 main-loop wakes) without a frame.
    const std::uint64_t stalled = simstandin::sim().frameCount();
    world.stallFrames(1000);
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 30.0, 180s)) << world.logText();
    EXPECT_GT(gf_positionWritesAfter(stalled), 100u) << world.logText();
    EXPECT_FALSE(g_exitRequested.load());

    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    EXPECT_EQ(world.exitCode(), 0);
    gf_expectNothingLeft();
    EXPECT_EQ(gf_otherErrorLines(world.logText(), {kCargoLearned}), std::vector<std::string>{});
    EXPECT_EQ(simstandin::sim().takeUnexpectedViolations(), std::vector<std::string>{});
}

TEST(E2eFaults, ClockSetBackAnHourAndTheProgramGoesOn)
{
    E2eWorld world(lf_keflavikSetup());
    world.start();
    lf_runToParkedTraffic(world);
    ASSERT_GT(gf_createdObjects().size(), 3u) << world.logText();

    const std::uint64_t jumped = simstandin::sim().frameCount();
    gf_setFixedClock(gf_utcNowSeconds() - 3600);
    const bool ran = world.runUntilSimSecond(world.simSeconds() + 45.0);
    const std::size_t moved = gf_positionWritesAfter(jumped);
    world.closeWindow();
    const bool ended = world.waitEnded(60s);
    gf_releaseClock();
    ASSERT_TRUE(ran) << world.logText();
    ASSERT_TRUE(ended) << world.logText();
    EXPECT_GT(moved, 100u);
    EXPECT_EQ(world.exitCode(), 0);
    gf_expectNothingLeft();
    EXPECT_EQ(gf_otherErrorLines(world.logText(), {kCargoLearned}), std::vector<std::string>{});
    // The sightings saved at the exit are whole and carry the hour the clock showed.
    const std::string learned = readFile(lf_learnedFile(world));
    EXPECT_NE(learned.find("</parkpositions>"), std::string::npos) << learned << world.logText();
}

}  // namespace
