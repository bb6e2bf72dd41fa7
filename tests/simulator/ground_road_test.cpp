// Whole ground roads tick by tick through the per-tick update of the live aircraft, with the
// ground movement, the configuration by phase and the duplicates called directly:
// a pushback out of a stand (straight, or turning to the side the records ask for) that ends
// standing with the engines running and then taxis away, a taxi-in that claims a stand at the end
// of its records and parks on it, and a take-off from the roll to the climb.
#include <gtest/gtest.h>

#include <cmath>

#include "foundation/geo.h"
#include "foundation/settings.h"
#include "simulator/live_lifecycle.h"
#include "simulator/motion_math.h"
#include "simulator/stream_append.h"
#include "support/ground_fixture.h"

using namespace tvxtest;

namespace {

class GroundRoadTest : public GroundTest {
protected:

    // Runs the aircraft up to (not including) the tick.
    void runUntil(LiveAc& ac, std::int32_t tick)
    {
        while (g_tick.load() < tick) {
            updateLiveAc(ac);
            g_tick.fetch_add(1);
        }
    }
};

// A Large aircraft parked at stand 1 (heading north, radius 20 m) whose records lead behind it.
LiveAc parkedAtStand()
{
    setParkAirport("EDDM", 48.35, 11.78);
    addStand(1, "212", 48.35, 11.78, 0.0, 20.0);
    g_parkPositions[0].occupied = true;
    LiveAc ac = makeLiveAc(0x3C6601, "DLH2PX", {rec(48.35, 11.78, 0, 0), rec(48.3495, 11.78, 800, 5)},
                           SizeClass::Large, AcState::Placed, AcPhase::Parked);
    ac.stream[0].stop = 1;
    ac.prevPhase = AcPhase::TaxiIn;
    ac.onGround = 1;
    ac.objectId = 61;
    ac.sim.lat = 48.35;
    ac.sim.lon = 11.78;
    ac.standId = 1;
    ac.standLat = 48.35;
    ac.standLon = 11.78;
    ac.motion.movingOff = 1;
    return ac;
}

}  // namespace

TEST_F(GroundRoadTest, PushbackBacksOutStraightStandsAndTaxisAway)
{
    LiveAc ac = parkedAtStand();
    updateLiveAc(ac);
    ASSERT_EQ(ac.phase, AcPhase::Pushback);
    EXPECT_LT(ac.sim.tas, 0.0);  // backwards
    const PosRecord back = ac.stream[1];

    double lastLat = ac.sim.lat;
    bool backwards = true;
    while (ac.phase == AcPhase::Pushback && g_tick.load() < 20000) {
        g_tick.fetch_add(1);
        updateLiveAc(ac);
        backwards = backwards && ac.sim.lat <= lastLat + 1e-12;
        lastLat = ac.sim.lat;
    }
    EXPECT_TRUE(backwards);
    ASSERT_EQ(ac.phase, AcPhase::PushedBack);
    EXPECT_NEAR(ac.sim.lat, back.lat, 1e-7);
    EXPECT_NEAR(ac.sim.lon, 11.78, 1e-9);
    EXPECT_NEAR(ac.sim.heading, 0.0, 1e-9);
    EXPECT_EQ(eventData(61, simid::ENGINE_AUTO_START).size(), 1u);

    // A record 150 m away (more than six sizes): the aircraft taxis and gives up its stand.
    const std::int32_t now = g_tick.load();
    liveac::appendRecord(ac, rec(back.lat, 11.78 + 0.002, now + 2000, 10));
    EXPECT_EQ(ac.phase, AcPhase::Taxiing);
    EXPECT_EQ(ac.standId, 0u);
    runUntil(ac, now + 2500);
    EXPECT_GT(ac.sim.lon, 11.7805);
}

TEST_F(GroundRoadTest, PushbackTurnsToTheSideTheRecordsAskFor)
{
    for (const double track : {90.0, 270.0}) {
        g_parkPositions.clear();
        g_tick.store(0);
        LiveAc ac = parkedAtStand();
        updateLiveAc(ac);
        ASSERT_EQ(ac.phase, AcPhase::Pushback);
        // A record arrives while backing out; its track asks for the nose to swing that way.
        liveac::appendRecord(ac, rec(48.3494, 11.7801, 900, 3, false, 0.0, track));
        ASSERT_EQ(ac.pushbackTurnSideSet, 1);
        while (ac.phase == AcPhase::Pushback && g_tick.load() < 30000) {
            g_tick.fetch_add(1);
            updateLiveAc(ac);
        }
        ASSERT_EQ(ac.phase, AcPhase::PushedBack) << track;
        const double turned = gf_angleDiff(0.0, ac.sim.heading) / kDeg;
        if (track == 90.0) {
            EXPECT_GT(turned, 30.0);
        } else {
            EXPECT_LT(turned, -30.0);
        }
    }
}

TEST_F(GroundRoadTest, TaxiInClaimsAStandAtTheEndOfItsRecordsAndParks)
{
    g_optLog.set(true);
    setParkAirport("EDDM", 48.35, 11.78);
    addStand(4, "215", 48.3502, 11.7803, 90.0, 20.0);
    // What the parked-traffic placement does on a claim: the stand nearest the newest record.
    int claims = 0;
    stands.onClaimStandOnArrival = [&](LiveAc& x, bool) {
        ++claims;
        ParkPos& stand = g_parkPositions[0];
        x.standLat = stand.lat;
        x.standLon = stand.lon;
        x.standHeading = stand.heading;
        x.standId = stand.standId;
        x.cargoStand = stand.cargo ? 1 : 0;
        x.stream.resize(1);
        gf_setPhase(x, AcPhase::TaxiIn);
        liveac::addStopRecord(x, stand.lat, stand.lon, stand.heading);
    };

    // The real sighting is recorded while the stand is marked occupied by the arrival.
    std::vector<bool> occupiedAtSighting;
    stands.onAddRealParkPosOption = [&](std::uint32_t standId, const LiveAc&, bool, std::uint64_t, bool) {
        occupiedAtSighting.push_back(standId == 4 && g_parkPositions[0].occupied);
        return false;
    };

    // Landed, taxiing slowly toward the stand; the records end with a stop 10 m short of it.
    LiveAc ac = makeLiveAc(0x3C6602, "DLH7TX", {rec(48.3490, 11.7803, 0, 8), rec(48.3495, 11.7803, 1300, 6),
                                                rec(48.35011, 11.7803, 2500, 3), rec(48.35011, 11.7803, 2600, 0)},
                           SizeClass::Large, AcState::Placed, AcPhase::Taxiing);
    ac.stream[3].stop = 1;
    ac.prevPhase = AcPhase::Airborne;
    ac.onGround = 1;
    ac.objectId = 62;
    ac.sim.lat = 48.3490;
    ac.sim.lon = 11.7803;
    ac.motion.landed = 1;

    while (ac.phase != AcPhase::Parked && ac.state == AcState::Placed && g_tick.load() < 20000) {
        updateLiveAc(ac);
        g_tick.fetch_add(1);
    }
    EXPECT_EQ(claims, 1);
    ASSERT_EQ(ac.phase, AcPhase::Parked);
    EXPECT_EQ(ac.prevPhase, AcPhase::TaxiIn);
    EXPECT_LE(gf_distanceNm(ac.sim.lat, ac.sim.lon, 48.3502, 11.7803) * 1852.0, 2.0);
    EXPECT_EQ(occupiedAtSighting, std::vector<bool>{true});
    EXPECT_EQ(g_duplicateCheckList.back(), 0x3C6602u);
    EXPECT_EQ(eventData(62, simid::ENGINE_AUTO_SHUTDOWN), std::vector<std::uint32_t>{0});
    EXPECT_NE(m_box.logText().find("215     : DLH7TX   arrived at stand"), std::string::npos);
}

TEST_F(GroundRoadTest, TakeOffRollsRotatesAndClimbsAway)
{
    LiveAc ac = makeLiveAc(0x3C6603, "DLH9TO", {rec(47.0, 8.0, 0, 20), rec(47.003, 8.0, 1000, 60)}, SizeClass::Large,
                           AcState::Placed, AcPhase::Taxiing);
    ac.prevPhase = AcPhase::PushedBack;
    ac.onGround = 1;
    ac.objectId = 63;
    ac.sim.lat = 47.0;
    ac.sim.lon = 8.0;
    ac.heightAboveGround = 0.0;
    struct Next {
        double dLat, speed, alt, vs;
        std::int32_t slot;
    };
    for (const Next n : {Next{0.0075, 130, 0, 0, 1800}, Next{0.012, 160, 300, 1500, 2400},
                         Next{0.020, 170, 1000, 2000, 3300}, Next{0.030, 180, 2000, 2000, 4400}}) {
        PosRecord r = rec(47.0 + n.dLat, 8.0, n.slot, n.speed, n.alt > 0.0, n.alt);
        r.vertRate = n.vs;
        liveac::appendRecord(ac, r);
    }
    ASSERT_EQ(ac.takeOff, 1);
    EXPECT_EQ(lastLights(63), (std::vector<std::uint32_t>{1, 1, 1, 1, 1, 1, 0}));

    std::vector<AcPhase> phases{ac.phase};
    while (g_tick.load() < 12000 && ac.state == AcState::Placed) {
        updateLiveAc(ac);
        ac.heightAboveGround = ac.sim.alt;
        if (ac.phase != phases.back())
            phases.push_back(ac.phase);
        g_tick.fetch_add(1);
    }
    EXPECT_EQ(phases, (std::vector<AcPhase>{AcPhase::Taxiing, AcPhase::TakeOff, AcPhase::Airborne}));
    EXPECT_GT(ac.sim.alt, 800.0);
    EXPECT_EQ(eventData(63, simid::GEAR_SET).back(), 0u);
    EXPECT_EQ(eventData(63, simid::SPOILERS_SET).front(), 0u);
    EXPECT_EQ(ac.throttleIndex, 3u);
}
