// Who keeps a stand when a live aircraft arrives: the callsign rules against the aircraft already
// on the wanted stand (same callsign, ghost, next flight), the distance rule for aircraft on
// overlapping stands, and the claim of the nearest free stand by an aircraft taxiing in.
#include "parking/placement_stands.h"

#include <gtest/gtest.h>

#include "foundation/settings.h"
#include "liveries/aircraft_db.h"
#include "parking/park_choice.h"
#include "parking/traffic_containers.h"
#include "simulator/ai_tick.h"
#include "support/placement_fixture.h"

namespace {

using tvxtest::addLiveAc;
using tvxtest::addStaticAc;
using tvxtest::northDeg;
using tvxtest::placeStand;

constexpr double kLat = 52.30;
constexpr double kLon = 4.76;

class StandRules : public tvxtest::PlacementTest {
protected:
    bool logHas(const std::string& text) const { return m_box.logText().find(text) != std::string::npos; }
};

TEST_F(StandRules, CallsignRulesOnTheWantedStand)
{
    struct Case {
        std::string holder, newcomer;
        bool approachSeen;
        bool holderRemoved, standFree;
        std::string line;
    };
    const Case cases[] = {
        {"KLM12", "KLM12", false, true, true, "G1      : KLM12    ac with same callsign KLM12 wants it, remove existing ... "},
        {"KLM12", "KLM123", false, false, false, ""},  // the newcomer is the other's ghost
        {"KLM123", "KLM12", false, true, true, "G1      : KLM123   ghost, replace by KLM12"},
        {"KLM12_", "DLH4", false, true, true, "G1      : KLM12_   ghost, replace by DLH4"},
        {"KLM12", "DLH4_", false, false, false, ""},
        {"KLM12", "DLH4", true, false, false, ""},
        {"KLM12", "DLH4", false, true, true, "G1      : KLM12    removed because another live DLH4 wants the stand ..."},
    };
    g_optLog.set(true);
    placeStand(1, "G1", kLat, kLon);
    for (const Case& c : cases) {
        g_liveAc.clear();
        LiveAc& x = addLiveAc(0x400001, c.holder, kLat, kLon, AcPhase::Parked, 1);
        x.standApproachSeen = c.approachSeen ? 1 : 0;
        bool standFree = true;
        EXPECT_TRUE(gf_clearStandForLiveAc(standFree, 1, c.newcomer, x)) << c.holder << " / " << c.newcomer;
        EXPECT_EQ(x.state == AcState::BeingRemoved, c.holderRemoved) << c.holder << " / " << c.newcomer;
        EXPECT_EQ(standFree, c.standFree) << c.holder << " / " << c.newcomer;
        if (!c.line.empty()) {
            EXPECT_TRUE(logHas(c.line)) << c.line;
        }
    }
}

TEST_F(StandRules, OnlyPlacedHoldersStandingAtTheWantedStandCount)
{
    placeStand(1, "G1", kLat, kLon);
    struct Case {
        AcPhase phase;
        AcState state;
        std::uint32_t standId;
        bool counts;
    };
    const Case cases[] = {
        {AcPhase::Pushback, AcState::Placed, 1, true},
        {AcPhase::PushedBack, AcState::Placed, 1, true},
        {AcPhase::Parked, AcState::Placed, 1, true},
        {AcPhase::Taxiing, AcState::Placed, 1, false},
        {AcPhase::TaxiIn, AcState::Placed, 1, false},
        {AcPhase::Parked, AcState::CreationRequested, 1, false},
        {AcPhase::Parked, AcState::Placed, 2, false},
    };
    for (const Case& c : cases) {
        g_liveAc.clear();
        LiveAc& x = addLiveAc(0x400001, "KLM12", kLat, kLon, c.phase, c.standId);
        x.state = c.state;
        bool standFree = true;
        EXPECT_EQ(gf_clearStandForLiveAc(standFree, 1, "KLM123", x), c.counts) << static_cast<int>(c.phase);
        EXPECT_EQ(standFree, !c.counts);
    }
}

TEST_F(StandRules, OverlappingStandIsBlockedWhenTheSpansReachAcross)
{
    // Two B738 (35.8 m span): (17.9 m + 17.9 m) x 1.1 = 39.38 m.
    struct Case {
        double metres;
        bool free;
    };
    const Case cases[] = {{39.0, false}, {39.8, true}, {120.0, true}};
    for (const Case& c : cases) {
        g_parkPositions.clear();
        g_liveAc.clear();
        const ParkPos& s = placeStand(1, "H1", kLat, kLon);
        placeStand(2, "H2", kLat + northDeg(c.metres), kLon);
        LiveAc& x = addLiveAc(0x400002, "DLH2", kLat + northDeg(c.metres), kLon, AcPhase::Parked, 2);
        LiveAc arriving = addLiveAc(0x400003, "KLM3", kLat, kLon, AcPhase::New, 0);
        bool standFree = true;
        EXPECT_TRUE(gf_otherLiveAcAtStand(2, arriving, s, standFree, x)) << c.metres;
        EXPECT_EQ(standFree, c.free) << c.metres;
        EXPECT_EQ(x.state, AcState::Placed);  // the neighbour is never removed here
    }
}

TEST_F(StandRules, OverlappingStandWithoutPositionBlocksAndOthersAreNotLookedAt)
{
    const ParkPos& s = placeStand(1, "H1", kLat, kLon);
    placeStand(2, "H2", 0.0, 0.0);
    LiveAc arriving = addLiveAc(0x400003, "KLM3", kLat, kLon, AcPhase::New, 0);

    LiveAc& atZero = addLiveAc(0x400004, "DLH4", kLat, kLon, AcPhase::Parked, 2);
    bool standFree = true;
    EXPECT_TRUE(gf_otherLiveAcAtStand(2, arriving, s, standFree, atZero));
    EXPECT_FALSE(standFree);

    LiveAc& unknown = addLiveAc(0x400005, "DLH5", kLat, kLon, AcPhase::Parked, 9);
    standFree = true;
    EXPECT_TRUE(gf_otherLiveAcAtStand(9, arriving, s, standFree, unknown));
    EXPECT_FALSE(standFree);

    // Same callsign (the arriving aircraft itself), taxiing, or pushed back: not looked at.
    LiveAc& same = addLiveAc(0x400006, "KLM3", kLat, kLon, AcPhase::Parked, 2);
    LiveAc& taxiing = addLiveAc(0x400007, "DLH7", kLat, kLon, AcPhase::Taxiing, 2);
    LiveAc& pushedBack = addLiveAc(0x400008, "DLH8", kLat, kLon, AcPhase::PushedBack, 2);
    for (LiveAc* x : {&same, &taxiing, &pushedBack}) {
        standFree = true;
        EXPECT_FALSE(gf_otherLiveAcAtStand(2, arriving, s, standFree, *x)) << x->callsign;
        EXPECT_TRUE(standFree);
    }
}

class StandClaim : public StandRules {
protected:
    // An aircraft taxiing in whose records end at the given point north of the stand H1.
    LiveAc& taxiingTo(double metresNorth)
    {
        LiveAc& ac = addLiveAc(0x4000AA, "KLM77", kLat + northDeg(400.0), kLon, AcPhase::Taxiing, 0);
        ac.prevPhase = AcPhase::Airborne;
        ac.stream.clear();
        ac.stream.push_back(tvxtest::rec(kLat + northDeg(400.0), kLon, 100, 15.0));
        ac.stream.push_back(tvxtest::rec(kLat + northDeg(metresNorth), kLon, 3000, 0.0));
        ac.stream.back().stop = 1;
        ac.slowGroundSpeed = 4.0;
        return ac;
    }
};

TEST_F(StandClaim, ClaimsTheNearestFreeStandAndHeadsForIt)
{
    placeStand(1, "H1", kLat, kLon, 270.0, 25.0, true);
    const std::size_t index = g_liveAc.size();
    taxiingTo(8.0);
    gf_claimStandOnArrival(g_liveAc[index], false);

    const LiveAc& ac = g_liveAc[index];
    EXPECT_EQ(ac.standId, 1u);
    EXPECT_EQ(ac.phase, AcPhase::TaxiIn);
    EXPECT_EQ(ac.prevPhase, AcPhase::Taxiing);
    EXPECT_DOUBLE_EQ(ac.standLat, kLat);
    EXPECT_DOUBLE_EQ(ac.standLon, kLon);
    EXPECT_NEAR(ac.standHeading, 270.0 * 3.14159265358979323846 / 180.0, 1e-12);
    EXPECT_EQ(ac.cargoStand, 1);
    // The stream is cut to its head, then the approach and the stop at the stand follow.
    ASSERT_EQ(ac.stream.size(), 3u);
    EXPECT_EQ(ac.stream[0].slot, 100);
    EXPECT_DOUBLE_EQ(ac.stream[2].lat, kLat);
    EXPECT_EQ(ac.stream[2].stop, 1);
    EXPECT_EQ(ac.stream[2].speed, 0.0);
}

TEST_F(StandClaim, NarrowSearchReaches20MetresAndWideOne55)
{
    placeStand(1, "H1", kLat, kLon);
    taxiingTo(40.0);
    gf_claimStandOnArrival(g_liveAc.back(), false);
    EXPECT_EQ(g_liveAc.back().standId, 0u);
    EXPECT_EQ(g_liveAc.back().phase, AcPhase::Taxiing);

    g_liveAc.clear();
    tvxtest::resetPlacementState();
    taxiingTo(40.0);
    gf_claimStandOnArrival(g_liveAc.back(), true);
    EXPECT_EQ(g_liveAc.back().standId, 1u);
    EXPECT_EQ(g_liveAc.back().phase, AcPhase::TaxiIn);
}

TEST_F(StandClaim, ReservedStandIsNeverClaimedAndTheSameEndIsAskedOnce)
{
    placeStand(1, "H1", kLat, kLon);
    g_reservedStand = "H1";
    taxiingTo(5.0);
    const std::size_t first = g_liveAc.size() - 1;
    gf_claimStandOnArrival(g_liveAc[first], false);
    EXPECT_EQ(g_liveAc[first].standId, 0u);

    // The same newest record again: not looked at a second time, even with the stand now free, and
    // although another aircraft asked in between (each keeps its own last claim).
    taxiingTo(6.0);
    gf_claimStandOnArrival(g_liveAc.back(), false);
    EXPECT_EQ(g_liveAc.back().standId, 0u);
    g_reservedStand.clear();
    gf_claimStandOnArrival(g_liveAc[first], false);
    EXPECT_EQ(g_liveAc[first].standId, 0u);

    g_liveAc[first].stream.back().lat += northDeg(1.0);
    gf_claimStandOnArrival(g_liveAc[first], false);
    EXPECT_EQ(g_liveAc[first].standId, 1u);
}

TEST_F(StandClaim, ARestartAsksTheSameEndAgain)
{
    placeStand(1, "H1", kLat, kLon);
    g_reservedStand = "H1";
    taxiingTo(5.0);
    gf_claimStandOnArrival(g_liveAc.back(), false);
    EXPECT_EQ(g_liveAc.back().standId, 0u);

    // The same flight after the restart ends its records at the same place, and claims the stand.
    gf_clearTrafficState();
    placeStand(1, "H1", kLat, kLon);
    taxiingTo(5.0);
    gf_claimStandOnArrival(g_liveAc.back(), false);
    EXPECT_EQ(g_liveAc.back().standId, 1u);
    EXPECT_EQ(g_liveAc.back().phase, AcPhase::TaxiIn);
}

TEST_F(StandClaim, MakesWayOnTheStandAndOnTooCloseOverlappingStands)
{
    g_optLog.set(true);
    placeStand(1, "H1", kLat, kLon);
    placeStand(2, "H2", kLat + northDeg(-30.0), kLon);   // too close for two B738
    placeStand(3, "H3", kLat + northDeg(-45.0), kLon);   // far enough
    tvxtest::overlapStands(1, 2);
    tvxtest::overlapStands(1, 3);
    LiveAc& onStand = addLiveAc(0x400011, "DLH11", kLat, kLon, AcPhase::Parked, 1);
    (void)onStand;
    addLiveAc(0x400012, "DLH12", kLat + northDeg(-30.0), kLon, AcPhase::Pushback, 2);
    addLiveAc(0x400013, "DLH13", kLat + northDeg(-45.0), kLon, AcPhase::Parked, 3);
    addStaticAc(21, "SAS21*", 1, AcState::Placed);
    taxiingTo(5.0);

    gf_claimStandOnArrival(g_liveAc.back(), false);

    EXPECT_EQ(g_liveAc[0].state, AcState::BeingRemoved);
    EXPECT_EQ(g_liveAc[1].state, AcState::BeingRemoved);
    EXPECT_EQ(g_liveAc[2].state, AcState::Placed);
    EXPECT_EQ(g_staticAc[0].state, AcState::BeingRemoved);
    EXPECT_EQ(g_liveAc.back().standId, 1u);
    EXPECT_TRUE(logHas("H1      : DLH11    removed, KLM77 wants to park there"));
    EXPECT_TRUE(logHas("H2      : DLH12    removed by parking KLM77 at adjacent and possibly colliding stand H1"));
}

}  // namespace
