// The frame's real subsystems: the window commands and questions about the park airport and its
// parked-traffic adjustments reach the parking code and answer from its state.
#include "app/real_subsystems.h"

#include <gtest/gtest.h>

#include "foundation/settings.h"
#include "frame/status.h"
#include "parking/airport_list.h"
#include "parking/choice_install.h"
#include "parking/park_airport_list.h"
#include "parking/park_choice.h"
#include "parking/park_read.h"
#include "simulator/motion_hooks.h"
#include "simulator/user_aircraft.h"
#include "support/choice_fixture.h"
#include "support/schedule_fixture.h"
#include "traffic_service/parked_traffic.h"

namespace {

TEST(RealSubsystems, ParkAirportCommandsAndQuestions)
{
    tvxtest::ChoiceSandbox box;
    RealSubsystems real;
    gf_installChoice();
    EXPECT_TRUE(g_motionHooks.reservedStandName);

    // A destination the airport list does not know is not listed.
    real.windowCommand({WindowCommand::AddParkAirport, "ZZZZ", false});
    EXPECT_TRUE(g_parkAirports.empty());
    EXPECT_EQ(gf_statusLineText(), "airport ZZZZ is unknown");
    real.windowCommand({WindowCommand::AddParkAirport, "EGLL", false});
    ASSERT_EQ(g_parkAirports.size(), 1u);
    EXPECT_DOUBLE_EQ(g_parkAirports.front().lat, 51.4706);

    // The reserved stand counts only while a park airport is set.
    g_reservedStand = "501";
    EXPECT_FALSE(real.ask(Question::ReservedStand));
    ASSERT_TRUE(gf_setParkAirport("EGLL"));
    EXPECT_TRUE(real.ask(Question::ReservedStand));
    EXPECT_EQ(g_motionHooks.reservedStandName(), "501");

    // The re-read shows its message.
    tvxtest::ChoiceSandbox::writeList({"EGLL,501"});
    real.windowCommand({WindowCommand::RereadParkAirports, {}, false});
    EXPECT_EQ(gf_statusLineText(), "park airports and stands are okay");

    // The automatic range takes the user aircraft's state and the park airport's distance.
    g_userOnGround.store(false);
    g_parkAirportDistanceNm.store(55.0);
    const AutoRangeInput input = real.autoRangeInput();
    EXPECT_FALSE(input.onGround);
    EXPECT_DOUBLE_EQ(input.heightAboveGroundFt, gf_userAc().altAboveGround);
    EXPECT_TRUE(input.parkAirportSet);
    EXPECT_DOUBLE_EQ(input.parkAirportDistanceNm, 55.0);
    EXPECT_DOUBLE_EQ(gf_chooseAutoRange(input), 58.0);
    g_parkAirportDistanceNm.store(-1.0);
    g_motionHooks = MotionHooks{};
}

class RealSubsystemsSchedule : public tvxtest::ScheduleTest {};

TEST_F(RealSubsystemsSchedule, AdjustmentsRunForALoadedParkAirportUnlessInitialLoadOnly)
{
    RealSubsystems real;
    EXPECT_FALSE(real.ask(Question::ParkAdjustmentsEnabled));
    g_apfLoaded.store(true);
    g_parkAirport.code = "EHAM";
    EXPECT_TRUE(real.ask(Question::ParkAdjustmentsEnabled));
    EXPECT_TRUE(real.ask(Question::ParkFileLoaded));
    EXPECT_FALSE(real.ask(Question::ParkAirportHasStands));
    tvxtest::addStand(1, "B7", 0, 0);
    EXPECT_TRUE(real.ask(Question::ParkAirportHasStands));
    g_optInitialLoadOnly.set(true);
    EXPECT_FALSE(real.ask(Question::ParkAdjustmentsEnabled));
    g_apfLoaded.store(false);
    // The first turn of an adjustment asks the traffic reader for the history buffers.
    g_bufferReceived.store(false);
    real.periodic(Periodic::StartParkAdjustment);
    EXPECT_TRUE(g_bufferReceived.load());
    g_bufferReceived.store(false);
}

}  // namespace
