// The frame's real subsystems: the window commands and questions about the park airport and its
// parked-traffic adjustments reach the parking code and answer from its state.
#include "app/real_subsystems.h"

#include <gtest/gtest.h>

#include "foundation/settings.h"
#include "frame/status.h"
#include "model/airport_list.h"
#include "parking/park_airport_list.h"
#include "parking/park_choice.h"
#include "parking/park_read.h"
#include "parking/parking_services.h"
#include "simulator/stand_services.h"
#include "simulator/user_aircraft.h"
#include "support/choice_fixture.h"
#include "support/schedule_fixture.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/parked_traffic.h"

namespace {

TEST(RealSubsystems, ParkAirportCommandsAndQuestions)
{
    tvxtest::ChoiceSandbox box;
    RealSubsystems real;

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

// The start-up's connections: the simulator asks the parking code about stands, and the traffic
// reader's stand names and error lines reach the stand search and the window.
TEST_F(RealSubsystemsSchedule, ConnectSetsTheStandServicesAndTheFeedSink)
{
    gf_setStandServices(nullptr);
    gf_resetFeedSink();
    gf_connectSubsystems();
    EXPECT_EQ(&gf_standServices(), &gf_parkingStandServices());
    EXPECT_TRUE(gf_feedSink().handleBatch);

    g_userOnGround.store(true);
    tvxtest::addStand(1, "B7", 0, 0);
    EXPECT_EQ(gf_standServices().nearestStandName(tvxtest::latAt(5), tvxtest::lonAt(0)), "B7");
    EXPECT_EQ(gf_sinkNearestStandName(tvxtest::latAt(6), tvxtest::lonAt(0)), "B7");
    gf_sinkSetErrorLine("traffic service down");
    EXPECT_EQ(gf_errorLineText(), "Error traffic service down");

    gf_clearErrorLine();
    gf_resetFeedSink();
    gf_setStandServices(nullptr);
}

}  // namespace
