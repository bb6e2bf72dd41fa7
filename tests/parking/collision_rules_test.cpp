// Collision avoidance: aircraft on the user's path while the user flies (ground traffic within
// 50 ft of the user's heading line, airborne traffic whose line of flight passes within 700 ft,
// 1000 ft vertical band, 1 and 4 nm), aircraft too close to the user on the ground (x 1.15 live,
// x 1.1 static, static only after the user moved), and static aircraft in the way of taxiing
// live aircraft.
#include "parking/collision.h"

#include <gtest/gtest.h>

#include <cmath>

#include "foundation/geo.h"
#include "foundation/settings.h"
#include "simulator/ai_tick.h"
#include "simulator/user_aircraft.h"
#include "support/placement_fixture.h"

namespace {

using tvxtest::addLiveAc;
using tvxtest::addStaticAc;
using tvxtest::eastDeg;
using tvxtest::northDeg;
using tvxtest::placeStand;

constexpr double kLat = 52.30;
constexpr double kLon = 4.76;
constexpr double kPi = 3.14159265358979323846;
constexpr double kFeetPerNm = 6076.11549;
constexpr double kFoot = 0.3048;

class Collision : public tvxtest::PlacementTest {
protected:
    Collision()
    {
        g_userAcCopy.latitude = kLat;
        g_userAcCopy.longitude = kLon;
        g_userAcCopy.heading = 0.0;  // north
        g_userAcCopy.altitude = 3000.0;
        g_userAcCopy.altAboveGround = 300.0;
    }
    bool logHas(const std::string& text) const { return m_box.logText().find(text) != std::string::npos; }
};

// An airborne aircraft d nm due north of the user, heading back past the user so that its line of
// flight misses the user by the given feet.
LiveAc& lf_airborneMissing(double dNm, double missFt, double altFt)
{
    LiveAc& ac = addLiveAc(0x400001, "KLM1", kLat + dNm / 60.0, kLon, AcPhase::Airborne);
    ac.onGround = 0;
    ac.sim.alt = altFt;
    ac.sim.heading = kPi + std::asin(missFt / (dNm * kFeetPerNm));
    return ac;
}

TEST_F(Collision, AirborneTrafficOnTheUsersLine)
{
    struct Case {
        double dNm, missFt, altAboveUser;
        bool removed;
    };
    const Case cases[] = {
        {3.9, 600.0, 900.0, true},
        {3.9, 600.0, 1000.0, false},  // 1000 ft apart is separated
        {3.9, 600.0, -999.0, true},
        {3.9, 720.0, 0.0, false},
        {4.1, 100.0, 0.0, false},     // beyond 4 nm
        {0.5, 690.0, 0.0, true},
    };
    for (const Case& c : cases) {
        g_liveAc.clear();
        LiveAc& ac = lf_airborneMissing(c.dNm, c.missFt, 3000.0 + c.altAboveUser);
        EXPECT_EQ(gf_collisionAvoidanceUserAir(ac), c.removed) << c.dNm << " nm, " << c.missFt << " ft, " << c.altAboveUser;
        EXPECT_EQ(ac.state == AcState::BeingRemoved, c.removed);
    }
}

TEST_F(Collision, GroundTrafficAheadWhileTheUserIsLow)
{
    struct Case {
        double northNm, eastFt, userAgl;
        bool removed;
    };
    const Case cases[] = {
        {0.5, 40.0, 300.0, true},
        {0.5, 60.0, 300.0, false},   // more than 50 ft beside the heading line
        {0.5, 40.0, 500.0, false},   // the user is 500 ft up: ground traffic no longer matters
        {1.1, 0.0, 300.0, false},    // beyond 1 nm
        {0.99, 10.0, 0.0, true},
    };
    for (const Case& c : cases) {
        g_liveAc.clear();
        g_userAcCopy.altAboveGround = c.userAgl;
        const double lat = kLat + c.northNm / 60.0;
        LiveAc& ac = addLiveAc(0x400002, "KLM2", lat, kLon + eastDeg(c.eastFt * kFoot, lat), AcPhase::Taxiing);
        EXPECT_EQ(gf_collisionAvoidanceUserAir(ac), c.removed) << c.northNm << " nm, " << c.eastFt << " ft";
    }
}

TEST_F(Collision, OnlyPlacedAircraftAreRemovedInTheAir)
{
    LiveAc& ac = lf_airborneMissing(1.0, 0.0, 3000.0);
    ac.state = AcState::CreationRequested;
    EXPECT_FALSE(gf_collisionAvoidanceUserAir(ac));
    EXPECT_EQ(ac.state, AcState::CreationRequested);
}

TEST_F(Collision, UserOnTheGroundLiveFirstThenStaticAfterAMove)
{
    // Half spans 10 m (user) + 17.9 m (B738): live limit x 1.15 = 32.1 m, static x 1.1 = 30.7 m.
    g_userHalfSpan.store(10.0 / 1852.0);
    placeStand(1, "K1", kLat + northDeg(30.0), kLon);
    placeStand(2, "K2", kLat + northDeg(-30.0), kLon);
    placeStand(3, "K3", kLat + northDeg(31.5), kLon);
    StaticAc& s1 = addStaticAc(1, "SAS1*", 1);
    StaticAc& s2 = addStaticAc(2, "SAS2*", 2);
    StaticAc& s3 = addStaticAc(3, "SAS3*", 3);
    LiveAc& far = addLiveAc(0x400001, "KLM1", kLat + northDeg(33.0), kLon, AcPhase::Parked);
    LiveAc& near1 = addLiveAc(0x400002, "KLM2", kLat + northDeg(31.5), kLon, AcPhase::Parked);
    LiveAc& near2 = addLiveAc(0x400003, "KLM3", kLat + northDeg(-31.5), kLon, AcPhase::Taxiing);
    LiveAc& airborne = addLiveAc(0x400004, "KLM4", kLat + northDeg(5.0), kLon, AcPhase::Airborne);
    airborne.onGround = 0;

    gf_collisionAvoidanceUserGround();  // the first live aircraft too close, and nothing else
    EXPECT_EQ(far.state, AcState::Placed);
    EXPECT_EQ(near1.state, AcState::BeingRemoved);
    EXPECT_EQ(near2.state, AcState::Placed);
    EXPECT_EQ(s1.state, AcState::Placed);
    gf_collisionAvoidanceUserGround();
    EXPECT_EQ(near2.state, AcState::BeingRemoved);
    EXPECT_EQ(airborne.state, AcState::Placed);

    gf_collisionAvoidanceUserGround();  // no live one left: the user "moved" from (0, 0)
    EXPECT_EQ(s1.state, AcState::BeingRemoved);
    EXPECT_EQ(s2.state, AcState::Placed);
    EXPECT_EQ(g_lastStaticCheckPosition.first, kLat);

    gf_collisionAvoidanceUserGround();  // same user position: static aircraft are not looked at
    EXPECT_EQ(s2.state, AcState::Placed);

    g_userAcCopy.longitude += eastDeg(0.5, kLat);
    gf_collisionAvoidanceUserGround();
    EXPECT_EQ(s2.state, AcState::BeingRemoved);
    EXPECT_EQ(s3.state, AcState::Placed);  // 31.5 m is beyond the static limit
}

TEST_F(Collision, TaxiingLiveAircraftRemovesStaticInItsWay)
{
    g_optLog.set(true);
    placeStand(1, "L1", kLat + northDeg(35.0), kLon);
    placeStand(2, "L2", kLat + northDeg(41.0), kLon);
    StaticAc& near = addStaticAc(1, "SAS1*", 1);
    StaticAc& far = addStaticAc(2, "SAS2*", 2);
    const LiveAc& live = addLiveAc(0x400001, "KLM1", kLat, kLon, AcPhase::Taxiing);

    const auto it = gf_collisionAvoidanceLiveParked(live);
    ASSERT_NE(it, g_staticAc.end());
    EXPECT_EQ(it->callsign, "SAS1*");
    EXPECT_EQ(near.state, AcState::BeingRemoved);
    EXPECT_TRUE(logHas("L1      : SAS1*    removed for collision avoidance with live KLM1"));

    EXPECT_EQ(gf_collisionAvoidanceLiveParked(live), g_staticAc.end());  // 41 m: beyond 39.38 m
    EXPECT_EQ(far.state, AcState::Placed);
}

TEST_F(Collision, TaxiWalkChecksOnlyMovedTaxiingAircraft)
{
    placeStand(1, "M1", kLat + northDeg(20.0), kLon);
    placeStand(2, "M2", kLat + northDeg(21.0), kLon);
    StaticAc& s1 = addStaticAc(1, "SAS1*", 1);
    StaticAc& s2 = addStaticAc(2, "SAS2*", 2);
    LiveAc& parked = addLiveAc(0x400001, "KLM1", kLat, kLon, AcPhase::Parked);
    LiveAc& marked = addLiveAc(0x400002, "KLM2", kLat, kLon, AcPhase::TaxiIn);
    marked.removeMark = 1;

    gf_checkTaxiingLiveAgainstParked();  // a parked and a marked aircraft: no check
    EXPECT_EQ(s1.state, AcState::Placed);

    LiveAc& taxiing = addLiveAc(0x400003, "KLM3", kLat, kLon, AcPhase::Taxiing);
    gf_checkTaxiingLiveAgainstParked();
    EXPECT_EQ(s1.state, AcState::BeingRemoved);
    EXPECT_EQ(s2.state, AcState::Placed);

    gf_checkTaxiingLiveAgainstParked();  // not moved since its last check
    EXPECT_EQ(s2.state, AcState::Placed);

    taxiing.sim.lat += northDeg(1.0);
    gf_checkTaxiingLiveAgainstParked();
    EXPECT_EQ(s2.state, AcState::BeingRemoved);
    EXPECT_EQ(parked.state, AcState::Placed);
}

}  // namespace
