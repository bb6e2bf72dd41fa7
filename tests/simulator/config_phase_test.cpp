// Configuration and lights by phase: the 10000 ft lights, climb and approach configuration, the
// landing mode near the park airport, approach rates, touch-down ahead, the take-off decision and
// roll, the roll-out, the flare and the per-class limits.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "foundation/settings.h"
#include "model/airport_list.h"
#include "simconnect/standin_sim.h"
#include "simulator/ac_config.h"
#include "support/stand_services_fake.h"
#include "simulator/motion_math.h"
#include "simulator/sim_ids.h"
#include "support/ground_fixture.h"

using namespace tvxtest;

namespace {

class ConfigTest : public GroundTest {};

// A placed airborne aircraft flying from (47.0, 8.0) north; head and second at the given altitudes.
LiveAc flying(SizeClass cls, double headAlt, double secondAlt, double headVs, double agl)
{
    LiveAc ac = makeLiveAc(0x440011, "AUA12", {rec(47.0, 8.0, 0, 250, true, headAlt), rec(47.02, 8.0, 500, 250, true, secondAlt)},
                           cls, AcState::Placed, AcPhase::Airborne);
    ac.stream[0].vertRate = headVs;
    ac.stream[1].vertRate = headVs;
    ac.objectId = 9;
    ac.sim.lat = 47.0;
    ac.sim.lon = 8.0;
    ac.sim.alt = headAlt;
    ac.heightAboveGround = agl;
    return ac;
}

void clearEvents()
{
    std::lock_guard lock(g_simConnectMutex);
    g_clientEventCmds.clear();
}

}  // namespace

TEST_F(ConfigTest, LightsChangeOnceWhenCrossingTenThousandFeet)
{
    LiveAc ac = flying(SizeClass::Large, 9000, 10500, 2000, 8000);
    liveac::airConfiguration(ac);
    EXPECT_EQ(lightSetsQueued(9), 1u);
    EXPECT_EQ(lastLights(9), (std::vector<std::uint32_t>(7, 1)));

    clearEvents();
    ac.stream[0].alt = 10200;
    liveac::airConfiguration(ac);
    EXPECT_EQ(lastLights(9), (std::vector<std::uint32_t>{1, 1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(ac.throttleIndex, 3u);
    EXPECT_EQ(eventData(9, simid::THROTTLE_SET).back(), 11468u);
    EXPECT_EQ(eventData(9, simid::GEAR_SET).back(), 0u);
    EXPECT_EQ(ac.flapsIndex, 0u);

    clearEvents();
    ac.stream[0].alt = 11000;
    liveac::airConfiguration(ac);
    EXPECT_EQ(lightSetsQueued(9), 0u);

    ac.stream[0].alt = 9500;
    liveac::airConfiguration(ac);
    EXPECT_EQ(lightSetsQueued(9), 1u);
    EXPECT_EQ(lastLights(9), (std::vector<std::uint32_t>(7, 1)));
}

TEST_F(ConfigTest, ApproachConfigurationBelowTheClassHeight)
{
    struct Case {
        SizeClass cls;
        double agl;
        std::uint32_t cabin;  // 0: approach configuration, 1: climb configuration
    };
    for (const Case c : {Case{SizeClass::Light, 600, 0}, Case{SizeClass::Light, 700, 1},
                         Case{SizeClass::Large, 2000, 0}, Case{SizeClass::Large, 2100, 1},
                         Case{SizeClass::Heavy, 2040, 0}, Case{SizeClass::Rotorcraft, 626, 1}}) {
        clearEvents();
        LiveAc ac = flying(c.cls, 3000, 3000, 0, c.agl);
        liveac::airConfiguration(ac);
        const std::vector<std::uint32_t> cabin = eventData(9, simid::CABIN_LIGHTS_SET);
        ASSERT_FALSE(cabin.empty());
        EXPECT_EQ(cabin.back(), c.cabin) << static_cast<int>(c.cls) << " " << c.agl;
    }
}

TEST_F(ConfigTest, DescentNearTheParkAirportSwitchesOnTheLandingModeOnce)
{
    setParkAirport("LOWW", 47.05, 8.0);
    LiveAc ac = flying(SizeClass::Large, 3000, 2800, -800, 1500);
    ac.standId = 3;
    ac.standLat = 47.05;
    ac.cargoStand = 1;
    liveac::approachConfiguration(ac, gf_airportWithin10Nm(ac));
    EXPECT_EQ(ac.landing, 1);
    EXPECT_EQ(ac.standId, 0u);
    EXPECT_DOUBLE_EQ(ac.standLat, 0.0);
    EXPECT_EQ(ac.cargoStand, 0);
    EXPECT_EQ(ac.throttleIndex, 1u);
    EXPECT_EQ(ac.flapsIndex, 3u);
    EXPECT_EQ(eventData(9, simid::GEAR_SET), std::vector<std::uint32_t>{1});
    EXPECT_EQ(ac.earlyLimit, 3000);
    EXPECT_EQ(ac.lateLimit, 3000);
    EXPECT_EQ(g_duplicateCheckList.size(), 1u);

    liveac::approachConfiguration(ac, gf_airportWithin10Nm(ac));
    EXPECT_EQ(g_duplicateCheckList.size(), 1u);
    EXPECT_EQ(eventData(9, simid::GEAR_SET).size(), 1u);

    // Farther than 10 nm: no landing mode.
    LiveAc far = flying(SizeClass::Large, 3000, 2800, -800, 1500);
    far.sim.lat = 46.8;
    liveac::approachConfiguration(far, gf_airportWithin10Nm(far));
    EXPECT_EQ(far.landing, 0);
}

TEST_F(ConfigTest, ApproachVerticalSpeedFollowsTheRecordsAndTheQnh)
{
    struct Case {
        double agl, vs;
        std::int32_t qnh;
        double want;
    };
    for (const Case c : {Case{500, -800, 1020, -842}, Case{100, -800, 1020, -600}, Case{500, -500, 1013, -601},
                         Case{500, -900, 1000, -822}}) {
        g_qnh.store(c.qnh);
        const LiveAc ac = flying(SizeClass::Large, 1000, 900, c.vs, c.agl);
        EXPECT_DOUBLE_EQ(liveac::approachVerticalSpeed(ac), c.want) << c.agl << " " << c.qnh;
    }
}

TEST_F(ConfigTest, TouchDownAheadAwayFromTheParkAirportDescendsAt601)
{
    LiveAc ac = flying(SizeClass::Large, 500, 400, -700, 500);
    ac.stream[1].airborne = 0;
    liveac::airConfiguration(ac);
    EXPECT_DOUBLE_EQ(ac.stream[1].vertRate, -601.0);
    EXPECT_DOUBLE_EQ(ac.vertSpeedFpm, -601.0);
    EXPECT_DOUBLE_EQ(ac.altStep, -601.0 / 6000.0);
    EXPECT_FALSE(eventData(9, simid::GEAR_SET).empty());
    EXPECT_EQ(eventData(9, simid::GEAR_SET).front(), 1u);
}

// Low over the ground without the landing mode, an arrival descends along its records (a floor
// of +0.2 ft per tick under the step made it climb between the records); climbs follow the
// records up to 8000 ft/min, beyond the class's usual rate.
TEST_F(ConfigTest, AltitudeStepFollowsTheRecordedProfile)
{
    struct Case {
        double headAlt, secondAlt, agl, want;
    };
    // 500 ticks to the second record; the Large class's cap is 0.6 ft per tick.
    for (const Case c : {Case{900, 800, 800, -0.2}, Case{900, 900, 800, 0.0}, Case{3000, 3600, 1500, 1.2},
                         Case{3000, 4000, 1500, 8000.0 / 6000.0}, Case{900, 950, 800, 0.1}}) {
        LiveAc ac = flying(SizeClass::Large, c.headAlt, c.secondAlt, 0, c.agl);
        liveac::airConfiguration(ac);
        EXPECT_DOUBLE_EQ(ac.altStep, c.want) << c.headAlt << " to " << c.secondAlt;
    }
}

// Airports of the airport list count like the park airport: the landing mode near one, and a
// touch-down ahead aims at its elevation (with the static CG height).
TEST_F(ConfigTest, ArrivalsLandAtAnAirportOfTheListWithoutAParkAirport)
{
    const auto airports = g_airports;
    g_airports = {{"LSZH", "ZRH", 47.05, 8.0, 1416.0}, {"LSGG", "GVA", 46.24, 6.11, 1411.0}};
    LiveAc ac = flying(SizeClass::Large, 3000, 2800, -800, 1500);
    liveac::approachConfiguration(ac, gf_airportWithin10Nm(ac));
    EXPECT_EQ(ac.landing, 1);
    EXPECT_EQ(ac.flapsIndex, 3u);

    LiveAc down = flying(SizeClass::Large, 1600, 0, -700, 200);
    down.stream[1].airborne = 0;
    down.staticCgHeight = 8.0;
    liveac::airConfiguration(down);
    EXPECT_DOUBLE_EQ(down.altStep, (1416.0 + 8.0 - 1600.0) / 500.0);
    EXPECT_DOUBLE_EQ(gf_groundAltitudeFt(down), 1424.0);

    // The ground the simulator reports under the object comes first.
    down.motion.groundAlt = 1430.0;
    down.motion.groundAltKnown = 1;
    EXPECT_DOUBLE_EQ(gf_groundAltitudeFt(down), 1430.0);

    // More than 10 nm from every airport: no landing mode, no ground known.
    LiveAc far = flying(SizeClass::Large, 3000, 2800, -800, 1500);
    far.sim.lat = 46.8;
    liveac::approachConfiguration(far, gf_airportWithin10Nm(far));
    EXPECT_EQ(far.landing, 0);
    EXPECT_TRUE(std::isnan(gf_groundAltitudeFt(far)));
    g_airports = airports;
}

TEST_F(ConfigTest, PitchStepAimsAtTheClimbPitchWithinTheClassLimit)
{
    // +1200 ft/min: target -3 - 2.2 * 2 = -7.4 degrees; the step is limited to 0.0075 deg per tick.
    LiveAc ac = flying(SizeClass::Large, 5000, 6000, 1200, 4000);
    liveac::airConfiguration(ac);
    EXPECT_NEAR(ac.pitchStep, -0.0075 * kDeg, 1e-12);
    ac.sim.pitch = -7.3 * kDeg;
    liveac::airConfiguration(ac);
    EXPECT_NEAR(ac.pitchStep, -0.1 * kDeg / 500.0, 1e-12);
}

TEST_F(ConfigTest, ClimbReportedOnTheGroundTakesTheFirstAirborneRecord)
{
    LiveAc ac = flying(SizeClass::Large, 0, 0, 0, 50);
    ac.stream[0].airborne = 0;
    ac.stream[1].airborne = 0;
    ac.stream[1].vertRate = 200;
    ac.stream.push_back(rec(47.04, 8.0, 1000, 160, true, 600));
    ac.stream.push_back(rec(47.06, 8.0, 1500, 170, true, 1200));
    ac.stream[2].vertRate = 1500;
    liveac::airConfiguration(ac);
    ASSERT_EQ(ac.stream.size(), 3u);
    EXPECT_DOUBLE_EQ(ac.stream[1].lat, 47.04);
    EXPECT_EQ(eventData(9, simid::GEAR_SET).front(), 1u);
    EXPECT_GT(ac.altStep, 0.0);
    EXPECT_GT(ac.latStep, 0.0);
}

// The roll starts from 43 kt when the records show the climb; with the next record in the air it
// starts whatever the head's speed (sparse or speedless ground positions end the roll late).
TEST_F(ConfigTest, TakeOffRollStartsAt43KnotsOrWithTheNextRecordInTheAir)
{
    struct Case {
        double headSpeed;
        bool climbAhead;
        AcPhase want;
    };
    for (const Case c : {Case{45, true, AcPhase::TakeOff}, Case{45, false, AcPhase::Taxiing},
                         Case{40, true, AcPhase::TakeOff}, Case{40, false, AcPhase::Taxiing},
                         Case{0, true, AcPhase::TakeOff}}) {
        LiveAc ac = makeLiveAc(0x440012, "AUA13", {rec(47.0, 8.0, 0, c.headSpeed), rec(47.01, 8.0, 500, 150, c.climbAhead, 100)},
                               SizeClass::Large, AcState::Placed, AcPhase::Taxiing);
        ac.stream[1].vertRate = c.climbAhead ? 1500 : 0;
        ac.onGround = 1;
        ac.takeOff = 1;
        ac.objectId = 11;
        liveac::groundConfiguration(ac);
        EXPECT_EQ(ac.phase, c.want) << c.headSpeed << " " << c.climbAhead;
        if (c.want == AcPhase::TakeOff) {
            EXPECT_EQ(ac.rotationTickCounter, 200);
            EXPECT_NEAR(ac.pitchStep, ac.rotationPitch / 200.0, 1e-12);
            // The leg's 500 ticks climb nothing during the 200 of the rotation, then a tenth of the
            // step for 99 ticks, a fifth for 100, a half for 100 and the whole step for 1: 80.9
            // ticks of the whole step bring the aircraft to the record's 100 ft.
            EXPECT_NEAR(ac.altStep, 100.0 / 80.9, 1e-9);
            EXPECT_TRUE(std::isnan(ac.curve[0]));
        }
    }
}

// Records ahead in the air, fast, but hardly climbing (the recorded B350's touch-and-go at Heathrow,
// 28 ft to 0 ft): the climb follows their altitude, at most the cap; at the cap it climbed 340 ft
// that no record gave. The leg's rotation and climb build-up give 80.9 ticks of the whole step.
TEST_F(ConfigTest, TakeOffOverLevelRecordsFollowsTheirAltitude)
{
    for (const double ahead : {30.0, 1000.0}) {
        LiveAc ac = makeLiveAc(0x440014, "AUA15", {rec(47.0, 8.0, 0, 140), rec(47.01, 8.0, 500, 150, true, ahead)},
                               SizeClass::Large, AcState::Placed, AcPhase::Taxiing);
        ac.stream[1].vertRate = 200;
        ac.onGround = 1;
        ac.takeOff = 1;
        ac.objectId = 13;
        liveac::groundConfiguration(ac);
        EXPECT_EQ(ac.phase, AcPhase::TakeOff);
        EXPECT_NEAR(ac.altStep, std::min(ahead / 80.9, ac.vertRateCap), 1e-9) << ahead;
    }
}

// A first flying fix 300 ft above the runway 1.3 s after the last ground fix (a datum that the
// ground fixes, at 0 ft, do not show): the whole climb was put into the ticks left after the
// rotation, and the wheels left the ground at 13,000-14,000 ft/min. No faster than a recorded climb.
TEST_F(ConfigTest, LiftOffClimbsNoFasterThanARecordedClimb)
{
    LiveAc ac = makeLiveAc(0x440015, "AUA16", {rec(47.0, 8.0, 0, 140), rec(47.001, 8.0, 130, 150, true, 300),
                                               rec(47.002, 8.0, 230, 152, true, 340)},
                           SizeClass::Large, AcState::Placed, AcPhase::Taxiing);
    ac.stream[1].vertRate = 2500;
    ac.stream[2].vertRate = 2500;
    ac.onGround = 1;
    ac.takeOff = 1;
    ac.objectId = 14;
    liveac::groundConfiguration(ac);
    EXPECT_EQ(ac.phase, AcPhase::TakeOff);
    EXPECT_LE(ac.altStep, 8000.0 / 6000.0);
    EXPECT_GT(ac.altStep, ac.vertRateCap);
}

// Level in the pattern at 850 ft above the ground with the landing mode on, two equal altitudes
// and no touch-down in the records ahead: the aircraft stays level with them. It descended at the
// approach rate (-601 ft/min) for as long as the altitudes stayed equal, then climbed back at
// 4000-8000 ft/min when one differed, again and again. With a touch-down ahead (the feed's
// altitude standing still over the runway at a low QNH) it descends as before.
TEST_F(ConfigTest, LevelFlightWithTheLandingModeStaysLevel)
{
    for (const bool touchDownAhead : {false, true}) {
        LiveAc ac = flying(SizeClass::Large, 2850, 2850, 0, 850);
        ac.stream.push_back(rec(47.04, 8.0, 1000, 250, true, 2850));
        ac.stream.push_back(rec(47.06, 8.0, 1500, 250, !touchDownAhead, touchDownAhead ? 0 : 2850));
        ac.landing = 1;
        liveac::airConfiguration(ac);
        if (touchDownAhead)
            EXPECT_DOUBLE_EQ(ac.altStep, -601.0 / 6000.0);
        else
            EXPECT_DOUBLE_EQ(ac.altStep, 0.0);
    }
}

TEST_F(ConfigTest, TakeOffSetsItsLightsSpoilersLimitsAndHandsTheStandToLearning)
{
    g_optLog.set(true);
    std::vector<bool> learned;
    FakeStandServices stands;
    stands.onLearnStandFromLiveAc = [&](LiveAc&, bool force) { learned.push_back(force); };
    LiveAc ac = makeLiveAc(0x440013, "AUA14", {rec(47.0, 8.0, 0, 50), rec(47.01, 8.0, 500, 80)}, SizeClass::Large,
                           AcState::Placed, AcPhase::Taxiing);
    ac.objectId = 12;
    ac.airline = "AUA";
    ac.motion.towed = 1;
    liveac::startTakeOff(ac);
    EXPECT_EQ(ac.takeOff, 1);
    EXPECT_EQ(eventData(12, simid::SPOILERS_SET), std::vector<std::uint32_t>{0});
    EXPECT_EQ(lastLights(12), (std::vector<std::uint32_t>{1, 1, 1, 1, 1, 1, 0}));
    EXPECT_EQ(ac.earlyLimit, 3000);
    EXPECT_EQ(ac.lateLimit, 5000);
    EXPECT_EQ(learned, std::vector<bool>{true});
    EXPECT_NE(m_box.logText().find("===> towed aircraft takes-off?"), std::string::npos);
}

TEST_F(ConfigTest, RollOutEndsByATurnOfFifteenDegreesEvenAboveNinetyKnots)
{
    simstandin::sim().reset();
    struct Case {
        double turnDeg, speed;
        bool ended, retracted;
    };
    for (const Case c : {Case{15, 120, true, true}, Case{14, 120, false, false}, Case{14, 80, false, true}}) {
        clearEvents();
        LiveAc ac = makeLiveAc(0x440014, "AUA15", {rec(47.0, 8.0, 0, c.speed), rec(47.01, 8.0, 500, c.speed)},
                               SizeClass::Large, AcState::Placed, AcPhase::Taxiing);
        ac.objectId = 13;
        ac.onGround = 1;
        ac.flapsIndex = 3;
        ac.motion.spoilersOut = 1;
        ac.motion.touchdownHeading = 350.0 * kDeg;
        ac.sim.heading = (350.0 + c.turnDeg - 360.0) * kDeg;
        const std::size_t writes = simstandin::sim().calls(simstandin::Call::SetDataOnSimObject).size();
        liveac::rollOut(ac);
        EXPECT_EQ(ac.motion.spoilersOut == 0, c.ended) << c.turnDeg << " " << c.speed;
        EXPECT_EQ(!eventData(13, simid::SPOILERS_SET).empty(), c.retracted);
        const auto calls = simstandin::sim().calls(simstandin::Call::SetDataOnSimObject);
        EXPECT_EQ(calls.size() - writes, c.retracted ? 1u : 0u);
        if (c.retracted) {
            EXPECT_NE(calls.back().args.find("401, 13"), std::string::npos) << calls.back().args;
        }
        if (c.ended) {
            EXPECT_EQ(ac.flapsIndex, 0u);
            EXPECT_EQ(lastLights(13), (std::vector<std::uint32_t>{1, 1, 0, 1, 0, 1, 1}));
        } else if (c.retracted) {
            EXPECT_EQ(ac.flapsIndex, 1u);
        }
    }
}

TEST_F(ConfigTest, FlareStepsDownByTheHeightAboveTheStaticCg)
{
    LiveAc ac = flying(SizeClass::Large, 60, 40, -700, 45);
    ac.staticCgHeight = 10.0;
    ac.landing = 1;
    LiveMotion& m = ac.motion;
    struct Step {
        double agl;
        std::uint32_t stage;
        double altStep, vs;
    };
    for (const Step s : {Step{45, 0, 0.0, -700}, Step{40, 1, -0.1, -601}, Step{31, 1, -0.1, -601},
                         Step{30, 2, -0.075, -450}, Step{20, 3, -0.05, -300}, Step{13, 4, -0.025, -150},
                         Step{5, 4, -0.025, -150}}) {
        ac.heightAboveGround = s.agl;
        liveac::flare(ac);
        EXPECT_EQ(m.flareStage, s.stage) << s.agl;
        EXPECT_DOUBLE_EQ(ac.altStep, s.altStep) << s.agl;
        EXPECT_DOUBLE_EQ(ac.stream[0].vertRate, s.vs) << s.agl;
    }
    EXPECT_EQ(ac.throttleIndex, 0u);
}

TEST_F(ConfigTest, ClassLimitsAreRadiansAndAnUnknownClassThrows)
{
    EXPECT_DOUBLE_EQ(gf_maxBank(SizeClass::Large), 30.0 * kDeg);
    EXPECT_DOUBLE_EQ(gf_maxBankStep(SizeClass::Heavy), 0.015 * kDeg);
    EXPECT_DOUBLE_EQ(gf_maxPitchStep(SizeClass::HighPerf), 0.03 * kDeg);
    EXPECT_DOUBLE_EQ(gf_liftOffSpeed(SizeClass::Buzjets), 110.0);
    try {
        (void)gf_maxBank(static_cast<SizeClass>(6));
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "invalid unordered_map<K, T> key");
    }
}
