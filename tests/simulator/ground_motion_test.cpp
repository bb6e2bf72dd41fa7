// Ground legs: midpoints, speed smoothing, curves, turn-rate scaling, the taxi-leg choices, the
// pull-out and the pushback with its turn to either side, and the stand claim at the end of the
// data.
#include <gtest/gtest.h>

#include <cmath>

#include "foundation/geo.h"
#include "foundation/settings.h"
#include "simulator/ground_motion.h"
#include "simulator/ground_stand.h"
#include "simulator/motion_air.h"
#include "simulator/motion_math.h"
#include "simulator/sim_ids.h"
#include "simulator/user_aircraft.h"
#include "support/ground_fixture.h"
#include "support/stand_services_fake.h"

using namespace tvxtest;

namespace {

class GroundMotionTest : public GroundTest {};

// A placed taxiing Large aircraft standing on its head record.
LiveAc taxiing(std::vector<PosRecord> stream, double headingDeg = 0.0)
{
    LiveAc ac = makeLiveAc(0x3C4A11, "DLH4AB", std::move(stream), SizeClass::Large, AcState::Placed,
                           AcPhase::Taxiing);
    ac.onGround = 1;
    ac.objectId = 42;
    ac.sim.lat = ac.stream.front().lat;
    ac.sim.lon = ac.stream.front().lon;
    ac.sim.heading = headingDeg * kDeg;
    ac.course = ac.sim.heading;
    ac.prevPhase = AcPhase::Airborne;
    return ac;
}

}  // namespace

TEST_F(GroundMotionTest, MidpointTakesTheMeansAndTheTruncatedSlot)
{
    // A midpoint flies only between two flying records: ground records carry the field elevation
    // (a ground leg at Zurich's 1,416 ft gave a flying midpoint, which held the take-off's rotation
    // back to the last ground record).
    struct Case {
        double alt0, alt1;
        bool airborne;
        double wantAlt;
        bool wantAirborne;
    };
    for (const Case c : {Case{0, 0, false, 0, false}, Case{100, -300, true, 0, false}, Case{100, 50, true, 75, true},
                         Case{1416, 1416, false, 1416, false}}) {
        LiveAc ac = taxiing(
            {rec(47.0, 8.0, 100, 10, c.airborne, c.alt0), rec(47.002, 8.004, 201, 20, c.airborne, c.alt1)});
        ac.stream[0].stop = 1;
        liveac::insertMidpoint(ac);
        ASSERT_EQ(ac.stream.size(), 3u);
        const PosRecord& mid = ac.stream[1];
        EXPECT_DOUBLE_EQ(mid.lat, 47.001);
        EXPECT_DOUBLE_EQ(mid.lon, 8.002);
        EXPECT_DOUBLE_EQ(mid.speed, 15.0);
        EXPECT_EQ(mid.slot, 150);
        EXPECT_DOUBLE_EQ(mid.alt, c.wantAlt);
        EXPECT_EQ(mid.airborne != 0, c.wantAirborne);
        EXPECT_EQ(mid.stop, 0);
    }
}

TEST_F(GroundMotionTest, MidpointAcrossTheDateLineStaysBetweenTheRecords)
{
    LiveAc ac = taxiing({rec(10.0, 179.9998, 0, 10), rec(10.0, -179.9998, 100, 10)});
    liveac::insertMidpoint(ac);
    EXPECT_NEAR(std::fabs(ac.stream[1].lon), 180.0, 1e-9);
}

TEST_F(GroundMotionTest, SpeedChangeInsertsAMidpointOnlyAboveFiveKnotsOverHundredMetres)
{
    struct Case {
        double s0, s1, dLat;
        bool inserted;
    };
    // 0.001 degrees of latitude are 111 m, 0.0008 are 89 m.
    for (const Case c : {Case{10, 16, 0.001, true}, Case{10, 15, 0.001, false}, Case{0, 0, 0.001, false},
                         Case{10, 20, 0.0008, false}, Case{0, 6, 0.001, true}}) {
        LiveAc ac = taxiing({rec(47.0, 8.0, 0, c.s0), rec(47.0 + c.dLat, 8.0, 500, c.s1)});
        liveac::smoothSpeedChange(ac);
        EXPECT_EQ(ac.stream.size(), c.inserted ? 3u : 2u) << c.s0 << " " << c.s1 << " " << c.dLat;
    }
}

TEST_F(GroundMotionTest, CurveRunsFromThePositionThroughTheSecondToTheThirdRecord)
{
    LiveAc ac = taxiing({rec(47.0, 8.0, 0, 10), rec(47.001, 8.0, 300, 20), rec(47.001, 8.0015, 600, 0)});
    liveac::setCurve(ac);
    ASSERT_EQ(ac.stream.size(), 2u);
    EXPECT_DOUBLE_EQ(ac.stream[1].speed, 15.0);  // the mean of the first two
    EXPECT_DOUBLE_EQ(ac.stream[1].lon, 8.0015);
    const double north = 0.001 * 111132.95;
    const double east = std::cos(47.0 * kDeg) * 111132.95 * 0.0015;
    EXPECT_DOUBLE_EQ(ac.curve[0], 47.0);
    EXPECT_DOUBLE_EQ(ac.curve[1], 8.0);
    EXPECT_DOUBLE_EQ(ac.curve[2], 0.0);
    EXPECT_NEAR(ac.curve[3], north, 1e-9);
    EXPECT_NEAR(ac.curve[4], east, 1e-9);
    EXPECT_DOUBLE_EQ(ac.curve[5], 1.0);
    EXPECT_NEAR(ac.curve[6], 0.0, 1e-9);
    EXPECT_NEAR(ac.curve[7], north, 1e-9);

    GeoPos p;
    double heading = 0.0;
    ASSERT_TRUE(gf_curvePosition(ac.curve, 1.0, p, heading));
    EXPECT_NEAR(p.lat, 47.001, 1e-9);
    EXPECT_NEAR(p.lon, 8.0015, 1e-9);
    EXPECT_NEAR(heading, 90.0 * kDeg, 1e-6);  // leaves the control point eastward
}

TEST_F(GroundMotionTest, SharpTurnOnAFastLegGetsACurveAndRaisesTheLimits)
{
    // Heading north, then a right turn of about 117 degrees; the second record is due in 500 ticks.
    LiveAc ac = taxiing({rec(47.0, 8.0, 0, 15), rec(47.001, 8.0, 500, 15), rec(47.0005, 8.0015, 900, 15)});
    const double c = gf_initialCourse(LatLon{47.001, 8.0}, LatLon{47.0005, 8.0015});
    nextPosGround(ac);
    ASSERT_FALSE(std::isnan(ac.curve[0]));
    EXPECT_NEAR(ac.motion.curveTurnAngle, c / kDeg, 1e-9);
    EXPECT_GT(ac.motion.curveTurnAngle, 90.0);
    EXPECT_EQ(ac.motion.turnInPlace, 0);
    EXPECT_EQ(ac.stream.size(), 2u);
    EXPECT_GE(ac.earlyLimit, 2000);
    EXPECT_GE(ac.lateLimit, 2000);
}

TEST_F(GroundMotionTest, SlowLongLegBeforeASharpTurnIsSplitInstead)
{
    LiveAc ac = taxiing({rec(47.0, 8.0, 0, 15), rec(47.001, 8.0, 600, 15), rec(47.001, 8.0015, 900, 15)});
    nextPosGround(ac);
    EXPECT_TRUE(std::isnan(ac.curve[0]));
    ASSERT_EQ(ac.stream.size(), 4u);
    EXPECT_DOUBLE_EQ(ac.stream[1].lat, 47.0005);
    EXPECT_DOUBLE_EQ(ac.stream[2].lat, 47.001);
}

TEST_F(GroundMotionTest, ThirdRecordAtTheHeadsPositionNeverStartsACurve)
{
    // Heading east; the records go north and come back to the head: a turn of 90 degrees.
    LiveAc ac = taxiing({rec(47.0, 8.0, 0, 15), rec(47.001, 8.0, 500, 15), rec(47.0, 8.0, 900, 15)}, 90.0);
    nextPosGround(ac);
    EXPECT_TRUE(std::isnan(ac.curve[0]));
    EXPECT_EQ(ac.stream.size(), 3u);
}

TEST_F(GroundMotionTest, TurnInPlaceScalesTheTurnRateToTheLeg)
{
    // Two records 0.01 nm apart at 10 kt: a leg of 360 ticks; the course lies 30 degrees off.
    const double dLat = 0.01 / 60.0;
    LiveAc ac = taxiing({rec(47.0, 8.0, 0, 10), rec(47.0 + dLat, 8.0, 360, 10)}, 30.0);
    ac.course = 0.0;
    nextPosGround(ac);
    ASSERT_EQ(ac.motion.turnInPlace, 1);
    const double d = gf_distanceNm(47.0, 8.0, 47.0 + dLat, 8.0);
    const double n = std::round(d * 360000.0 / 10.0);
    const double base = 0.07 * kDeg;
    const double k = std::round(30.0 / base / 100.0);
    const double r = n / k;
    const double z = std::min({r * 10.0 / 30.0, r * 30.0 * 0.0005399568034557236 / d, r});
    EXPECT_NEAR(ac.turnRate, base / z, 1e-12);
    EXPECT_EQ(ac.stream[1].slot, static_cast<std::int32_t>(n));
}

TEST_F(GroundMotionTest, StopLegTakesTheFeedGapOfAtLeast25Ticks)
{
    g_tick.store(1000);
    for (const auto& [gap, want] : {std::pair{400, 400}, std::pair{10, 25}, std::pair{-50, 25}}) {
        LiveAc ac = taxiing({rec(47.0, 8.0, 1000, 0), rec(47.0, 8.0, 1000 + gap, 0)});
        ac.stream[1].stop = 1;
        liveac::groundLegTiming(ac);
        EXPECT_EQ(ac.stream[1].slot, 1000 + want) << gap;
    }
}

TEST_F(GroundMotionTest, PullOutLeavesTheStandForwardTwiceTheSize)
{
    g_optLog.set(true);
    addStand(1, "A12", 47.0, 8.0, 0.0);
    LiveAc ac = taxiing({rec(47.0, 8.0, 0, 0), rec(47.002, 8.0, 500, 8)});
    ac.phase = AcPhase::Parked;
    ac.standId = 1;
    ac.standLat = 47.0;
    ac.standLon = 8.0;
    ac.standHeading = 0.0;
    ac.holdCounter = 1;
    ac.motion.movingOff = 1;
    nextPosGround(ac);

    EXPECT_EQ(ac.phase, AcPhase::Taxiing);
    EXPECT_EQ(ac.prevPhase, AcPhase::Parked);
    EXPECT_EQ(ac.holdCounter, 0);
    EXPECT_EQ(ac.motion.movingOff, 0);
    ASSERT_EQ(ac.stream.size(), 2u);
    EXPECT_DOUBLE_EQ(ac.stream[0].speed, 4.0);
    const PosRecord& out = ac.stream[1];
    const double d = gf_distanceNm(47.0, 8.0, out.lat, out.lon);
    EXPECT_NEAR(d, 2.0 * 0.0096, 1e-6);
    EXPECT_GT(out.lat, 47.0);
    EXPECT_DOUBLE_EQ(out.speed, 4.0);
    EXPECT_EQ(out.slot, static_cast<std::int32_t>(std::lround(d / 4.0 * 360000.0)));  // about 1728 ticks
    EXPECT_EQ(lastLights(42), (std::vector<std::uint32_t>{1, 1, 0, 1, 0, 1, 0}));
    EXPECT_EQ(eventData(42, simid::ENGINE_AUTO_START), std::vector<std::uint32_t>{0});
    EXPECT_EQ(eventData(42, simid::THROTTLE_SET), std::vector<std::uint32_t>{0});
    EXPECT_EQ(eventData(42, simid::FLAPS_SET), std::vector<std::uint32_t>{3072});
    EXPECT_NE(m_box.logText().find("A12     : DLH4AB   pulling out"), std::string::npos);
}

namespace {

// A Large aircraft parked at stand 1 (heading north, radius 20 m) whose records lead behind it.
LiveAc parkedFacingNorth()
{
    addStand(1, "B7", 47.0, 8.0, 0.0, 20.0);
    LiveAc ac = taxiing({rec(47.0, 8.0, 0, 0), rec(46.999, 8.0, 500, 8)});
    ac.stream[0].stop = 1;
    ac.phase = AcPhase::Parked;
    ac.standId = 1;
    ac.standLat = 47.0;
    ac.standLon = 8.0;
    ac.standHeading = 0.0;
    ac.motion.movingOff = 1;
    return ac;
}

// The aircraft reaches its head record: the head is dropped and the position follows.
void reachHead(LiveAc& ac)
{
    ac.stream.pop_front();
    ac.sim.lat = ac.stream.front().lat;
    ac.sim.lon = ac.stream.front().lon;
}

}  // namespace

TEST_F(GroundMotionTest, PushbackGoesStraightBackWithATurnRecordToEachSide)
{
    LiveAc ac = parkedFacingNorth();
    nextPosGround(ac);

    EXPECT_EQ(ac.phase, AcPhase::Pushback);
    EXPECT_EQ(ac.pushbackStep, 2u);
    ASSERT_EQ(ac.stream.size(), 4u);  // head, midpoint, back point, turn record
    const PosRecord& back = ac.stream[2];
    EXPECT_NEAR(gf_distanceNm(47.0, 8.0, back.lat, back.lon), 2.5 * 20.0 / 1852.0, 1e-6);
    EXPECT_LT(back.lat, 47.0);
    EXPECT_DOUBLE_EQ(ac.stream[1].lat, (47.0 + back.lat) / 2.0);
    // The default turn record lies east of the back point, the spare one west.
    const PosRecord& turn = ac.stream[3];
    const PosRecord* spare = ac.motion.pushbackSpareSet ? &ac.motion.pushbackSpare : nullptr;
    ASSERT_NE(spare, nullptr);
    EXPECT_GT(turn.lon, back.lon);
    EXPECT_LT(spare->lon, back.lon);
    EXPECT_NEAR(gf_distanceNm(back.lat, back.lon, turn.lat, turn.lon), 0.0096, 1e-6);
    EXPECT_EQ(turn.slot, spare->slot);
    EXPECT_EQ(lastLights(42), (std::vector<std::uint32_t>{1, 1, 0, 1, 0, 1, 0}));
}

TEST_F(GroundMotionTest, PushbackWithoutARecordStaysStraight)
{
    LiveAc ac = parkedFacingNorth();
    nextPosGround(ac);
    reachHead(ac);
    nextPosGround(ac);
    EXPECT_EQ(ac.pushbackStep, 1u);
    ASSERT_EQ(ac.stream.size(), 2u);
    EXPECT_TRUE(std::isnan(ac.curve[0]));
    EXPECT_NEAR(ac.stream[1].lon, 8.0, 1e-9);
}

TEST_F(GroundMotionTest, PushbackAskedForTheOtherSideTurnsTowardTheSpareRecord)
{
    for (const int side : {0, 1}) {
        g_parkPositions.clear();
        LiveAc ac = parkedFacingNorth();
        nextPosGround(ac);
        ASSERT_TRUE(ac.motion.pushbackSpareSet);
        const PosRecord spare = ac.motion.pushbackSpare;
        const PosRecord turn = ac.stream[3];
        reachHead(ac);
        ac.pushbackTurnSideSet = 1;
        ac.pushbackTurnSide = side;
        nextPosGround(ac);
        ASSERT_FALSE(std::isnan(ac.curve[0])) << side;
        ASSERT_EQ(ac.stream.size(), 2u);
        const PosRecord& end = ac.stream[1];
        EXPECT_DOUBLE_EQ(end.lon, side ? spare.lon : turn.lon);
        EXPECT_DOUBLE_EQ(ac.motion.curveTurnAngle, 90.0);
        EXPECT_DOUBLE_EQ(ac.motion.curveStep, 1.0 / std::round(90.0 / (0.07 * kDeg) / 100.0));
        EXPECT_FALSE(ac.motion.pushbackSpareSet);
        EXPECT_GE(ac.earlyLimit, 2000);
    }
}

TEST_F(GroundMotionTest, PushbackEndsStandingWithTheEnginesRunning)
{
    LiveAc ac = parkedFacingNorth();
    ac.sim.heading = 10.0 * kDeg;
    nextPosGround(ac);
    reachHead(ac);
    nextPosGround(ac);
    reachHead(ac);
    // The end of the records: the stream is held with a stop copy.
    PosRecord hold = ac.stream.front();
    hold.stop = 1;
    hold.slot += 300;
    ac.stream.push_back(hold);
    ac.holdCounter = 10;
    {
        std::lock_guard lock(g_simConnectMutex);
        g_clientEventCmds.clear();
    }
    nextPosGround(ac);

    EXPECT_EQ(ac.phase, AcPhase::PushedBack);
    EXPECT_EQ(ac.prevPhase, AcPhase::Pushback);
    EXPECT_EQ(ac.pushbackStep, 1u);
    EXPECT_DOUBLE_EQ(ac.course, 10.0 * kDeg);
    EXPECT_DOUBLE_EQ(ac.farthestStandDist, 900.0);
    EXPECT_EQ(ac.holdCounter, 0);
    EXPECT_EQ(eventData(42, simid::ENGINE_AUTO_START), std::vector<std::uint32_t>{0});
    EXPECT_EQ(eventData(42, simid::THROTTLE_SET), std::vector<std::uint32_t>{0});
    EXPECT_EQ(eventData(42, simid::FLAPS_SET), std::vector<std::uint32_t>{3072});
}

TEST_F(GroundMotionTest, PushbackWithoutAKnownStandKeepsTheRecords)
{
    LiveAc ac = parkedFacingNorth();
    g_parkPositions.clear();
    nextPosGround(ac);
    EXPECT_EQ(ac.phase, AcPhase::Parked);
    EXPECT_EQ(ac.stream.size(), 2u);
    EXPECT_FALSE(ac.motion.pushbackSpareSet);
}

TEST_F(GroundMotionTest, StandClaimAtTheEndOfTheDataGoesToTheStandServices)
{
    struct Call {
        bool wide;
    };
    std::vector<Call> calls;
    FakeStandServices stands;
    stands.onClaimStandOnArrival = [&](LiveAc&, bool wide) { calls.push_back({wide}); };
    setParkAirport("EDDF", 47.0, 8.0);
    addStand(1, "V1", 47.0, 8.0, 0.0);

    struct Case {
        AcPhase prev;
        bool towed, landed;
        std::int32_t hold;
        double lastDLat;  // distance of the last record from the aircraft
        std::size_t wantCalls;
        bool wantWide;
    };
    const double tenMetres = 10.0 / 111132.95;
    const double fortyMetres = 40.0 / 111132.95;
    for (const Case c : {Case{AcPhase::Airborne, false, true, 1, fortyMetres, 1, true},
                         Case{AcPhase::Airborne, false, false, 0, tenMetres, 1, false},
                         Case{AcPhase::Airborne, false, false, 0, fortyMetres, 0, false},
                         Case{AcPhase::Parked, false, false, 0, tenMetres, 0, false},
                         Case{AcPhase::PushedBack, false, false, 0, tenMetres, 0, false},
                         Case{AcPhase::Parked, true, false, 0, tenMetres, 1, false}}) {
        calls.clear();
        LiveAc ac = taxiing({rec(47.0, 8.0, 0, 3), rec(47.0 + c.lastDLat, 8.0, 500, 3)});
        ac.stream[1].stop = 1;
        ac.prevPhase = c.prev;
        ac.holdCounter = c.hold;
        ac.motion.towed = c.towed;
        ac.motion.landed = c.landed;
        nextPosGround(ac);
        ASSERT_EQ(calls.size(), c.wantCalls) << static_cast<int>(c.prev) << " " << c.hold;
        if (c.wantCalls) {
            EXPECT_EQ(calls[0].wide, c.wantWide);
        }
    }
}

TEST_F(GroundMotionTest, StandClaimWithoutParkingServicesClaimsNothing)
{
    setParkAirport("EDDF", 47.0, 8.0);
    addStand(1, "V1", 47.0, 8.0, 0.0);
    LiveAc ac = taxiing({rec(47.0, 8.0, 0, 3), rec(47.00001, 8.0, 500, 3)});
    ac.stream[1].stop = 1;
    nextPosGround(ac);
    EXPECT_EQ(ac.phase, AcPhase::Taxiing);
    EXPECT_EQ(ac.standId, 0u);
    EXPECT_FALSE(g_parkPositions[0].occupied);
}
