// Movement along position records: leg timing within the early and late limits, leg speed, stops
// in the air, holds and extensions at the end of the data, the per-tick step, the user-passing
// test and the respawn of a parked aircraft.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "foundation/geo.h"
#include "foundation/settings.h"
#include "frame/window_model.h"
#include "model/stand_model.h"
#include "simulator/ai_tick.h"
#include "simulator/motion_air.h"
#include "simulator/motion_math.h"
#include "support/motion_fixture.h"

using namespace tvxtest;

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

LiveAc placed(std::vector<PosRecord> stream, bool onGround, AcPhase phase, SizeClass cls = SizeClass::Large)
{
    LiveAc ac = makeLiveAc(0x3C2000, "DLH1", std::move(stream), cls, AcState::Placed, phase);
    ac.objectId = 1001;
    ac.onGround = onGround ? 1 : 0;
    ac.sim.lat = ac.stream.empty() ? 0.0 : ac.stream.front().lat;
    ac.sim.lon = ac.stream.empty() ? 0.0 : ac.stream.front().lon;
    return ac;
}

}  // namespace

TEST(MotionAir, SecondRecordAtTheHeadsPositionBecomesAStop)
{
    MotionSandbox sandbox;
    LiveAc ac = placed({rec(50, 8, 0, 0), rec(50, 8, 400, 0), rec(50.01, 8, 800, 10)}, true, AcPhase::Taxiing);
    ac.latStep = 1.0;
    nextPos(ac);
    ASSERT_EQ(ac.stream.size(), 2u);
    EXPECT_TRUE(ac.stream[0].stop);
    EXPECT_EQ(ac.latStep, 0.0);
    EXPECT_EQ(ac.lonStep, 0.0);
}

// setArrivalTick: the leg ends at the feed's tick, so the aircraft keeps pace with the recording;
// the leg's own time n at the feed's speed guards against broken feed times: never more than the
// early limit before now + n nor faster than 1.2 times the feed's speed, in the air 40 kt more
// (no jump when catching up), never more than the late limit after now + n; records one tick apart still give 25 ticks.
TEST(MotionAir, LegTimingWithinTheLimits)
{
    struct Case {
        const char* name;
        std::int32_t now;
        std::int32_t delivered;
        std::int32_t n;
        std::int32_t hold;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"on time", 1000, 2000, 1000, 0, 2000},
        {"slower than the feed's speed: at the feed's tick", 1000, 2400, 1000, 0, 2400},
        {"behind: catches up at the feed's tick", 1000, 1500, 600, 0, 1500},
        {"feed far ahead", 1000, 9000, 500, 0, 2500},       // at most 1000 after now + n
        {"feed far behind", 1000, 5400, 5000, 0, 5400},
        {"feed far behind: at most the early limit", 1000, 1500, 20000, 0, 20000},
        {"feed far behind: 140 kt at 100 kt at most", 1000, 1500, 2000, 0, 2429},
        {"long behind: 140 kt at 100 kt at most", 10000, 1500, 600, 0, 10429},
        {"fast leg: 25 ticks at least", 1000, 1010, 25, 0, 1025},
        {"holding: own timing", 1000, 9000, 500, 3, 1500},
        {"negative ticks", -3000, -2000, 25, 0, -2000},
    };
    for (const Case& c : cases) {
        MotionSandbox sandbox;
        g_tick.store(c.now);
        LiveAc ac = placed({rec(50, 8, c.now, 100, true), rec(50.1, 8, c.delivered, 100, true)}, false,
                           AcPhase::Airborne);
        ac.holdCounter = c.hold;
        liveac::setArrivalTick(ac, c.n);
        EXPECT_EQ(ac.stream[1].slot, c.expected) << c.name;
    }
    for (const double kt : {20.0, 60.0}) {
        // On the ground 1.2 times the feed's speed at most, or 10 kt more where that is faster
        // (taxi speeds): 1.5 times at 20 kt.
        MotionSandbox sandbox;
        g_tick.store(10000);
        LiveAc ac = placed({rec(50, 8, 10000, kt), rec(50.001, 8, 1500, kt)}, true, AcPhase::Taxiing);
        liveac::setArrivalTick(ac, 600);
        EXPECT_EQ(ac.stream[1].slot, kt == 20.0 ? 10400 : 10500) << kt;
    }

    // Records one tick apart: 25 ticks.
    MotionSandbox sandbox;
    g_tick.store(100);
    LiveAc close = placed({rec(50, 8, 100, 100, true, 3000), rec(50.00001, 8, 101, 100, true, 3000)}, false,
                          AcPhase::Airborne);
    nextPosAir(close);
    EXPECT_EQ(close.stream[1].slot, 125);
    EXPECT_DOUBLE_EQ(liveac::legInterval(close), 25.0);
}

TEST(MotionAir, LegSpeedOfStandingRecordsFromTheirTimes)
{
    MotionSandbox sandbox;
    const double oneNm = 1.0 / 60.0;
    LiveAc ac = placed({rec(50, 8, 0, 0), rec(50 + oneNm, 8, 3600, 0)}, true, AcPhase::Taxiing);
    EXPECT_NEAR(liveac::legSpeed(ac), 100.0, 1e-6);
    ac.stream[1].slot = 10;  // too close in time: 25 ticks
    EXPECT_NEAR(liveac::legSpeed(ac), 1.0 * 360000 / 25, 1e-6);
    ac.stream[1].lat = 50;   // no distance: at least 1 kt
    EXPECT_DOUBLE_EQ(liveac::legSpeed(ac), 1.0);
    ac.stream[0].speed = 100;
    ac.stream[1].speed = 140;
    EXPECT_DOUBLE_EQ(liveac::legSpeed(ac), 120.0);

    // Off a stop: the speed over the feed's times, not half the end record's speed.
    ac.stream[0].speed = 0;
    ac.stream[1].speed = 20;
    ac.stream[1].lat = 50 + oneNm / 10;
    ac.stream[1].slot = 1800;  // 0.1 nm in 18 s: 20 kt
    EXPECT_NEAR(liveac::legSpeed(ac), 20.0, 1e-6);
    ac.stream[1].slot = 36000;  // slower over the times: the mean at least
    EXPECT_DOUBLE_EQ(liveac::legSpeed(ac), 10.0);
    ac.stream[0].slot = 40000;  // the head reached after the second's slot: the mean, no rush
    EXPECT_DOUBLE_EQ(liveac::legSpeed(ac), 10.0);
}

// A near-zero speed over a long distance gives the longest leg, not an overflow.
TEST(MotionAir, LegTicksAreClampedBeforeConversion)
{
    MotionSandbox sandbox;
    g_tick.store(2000000000);
    LiveAc ac = placed({rec(50, 8, 0, 1e-9, true, 3000), rec(10, 80, 100, 1e-9, true, 3000)}, false,
                       AcPhase::Airborne);
    ac.holdCounter = 2;
    nextPosAir(ac);
    EXPECT_EQ(ac.stream[1].slot, 2000000000 + 100000000);
}

TEST(MotionAir, AirborneAircraftNeverStops)
{
    MotionSandbox sandbox;
    PosRecord stop = rec(50.01, 8, 500, 0, true, 3000);
    stop.stop = 1;
    LiveAc ac = placed({rec(50, 8, 0, 200, true, 3000), stop, rec(50.02, 8, 1000, 200, true, 3000)}, false,
                       AcPhase::Airborne);
    nextPosMain(ac);
    ASSERT_EQ(ac.stream.size(), 1u);
    EXPECT_EQ(ac.stream[0].lat, 50.02);
    EXPECT_FALSE(ac.stream[0].stop);
    EXPECT_GT(ac.latStep, 0.0);

    // A rotorcraft keeps its stop.
    LiveAc heli = placed({rec(50, 8, 0, 60, true, 500), stop, rec(50.02, 8, 1000, 60, true, 500)}, false,
                         AcPhase::Airborne, SizeClass::Rotorcraft);
    nextPosMain(heli);
    ASSERT_EQ(heli.stream.size(), 2u);
    EXPECT_TRUE(heli.stream[0].stop);
    EXPECT_EQ(heli.latStep, 0.0);
}

// At the end of its data an airborne aircraft is extended eight seconds at a time at its speed and
// its vertical rate (1200 ft/min: 160 ft a record) until the hold counter runs out, then removed.
TEST(MotionAir, AirborneEndOfDataExtendsThenRemoves)
{
    MotionSandbox sandbox;
    g_rangeNm.store(40.0);
    g_autoRangeGround.store(false);
    setUser(50.0, 8.0, 0, 0, 0, 0, true);
    LiveAc ac = placed({rec(50.0, 8.0, 0, 200, true, 3000), rec(50.05, 8.0, 1000, 200, true, 3000)}, false,
                       AcPhase::Airborne);
    ac.stream[1].vertRate = 1200.0;
    ac.sim.heading = 0.0;  // north
    g_tick.store(1000);
    nextPosMain(ac);  // flies to the last record
    ASSERT_EQ(ac.stream.size(), 1u);

    std::vector<double> speeds;
    std::vector<double> altitudes;
    for (int leg = 0; leg < 20 && ac.state == AcState::Placed; ++leg) {
        g_tick.store(ac.stream.front().slot);
        nextPosMain(ac);
        if (ac.state == AcState::Placed) {
            speeds.push_back(ac.stream.front().speed);
            altitudes.push_back(ac.stream.front().alt);
        }
    }
    ASSERT_EQ(speeds.size(), 8u);
    for (std::size_t i = 0; i < speeds.size(); ++i) {
        EXPECT_EQ(speeds[i], 200.0) << i;
        EXPECT_NEAR(altitudes[i], 3000.0 + 160.0 * static_cast<double>(i + 1), 1e-9) << i;
    }
    EXPECT_EQ(ac.state, AcState::BeingRemoved);
    EXPECT_EQ(ac.holdCounter, -1);

    // Out of range, or the automatic range on the ground: removed at once.
    LiveAc far = placed({rec(51.0, 8.0, 0, 200, true, 3000)}, false, AcPhase::Airborne);
    far.sim.lat = 51.0;
    EXPECT_FALSE(liveac::endOfStream(far));  // 60 nm from the user, range 40
    g_autoRangeGround.store(true);
    LiveAc near = placed({rec(50.1, 8.0, 0, 200, true, 3000)}, false, AcPhase::Airborne);
    EXPECT_FALSE(liveac::endOfStream(near));
}

// Standing at the end of its data: removed at once beside another taxiing aircraft; alone it
// waits in 3-second stop records until MAX_HOLDING_MINUTES have passed.
TEST(MotionAir, GroundHoldAtTheEndOfData)
{
    MotionSandbox sandbox;
    LiveAc other = placed({rec(50.0, 8.0001, 0, 5)}, true, AcPhase::Taxiing);
    other.objectId = 1002;
    g_liveAc.push_back(other);
    LiveAc ac = placed({rec(50.0, 8.0, 100, 0)}, true, AcPhase::Taxiing);
    ac.waiting = 1;
    EXPECT_FALSE(liveac::endOfStream(ac));
    EXPECT_FALSE(ac.waiting);

    g_liveAc.clear();
    g_optMaxHoldingMinutes.set(2);
    g_tick.store(1000);
    LiveAc alone = placed({rec(50.0, 8.0, 1000, 0)}, true, AcPhase::Taxiing);
    int holds = 0;
    while (alone.state == AcState::Placed && holds < 100) {
        g_tick.store(alone.stream.front().slot);
        nextPosMain(alone);
        if (alone.state == AcState::Placed) {
            ++holds;
            EXPECT_TRUE(alone.stream.front().stop);
        }
    }
    // Waiting starts at 1000 and holds in 300-tick stops; it ends once the whole minutes waited
    // exceed 2, at tick 1000 + 18000: 60 holds.
    EXPECT_EQ(holds, 60);
    EXPECT_EQ(alone.state, AcState::BeingRemoved);
}

// Out of the query range an aircraft is removed at the end of its data whatever its phase: one
// that stands on the ground (a take-off that never starts, a pushback, a parked one) does not wait
// for its holding minutes. 18 nm north of the user with a 10 nm range: removed; 5 nm: held.
TEST(MotionAir, OutOfRangeEndsTheDataInEveryPhase)
{
    MotionSandbox sandbox;
    const double savedRange = g_rangeNm.load();
    g_rangeNm.store(10.0);
    g_autoRangeGround.store(false);
    setUser(50.0, 8.0);
    g_tick.store(1000);
    for (AcPhase phase : {AcPhase::Taxiing, AcPhase::PushedBack, AcPhase::Parked, AcPhase::Airborne}) {
        const bool onGround = phase != AcPhase::Airborne;
        LiveAc far = placed({rec(50.3, 8.0, 1000, 0, !onGround, onGround ? 0.0 : 3000.0)}, onGround, phase);
        EXPECT_FALSE(liveac::endOfStream(far)) << static_cast<int>(phase);
        EXPECT_EQ(far.stream.size(), 1u) << static_cast<int>(phase);
        EXPECT_FALSE(far.waiting) << static_cast<int>(phase);
        LiveAc near = placed({rec(50.0833, 8.0, 1000, 0, !onGround, onGround ? 0.0 : 3000.0)}, onGround, phase);
        EXPECT_TRUE(liveac::endOfStream(near)) << static_cast<int>(phase);
        EXPECT_EQ(near.stream.size(), 2u) << static_cast<int>(phase);
    }
    // An airborne one already extending stops once it has flown out of range.
    LiveAc leaving = placed({rec(50.3, 8.0, 1000, 200, true, 3000)}, false, AcPhase::Airborne);
    leaving.holdCounter = 5;
    EXPECT_FALSE(liveac::endOfStream(leaving));
    g_rangeNm.store(savedRange);
}

TEST(MotionAir, ParkedExtensionLiesOneWeekAheadAndFreesTheStand)
{
    MotionSandbox sandbox;
    g_parkPositions.emplace_back("A1", std::vector<ParkPosOption>{}, 50.0, 8.0, 0.0, 40.0, false, false, false);
    g_parkPositions[0].standId = 3;
    g_parkPositions[0].occupied = true;
    LiveAc ac = placed({rec(50.0, 8.0, 500, 0)}, true, AcPhase::Parked);
    ac.standId = 3;
    ac.standApproachSeen = 1;
    ASSERT_TRUE(liveac::endOfStream(ac));
    ASSERT_EQ(ac.stream.size(), 2u);
    EXPECT_EQ(ac.stream[1].slot, 500 + 60480000);
    EXPECT_TRUE(ac.stream[1].stop);
    EXPECT_EQ(ac.holdCounter, 1);
    EXPECT_FALSE(g_parkPositions[0].occupied);
    EXPECT_FALSE(ac.standApproachSeen);
}

TEST(MotionAir, ExtensionSpeedsOnTheGround)
{
    struct Case {
        bool takeOff;
        bool spoilersOut;
        double headSpeed;
        double speed;
        double vertRate;
    };
    for (const Case& c : {Case{true, false, 30, 40, 0}, Case{true, false, 120, 150, 600},
                          Case{true, false, 170, 180, 2400}, Case{false, true, 140, 100, 0},
                          Case{false, true, 59, 20, 0}, Case{false, false, 20, 0, 0}}) {
        MotionSandbox sandbox;
        LiveAc ac = placed({rec(50.0, 8.0, 0, c.headSpeed)}, true, AcPhase::Taxiing);
        ac.takeOff = c.takeOff ? 1 : 0;
        ac.motion.spoilersOut = c.spoilersOut ? 1 : 0;
        liveac::extendStream(ac, 10);
        ASSERT_EQ(ac.stream.size(), 2u);
        EXPECT_DOUBLE_EQ(ac.stream[1].speed, c.speed) << c.headSpeed;
        EXPECT_DOUBLE_EQ(ac.stream[1].vertRate, c.vertRate) << c.headSpeed;
        EXPECT_EQ(ac.stream[1].slot, 300);
        EXPECT_EQ(ac.stream[1].stop != 0, c.speed == 0.0);
    }
}

TEST(MotionAir, StepTickMovesTurnsAndWraps)
{
    MotionSandbox sandbox;
    LiveAc ac = placed({rec(50.0, 179.9999, 0, 200, true, 3000)}, false, AcPhase::Airborne);
    ac.sim.heading = 2 * std::numbers::pi - 0.001;
    ac.latStep = 0.001;
    ac.lonStep = 0.001;
    ac.altStep = 2.0;
    ac.sim.alt = 3000.0;
    ac.motion.headingStep = 0.002;
    liveac::stepTick(ac);
    EXPECT_DOUBLE_EQ(ac.sim.lat, 50.001);
    EXPECT_NEAR(ac.sim.lon, -179.9991, 1e-9);
    EXPECT_NEAR(ac.sim.heading, 0.001, 1e-12);
    EXPECT_DOUBLE_EQ(ac.sim.alt, 3002.0);

    // Pushed back and standing: no movement of the position.
    LiveAc standing = placed({rec(50.0, 8.0, 0, 0)}, true, AcPhase::PushedBack);
    standing.latStep = 0.001;
    liveac::stepTick(standing);
    EXPECT_EQ(standing.sim.lat, 50.0);

    // Taxiing in turns toward the course by the turn rate, the shorter way round.
    LiveAc taxiIn = placed({rec(50.0, 8.0, 0, 5)}, true, AcPhase::TaxiIn);
    taxiIn.sim.heading = 350 * kDeg;
    taxiIn.course = 10 * kDeg;
    liveac::stepTick(taxiIn);
    EXPECT_NEAR(taxiIn.sim.heading, 350 * kDeg + taxiIn.turnRate, 1e-12);
    taxiIn.course = taxiIn.sim.heading + 0.4 * kDeg;  // within half a degree: no turn
    const double before = taxiIn.sim.heading;
    liveac::stepTick(taxiIn);
    EXPECT_DOUBLE_EQ(taxiIn.sim.heading, before);
}

TEST(MotionAir, StepTickCurveFailureIsLogged)
{
    MotionSandbox sandbox;
    LiveAc ac = placed({rec(50.0, 8.0, 0, 5)}, true, AcPhase::Taxiing);
    ac.curve = {50.0, 8.0, 0.0, 10.0, 10.0, 1.0, std::nan(""), 5.0};
    ac.curve[0] = 50.0;
    ac.motion.curveStep = 0.1;
    liveac::stepTick(ac);
    EXPECT_EQ(ac.sim.lat, 50.0);
    EXPECT_NE(sandbox.logText().find("DLH1 error in curve at index: 0.10"), std::string::npos);
}

// The take-off rotation: the countdown runs from the rotation ticks; below 1 the climb begins with
// a tenth, a fifth, half and then the full altitude step; the gear goes up at -300 and the phase
// becomes airborne at 800 ft above ground.
TEST(MotionAir, TakeOffRotationAndClimbOut)
{
    MotionSandbox sandbox;
    LiveAc ac = placed({rec(50.0, 8.0, 0, 140)}, true, AcPhase::TakeOff);
    ac.rotationTickCounter = 200;
    ac.pitchStep = ac.rotationPitch / 200;
    ac.altStep = 10.0;
    ac.heightAboveGround = 0.0;
    for (int i = 0; i < 199; ++i)
        liveac::stepTick(ac);
    EXPECT_EQ(ac.rotationTickCounter, 1);
    EXPECT_FALSE(ac.onGround);
    EXPECT_NEAR(ac.sim.pitch, ac.rotationPitch * 199 / 200, 1e-9);  // 199 steps while the count is 1 or more
    EXPECT_EQ(ac.sim.alt, 0.0);
    liveac::stepTick(ac);  // counter 0
    EXPECT_EQ(ac.sim.alt, 0.0);
    for (int i = 0; i < 99; ++i)  // -1 .. -99
        liveac::stepTick(ac);
    EXPECT_NEAR(ac.sim.alt, 99.0, 1e-9);
    for (int i = 0; i < 100; ++i)  // -100 .. -199
        liveac::stepTick(ac);
    EXPECT_NEAR(ac.sim.alt, 99.0 + 200.0, 1e-9);
    for (int i = 0; i < 100; ++i)  // -200 .. -299
        liveac::stepTick(ac);
    EXPECT_NEAR(ac.sim.alt, 299.0 + 500.0, 1e-9);
    EXPECT_TRUE(eventsFor(1001).empty());
    liveac::stepTick(ac);  // -300: gear up
    ASSERT_EQ(eventsFor(1001).size(), 1u);
    EXPECT_EQ(eventsFor(1001)[0].data, 0u);
    ac.heightAboveGround = 800.0;
    liveac::stepTick(ac);
    EXPECT_EQ(ac.phase, AcPhase::Airborne);
    EXPECT_EQ(ac.prevPhase, AcPhase::TakeOff);
    EXPECT_EQ(ac.rotationTickCounter, 1);
}

// The user lies within 4000 ft of the aircraft's course line, within 6 nm and 3000 ft. The angle
// is wrapped before its absolute value: a course of 350 degrees against a bearing of 10 differs
// by 20.
TEST(MotionAir, PassesUserGeometry)
{
    struct Case {
        const char* name;
        double headLat, headLon, headAlt, courseDeg;
        bool passes;
    };
    const double nm = 1.0 / 60.0;
    const Case cases[] = {
        {"flying straight at the user", 50.0 + 3 * nm, 8.0, 1000, 180, true},
        {"crossing 2 nm north of the user", 50.0 + 2 * nm, 8.0, 1000, 90, false},
        {"350 against a bearing of 10, 1 nm out", 50.0 + nm * std::cos(10 * kDeg),
         8.0 + nm * std::sin(10 * kDeg) / std::cos(50 * kDeg), 1000, 350, true},
        // 1.7 nm off its line; without the wrap (340 degrees) it would count as passing.
        {"350 against a bearing of 10, 5 nm out", 50.0 + 5 * nm * std::cos(10 * kDeg),
         8.0 + 5 * nm * std::sin(10 * kDeg) / std::cos(50 * kDeg), 1000, 350, false},
        {"too far", 50.0 + 7 * nm, 8.0, 1000, 180, false},
        {"too high", 50.0 + 3 * nm, 8.0, 4000, 180, false},
    };
    for (const Case& c : cases) {
        MotionSandbox sandbox;
        setUser(50.0, 8.0, 1000, 1000, 0, 0, false);
        LiveAc ac = placed({rec(c.headLat, c.headLon, 0, 200, true, c.headAlt)}, false, AcPhase::Airborne);
        ac.course = c.courseDeg * kDeg;
        EXPECT_EQ(liveac::passesUser(ac), c.passes) << c.name;
    }
}

TEST(MotionAir, LiveryRespawnOfAParkedAircraft)
{
    MotionSandbox sandbox;
    g_tick.store(700);
    LiveAc ac = placed({rec(50.0, 8.0, 100, 0), rec(50.0, 8.0, 60480100, 0)}, true, AcPhase::Parked);
    ac.sim.heading = 90 * kDeg;
    liveryRespawn(ac);
    ASSERT_EQ(ac.stream.size(), 2u);
    EXPECT_EQ(ac.stream[0].slot, 701);
    EXPECT_TRUE(ac.stream[0].stop);
    EXPECT_TRUE(ac.stream[1].stop);
    EXPECT_NEAR(ac.stream[1].track, 90.0, 1e-9);
    EXPECT_EQ(ac.state, AcState::Respawning);
    ASSERT_EQ(g_removeRequests.size(), 1u);

    LiveAc empty = placed({}, true, AcPhase::Taxiing);
    liveryRespawn(empty);  // logged, not passed on
    EXPECT_NE(sandbox.logText().find("liveryRespawn: invalid deque<T> subscript"), std::string::npos);
}

// On the ground the leg is planned by the ground movement, which replaces the feed's timing of
// the second record: 0.6 nm at 10 kt take 21600 ticks, held to the late limit (1000 ticks) after
// the feed's 500.
TEST(MotionAir, GroundLegsArePlannedByTheGroundMovement)
{
    MotionSandbox sandbox;
    LiveAc ac = placed({rec(50.0, 8.0, 0, 10), rec(50.01, 8.0, 500, 10)}, true, AcPhase::Taxiing);
    nextPos(ac);
    ASSERT_EQ(ac.stream.size(), 1u);
    // 0.6 nm at 10 kt take 21600 ticks; the feed's 500 lie far before: the early limit.
    EXPECT_EQ(ac.stream.front().slot, 20600);
}
