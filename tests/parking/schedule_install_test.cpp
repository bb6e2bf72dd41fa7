// The seams filled by the schedule's install function (the nearest-stand question of the reader
// thread and the once-per-aircraft coupled-callsign search of the frame), and the parking stand
// services that answer the simulator: the nearest stand, the free-stand search and sightings of
// the live traffic, the change count of the ground stand code.
#include "parking/schedule_install.h"

#include <gtest/gtest.h>

#include "app/subsystem_hooks.h"
#include "foundation/settings.h"
#include "model/airport_list.h"
#include "parking/park_read.h"
#include "parking/parking_services.h"
#include "parking/stand_schedule.h"
#include "simulator/ai_tick.h"
#include "simulator/user_aircraft.h"
#include "support/schedule_fixture.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/parked_traffic.h"

using namespace tvxtest;

namespace {

class ScheduleInstall : public ScheduleTest {
protected:
    ScheduleInstall()
    {
        m_hooks = g_hooks;
        m_feed = gf_feedSink();
        gf_installSchedule();
    }
    ~ScheduleInstall() override
    {
        g_hooks = m_hooks;
        gf_feedSink() = m_feed;
    }
    SubsystemHooks m_hooks;
    TrafficFeedSink m_feed;
};

TEST_F(ScheduleInstall, StandQuestionsReachTheStandSearch)
{
    g_userOnGround.store(true);
    addStand(1, "B7", 0, 0);
    StandServices& stands = gf_parkingStandServices();
    ASSERT_TRUE(gf_feedSink().nearestStandName);
    EXPECT_EQ(stands.nearestStandName(latAt(5), lonAt(0)), "B7");
    EXPECT_EQ(gf_feedSink().nearestStandName(latAt(6), lonAt(0)), "B7");
    EXPECT_EQ(stands.nearestStandName(latAt(500), lonAt(0)), "");

    LiveAc ac = makeLiveAc(0x484001, "KLM1", {rec(latAt(0), lonAt(0), 0)});
    static_cast<AcData&>(ac) = aircraft("B738", "KLM1", "PH-BXA");
    ParkPos* stand = stands.findFreeStand(latAt(10), lonAt(0), ac, 0.029697624190064796);
    ASSERT_NE(stand, nullptr);
    EXPECT_EQ(stand->name, "B7");
    EXPECT_EQ(stands.findFreeStand(latAt(500), lonAt(0), ac, 0.029697624190064796), nullptr);

    EXPECT_TRUE(stands.addRealParkPosOption(1, ac, false, gf_makeDaySlot(2, 3), false));
    stands.countParkUpdate();
    EXPECT_EQ(g_parkUpdates, 2u);
}

TEST_F(ScheduleInstall, AdjustmentsRunForALoadedParkAirportUnlessInitialLoadOnly)
{
    ASSERT_TRUE(g_hooks.parkAdjustmentsEnabled && g_hooks.parkAirportHasStands && g_hooks.requestHistoryBuffers);
    EXPECT_FALSE(g_hooks.parkAdjustmentsEnabled());
    g_apfLoaded.store(true);
    g_parkAirport.code = "EHAM";
    EXPECT_TRUE(g_hooks.parkAdjustmentsEnabled());
    EXPECT_FALSE(g_hooks.parkAirportHasStands());
    addStand(1, "B7", 0, 0);
    EXPECT_TRUE(g_hooks.parkAirportHasStands());
    g_optInitialLoadOnly.set(true);
    EXPECT_FALSE(g_hooks.parkAdjustmentsEnabled());
    g_apfLoaded.store(false);
    g_bufferReceived.store(false);
    g_hooks.requestHistoryBuffers();
    EXPECT_TRUE(g_bufferReceived.load());
    g_bufferReceived.store(false);
}

TEST_F(ScheduleInstall, CoupledCallsignsAreSearchedOncePerLiveAircraft)
{
    g_nowDaySlot.store(gf_makeDaySlot(2, 20));
    addOption(addStand(1, "B7", 0, 0), 2, {20}, "KLM1", "KLM2");
    LiveAc ac = makeLiveAc(0x484001, "KLM1", {rec(latAt(0), lonAt(0), 0)});
    ac.airline = "KLM";
    g_liveAc.push_back(ac);
    g_hooks.searchCoupledCallsigns();
    EXPECT_EQ(g_liveAc[0].coupledCallsign2, "KLM2");
    g_liveAc[0].coupledCallsign2 = "changed";
    g_hooks.searchCoupledCallsigns();
    EXPECT_EQ(g_liveAc[0].coupledCallsign2, "changed");
}

}  // namespace
