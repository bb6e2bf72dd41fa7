// The per-frame flush as the simulator sees it: positions once per frame and only to AI objects,
// a busy SimConnect mutex skipping a whole frame without losing commands, the position exchange at
// low frame rates, FLAPS_SET bracketed by releases, removals and their failures, and the failed
// state after the third request error.
#include <future>
#include <thread>

#include "support/simlink_fleet.h"

using simstandin::Call;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using namespace tvxtest;

namespace {

class SimFlushTest : public SimFlightHarness {};

AcPosUpdate positionOf(std::uint32_t objectId, double lat)
{
    AcPosUpdate u;
    u.latitude = lat;
    u.longitude = kUserLon;
    u.pitch = -0.05;
    u.bank = 0.1;
    u.heading = 4.0;
    u.altitude = 2500.0;
    u.verticalSpeed = -12.5;
    u.trueAirspeed = 180.0;
    u.objectId = objectId;
    return u;
}

std::size_t eventCount(std::uint32_t objectId, const char* simEvent)
{
    std::size_t n = 0;
    for (const auto& e : simstandin::sim().clientEvents(objectId))
        n += e.simEvent == simEvent;
    return n;
}

TEST_F(SimFlushTest, PositionsOncePerFrameInWireUnits)
{
    const std::uint32_t id = placedLiveObject(0x3C2000, "AFR10");
    ASSERT_NE(id, 0u);
    gf_updateAircraft(positionOf(id, kUserLat + 0.02));
    gf_exchangePosUpdates();
    sim().frame();
    auto writes = sim().positions(id);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_DOUBLE_EQ(writes[0].lat, kUserLat + 0.02);
    EXPECT_DOUBLE_EQ(writes[0].heading, 4.0);
    EXPECT_DOUBLE_EQ(writes[0].pitch, -0.05);
    EXPECT_DOUBLE_EQ(writes[0].vs, -12.5);
    EXPECT_DOUBLE_EQ(writes[0].tas, 180.0);
    EXPECT_THAT(sim().calls(Call::SetDataOnSimObject).back().args, HasSubstr("size 64"));
    sim().frame(2);  // nothing new exchanged: nothing resent
    EXPECT_EQ(sim().positions(id).size(), 1u);
}

TEST_F(SimFlushTest, IdsNotAboveTheUserAreNeverSent)
{
    const auto setData = sim().calls(Call::SetDataOnSimObject).size();
    gf_updateAircraft(positionOf(0, kUserLat));
    gf_updateAircraft(positionOf(g_minObjectId.load(), kUserLat));
    gf_exchangePosUpdates();
    gf_queueRemoveAc(g_minObjectId.load());
    sim().frame();
    EXPECT_EQ(sim().calls(Call::SetDataOnSimObject).size(), setData);
    EXPECT_THAT(sim().calls(Call::AIRemoveObject), IsEmpty());
    EXPECT_TRUE(logHas(tvx::format("Simconnect call to remove ac with objectid {}", g_minObjectId.load())));
}

TEST_F(SimFlushTest, BusyMutexSkipsTheFrameAndLosesNothing)
{
    const std::uint32_t id = placedLiveObject(0x3C2001, "AFR11");
    const auto eventsBefore = sim().clientEvents(id).size();
    {
        std::lock_guard lock(g_simConnectMutex);  // the main loop holds it across one frame
        g_acPosUpdates.send.push_back(positionOf(id, kUserLat + 0.01));
        g_clientEventCmds.push_back(ClientEventCmd{id, simid::NAV_LIGHTS_SET, 1});
        sim().frame();
    }
    EXPECT_THAT(sim().positions(id), IsEmpty());
    EXPECT_EQ(sim().clientEvents(id).size(), eventsBefore);
    sim().frame();
    EXPECT_EQ(sim().positions(id).size(), 1u);
    EXPECT_EQ(eventCount(id, "NAV_LIGHTS_SET"), 1u);
    EXPECT_TRUE(sim().object(id)->lights.nav);
    sim().frame();
    EXPECT_EQ(eventCount(id, "NAV_LIGHTS_SET"), 1u) << "sent once";
}

TEST_F(SimFlushTest, ExchangeOnABusyMutexDropsTheTickAtLowFrameRates)
{
    std::promise<void> held, release;
    std::thread holder([&] {
        std::lock_guard lock(g_simConnectMutex);
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    g_frameRate = 30.0f;
    gf_updateAircraft(positionOf(1001, kUserLat));
    gf_exchangePosUpdates();
    EXPECT_THAT(g_acPosUpdates.write, IsEmpty()) << "this tick's updates are dropped";
    release.set_value();
    holder.join();
    EXPECT_THAT(g_acPosUpdates.send, IsEmpty());
}

TEST_F(SimFlushTest, FlapsAreBracketedByReleases)
{
    const std::uint32_t id = placedLiveObject(0x3C2002, "AFR12");
    const int releases = sim().object(id)->releases;
    gf_queueClientEvent(id, simid::FLAPS_SET, *gf_flapsEventData(2));
    sim().frame();
    EXPECT_EQ(sim().object(id)->flaps, 10240u);
    EXPECT_EQ(sim().object(id)->releases, releases + 2);

    sim().failCalls(Call::TransmitClientEvent);
    gf_queueClientEvent(id, simid::FLAPS_SET, *gf_flapsEventData(3));
    sim().frame();
    EXPECT_EQ(sim().object(id)->releases, releases + 3) << "no second release after a failed transmit";
    EXPECT_EQ(gf_statusLineText(), "SimConnect TransmitClientEvent: 217 fails");
    EXPECT_EQ(sim().object(id)->flaps, 10240u);
}

TEST_F(SimFlushTest, LightsInTheProgramsOrder)
{
    const std::uint32_t id = placedLiveObject(0x3C2003, "AFR13");
    const auto before = sim().clientEvents(id).size();
    gf_queueLights(id, LightSet{1, 1, 0, 1, 0, 1, 0});
    sim().frame();
    const auto events = sim().clientEvents(id);
    std::vector<std::string> names;
    std::vector<std::uint32_t> data;
    for (std::size_t i = before; i < events.size(); ++i) {
        names.push_back(events[i].simEvent);
        data.push_back(events[i].data);
        EXPECT_EQ(events[i].group, 301u);
    }
    EXPECT_THAT(names, ElementsAre("NAV_LIGHTS_SET", "BEACON_LIGHTS_SET", "LANDING_LIGHTS_SET",
                                   "TAXI_LIGHTS_SET", "STROBES_SET", "LOGO_LIGHTS_SET", "CABIN_LIGHTS_SET"));
    EXPECT_THAT(data, ElementsAre(1u, 1u, 0u, 1u, 0u, 1u, 0u));
}

TEST_F(SimFlushTest, RemovalRoundTrip)
{
    const std::uint32_t id = placedLiveObject(0x3C2004, "AFR14");
    gf_queueRemoveAc(id);
    sim().frame();
    ASSERT_EQ(sim().calls(Call::AIRemoveObject).size(), 1u);
    EXPECT_EQ(sim().calls(Call::AIRemoveObject)[0].args, tvx::format("{}, req 105", id));
    sim().frame();
    gf_SimCommands();
    EXPECT_FALSE(sim().object(id));
    EXPECT_EQ(findLive(0x3C2004), nullptr);
}

TEST_F(SimFlushTest, FailedRemoveCountsAndErasesLocally)
{
    const std::uint32_t id = placedLiveObject(0x3C2005, "AFR15");
    sim().failCalls(Call::AIRemoveObject);
    gf_queueRemoveAc(id);
    sim().frame();
    EXPECT_TRUE(logHas(tvx::format("!Simconnect call to remove AI ac from sim failed, id {}?", id)));
    EXPECT_EQ(g_simErrorCount.load(), 1u);
    gf_SimCommands();
    EXPECT_EQ(findLive(0x3C2005), nullptr);
}

TEST_F(SimFlushTest, FailedStateDiscardsAllButRemovals)
{
    const std::uint32_t id = placedLiveObject(0x3C2006, "AFR16");
    sim().failCalls(Call::RequestDataOnSimObject, 3);
    for (int i = 0; i < 3; ++i)
        gf_requestUserAcPosition();
    ASSERT_TRUE(g_simConnectFailed.load());
    const auto creates = sim().calls(Call::AICreateNonATCAircraft).size();
    const auto transmits = sim().calls(Call::TransmitClientEvent).size();
    const auto setData = sim().calls(Call::SetDataOnSimObject).size();
    addLiveAc(0x3C2007, "AFR17");
    gf_queueCreateAc(createCmd(0x3C2007, "AFR17"));
    gf_updateAircraft(positionOf(id, kUserLat));
    gf_exchangePosUpdates();
    gf_queueClientEvent(id, simid::GEAR_SET, 1);
    gf_queueRemoveAc(id);
    sim().frame();
    EXPECT_EQ(sim().calls(Call::AICreateNonATCAircraft).size(), creates);
    EXPECT_EQ(sim().calls(Call::TransmitClientEvent).size(), transmits);
    EXPECT_EQ(sim().calls(Call::SetDataOnSimObject).size(), setData);
    EXPECT_THAT(g_pendingCreations, IsEmpty());
    EXPECT_THAT(g_createAcCmds, IsEmpty());
    ASSERT_EQ(sim().calls(Call::AIRemoveObject).size(), 1u) << "no object is left behind";
    sim().frame();
    EXPECT_FALSE(sim().object(id));
}

}  // namespace

namespace {

TEST_F(SimFlushTest, RemovalsStillFlowWhileTheProgramExits)
{
    const std::uint32_t id = placedLiveObject(0x3C2008, "AFR18");
    gf_exit(ExitReason::RESTART, 0);
    ASSERT_TRUE(g_exitRequested.load());
    gf_queueRemoveAc(id);  // as FinalExit moves the removal requests over
    sim().frame(2);
    EXPECT_FALSE(sim().object(id)) << "the dispatch loop runs on until it is stopped";
}

}  // namespace

namespace {

TEST(SimQueuesRestart, CreationsOfAnEarlierRunAreDropped)
{
    {
        std::lock_guard lock(g_simConnectMutex);
        g_createAcCmds.push_back(createCmd(0x3C3000, "OLD1"));
        g_removeAcCmds.push_back(1234);
        g_simConnectFailed = true;
    }
    gf_resetSimQueues();
    EXPECT_THAT(g_createAcCmds, IsEmpty());
    EXPECT_THAT(g_removeAcCmds, ElementsAre(1234u)) << "removals are kept";
    EXPECT_FALSE(g_simConnectFailed.load());
    EXPECT_GE(g_pendingCreations.capacity(), 256u);
    g_removeAcCmds.clear();
}

}  // namespace
