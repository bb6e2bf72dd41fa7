// The parking stand services that answer the simulator (the nearest stand, the free-stand search
// and sightings of the live traffic, the change count of the ground stand code), the nearest-stand
// question of the reader thread, and the once-per-aircraft coupled-callsign search of the
// per-second work.
#include "parking/parking_services.h"

#include <gtest/gtest.h>

#include "foundation/settings.h"
#include "model/airport_list.h"
#include "parking/park_read.h"
#include "parking/stand_schedule.h"
#include "simulator/ai_tick.h"
#include "simulator/user_aircraft.h"
#include "support/schedule_fixture.h"
#include "traffic_service/parked_traffic.h"

using namespace tvxtest;

namespace {

class ParkingStandServices : public ScheduleTest {};

TEST_F(ParkingStandServices, StandQuestionsReachTheStandSearch)
{
    g_userOnGround.store(true);
    addStand(1, "B7", 0, 0);
    StandServices& stands = gf_parkingStandServices();
    EXPECT_EQ(stands.nearestStandName(latAt(5), lonAt(0)), "B7");
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

TEST_F(ParkingStandServices, CoupledCallsignsAreSearchedOncePerLiveAircraft)
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
