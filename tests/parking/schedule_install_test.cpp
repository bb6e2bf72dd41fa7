// The seams filled by the schedule's install function: the nearest-stand question of the reader
// and simulator threads, the free-stand search and sightings of the live traffic and the change
// count of the ground stand code; and the once-per-aircraft coupled-callsign search of the
// per-second work.
#include "parking/schedule_install.h"

#include <gtest/gtest.h>

#include "parking/stand_schedule.h"
#include "simulator/ai_tick.h"
#include "simulator/ground_stand.h"
#include "simulator/motion_hooks.h"
#include "simulator/sim_hooks.h"
#include "simulator/user_aircraft.h"
#include "support/schedule_fixture.h"
#include "traffic_service/feed_sink.h"

using namespace tvxtest;

namespace {

class ScheduleInstall : public ScheduleTest {
protected:
    ScheduleInstall()
    {
        m_sim = g_simLinkHooks;
        m_ground = g_groundStandHooks;
        m_feed = gf_feedSink();
        gf_installSchedule();
    }
    ~ScheduleInstall() override
    {
        g_simLinkHooks = m_sim;
        g_groundStandHooks = m_ground;
        gf_feedSink() = m_feed;
    }
    SimLinkHooks m_sim;
    GroundStandHooks m_ground;
    TrafficFeedSink m_feed;
};

TEST_F(ScheduleInstall, StandQuestionsReachTheStandSearch)
{
    g_userOnGround.store(true);
    addStand(1, "B7", 0, 0);
    ASSERT_TRUE(g_simLinkHooks.nearestStandName && gf_feedSink().nearestStandName && g_motionHooks.nearestStandName);
    EXPECT_EQ(g_simLinkHooks.nearestStandName(latAt(5), lonAt(0)), "B7");
    EXPECT_EQ(gf_feedSink().nearestStandName(latAt(6), lonAt(0)), "B7");
    EXPECT_EQ(g_motionHooks.nearestStandName(latAt(500), lonAt(0)), "");

    LiveAc ac = makeLiveAc(0x484001, "KLM1", {rec(latAt(0), lonAt(0), 0)});
    static_cast<AcData&>(ac) = aircraft("B738", "KLM1", "PH-BXA");
    ParkPos* stand = g_motionHooks.findFreeStand(latAt(10), lonAt(0), ac, 0.029697624190064796);
    ASSERT_NE(stand, nullptr);
    EXPECT_EQ(stand->name, "B7");
    EXPECT_EQ(g_motionHooks.findFreeStand(latAt(500), lonAt(0), ac, 0.029697624190064796), nullptr);

    EXPECT_TRUE(g_motionHooks.addRealParkPosOption(1, ac, false, gf_makeDaySlot(2, 3), false));
    g_groundStandHooks.countParkUpdate();
    EXPECT_EQ(g_parkUpdates, 2u);
}

TEST_F(ScheduleInstall, CoupledCallsignsAreSearchedOncePerLiveAircraft)
{
    g_nowDaySlot.store(gf_makeDaySlot(2, 20));
    addOption(addStand(1, "B7", 0, 0), 2, {20}, "KLM1", "KLM2");
    LiveAc ac = makeLiveAc(0x484001, "KLM1", {rec(latAt(0), lonAt(0), 0)});
    ac.airline = "KLM";
    g_liveAc.push_back(ac);
    gf_searchCoupledCallsignsOfNewLiveAc();
    EXPECT_EQ(g_liveAc[0].coupledCallsign2, "KLM2");
    g_liveAc[0].coupledCallsign2 = "changed";
    gf_searchCoupledCallsignsOfNewLiveAc();
    EXPECT_EQ(g_liveAc[0].coupledCallsign2, "changed");
}

}  // namespace
