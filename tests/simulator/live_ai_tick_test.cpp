// The AI tick: pacing of removals, creations (live before static), the spawn request, the
// requests to the simulator, the erase of marked aircraft in order, the position hand-over at a
// low frame rate, and a tick that fails keeping its number.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "live_fixture.h"
#include "simulator/live_lifecycle.h"
#include "simulator/sim_client.h"

namespace {

using tvxtest::liveRecord;
using tvxtest::LiveTrafficTest;

class AiTick : public LiveTrafficTest {
protected:
    static CreateAcCmd command(const std::string& callsign, std::uint32_t hexid)
    {
        CreateAcCmd cmd;
        cmd.callsign = callsign;
        cmd.hexid = hexid;
        return cmd;
    }
    static std::vector<std::string> queuedCreations()
    {
        std::lock_guard lock(g_simConnectMutex);
        std::vector<std::string> callsigns;
        for (const auto& c : g_createAcCmds)
            callsigns.push_back(c.callsign);
        return callsigns;
    }
    static std::vector<std::uint32_t> queuedRemovals()
    {
        std::lock_guard lock(g_simConnectMutex);
        return g_removeAcCmds;
    }
};

TEST_F(AiTick, PacesRemovalsAndCreationsLiveBeforeStatic)
{
    for (std::uint32_t id = 1001; id <= 1020; ++id)
        g_removeRequests.push_back(id);
    g_liveCreateRequests = {command("LIVE1", 1), command("LIVE2", 2)};
    g_staticCreateRequests = {command("STAT1*", 3), command("STAT2*", 4)};
    std::vector<std::int32_t> parkStaticTicks;
    stands.onStaticParkWorkPending = [] { return true; };
    stands.onParkStatic = [&] { parkStaticTicks.push_back(g_tick.load()); };

    for (int i = 0; i <= 150; ++i)
        gf_updateAI();

    EXPECT_EQ(g_tick.load(), 151);
    // One removal on every tenth tick, 0 to 150.
    const auto removals = queuedRemovals();
    ASSERT_EQ(removals.size(), 16u);
    EXPECT_EQ(removals.front(), 1001u);
    EXPECT_EQ(removals.back(), 1016u);
    // One creation on every fiftieth tick: both live ones first, then static.
    EXPECT_EQ(queuedCreations(), (std::vector<std::string>{"LIVE1", "LIVE2", "STAT1*", "STAT2*"}));
    // The static parking work runs only where no live request was waiting.
    EXPECT_EQ(parkStaticTicks, (std::vector<std::int32_t>{100, 150}));
}

TEST_F(AiTick, TickZeroFiresEveryPacedAction)
{
    g_simConnectFailed.store(false);  // let the requests go out (no simulator: they fail and log)
    g_removeRequests = {1001};
    g_staticCreateRequests = {command("STAT1*", 3)};
    gf_updateAI();
    EXPECT_EQ(queuedRemovals(), std::vector<std::uint32_t>{1001});
    EXPECT_EQ(queuedCreations(), std::vector<std::string>{"STAT1*"});
    const std::string log = logText();
    EXPECT_NE(log.find("===> SimConnect request ac within range fails"), std::string::npos) << log;
    EXPECT_NE(log.find("SimConnect request user ac position fails"), std::string::npos) << log;
    EXPECT_EQ(g_simErrorCount.load(), 2u);

    // Tick 1 fires none of them.
    g_removeRequests = {1002};
    gf_updateAI();
    EXPECT_EQ(queuedRemovals().size(), 1u);
    EXPECT_EQ(g_simErrorCount.load(), 2u);
    g_simErrorCount.store(0);
}

TEST_F(AiTick, SpawnRequestTakesTheNewestAndForgetsErasedAircraft)
{
    TrafficRecord r = liveRecord(0x100001, "KLM1", "B738", 100.0);
    LiveAc& ac = addLiveAc(r, AcState::CreationRequested);
    ac.sim.lat = 47.5;
    ac.sim.lon = 8.5;
    ac.sim.alt = 2500.0;
    ac.sim.pitch = -0.05;
    ac.sim.bank = 0.1;
    ac.sim.heading = 3.0;
    static const std::string title = "Boeing 737-800 KLM";
    ac.title = title;
    g_spawnQueue = {0x999999, 0x100001};

    g_tick.store(1);  // no paced action on this tick
    gf_updateAI();
    ASSERT_EQ(g_liveCreateRequests.size(), 1u);
    const CreateAcCmd& cmd = g_liveCreateRequests.front();
    EXPECT_EQ(cmd.callsign, "KLM1");
    EXPECT_EQ(cmd.hexid, 0x100001u);
    EXPECT_EQ(cmd.title, title);
    EXPECT_EQ(cmd.initPos.Latitude, 47.5);
    EXPECT_EQ(cmd.initPos.Longitude, 8.5);
    EXPECT_EQ(cmd.initPos.Altitude, 2500.0);
    EXPECT_DOUBLE_EQ(cmd.initPos.Pitch, -0.05 * 57.29577951308232);
    EXPECT_DOUBLE_EQ(cmd.initPos.Bank, 0.1 * 57.29577951308232);
    EXPECT_DOUBLE_EQ(cmd.initPos.Heading, 3.0 * 57.29577951308232);
    EXPECT_EQ(cmd.initPos.OnGround, 0u);
    EXPECT_EQ(cmd.initPos.Airspeed, 0u);

    // The older entry's aircraft is gone: dropped silently.
    gf_updateAI();
    EXPECT_EQ(g_liveCreateRequests.size(), 1u);
    EXPECT_TRUE(g_spawnQueue.empty());
}

// Forty aircraft asking to be created at once wait up to 20 s for their turn (one creation every
// 50 ticks). Each was created where it was when it asked, up to 1.1 km behind the real one, and
// flew its first half minute catching up. The creation goes out where its records put it at the
// tick it is sent, and the object starts moving where they put it when its lights cycle ends.
TEST_F(AiTick, CreationGoesOutAndStartsWhereTheRecordsPutTheAircraft)
{
    TrafficRecord r = liveRecord(0x100001, "KLM1", "B738", 100.0);
    LiveAc& ac = addLiveAc(r, AcState::Placed);
    ac.stream.clear();
    for (int k = 0; k < 4; ++k) {
        PosRecord p;
        p.lat = 47.0 + 0.01 * k;
        p.lon = 8.0;
        p.alt = 5000.0 + 100.0 * k;
        p.speed = 250.0;
        p.airborne = 1;
        p.slot = 1000 * (k + 1);
        ac.stream.push_back(p);
    }
    ac.phase = AcPhase::Airborne;
    ac.sim.lat = 47.0;
    ac.sim.lon = 8.0;
    ac.sim.alt = 5000.0;
    g_liveCreateRequests.push_back(gf_liveCreateCommand(ac));
    ac.state = AcState::CreationRequested;

    g_tick.store(1500);
    gf_updateAI();
    ASSERT_EQ(queuedCreations(), std::vector<std::string>{"KLM1"});
    {
        std::lock_guard lock(g_simConnectMutex);
        EXPECT_NEAR(g_createAcCmds.front().initPos.Latitude, 47.005, 1e-9);
        EXPECT_NEAR(g_createAcCmds.front().initPos.Altitude, 5050.0, 1e-6);
        EXPECT_NEAR(g_createAcCmds.front().initPos.Heading, 0.0, 1e-6);
    }

    // The object exists and its lights cycle ends at tick 3250: its first write is where the
    // records put it then, and its first leg goes on from there to the next record.
    g_liveAc.front().objectId = 1001;
    g_tick.store(3250);
    liveac::initialConfiguration(g_liveAc.front());
    const LiveAc& placed = g_liveAc.front();
    EXPECT_EQ(placed.state, AcState::Placed);
    EXPECT_NEAR(placed.sim.lat, 47.0225, 1e-9);
    EXPECT_NEAR(placed.sim.alt, 5225.0, 1e-6);
    ASSERT_EQ(placed.stream.size(), 2u);
    EXPECT_EQ(placed.stream.front().slot, 3250);
    EXPECT_EQ(placed.stream.back().slot, 4000);
}

TEST_F(AiTick, MarkedAircraftAreErasedKeepingTheOrder)
{
    // Buffering aircraft whose records are not due yet; the second and fourth carry a remove mark.
    for (std::uint32_t h = 1; h <= 5; ++h) {
        TrafficRecord r = liveRecord(0x100000 + h, "A" + std::to_string(h), "B738", 100.0 + h);
        r.pos.slot = 100000;
        LiveAc& ac = addLiveAc(r, AcState::Buffering);
        ac.removeMark = (h == 2 || h == 4) ? 1 : 0;
    }
    lf_updateAllLiveAc();
    ASSERT_EQ(g_liveAc.size(), 3u);
    EXPECT_EQ(g_liveAc[0].hexid, 0x100001u);
    EXPECT_EQ(g_liveAc[1].hexid, 0x100003u);
    EXPECT_EQ(g_liveAc[2].hexid, 0x100005u);
    EXPECT_EQ(g_liveAc[1].lastRecordTime, 103.0);
    EXPECT_EQ(g_liveAc[2].stream.size(), 1u);
}

// The update of an aircraft that fails is logged by the update itself; the positions already
// queued are handed over all the same.
TEST_F(AiTick, UpdateFailureOfOneAircraftStaysWithIt)
{
    // An airborne aircraft at the end of its records without an extension left hands itself to
    // the stand learning, which fails here.
    LiveAc& broken = addLiveAc(liveRecord(0x100001, "A1", "B738", 100.0), AcState::Placed);
    broken.objectId = 1002;
    broken.phase = AcPhase::Airborne;
    broken.holdCounter = -1;
    stands.onLearnStandFromLiveAc = [](LiveAc&, bool) { throw std::runtime_error("stand learning failed"); };
    gf_updateAircraft(AcPosUpdate{1, 2, 0, 0, 0, 100, 0, 0, 1001});
    lf_updateAllLiveAc();
    EXPECT_NE(logText().find("===> nextPosMain: stand learning failed"), std::string::npos) << logText();
    EXPECT_NE(logText().find("===> updateLiveAc: stand learning failed"), std::string::npos) << logText();
    EXPECT_EQ(logText().find("lf_updateAllLiveAc"), std::string::npos);
    std::lock_guard lock(g_simConnectMutex);
    EXPECT_TRUE(g_acPosUpdates.write.empty());
    ASSERT_FALSE(g_acPosUpdates.send.empty());
    EXPECT_EQ(g_acPosUpdates.send[0].objectId, 1001u);
}

TEST_F(AiTick, BusyLinkAtFiftyFramesDropsTheTicksUpdates)
{
    std::mutex m;
    std::condition_variable cv;
    bool held = false;
    bool release = false;
    std::thread simThread([&] {
        std::lock_guard busy(g_simConnectMutex);
        std::unique_lock lock(m);
        held = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
    });
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return held; }));
    }
    g_frameRate.store(50.0f);
    gf_updateAircraft(AcPosUpdate{1, 2, 0, 0, 0, 100, 0, 0, 1001});
    lf_updateAllLiveAc();  // must not wait for the busy mutex
    const std::size_t writeAfter = g_acPosUpdates.write.size();
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    simThread.join();
    EXPECT_EQ(writeAfter, 0u);
    std::lock_guard lock(g_simConnectMutex);
    EXPECT_TRUE(g_acPosUpdates.send.empty());
}

TEST_F(AiTick, FreeLinkHandsTheUpdatesOver)
{
    gf_updateAircraft(AcPosUpdate{1, 2, 0, 0, 0, 100, 0, 0, 1001});
    lf_updateAllLiveAc();
    std::lock_guard lock(g_simConnectMutex);
    ASSERT_EQ(g_acPosUpdates.send.size(), 1u);
    EXPECT_EQ(g_acPosUpdates.send[0].objectId, 1001u);
    EXPECT_TRUE(g_acPosUpdates.write.empty());
}

TEST_F(AiTick, ExceptionWhileApplyingARecordKeepsTheTickNumber)
{
    std::vector<TrafficRecord> batch{parkedWithThrowingDeparture(0x100001, "A1", 10.0)};
    gf_handleTrafficBatch(batch, 30);
    g_tick.store(7);
    gf_updateAI();
    EXPECT_EQ(g_tick.load(), 7);
    EXPECT_NE(logText().find("===> gf_updateAI: broken record"), std::string::npos) << logText();
    gf_updateAI();  // the record was consumed: this wake completes
    EXPECT_EQ(g_tick.load(), 8);
}

}  // namespace
