// Stream append rules: stops, play-out ticks, short stops cut out, the pushed-back wait, the
// pushback turn side, landing roll-out courses, stand arrival and departure with the towed flag.
#include <gtest/gtest.h>

#include <numbers>

#include "foundation/settings.h"
#include "model/stand_model.h"
#include "simulator/ai_tick.h"
#include "support/stand_services_fake.h"
#include "simulator/motion_math.h"
#include "simulator/removal.h"
#include "simulator/sim_ids.h"
#include "simulator/stream_append.h"
#include "support/motion_fixture.h"

using namespace tvxtest;

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
constexpr double kMetre = 1.0 / 1852.0 / 60.0;  // degrees of latitude per metre

LiveAc placedOnGround(std::vector<PosRecord> stream, AcPhase phase, SizeClass cls = SizeClass::Large)
{
    LiveAc ac = makeLiveAc(0x3C3000, "DLH1", std::move(stream), cls, AcState::Placed, phase);
    ac.objectId = 1001;
    ac.onGround = 1;
    if (!ac.stream.empty()) {
        ac.sim.lat = ac.stream.front().lat;
        ac.sim.lon = ac.stream.front().lon;
    }
    return ac;
}

PosRecord stopAt(double lat, double lon, std::int32_t slot)
{
    PosRecord r = rec(lat, lon, slot, 0);
    r.stop = 1;
    return r;
}

}  // namespace

// Two ground records 0.0001 degrees apart: the second becomes a stop copy of the first with
// speed 0 (keeping its own play-out tick); a record not later than the last is moved to last + 1.
TEST(MotionAppend, JitterBecomesAStopAndTicksMoveForward)
{
    MotionSandbox sandbox;
    LiveAc ac = makeLiveAc(0x3C3001, "DLH1", {rec(50.0, 8.0, 1000, 3)});
    liveac::appendRecord(ac, rec(50.0001, 8.0001, 1500, 2));
    ASSERT_EQ(ac.stream.size(), 2u);
    EXPECT_EQ(ac.stream[1].lat, 50.0);
    EXPECT_EQ(ac.stream[1].lon, 8.0);
    EXPECT_EQ(ac.stream[1].speed, 0.0);
    EXPECT_TRUE(ac.stream[1].stop);
    EXPECT_EQ(ac.stream[1].slot, 1500);

    liveac::appendRecord(ac, rec(50.01, 8.0, 1200, 10));
    ASSERT_EQ(ac.stream.size(), 3u);
    EXPECT_EQ(ac.stream[2].slot, 1501);

    // An aircraft whose stream ran empty takes the record as its new start instead of failing.
    LiveAc empty = placedOnGround({}, AcPhase::Taxiing);
    liveac::appendRecord(empty, rec(50.0, 8.0, 100, 5));
    EXPECT_EQ(empty.stream.size(), 1u);

    // Airborne records near the last one are not taken.
    LiveAc air = makeLiveAc(0x3C3002, "DLH2", {rec(50.0, 8.0, 1000, 150, true, 2000)});
    liveac::appendRecord(air, rec(50.0001, 8.0, 1100, 150, true, 2000));
    EXPECT_EQ(air.stream.size(), 1u);
}

// markStop, record by record: same position, near, farther, with and without take-off.
TEST(MotionAppend, MarkStopRules)
{
    struct Case {
        const char* name;
        double dLat;
        double speed;
        bool airborne;
        bool takeOff;
        double lastSpeed;
        bool taken;
        bool stop;
    };
    const Case cases[] = {
        {"same position on the ground", 0.0, 3, false, false, 5, true, true},
        {"same position airborne", 0.0, 3, true, false, 5, false, true},
        {"same position, rolling for take-off", 0.0, 3, false, true, 30, false, true},
        {"same position, take-off slow", 0.0, 3, false, true, 29, true, true},
        {"near, take-off at 50 kt", 0.0001, 3, false, true, 50, false, false},
        {"farther, moving", 0.001, 3, false, false, 5, true, false},
        {"farther, speed 0 airborne after fast record", 0.001, 0, true, false, 60, false, false},
        {"farther, speed 0 airborne after slow record", 0.001, 0, true, false, 40, true, false},
    };
    for (const Case& c : cases) {
        MotionSandbox sandbox;
        LiveAc ac = makeLiveAc(0x3C3003, "DLH3", {rec(50.0, 8.0, 0, c.lastSpeed, c.airborne, 1000)});
        ac.takeOff = c.takeOff ? 1 : 0;
        PosRecord r = rec(50.0 + c.dLat, 8.0, 100, c.speed, c.airborne, 1000);
        EXPECT_EQ(liveac::markStop(ac, r), c.taken) << c.name;
        EXPECT_EQ(r.stop != 0, c.stop) << c.name;
    }
}

// A stop of 10 s after a moving record is cut out when the aircraft moves on; a stop of 20 s
// stays unless the new record lies within 22 m of the last moving record.
TEST(MotionAppend, ShortStopsAreCutOut)
{
    struct Case {
        const char* name;
        std::int32_t stopTicks;
        double newMetres;  // distance of the new record from the last moving record
        std::size_t size;  // stream size after the append
    };
    for (const Case& c : {Case{"10 s stop", 1000, 100, 3}, Case{"20 s stop", 2000, 100, 5},
                          Case{"20 s stop, back within 22 m", 2000, 20, 3}}) {
        MotionSandbox sandbox;
        const double lat = 50.0;
        LiveAc ac = placedOnGround({rec(lat - 100 * kMetre, 8.0, 0, 10), rec(lat, 8.0, 500, 10),
                                    stopAt(lat, 8.0, 600), stopAt(lat, 8.0, 500 + c.stopTicks)},
                                   AcPhase::Taxiing);
        liveac::appendRecord(ac, rec(lat + c.newMetres * kMetre, 8.0, 700 + c.stopTicks, 10));
        EXPECT_EQ(ac.stream.size(), c.size) << c.name;
        EXPECT_FALSE(ac.stream.back().stop) << c.name;
        EXPECT_FALSE(ac.stream[1].stop) << c.name;
    }
}

TEST(MotionAppend, StopsOnlyStreamIsCutToItsHead)
{
    MotionSandbox sandbox;
    g_tick.store(40);
    LiveAc ac = placedOnGround({stopAt(50.0, 8.0, 0), stopAt(50.0, 8.0, 300), stopAt(50.0, 8.0, 600)},
                               AcPhase::Taxiing);
    PosRecord r = rec(50.0, 8.0, 900, 0);
    liveac::appendRecord(ac, r);
    ASSERT_EQ(ac.stream.size(), 2u);
    // Two stops left: the head is due next tick and takes the second record's speed.
    EXPECT_EQ(ac.stream[0].slot, 41);
    EXPECT_TRUE(ac.stream[1].stop);
}

// Pushed back and standing: records within 6 sizes (and not beyond 2.75 sizes and farther than
// before) make it wait; beyond, it taxis and loses its stand.
TEST(MotionAppend, PushedBackWaitsThenTaxis)
{
    MotionSandbox sandbox;
    g_tick.store(100);
    LiveAc ac = placedOnGround({rec(50.0, 8.0, 0, 0), rec(50.0, 8.0, 50, 0)}, AcPhase::PushedBack);
    ac.standId = 4;
    ac.standLat = 50.0;
    ac.pushbackStep = 1;
    const double size = ac.size;  // nm
    const double degPerNm = 1.0 / 60.0;
    liveac::appendRecord(ac, rec(50.0 + 2.0 * size * degPerNm, 8.0, 200, 3));
    EXPECT_TRUE(ac.waiting);
    EXPECT_EQ(ac.waitingStartTick, 100u);
    EXPECT_EQ(ac.phase, AcPhase::PushedBack);
    EXPECT_EQ(ac.stream.size(), 2u);
    liveac::appendRecord(ac, rec(50.0 + 5.0 * size * degPerNm, 8.0, 300, 3));
    EXPECT_EQ(ac.phase, AcPhase::Taxiing);  // beyond 2.75 sizes and farther than before
    EXPECT_EQ(ac.standId, 0u);
    EXPECT_FALSE(ac.waiting);
    EXPECT_EQ(ac.pushbackStep, 0u);
    EXPECT_EQ(ac.stream.size(), 3u);

    LiveAc close = placedOnGround({rec(50.0, 8.0, 0, 0)}, AcPhase::PushedBack);
    close.farthestStandDist = 1.0;
    liveac::appendRecord(close, rec(50.0 + 5.0 * size * degPerNm, 8.0, 300, 3));
    EXPECT_EQ(close.phase, AcPhase::PushedBack);  // not farther than before, within 6 sizes
    liveac::appendRecord(close, rec(50.0 + 7.0 * size * degPerNm, 8.0, 400, 3));
    EXPECT_EQ(close.phase, AcPhase::Taxiing);
}

TEST(MotionAppend, PushbackRecordDecidesTheTurnSide)
{
    MotionSandbox sandbox;
    LiveAc ac = placedOnGround({rec(50.0, 8.0, 0, 0), rec(50.0, 8.0, 50, 0)}, AcPhase::Pushback);
    ac.pushbackStep = 2;
    ac.sim.heading = 90 * kDeg;
    PosRecord r = rec(50.001, 8.0, 100, 3, false, 0, 100.0);
    liveac::appendRecord(ac, r);
    EXPECT_EQ(ac.stream.size(), 2u);  // never appended
    EXPECT_EQ(ac.pushbackTurnSide, 1);
    EXPECT_TRUE(ac.pushbackTurnSideSet);

    LiveAc zero = placedOnGround({rec(50.0, 8.0, 0, 0)}, AcPhase::Pushback);
    zero.pushbackStep = 2;
    liveac::appendRecord(zero, rec(50.001, 8.0, 100, 3, false, 0, 0.0));  // track exactly 0: nothing
    EXPECT_FALSE(zero.pushbackTurnSideSet);

    g_optStraightPbsOnly.set(true);
    LiveAc straight = placedOnGround({rec(50.0, 8.0, 0, 0)}, AcPhase::Pushback);
    straight.pushbackStep = 2;
    liveac::appendRecord(straight, r);
    EXPECT_FALSE(straight.pushbackTurnSideSet);
}

TEST(MotionAppend, LimitsOfTheStream)
{
    MotionSandbox sandbox;
    std::vector<PosRecord> many;
    for (int i = 0; i < 201; ++i)
        many.push_back(rec(50.0 + i * 0.001, 8.0, i * 100, 10));
    LiveAc ac = placedOnGround(many, AcPhase::Taxiing);
    liveac::appendRecord(ac, rec(51.0, 8.0, 30000, 10));
    EXPECT_EQ(ac.state, AcState::BeingRemoved);
    EXPECT_EQ(ac.stream.size(), 201u);

    // A waiting aircraft whose records lie beyond HOLDING_THRESHOLD_METERS is given up.
    LiveAc waiting = placedOnGround({rec(50.0, 8.0, 0, 0)}, AcPhase::Taxiing);
    waiting.waiting = 1;
    liveac::appendRecord(waiting, rec(50.0 + 240 * kMetre, 8.0, 100, 5));
    EXPECT_EQ(waiting.state, AcState::Placed);
    liveac::appendRecord(waiting, rec(50.0 + 260 * kMetre, 8.0, 200, 5));
    EXPECT_EQ(waiting.state, AcState::BeingRemoved);
    EXPECT_FALSE(waiting.waiting);
}

// After a hold, the records move again: the hold ends and the head is due next tick.
TEST(MotionAppend, ResumeAfterStop)
{
    MotionSandbox sandbox;
    g_tick.store(5000);
    LiveAc ac = placedOnGround({stopAt(50.0, 8.0, 4800), stopAt(50.0, 8.0, 5100)}, AcPhase::Taxiing);
    ac.holdCounter = 1;
    ac.waiting = 1;
    liveac::appendRecord(ac, rec(50.001, 8.0, 6000, 10));
    EXPECT_EQ(ac.holdCounter, 0);
    EXPECT_EQ(ac.earlyLimit, 3000);
    EXPECT_EQ(ac.lateLimit, 3000);
    EXPECT_EQ(ac.stream[0].slot, 5001);
    EXPECT_FALSE(ac.waiting);
}

// Landing roll-out: records behind the aircraft are dropped, a faster record above 40 kt is slowed
// to the last one's speed.
TEST(MotionAppend, GroundCourseDuringTheRollOut)
{
    MotionSandbox sandbox;
    LiveAc ac = placedOnGround({rec(50.0, 8.0, 0, 120), rec(50.01, 8.0, 100, 100), rec(50.03, 8.0, 200, 90)},
                               AcPhase::Taxiing);
    ac.sim.heading = 0.0;  // north
    ac.motion.spoilersOut = 1;
    ac.holdCounter = 2;
    liveac::appendRecord(ac, rec(50.02, 8.0, 300, 110));
    // The new record lies behind the last one (course south against heading north): the last
    // record is dropped.
    ASSERT_EQ(ac.stream.size(), 3u);
    EXPECT_EQ(ac.stream[1].lat, 50.01);
    EXPECT_EQ(ac.stream[2].speed, 100.0);
    EXPECT_EQ(ac.holdCounter, 0);

    PosRecord same = rec(50.02, 8.0, 400, 50);
    const std::size_t before = ac.stream.size();
    liveac::appendRecord(ac, same);
    EXPECT_EQ(ac.stream.size(), before);  // at the last record's position: not taken
}

// A landing aircraft still in the air whose records climb away and turn (a low pass, as the
// recorded B350's circuits at Heathrow): its records are taken as flown, none dropped by the
// roll-out's course check (which cut a 30 s corner of the climb-out, 680 m off the recording).
TEST(MotionAppend, MissedApproachRecordsAreKept)
{
    MotionSandbox sandbox;
    LiveAc ac = makeLiveAc(0x4070F4, "VOR05", {rec(51.4774, -0.5125, 0, 138, true, 200, 90),
                                               rec(51.4775, -0.5040, 500, 138, true, 100, 90)},
                           SizeClass::Light, AcState::Placed, AcPhase::Airborne);
    ac.objectId = 1001;
    ac.sim.heading = 90.0 * kDeg;
    ac.landing = 1;
    liveac::appendRecord(ac, rec(51.4779, -0.4980, 1000, 130, true, 180, 80));
    liveac::appendRecord(ac, rec(51.4821, -0.4782, 1500, 121, true, 540, 20));
    liveac::appendRecord(ac, rec(51.4876, -0.4790, 2000, 124, true, 710, 330));  // 120 degrees off the heading
    ASSERT_EQ(ac.stream.size(), 5u);
    EXPECT_EQ(ac.stream[3].lat, 51.4821);
    EXPECT_EQ(ac.stream[4].lat, 51.4876);
}

// A landing roll-out whose records climb again: go-around with the take-off configuration.
TEST(MotionAppend, GoAroundFromTheRollOut)
{
    MotionSandbox sandbox;
    LiveAc ac = placedOnGround({rec(50.0, 8.0, 0, 120, true, 100), rec(50.01, 8.0, 100, 130, true, 200)},
                               AcPhase::Taxiing);
    ac.sim.heading = 0.0;
    LiveMotion& m = ac.motion;
    m.spoilersOut = 1;
    m.landed = 1;
    liveac::appendRecord(ac, rec(50.02, 8.0, 200, 140, true, 400));
    EXPECT_TRUE(ac.takeOff);
    EXPECT_FALSE(m.landed);
    EXPECT_EQ(ac.earlyLimit, 3000);
    EXPECT_EQ(ac.lateLimit, 5000);
    std::vector<std::uint32_t> ids;
    for (const ClientEventCmd& e : eventsFor(1001))
        ids.push_back(e.eventId);
    const std::vector<std::uint32_t> expected{simid::THROTTLE_SET,     simid::SPOILERS_SET,   simid::FLAPS_SET,
                                              simid::NAV_LIGHTS_SET,   simid::BEACON_LIGHTS_SET,
                                              simid::LANDING_LIGHTS_SET, simid::TAXI_LIGHTS_SET,
                                              simid::STROBES_SET,      simid::LOGO_LIGHTS_SET,
                                              simid::CABIN_LIGHTS_SET};
    EXPECT_EQ(ids, expected);
}

TEST(MotionAppend, TakeOffStartsAt43Knots)
{
    MotionSandbox sandbox;
    LiveAc ac = placedOnGround({rec(50.0, 8.0, 0, 30), rec(50.001, 8.0, 100, 43)}, AcPhase::Taxiing);
    liveac::appendRecord(ac, rec(50.002, 8.0, 200, 42));
    EXPECT_EQ(ac.takeOff, 0);
    liveac::appendRecord(ac, rec(50.003, 8.0, 300, 60));
    EXPECT_EQ(ac.takeOff, 0);  // the last record (42 kt) was slower
    liveac::appendRecord(ac, rec(50.004, 8.0, 400, 80));
    EXPECT_EQ(ac.takeOff, 1);
}

// Moving off a stand: the receding count and the distance decide; the first departure from a
// taxi-in calls leaveStand.
TEST(MotionAppend, StandArrivalAndDeparture)
{
    MotionSandbox sandbox;
    g_parkPositions.emplace_back("B7", std::vector<ParkPosOption>{}, 50.0, 8.0, 0.0, 40.0, false, false, false);
    g_parkPositions[0].standId = 2;
    g_parkPositions[0].occupied = true;
    LiveAc ac = placedOnGround({stopAt(50.0, 8.0, 0), stopAt(50.0, 8.0, 60480000)}, AcPhase::Parked);
    ac.prevPhase = AcPhase::Parked;
    ac.standId = 2;
    ac.standLat = 50.0;
    ac.standLon = 8.0;
    ac.size = 0.02;
    // First record at the stand: the distances start.
    liveac::appendRecord(ac, rec(50.0 + 2 * kMetre, 8.0, 100, 0));
    EXPECT_TRUE(ac.standApproachSeen);
    EXPECT_NEAR(ac.firstStandDist, 2.0 / 1852, 1e-6);
    EXPECT_EQ(ac.stream.size(), 2u);
    // Receding by 10 m, then by 30 m: more than the size (37 m) from the first distance.
    liveac::appendRecord(ac, rec(50.0 + 12 * kMetre, 8.0, 200, 2));
    EXPECT_EQ(ac.recedingCount, 1u);
    EXPECT_FALSE(ac.motion.movingOff);
    liveac::appendRecord(ac, rec(50.0 + 42 * kMetre, 8.0, 300, 3));
    EXPECT_TRUE(ac.motion.movingOff);
    EXPECT_EQ(ac.stream.size(), 3u);
    EXPECT_FALSE(ac.stream.back().stop);
    EXPECT_TRUE(g_parkPositions[0].occupied);  // the previous phase was Parked: no leaveStand

    // Beyond 200 m from its stand a placed parked aircraft is given up.
    liveac::appendRecord(ac, rec(50.0 + 300 * kMetre, 8.0, 400, 10));
    EXPECT_EQ(ac.state, AcState::BeingRemoved);

    // Taxiing in and leaving the doubled threshold: taxiing again.
    LiveAc taxiIn = placedOnGround({rec(50.0 + 150 * kMetre, 8.0, 0, 5)}, AcPhase::TaxiIn);
    taxiIn.prevPhase = AcPhase::Taxiing;
    taxiIn.standLat = 50.0;
    taxiIn.standLon = 8.0;
    liveac::appendRecord(taxiIn, rec(50.0 + 100 * kMetre, 8.0, 100, 5));
    EXPECT_EQ(taxiIn.phase, AcPhase::Taxiing);
    EXPECT_EQ(taxiIn.stream.size(), 2u);
}

// A Heavy that landed, parked and moves off its stand 50 minutes later was towed; 61 minutes
// later it was not. The parked head is due one week after the aircraft parked.
TEST(MotionAppend, TowedFlagByTimeParked)
{
    struct Case {
        SizeClass cls;
        std::int32_t minutes;
        bool towed;
    };
    for (const Case& c : {Case{SizeClass::Heavy, 50, true}, Case{SizeClass::Heavy, 61, false},
                          Case{SizeClass::Large, 24, true}, Case{SizeClass::Large, 26, false},
                          Case{SizeClass::Buzjets, 14, true}, Case{SizeClass::Light, 5, false}}) {
        MotionSandbox sandbox;
        const std::int32_t parkedAt = 10000;
        g_tick.store(parkedAt + c.minutes * 6000);
        LiveAc ac = placedOnGround({stopAt(50.0, 8.0, parkedAt + 60480000)}, AcPhase::Parked, c.cls);
        ac.holdCounter = 1;
        ac.standId = 0;
        ac.motion.landed = 1;
        liveac::leaveStand(ac);
        EXPECT_EQ(ac.motion.towed != 0, c.towed) << static_cast<int>(c.cls) << " " << c.minutes;
        EXPECT_FALSE(ac.motion.landed);
        EXPECT_EQ(ac.stream[0].slot, g_tick.load() + 1);
        EXPECT_EQ(ac.holdCounter, 0);
        EXPECT_EQ(ac.earlyLimit, 3000);
    }
}

TEST(MotionAppend, LeaveStandRecordsTheSightingAndFreesTheStand)
{
    MotionSandbox sandbox;
    g_parkPositions.emplace_back("C1", std::vector<ParkPosOption>{}, 50.0, 8.0, 0.0, 40.0, false, false, false);
    g_parkPositions[0].standId = 9;
    g_parkPositions[0].occupied = true;
    bool leaving = false;
    FakeStandServices stands;
    stands.onAddRealParkPosOption = [&](std::uint32_t standId, const LiveAc&, bool trackGap, std::uint64_t,
                                        bool isLeaving) {
        leaving = standId == 9 && trackGap && isLeaving;
        return true;
    };
    g_arrivedLiveAc.emplace_back(0x3C3000, 5);
    LiveAc ac = placedOnGround({stopAt(50.0, 8.0, 0)}, AcPhase::Parked);
    ac.standId = 9;
    liveac::leaveStand(ac);
    EXPECT_TRUE(leaving);
    EXPECT_FALSE(g_parkPositions[0].occupied);
    ASSERT_EQ(g_arrivedLiveAc.size(), 1u);  // the slot of the existing pair is replaced
}

TEST(MotionAppend, CheckStopsLogsABadCount)
{
    MotionSandbox sandbox;
    LiveAc ac = placedOnGround({rec(50.0, 8.0, 0, 5)}, AcPhase::Taxiing);
    checkStops(ac, 5, rec(50.0, 8.0, 100, 5));
    EXPECT_NE(sandbox.logText().find("checkStops: num:5 invalid deque<T> subscript"), std::string::npos);
    EXPECT_EQ(ac.stream.size(), 1u);
}
