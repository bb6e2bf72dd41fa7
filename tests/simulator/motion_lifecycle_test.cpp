// Live-aircraft lifecycle: buffering checks, spawn and first attitude, the new object and its
// first configuration, touchdown, the respawn decision and the per-tick update of a placed aircraft.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "foundation/geo.h"
#include "foundation/settings.h"
#include "liveries/livery_tables.h"
#include "liveries/refused.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/duplicates.h"
#include "simulator/live_lifecycle.h"
#include "simulator/motion_math.h"
#include "simulator/refused_liveries.h"
#include "simulator/removal.h"
#include "simulator/sim_events.h"
#include "simulator/sim_ids.h"
#include "simulator/user_aircraft.h"
#include "support/motion_fixture.h"
#include "support/stand_services_fake.h"

using namespace tvxtest;

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
const std::string_view kTitle = "Airbus A320 Lufthansa";

// Every livery match finds the same title: the one livery of the table is a generic livery of the
// test aircraft's type (A320), which fits any airline.
void matchEverything()
{
    gf_setLiveries({LiveryData{"", "A320", std::string(kTitle), "", 0, 0}});
}

// A point d nm north of (lat, lon).
double northOf(double lat, double nm)
{
    return lat + nm / 60.0;
}

}  // namespace

// One record: dropped when it falls due (100 ticks before its slot for a standing head, 300 for
// a moving ground head); two records go on and the aircraft is spawned.
TEST(MotionLifecycle, BufferedAircraftWaitsThenDropsOrSpawns)
{
    MotionSandbox sandbox;
    matchEverything();
    // Within the query range: an aircraft beyond it is never created.
    setUser(northOf(50.0, 10.0), 8.0, 0, 0, 0, 0, false);
    g_optCollisionUserAir.set(false);

    struct Case {
        double speed;
        std::int32_t due;  // first tick at which the aircraft acts
    };
    for (const Case& c : {Case{0.0, 900}, Case{12.0, 700}}) {
        LiveAc single = makeLiveAc(0x3C0001, "DLH1", {rec(50.0, 8.0, 1000, c.speed)});
        g_tick.store(c.due - 1);
        EXPECT_FALSE(updateLiveAc(single));
        EXPECT_EQ(single.stream.size(), 1u);
        g_tick.store(c.due);
        EXPECT_TRUE(updateLiveAc(single)) << "speed " << c.speed;
    }

    LiveAc two = makeLiveAc(0x3C0002, "DLH2", {rec(50.0, 8.0, 1000, 12.0), rec(50.001, 8.0, 1100, 12.0)});
    g_tick.store(700);
    EXPECT_FALSE(updateLiveAc(two));
    EXPECT_EQ(two.state, AcState::CreationRequested);
    EXPECT_EQ(two.phase, AcPhase::Taxiing);
    EXPECT_EQ(two.title, kTitle);
    ASSERT_EQ(g_spawnQueue.size(), 1u);
    EXPECT_EQ(g_spawnQueue.front(), 0x3C0002u);
    EXPECT_EQ(g_liveryCache.at(0x3C0002), kTitle);
}

TEST(MotionLifecycle, MixedAirAndGroundStreamDropsTheHead)
{
    MotionSandbox sandbox;
    matchEverything();
    LiveAc ac = makeLiveAc(0x3C0003, "DLH3",
                           {rec(50.0, 8.0, 100, 140, false), rec(50.01, 8.0, 200, 150, true, 300),
                            rec(50.02, 8.0, 300, 160, true, 600)});
    updateLiveAc(ac);
    EXPECT_EQ(ac.stream.size(), 2u);
    EXPECT_EQ(ac.state, AcState::Buffering);
}

// The near-user rules: each case says whether the head is dropped and the held flag set.
TEST(MotionLifecycle, NearUserRulesOnTheGroundAndInTheAir)
{
    struct Case {
        const char* name;
        bool userOnGround;
        double userSpeed;
        double userAgl;
        double userHeadingDeg;
        bool held;
        PosRecord head;
        PosRecord second;
        bool dropped;
        bool heldAfter;
    };
    const double lat = 50.0;
    const double lon = 8.0;
    const double m100 = 100.0 / 1852.0;
    const double m200 = 200.0 / 1852.0;
    const double m600 = 600.0 / 1852.0;
    const Case cases[] = {
        {"ground user, ground head 100 m away", true, 0, 0, 0, false, rec(northOf(lat, m100), lon, 100, 10),
         rec(northOf(lat, m100 + 0.01), lon, 200, 10), true, false},
        {"ground user, ground head 200 m away", true, 0, 0, 0, false, rec(northOf(lat, m200), lon, 100, 5),
         rec(northOf(lat, m200 + 0.01), lon, 200, 5), false, false},
        {"held, user rolling at 9 kt", true, 9, 0, 0, true, rec(northOf(lat, 1.0), lon, 100, 5),
         rec(northOf(lat, 1.01), lon, 200, 5), true, true},
        {"held, head 400 m from user", true, 0, 0, 0, true, rec(northOf(lat, 400.0 / 1852.0), lon, 100, 5),
         rec(northOf(lat, 0.3), lon, 200, 5), true, true},
        {"held, head 600 m away and slow", true, 0, 0, 0, true, rec(northOf(lat, m600), lon, 100, 5),
         rec(northOf(lat, m600 + 0.01), lon, 200, 5), false, false},
        {"air user, airborne head crossing the user", false, 0, 3000, 0, false,
         rec(lat, lon - 0.05, 100, 200, true, 1000), rec(lat, lon + 0.05, 200, 200, true, 1000), true, true},
        {"air user, airborne head far off its line", false, 0, 3000, 0, false,
         rec(lat + 0.05, lon - 0.05, 100, 200, true, 1000), rec(lat + 0.05, lon + 0.05, 200, 200, true, 1000),
         false, false},
        {"air user low, ground head on its heading line", false, 0, 500, 0, false,
         rec(northOf(lat, 1.0), lon, 100, 0), rec(northOf(lat, 1.0), lon, 200, 0), true, true},
        {"air user low, ground head beside its heading line", false, 0, 500, 90, false,
         rec(northOf(lat, 1.0), lon, 100, 0), rec(northOf(lat, 1.0), lon, 200, 0), false, false},
        {"air user high, ground head on its heading line", false, 0, 1500, 0, false,
         rec(northOf(lat, 1.0), lon, 100, 0), rec(northOf(lat, 1.0), lon, 200, 0), false, false},
        {"air user, held ground head", false, 0, 3000, 0, true, rec(northOf(lat, 3.0), lon, 100, 0),
         rec(northOf(lat, 3.0), lon, 200, 0), true, true},
    };
    for (const Case& c : cases) {
        MotionSandbox sandbox;
        matchEverything();
        setUser(lat, lon, c.head.airborne ? 1000 : 0, c.userAgl, c.userHeadingDeg * kDeg, c.userSpeed, c.userOnGround);
        LiveAc ac = makeLiveAc(0x3C0010, "DLH10", {c.head, c.second, c.second});
        ac.stream[2].slot = 300;
        ac.course = std::numbers::pi / 2;  // east, for the airborne cases
        ac.heldNearUser = c.held ? 1 : 0;
        updateLiveAc(ac);
        EXPECT_EQ(ac.stream.size() == 2, c.dropped) << c.name;
        // A kept head goes on to the spawn, which clears the flag.
        EXPECT_EQ(ac.state, c.dropped ? AcState::Buffering : AcState::CreationRequested) << c.name;
        EXPECT_EQ(ac.heldNearUser != 0, c.heldAfter) << c.name;
    }
}

// MAX_LIVE 10 with ten placed aircraft: a newcomer beyond all of them is dropped; when the
// farthest placed one lies more than 0.1 nm beyond the newcomer, that one goes instead.
TEST(MotionLifecycle, LiveLimitDropsTheFarthest)
{
    for (const bool newcomerFarthest : {true, false}) {
        MotionSandbox sandbox;
        matchEverything();
        setUser(50.0, 8.0, 0, 0, 0, 0, true);
        g_optMaxLive.set(10);
        for (int i = 0; i < 10; ++i) {
            LiveAc placed = makeLiveAc(0x3C1000 + i, "PLC" + std::to_string(i), {rec(50, 8, 0), rec(50, 8, 10)},
                                       SizeClass::Large, AcState::Placed, AcPhase::Taxiing);
            placed.objectId = 2000 + i;
            placed.sim.lat = northOf(50.0, 5.0 + 0.5 * i);  // 5 .. 9.5 nm
            placed.sim.lon = 8.0;
            g_liveAc.push_back(placed);
        }
        const double d = newcomerFarthest ? 12.0 : 6.0;
        LiveAc ac = makeLiveAc(0x3C0020, "NEW20",
                               {rec(northOf(50.0, d), 8.0, 100, 0), rec(northOf(50.0, d), 8.0, 200, 0)});
        updateLiveAc(ac);
        if (newcomerFarthest) {
            EXPECT_TRUE(ac.removeMark);
            EXPECT_TRUE(g_removeRequests.empty());
        } else {
            EXPECT_FALSE(ac.removeMark);
            EXPECT_EQ(ac.state, AcState::CreationRequested);
            EXPECT_EQ(g_liveAc[9].state, AcState::BeingRemoved);
            ASSERT_EQ(g_removeRequests.size(), 1u);
            EXPECT_EQ(g_removeRequests.front(), 2009u);
        }
    }
}

TEST(MotionLifecycle, IdentityChecksOfTheBufferingStep)
{
    MotionSandbox sandbox;
    matchEverything();
    const std::vector<PosRecord> records{rec(50, 8, 0), rec(50, 8, 10)};

    g_optBlockCallsign.set("BLK1");
    LiveAc blocked = makeLiveAc(0x3C0030, "BLK1", records);
    EXPECT_TRUE(updateLiveAc(blocked));

    LiveAc noCallsign = makeLiveAc(0x3C0031, "@@@@@@@@", records);
    noCallsign.registration.clear();
    EXPECT_TRUE(updateLiveAc(noCallsign));

    LiveAc noAirline = makeLiveAc(0x3C0032, "N123AB", records);
    noAirline.airline.clear();
    EXPECT_FALSE(updateLiveAc(noAirline));
    EXPECT_EQ(noAirline.airline, "PVT");

    LiveAc unmatched = makeLiveAc(0x3C0033, "XYZ12", records);
    unmatched.airline = "XYZ";
    g_noMatchSet.insert(gf_airlineTypeRegText(unmatched));
    EXPECT_TRUE(updateLiveAc(unmatched));

    g_ghostCallsigns.push_back("GHO1_");
    LiveAc ghost = makeLiveAc(0x3C0034, "GHO1_", records);
    EXPECT_TRUE(updateLiveAc(ghost));

    gf_setLiveries({});
    LiveAc noLivery = makeLiveAc(0x3C0035, "DLH35", records);
    EXPECT_TRUE(updateLiveAc(noLivery));
    EXPECT_TRUE(g_noMatchSet.contains(gf_airlineTypeRegText(noLivery)));
}

// Pitch of the first attitude: -3 deg - 2.2 deg * v / 600, v limited to 2400 when climbing, to
// -3000 and halved when descending; 0.6 deg on the ground.
TEST(MotionLifecycle, FirstAttitudeFromTheHeadRecord)
{
    struct Case {
        bool airborne;
        double vertRate;
        double pitchDeg;
    };
    for (const Case& c : {Case{true, 1200, -7.4}, Case{true, -6000, 2.5}, Case{true, 3000, -11.8},
                          Case{true, 0, -3.0}, Case{false, 0, 0.6}}) {
        MotionSandbox sandbox;
        matchEverything();
        g_optCollisionUserAir.set(false);
        PosRecord head = rec(50.0, 8.0, 100, c.airborne ? 200 : 0, c.airborne, c.airborne ? 5000 : 0);
        head.vertRate = c.vertRate;
        PosRecord second = rec(50.0, 8.1, 200, c.airborne ? 200 : 0, c.airborne, 5000);
        LiveAc ac = makeLiveAc(0x3C0040, "DLH40", {head, second});
        updateLiveAc(ac);
        ASSERT_EQ(ac.state, AcState::CreationRequested);
        EXPECT_NEAR(ac.sim.pitch / kDeg, c.pitchDeg, 1e-9) << c.vertRate;
        EXPECT_DOUBLE_EQ(ac.sim.vertSpeed, c.vertRate / 60.0);
        EXPECT_EQ(ac.phase, c.airborne ? AcPhase::Airborne : AcPhase::Taxiing);
        // Heading: the course to the second record (east).
        EXPECT_NEAR(ac.sim.heading, gf_initialCourse({50.0, 8.0}, {50.0, 8.1}), 1e-12);
        EXPECT_DOUBLE_EQ(ac.groundHeading, c.airborne ? 0.0 : ac.sim.heading);
    }
}

TEST(MotionLifecycle, SpawnMarksStopsAndUsesTrackOrForcedHeading)
{
    MotionSandbox sandbox;
    matchEverything();
    PosRecord second = rec(50.0, 8.0, 200, 3);
    second.stop = 1;
    PosRecord third = rec(50.0, 8.0, 300, 2);
    third.stop = 1;
    LiveAc ac = makeLiveAc(0x3C0050, "DLH50", {rec(50.0, 8.0, 100, 4, false, 0, 270.0), second, third});
    spawnLiveAc(ac);
    EXPECT_TRUE(ac.stream[0].stop);
    EXPECT_EQ(ac.stream[0].speed, 0.0);
    EXPECT_EQ(ac.stream[1].speed, 0.0);
    EXPECT_EQ(ac.stream[2].speed, 0.0);
    EXPECT_NEAR(ac.sim.heading, 270.0 * kDeg, 1e-12);

    // A stop second record with no third: only the records that exist are touched.
    LiveAc two = makeLiveAc(0x3C0051, "DLH51", {rec(50.0, 8.0, 100, 4), second});
    two.forcedHeadingSet = 1;
    two.forcedHeading = -0.5;  // wrapped into 0..2pi
    spawnLiveAc(two);
    EXPECT_EQ(two.state, AcState::CreationRequested);
    EXPECT_NEAR(two.sim.heading, 2 * std::numbers::pi - 0.5, 1e-12);

    // Fewer than two records: the subscript error is logged and passed on.
    LiveAc one = makeLiveAc(0x3C0052, "DLH52", {rec(50.0, 8.0, 100)});
    EXPECT_THROW(spawnLiveAc(one), std::out_of_range);
    EXPECT_NE(sandbox.logText().find("spawnLiveAc: invalid deque<T> subscript"), std::string::npos);
}

// Feeds give no altitude on the ground (0): a ground aircraft spawns at the elevation of the
// airport under it and then stands on the ground the simulator reports; never at 0 ft.
TEST(MotionLifecycle, GroundAircraftStandAtTheGroundElevation)
{
    MotionSandbox sandbox;
    matchEverything();
    const auto airports = g_airports;
    g_airports = {{"LSZH", "ZRH", 47.46, 8.55, 1416.0}};
    LiveAc ac = makeLiveAc(0x3C0070, "DLH70", {rec(47.45, 8.55, 100, 10), rec(47.451, 8.55, 200, 10)});
    ac.staticCgHeight = 9.0;
    spawnLiveAc(ac);
    EXPECT_EQ(ac.phase, AcPhase::Taxiing);
    EXPECT_DOUBLE_EQ(ac.sim.alt, 1425.0);

    // The simulator's ground under the object: rolling or standing, the aircraft sits on it.
    ac.onGround = 1;
    liveac::setGroundAltitude(ac, 1410.0);
    EXPECT_DOUBLE_EQ(ac.sim.alt, 1419.0);
    // Not while it rotates for the take-off.
    ac.phase = AcPhase::TakeOff;
    liveac::setGroundAltitude(ac, 1400.0);
    EXPECT_DOUBLE_EQ(ac.sim.alt, 1419.0);

    // Far from any airport and without the simulator's ground: the feed's altitude stays.
    LiveAc away = makeLiveAc(0x3C0071, "DLH71", {rec(40.0, 2.0, 100, 10, false, 55.0), rec(40.001, 2.0, 200, 10)});
    spawnLiveAc(away);
    EXPECT_DOUBLE_EQ(away.sim.alt, 55.0);
    g_airports = airports;
}

// A ground aircraft near the park airport, slow and still, with a free stand within 55 m spawns
// parked; 6 nm out it spawns taxiing; the reserved and the user's stand are never taken.
TEST(MotionLifecycle, SpawnAtAStandOfTheParkAirport)
{
    struct Case {
        const char* name;
        double distanceNm;
        std::string reserved;
        AcPhase phase;
    };
    for (const Case& c : {Case{"4 nm out", 4.0, "", AcPhase::Parked}, Case{"6 nm out", 6.0, "", AcPhase::Taxiing},
                          Case{"reserved stand", 4.0, "A1", AcPhase::New}}) {
        MotionSandbox sandbox;
        matchEverything();
        g_parkAirport.code = "EDDF";
        g_parkAirport.lat = 50.0;
        g_parkAirport.lon = 8.0;
        const double standLat = northOf(50.0, c.distanceNm);
        g_parkPositions.emplace_back("A1", std::vector<ParkPosOption>{}, standLat, 8.0, 1.0, 40.0, true, false, false);
        g_parkPositions.back().standId = 1;
        FakeStandServices stands;
        stands.onFindFreeStand = [](double, double, const LiveAc&, double radiusNm) {
            EXPECT_DOUBLE_EQ(radiusNm, 0.029697624190064796);
            return &g_parkPositions.front();
        };
        g_reservedStand = c.reserved;
        bool sighted = false;
        stands.onAddRealParkPosOption = [&](std::uint32_t standId, const LiveAc&, bool trackGap, std::uint64_t,
                                            bool leaving) {
            sighted = standId == 1 && !trackGap && !leaving;
            return true;
        };
        stands.onCheckMaxPark = [](std::uint8_t extra) { EXPECT_EQ(extra, 1); };
        const double at = northOf(standLat, 0.0001);
        LiveAc ac = makeLiveAc(0x3C0060, "DLH60", {rec(at, 8.0, 100, 2), rec(at, 8.00001, 200, 2),
                                                   rec(at, 8.00002, 300, 2)});
        spawnLiveAc(ac);
        EXPECT_EQ(ac.phase, c.phase) << c.name;
        EXPECT_EQ(ac.state, AcState::CreationRequested) << c.name;
        if (c.phase == AcPhase::Parked) {
            ASSERT_EQ(ac.stream.size(), 1u);
            EXPECT_EQ(ac.stream[0].lat, standLat);
            EXPECT_TRUE(ac.stream[0].stop);
            EXPECT_NEAR(ac.stream[0].track, 1.0 / kDeg, 1e-9);
            EXPECT_EQ(ac.standId, 1u);
            EXPECT_EQ(ac.cargoStand, 1);
            EXPECT_TRUE(g_parkPositions[0].occupied);
            EXPECT_DOUBLE_EQ(ac.sim.heading, 1.0);
            EXPECT_TRUE(sighted);
            ASSERT_EQ(g_arrivedLiveAc.size(), 1u);
            EXPECT_EQ(g_arrivedLiveAc[0].first, 0x3C0060u);
        } else {
            EXPECT_EQ(ac.stream.size(), 3u) << c.name;
            EXPECT_FALSE(g_parkPositions[0].occupied) << c.name;
        }
    }
}

TEST(MotionLifecycle, StaticAircraftMakeWayForAParkingLiveAircraft)
{
    MotionSandbox sandbox;
    g_optLog.set(true);
    g_parkPositions.emplace_back("A1", std::vector<ParkPosOption>{}, 50.0, 8.0, 0.0, 40.0, false, false, false);
    g_parkPositions.emplace_back("A2", std::vector<ParkPosOption>{}, 50.0, 8.0005, 0.0, 40.0, false, false, false);
    g_parkPositions.emplace_back("A3", std::vector<ParkPosOption>{}, 50.0, 8.01, 0.0, 40.0, false, false, false);
    for (std::uint32_t i = 0; i < 3; ++i)
        g_parkPositions[i].standId = i + 1;
    g_parkPositions[0].overlapping = {2, 3};
    for (std::uint32_t stand = 1; stand <= 3; ++stand) {
        AcData data;
        data.callsign = "STA" + std::to_string(stand) + "*";
        data.registration = "D-ST" + std::to_string(stand);
        data.size = 0.02;
        StaticAc st(data, stand, 50.0, 8.0, 0.0, 0);
        st.state = AcState::Placed;
        st.objectId = 500 + stand;
        g_staticAc.push_back(st);
    }
    LiveAc ac = makeLiveAc(0x3C0070, "DLH70", {rec(50, 8, 0)});
    checkStandOrExcludedIsOccupiedByStaticAndRemove(ac, g_parkPositions[0]);
    EXPECT_EQ(g_staticAc[0].state, AcState::BeingRemoved);
    EXPECT_EQ(g_staticAc[1].state, AcState::BeingRemoved);  // 0.017 nm away, within (0.02+0.0096)*1.1
    EXPECT_EQ(g_staticAc[2].state, AcState::Placed);        // 0.39 nm away
    const std::string log = sandbox.logText();
    EXPECT_NE(log.find("A1      : STA1*    D-ST1 makes way for DLH70 D-DLH7"), std::string::npos) << log;
    EXPECT_NE(log.find("A2      : STA2*    removed by DLH70 parking at adjacent stand A1"), std::string::npos)
        << log;
}

TEST(MotionLifecycle, CachedLiveryKeepsRefusesAndMatches)
{
    MotionSandbox sandbox;
    LiveAc ac = makeLiveAc(0x3C0080, "DLH80", {rec(50, 8, 0)});
    g_liveryCache[0x3C0080] = "Old title";
    EXPECT_TRUE(liveac::cachedLivery(ac));
    EXPECT_EQ(ac.title, "Old title");

    LiveAc again = makeLiveAc(0x3C0080, "DLH80", {rec(50, 8, 0)});
    g_refusedLiveries.push_back("Old title");
    matchEverything();
    EXPECT_TRUE(liveac::cachedLivery(again));
    EXPECT_EQ(again.title, kTitle);
    EXPECT_EQ(g_liveryCache.at(0x3C0080), kTitle);

    // No livery of the airline and type (nor of its class) is installed: no title, nothing cached.
    LiveAc none = makeLiveAc(0x3C0081, "DLH81", {rec(50, 8, 0)});
    none.airline = "BAW";
    none.acType = "B738";
    EXPECT_FALSE(liveac::cachedLivery(none));
    EXPECT_TRUE(none.title.empty());
    EXPECT_FALSE(g_liveryCache.contains(0x3C0081));
}

TEST(MotionLifecycle, InitialConfigurationByPhase)
{
    using simid::BEACON_LIGHTS_SET, simid::NAV_LIGHTS_SET, simid::LANDING_LIGHTS_SET, simid::TAXI_LIGHTS_SET,
        simid::STROBES_SET, simid::LOGO_LIGHTS_SET, simid::CABIN_LIGHTS_SET;
    struct Case {
        const char* name;
        bool airborne;
        double alt;
        double agl;
        AcPhase phase;
        SizeClass cls;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> events;
    };
    const Case cases[] = {
        {"airborne low", true, 5000, 3000, AcPhase::Airborne, SizeClass::Large,
         {{simid::ENGINE_AUTO_START, 0}, {simid::SPOILERS_SET, 0}, {NAV_LIGHTS_SET, 1}, {BEACON_LIGHTS_SET, 1},
          {LANDING_LIGHTS_SET, 1}, {TAXI_LIGHTS_SET, 0}, {STROBES_SET, 1}, {LOGO_LIGHTS_SET, 1},
          {CABIN_LIGHTS_SET, 1}}},
        {"airborne high", true, 12000, 11000, AcPhase::Airborne, SizeClass::Large,
         {{simid::ENGINE_AUTO_START, 0}, {simid::SPOILERS_SET, 0}, {NAV_LIGHTS_SET, 1}, {BEACON_LIGHTS_SET, 1},
          {LANDING_LIGHTS_SET, 0}, {TAXI_LIGHTS_SET, 0}, {STROBES_SET, 1}, {LOGO_LIGHTS_SET, 0},
          {CABIN_LIGHTS_SET, 1}}},
        {"taxiing", false, 300, 0, AcPhase::Taxiing, SizeClass::Large,
         {{simid::SPOILERS_SET, 0}, {simid::ENGINE_AUTO_START, 0}, {NAV_LIGHTS_SET, 1}, {BEACON_LIGHTS_SET, 1},
          {LANDING_LIGHTS_SET, 0}, {TAXI_LIGHTS_SET, 1}, {STROBES_SET, 0}, {LOGO_LIGHTS_SET, 1},
          {CABIN_LIGHTS_SET, 1}, {simid::THROTTLE_SET, 0}, {simid::FLAPS_SET, 3072}}},
        {"parked", false, 300, 0, AcPhase::Parked, SizeClass::Large,
         {{simid::SPOILERS_SET, 0}, {simid::ENGINE_AUTO_SHUTDOWN, 0}, {NAV_LIGHTS_SET, 1}, {BEACON_LIGHTS_SET, 0},
          {LANDING_LIGHTS_SET, 0}, {TAXI_LIGHTS_SET, 0}, {STROBES_SET, 0}, {LOGO_LIGHTS_SET, 1},
          {CABIN_LIGHTS_SET, 1}, {simid::THROTTLE_SET, 0}, {simid::FLAPS_SET, 0}}},
        {"rotorcraft on the ground", false, 300, 0, AcPhase::Taxiing, SizeClass::Rotorcraft,
         {{simid::ENGINE_AUTO_START, 0}, {NAV_LIGHTS_SET, 1}, {BEACON_LIGHTS_SET, 1}, {LANDING_LIGHTS_SET, 0},
          {TAXI_LIGHTS_SET, 1}, {STROBES_SET, 0}, {LOGO_LIGHTS_SET, 1}, {CABIN_LIGHTS_SET, 1},
          {simid::THROTTLE_SET, 16383}}},
    };
    for (const Case& c : cases) {
        MotionSandbox sandbox;
        LiveAc ac = makeLiveAc(0x3C0090, "DLH90", {rec(50, 8, 0, 0, c.airborne, c.alt)}, c.cls,
                               AcState::CreationRequested, c.phase);
        ac.objectId = 1001;
        ac.sim.alt = c.alt;
        ac.heightAboveGround = c.agl;
        liveac::initialConfiguration(ac);
        EXPECT_EQ(ac.state, AcState::Placed) << c.name;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> got;
        for (const ClientEventCmd& e : eventsFor(1001))
            got.emplace_back(e.eventId, e.data);
        EXPECT_EQ(got, c.events) << c.name;
    }
    MotionSandbox sandbox;
    LiveAc empty = makeLiveAc(0x3C0091, "DLH91", {});
    EXPECT_THROW(liveac::initialConfiguration(empty), std::out_of_range);
}

TEST(MotionLifecycle, ObjectCreatedTakesTheObject)
{
    MotionSandbox sandbox;
    g_optLog.set(true);
    std::uint32_t droppedStand = 0;
    FakeStandServices stands;
    stands.onDropStaticParkEntries = [&](std::uint32_t standId) { droppedStand = standId; };
    LiveAc ac = makeLiveAc(0x3C00A0, "DLH100", {rec(50, 8, 0)}, SizeClass::Large, AcState::CreationRequested,
                           AcPhase::Parked);
    ac.standId = 7;
    ac.rotationTickCounter = 5;
    SimEvent early{2, 0x3C00A0, 0, 0, 0.0, 12.0};
    EXPECT_FALSE(liveac::objectCreated(ac, early));
    EXPECT_EQ(ac.objectId, 0u);

    SimEvent event{1001, 0x3C00A0, 0, 0, 0.0, 12.0};
    EXPECT_TRUE(liveac::objectCreated(ac, event));
    EXPECT_EQ(ac.objectId, 1001u);
    EXPECT_DOUBLE_EQ(ac.heightAboveGround, 12.0);
    EXPECT_TRUE(ac.onGround);
    EXPECT_EQ(ac.rotationTickCounter, 1);
    EXPECT_EQ(droppedStand, 7u);
    const auto events = eventsFor(1001);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].eventId, simid::GEAR_SET);
    EXPECT_EQ(events[0].data, 1u);
    // No simulator connection in this test: the static-ground request fails and is logged.
    EXPECT_NE(sandbox.logText().find("SimConnect request StaticCG fails"), std::string::npos);
    EXPECT_NE(sandbox.logText().find(": DLH100   parks"), std::string::npos);
}

TEST(MotionLifecycle, TouchdownDeploysSpoilersAndLowersTheNose)
{
    MotionSandbox sandbox;
    LiveAc ac = makeLiveAc(0x3C00B0, "DLH110", {rec(50, 8, 0)}, SizeClass::Light, AcState::Placed,
                           AcPhase::Airborne);
    ac.objectId = 1001;
    ac.landing = 1;
    ac.sim.pitch = -4.0 * kDeg;
    ac.sim.bank = 0.1;
    ac.staticPitch = 0.01;
    liveac::setOnGroundSlots(ac);
    const LiveMotion& m = ac.motion;
    EXPECT_TRUE(m.spoilersOut);
    EXPECT_TRUE(m.deRotation);
    EXPECT_TRUE(m.landed);
    EXPECT_FALSE(ac.landing);
    EXPECT_TRUE(ac.onGround);
    EXPECT_DOUBLE_EQ(ac.pitchStep, (0.01 + 4.0 * kDeg) / 250.0);
    EXPECT_DOUBLE_EQ(ac.bankStep, -0.1 / 250.0);
    EXPECT_EQ(g_duplicateCheckList, std::deque<std::uint32_t>{0x3C00B0});
    const auto events = eventsFor(1001);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].eventId, simid::SPOILERS_SET);
    EXPECT_EQ(events[0].data, 16383u);

    // During the take-off roll nothing happens.
    LiveAc rolling = makeLiveAc(0x3C00B1, "DLH111", {rec(50, 8, 0)}, SizeClass::Large, AcState::Placed,
                                AcPhase::TakeOff);
    rolling.landing = 1;
    liveac::setOnGroundSlots(rolling);
    EXPECT_FALSE(rolling.onGround);
}

TEST(MotionLifecycle, PlacedAircraftSendsItsPositionEveryTick)
{
    MotionSandbox sandbox;
    LiveAc ac = makeLiveAc(0x3C00C0, "DLH120", {rec(50.0, 8.0, 0, 200, true, 5000), rec(50.0, 8.1, 1000, 200, true, 5000)},
                           SizeClass::Large, AcState::Placed, AcPhase::Airborne);
    ac.objectId = 1001;
    ac.sim.lat = 50.0;
    ac.sim.lon = 7.9;
    ac.latStep = 0.0;
    ac.lonStep = 0.0001;
    g_tick.store(-5);  // head not reached yet
    EXPECT_FALSE(updateLiveAc(ac));
    ASSERT_EQ(g_acPosUpdates.write.size(), 1u);
    EXPECT_EQ(g_acPosUpdates.write[0].objectId, 1001u);
    EXPECT_DOUBLE_EQ(g_acPosUpdates.write[0].longitude, 7.9001);

    LiveAc noObject = ac;
    noObject.objectId = 0;
    updateLiveAc(noObject);
    EXPECT_EQ(noObject.state, AcState::BeingRemoved);
    EXPECT_NE(sandbox.logText().find("updateLiveAc objectid=0? hexid: 3932352,cs:DLH120"), std::string::npos);

    LiveAc empty = ac;
    empty.stream.clear();
    updateLiveAc(empty);
    EXPECT_EQ(empty.state, AcState::BeingRemoved);
    EXPECT_NE(sandbox.logText().find("updateLiveAc stream empty ?"), std::string::npos);
}
