// Fault runs of the whole program on the demo's Keflavik traffic (lateral range 5 nm, scenario
// seconds from 270): the traffic service failing for a while, the simulator refusing a livery,
// the simulator quitting mid-run, and a restart in the same process. The program goes on where it
// should, exits where it should, and leaves no object behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

#include "app/exit.h"
#include "app/startup.h"
#include "foundation/format.h"
#include "frame/status.h"
#include "traffic_service/traffic_client.h"
#include "e2e/e2e_checks.h"
#include "e2e/e2e_world.h"
#include "simulator/ai_tick.h"
#include "simconnect/standin_sim.h"

namespace {

using namespace std::chrono_literals;
using namespace tvxtest;

E2eSetup lf_setup()
{
    E2eSetup setup;
    setup.replayStart = 270.0;
    setup.settings = {{"AUTO_RANGE", "false"}, {"LATERAL_RANGE", "5"}};
    // The live road alone: with no park airport in sight the aircraft at the gates are live traffic.
    setup.editDownloadTree = [](const std::filesystem::path& tree) { gf_dropFromAirportList(tree, "BIKF"); };
    return setup;
}

TEST(E2eFaults, TrafficServiceFailsForAWhileAndTheTrafficGoesOn)
{
    E2eWorld world(lf_setup());
    world.start();
    ASSERT_TRUE(world.runUntilSimSecond(45.0)) << world.logText();
    ASSERT_GT(gf_createdObjects().size(), 3u) << world.logText();

    // Broken replies, then server errors, then a forgotten session: each for a few requests.
    const int before = world.traffic().stats().traffic;
    world.traffic().setFault(tvxstandin::StandinFault::Malformed, 4, "traffic");
    ASSERT_TRUE(world.traffic().waitFor([&](const auto& s) { return s.traffic >= before + 4; }, 20s));
    world.traffic().setFault(tvxstandin::StandinFault::WrongTypes, 3, "traffic");
    ASSERT_TRUE(world.traffic().waitFor([&](const auto& s) { return s.traffic >= before + 7; }, 20s));
    // Server errors for 80 simulated seconds (a request every 2): long enough for the program to
    // give up on the aircraft it flies.
    world.traffic().failNext("traffic", 500, 40);
    // (Forced statuses do not count as traffic replies: the next sound one does.)
    ASSERT_TRUE(world.traffic().waitFor([&](const auto& s) { return s.traffic >= before + 8; }, 60s));
    const int logins = world.traffic().stats().auth;
    world.traffic().expireSessions();
    ASSERT_TRUE(world.traffic().waitFor([&](const auto& s) { return s.auth > logins; }, 20s));
    const std::uint64_t faultsOver = simstandin::sim().frameCount();
    const double faultsOverSecond = world.simSeconds();

    // The traffic comes back: the aircraft are created again, the program is still running.
    ASSERT_TRUE(world.runUntilSimSecond(faultsOverSecond + 45.0)) << world.logText();
    EXPECT_GT(gf_createdAfter(faultsOver), 0u) << world.logText();
    EXPECT_FALSE(g_exitRequested.load());

    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    gf_expectNothingLeft();
    const std::string log = world.logText();
    EXPECT_NE(log.find("===> traffic request: broken reply from traffic"), std::string::npos) << log;
    EXPECT_NE(log.find("===> traffic request: status 500"), std::string::npos) << log;
    EXPECT_NE(log.find("Exiting: USER CLOSED SIM"), std::string::npos);
    EXPECT_EQ(gf_otherErrorLines(log, {"traffic request: ", "entries dropped", "entry dropped"}),
              std::vector<std::string>{});
}

// The service is out of reach for the first 35 s (nothing answers at its address): the start-up
// goes on without a session, the status line tells when the next login comes, the logins come
// further and further apart, and the traffic starts once the service answers, without a restart.
TEST(E2eFaults, TrafficServiceOutOfReachAtStartUpAndTheTrafficStartsWhenItAnswers)
{
    E2eWorld world(lf_setup());
    const std::string address = g_trafficClient.apiBase();
    const std::string nowhere = "http://127.0.0.1:1/v5";
    g_trafficClient.setApiBase(nowhere);
    world.start();
    const auto outageEnd = std::chrono::steady_clock::now() + 35s;
    bool shown = false;
    while (std::chrono::steady_clock::now() < outageEnd) {
        shown = shown || gf_statusLineText().find("Traffic service not answering, next login in ") == 0;
        std::this_thread::sleep_for(5ms);
    }
    g_trafficClient.setApiBase(address);
    const std::string outageLog = world.logText();
    EXPECT_TRUE(shown);
    EXPECT_EQ(world.traffic().stats().auth, 0);
    // Tries at 0, 2, 6, 14 and 30 s, the waits after them growing, each on the status line.
    std::size_t at = 0;
    for (const char* wait : {"2", "4", "8", "16"}) {
        at = outageLog.find(tvx::format("\nTraffic service not answering, next login in {} seconds...\n", wait), at);
        ASSERT_NE(at, std::string::npos) << wait << "\n" << outageLog;
    }
    EXPECT_EQ(gf_errorLineText(), "");

    ASSERT_TRUE(world.stepWhile([] { return gf_createdObjects().size() <= 3; }, 90s)) << world.logText();
    EXPECT_EQ(gf_startUpCount(), 1);
    EXPECT_EQ(world.traffic().stats().auth, 1);
    EXPECT_EQ(gf_statusLineText().find("Traffic service not answering"), std::string::npos) << gf_statusLineText();
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 30.0)) << world.logText();

    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    EXPECT_EQ(world.exitCode(), 0);
    gf_expectNothingLeft();
    const std::string log = world.logText();
    EXPECT_NE(log.find("===> traffic service login: no reply from " + nowhere + "/auth"), std::string::npos) << log;
    EXPECT_NE(log.find("traffic service: logged in"), std::string::npos) << log;
    EXPECT_EQ(log.find("No traffic in this region?"), std::string::npos) << log;
    // The readers' requests found no session while the logins failed.
    EXPECT_EQ(gf_otherErrorLines(log, {"traffic service login: no reply from " + nowhere, ": no session"}),
              std::vector<std::string>{});
}

TEST(E2eFaults, RefusedLiveryIsSkippedForEveryLaterAircraft)
{
    E2eWorld world(lf_setup());
    world.refuseTitle("Tavix Demo B752 Icelandair");
    world.start();
    ASSERT_TRUE(world.runUntilSimSecond(90.0)) << world.logText();

    // Aircraft matched before the first refusal came back are refused too, each once; the title is
    // then remembered and the matching does not offer it again.
    std::set<std::string> refusedTails;
    for (const auto& c : simstandin::sim().creations()) {
        if (c.title != "Tavix Demo B752 Icelandair")
            continue;
        EXPECT_EQ(c.outcome, simstandin::CreationRec::Refused) << c.tail;
        EXPECT_TRUE(refusedTails.insert(c.tail).second) << c.tail << " offered twice with the refused title";
    }
    EXPECT_GE(refusedTails.size(), 1u);
    EXPECT_LT(refusedTails.size(), 20u);  // the twentieth refusal would end the traffic
    const std::string log = world.logText();
    for (const auto& tail : refusedTails)
        EXPECT_NE(log.find(tail + " \"Tavix Demo B752 Icelandair\" could not be created by your Sim!"), std::string::npos);
    std::size_t icelandair = 0;
    for (const auto& [id, c] : gf_createdObjects()) {
        const auto* track = world.trackOfCallsign(c.tail);
        ASSERT_NE(track, nullptr);
        if (track->type == "B752") {
            EXPECT_EQ(c.title, "Tavix Demo B752 House") << c.tail;
            ++icelandair;
        }
    }
    EXPECT_GE(icelandair, 3u);

    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    gf_expectNothingLeft();
    EXPECT_EQ(gf_errorLines(world.logText()), std::vector<std::string>{});
}

TEST(E2eFaults, SimulatorQuitsMidRunAndTheProgramEnds)
{
    E2eWorld world(lf_setup());
    world.start();
    ASSERT_TRUE(world.runUntilSimSecond(60.0)) << world.logText();
    ASSERT_GT(gf_createdObjects().size(), 3u) << world.logText();

    const std::uint64_t quitFrame = simstandin::sim().frameCount();
    simstandin::sim().quit();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    // The simulator took its world with it; the program only winds its connection down: no
    // creations, removals or position writes go to a simulator that has quit.
    for (const auto& call : simstandin::sim().calls()) {
        if (call.frame <= quitFrame)
            continue;
        EXPECT_NE(call.call, simstandin::Call::AICreateNonATCAircraft) << call.args;
        EXPECT_NE(call.call, simstandin::Call::AIRemoveObject) << call.args;
        EXPECT_NE(call.call, simstandin::Call::SetDataOnSimObject) << call.args;
    }
    EXPECT_EQ(world.exitCode(), 0);
    const std::string log = world.logText();
    EXPECT_NE(log.find("Flight Simulator no longer connected, Tavix will stop ..."), std::string::npos) << log;
    EXPECT_NE(log.find("Exiting: SIM WAS CLOSED"), std::string::npos) << log;
    EXPECT_TRUE(g_liveAc.empty()) << g_liveAc.size() << " live aircraft kept";
    EXPECT_TRUE(g_removeRequests.empty());
    EXPECT_TRUE(g_liveCreateRequests.empty());
    // A simulator that quits is no fault: the closed connection and the removals that have nobody
    // to go to are said plainly. Only a call already on its way as the simulator went may find
    // nobody: a lights command of an aircraft in its first seconds, or the main loop's request for
    // the aircraft in range when its tick comes before the simulator's quit message is read (on a
    // busy machine).
    EXPECT_NE(log.find("\nSimConnect connection already closed: the simulator has quit\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nThe simulator has quit: its AI objects went with it, no removals sent\n"), std::string::npos)
        << log;
    EXPECT_EQ(gf_otherErrorLines(log, {"SimConnect gf_allLightsToggle fails",
                                       "SimConnect request ac within range fails"}),
              std::vector<std::string>{});
}

// An airport list that cannot be read ends the run through the program's own exit, and the process
// says so in its exit status (it returned 0 after "Exiting: SYSTEM ERROR").
TEST(E2eFaults, AnUnreadableAirportListEndsTheRunWithAFailureStatus)
{
    E2eSetup setup = lf_setup();
    setup.editDownloadTree = [](const std::filesystem::path& tree) { writeFile(tree / "data" / "airports_msfs.xml", ""); };
    E2eWorld world(setup);
    world.start();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    const std::string log = world.logText();
    EXPECT_NE(log.find("Exiting: SYSTEM ERROR"), std::string::npos) << log;
    EXPECT_EQ(world.exitCode(), 1) << log;
    gf_expectNothingLeft();
}

TEST(E2eFaults, RestartInTheSameProcessStartsTheTrafficAgain)
{
    E2eWorld world(lf_setup());
    world.start();
    ASSERT_TRUE(world.runUntilSimSecond(60.0)) << world.logText();
    const auto firstRun = gf_createdObjects();
    ASSERT_GT(firstRun.size(), 3u) << world.logText();

    gf_exit(ExitReason::RESTART, 1);
    ASSERT_TRUE(world.stepWhile([] { return gf_startUpCount() < 2; }, 60s)) << world.logText();
    // Every object of the first run was removed by the program before the new start.
    for (const auto& [id, c] : firstRun) {
        bool removed = false;
        for (const auto& r : simstandin::sim().removals())
            removed = removed || (r.objectId == id && r.packet != 0 && r.exception == 0);
        EXPECT_TRUE(removed) << c.tail;
    }
    const std::uint64_t restartFrame = simstandin::sim().frameCount();
    ASSERT_TRUE(world.runUntilSimSecond(world.simSeconds() + 60.0)) << world.logText();
    EXPECT_GT(gf_createdAfter(restartFrame), 3u) << world.logText();
    // Each aircraft exists once in the simulator.
    std::set<std::string> tails;
    for (const auto& o : simstandin::sim().objects()) {
        if (o.own) {
            EXPECT_TRUE(tails.insert(o.atcId).second) << o.atcId << " twice";
        }
    }

    world.closeWindow();
    ASSERT_TRUE(world.waitEnded(60s)) << world.logText();
    gf_expectNothingLeft();
    const std::string log = world.logText();
    EXPECT_NE(log.find("Exiting: RESTART"), std::string::npos) << log;
    EXPECT_NE(log.find("Exiting: USER CLOSED SIM"), std::string::npos) << log;
    EXPECT_EQ(gf_errorLines(log), std::vector<std::string>{});
}

}  // namespace
