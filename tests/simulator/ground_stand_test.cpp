// The stand end of a ground road: approach and stop records, the arrival at the stand and the cargo
// attribute of a stand.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "foundation/geo.h"
#include "foundation/settings.h"
#include "foundation/time_slots.h"
#include "simulator/ground_stand.h"
#include "simulator/motion_math.h"
#include "simulator/removal.h"
#include "simulator/sim_ids.h"
#include "support/ground_fixture.h"

using namespace tvxtest;

namespace {

class GroundStandTest : public GroundTest {};

// A placed Large aircraft taxiing in (phase 5) to stand 3 "G4" at (50.0, 8.0), heading 90 degrees.
LiveAc taxiingIn(double lat, double lon, bool cargo = false)
{
    addStand(3, "G4", 50.0, 8.0, 90.0);
    LiveAc ac = makeLiveAc(0x4B1A22, "CLX793", {rec(lat, lon, 100, 3)}, SizeClass::Large, AcState::Placed,
                           AcPhase::TaxiIn);
    ac.airline = "CLX";
    ac.cargo = cargo ? 1 : 0;
    ac.onGround = 1;
    ac.objectId = 77;
    ac.sim.lat = lat;
    ac.sim.lon = lon;
    ac.sim.alt = 364.0;
    ac.sim.bank = 0.01;
    ac.standId = 3;
    ac.standLat = 50.0;
    ac.standLon = 8.0;
    ac.standHeading = 90.0 * kDeg;
    return ac;
}

}  // namespace

TEST_F(GroundStandTest, StopRecordLiesFiftyTicksAfterTheApproachOfAtLeastHundredTicks)
{
    // On the stand heading already: 1 m away the approach still takes 100 ticks; 100 m away at
    // 4 kt: round(d * 360000 / 4).
    const double hundredMetres = 100.0 / 111132.95;
    for (const double dLat : {1.0 / 111132.95, hundredMetres}) {
        LiveAc ac = taxiingIn(50.0 - dLat, 8.0);
        ac.sim.heading = 90.0 * kDeg;
        ac.stream[0].flag3 = 1;
        ac.holdCounter = 2;
        liveac::addStopRecord(ac, 50.0, 8.0, 90.0 * kDeg);
        ASSERT_EQ(ac.stream.size(), 3u);
        const double d = gf_distanceNm(50.0 - dLat, 8.0, 50.0, 8.0);
        const std::int32_t n = std::max<std::int32_t>(100, static_cast<std::int32_t>(std::lround(d * 360000.0 / 4.0)));
        if (dLat < 0.0001) {
            EXPECT_EQ(n, 100);
        }
        const PosRecord& approach = ac.stream[1];
        const PosRecord& stop = ac.stream[2];
        EXPECT_DOUBLE_EQ(ac.stream[0].speed, 4.0);
        EXPECT_EQ(approach.slot, 100 + n);
        EXPECT_EQ(stop.slot, 150 + n);
        EXPECT_DOUBLE_EQ(approach.lat, 50.0);
        EXPECT_DOUBLE_EQ(approach.speed, 4.0);
        EXPECT_DOUBLE_EQ(approach.tas, 4.0);
        EXPECT_DOUBLE_EQ(approach.track, 90.0);
        EXPECT_DOUBLE_EQ(approach.alt, 364.0);
        EXPECT_DOUBLE_EQ(approach.bank, 0.01);
        EXPECT_EQ(approach.bankValid, 1);
        EXPECT_EQ(approach.headingValid, 0);
        EXPECT_EQ(approach.stop, 0);
        EXPECT_EQ(approach.flag3, 1);
        EXPECT_DOUBLE_EQ(stop.speed, 0.0);
        EXPECT_EQ(stop.stop, 1);
        EXPECT_DOUBLE_EQ(ac.course, 90.0 * kDeg);
        EXPECT_EQ(ac.holdCounter, 0);
        EXPECT_EQ(ac.earlyLimit, 3000);
        EXPECT_EQ(ac.lateLimit, 3000);
        g_parkPositions.clear();
    }
    // Nose north, a quarter turn short of the stand heading: the approach takes the turn at the
    // Large class's 0.07 degrees a tick, 1286 ticks.
    LiveAc ac = taxiingIn(50.0 - 1.0 / 111132.95, 8.0);
    liveac::addStopRecord(ac, 50.0, 8.0, 90.0 * kDeg);
    EXPECT_EQ(ac.stream[1].slot, 100 + 1286);
    EXPECT_EQ(ac.stream[2].slot, 150 + 1286);
}

TEST_F(GroundStandTest, ApproachFromTheStandPositionIsAStopAlready)
{
    LiveAc ac = taxiingIn(50.0, 8.0);
    liveac::addStopRecord(ac, 50.0, 8.0, 90.0 * kDeg);
    EXPECT_EQ(ac.stream[1].stop, 1);
    EXPECT_EQ(ac.holdCounter, 0);
    EXPECT_EQ(ac.earlyLimit, 1000);  // untouched without a hold
}

TEST_F(GroundStandTest, ArrivalWithinTwoMetresParksAndRecordsTheSighting)
{
    g_optLog.set(true);
    g_nowDaySlot.store(gf_makeDaySlot(3, 17));
    std::vector<std::tuple<std::uint32_t, bool, std::uint64_t, bool>> sightings;
    std::vector<std::uint8_t> maxPark;
    stands.onAddRealParkPosOption = [&](std::uint32_t id, const LiveAc&, bool gap, std::uint64_t stamp,
                                        bool leaving) {
        sightings.emplace_back(id, gap, stamp, leaving);
        return true;
    };
    stands.onCheckMaxPark = [&](std::uint8_t extra) { maxPark.push_back(extra); };
    g_arrivedLiveAc.emplace_back(0x4B1A22, 5u);

    LiveAc ac = taxiingIn(50.0 + 1.5 / 111132.95, 8.0);
    liveac::arriveAtStand(ac);

    EXPECT_EQ(ac.phase, AcPhase::Parked);
    EXPECT_TRUE(g_parkPositions[0].occupied);
    EXPECT_EQ(ac.stamp, gf_makeDaySlot(3, 17));
    EXPECT_EQ(ac.stream[0].stop, 1);
    EXPECT_EQ(g_duplicateCheckList, std::deque<std::uint32_t>{0x4B1A22});
    ASSERT_EQ(sightings.size(), 1u);
    EXPECT_EQ(sightings[0], std::make_tuple(3u, false, gf_makeDaySlot(3, 17), false));
    ASSERT_EQ(g_arrivedLiveAc.size(), 1u);
    EXPECT_EQ(g_arrivedLiveAc[0].second, 17u);
    EXPECT_EQ(maxPark, std::vector<std::uint8_t>{0});
    // Parked configuration: throttle 0, flaps 0, engines off.
    EXPECT_EQ(eventData(77, simid::ENGINE_AUTO_SHUTDOWN), std::vector<std::uint32_t>{0});
    EXPECT_NE(m_box.logText().find("G4      : CLX793   arrived at stand"), std::string::npos);
}

TEST_F(GroundStandTest, ArrivalFartherThanTwoMetresKeepsRollingIn)
{
    LiveAc ac = taxiingIn(50.0 + 3.0 / 111132.95, 8.0);
    liveac::arriveAtStand(ac);
    EXPECT_EQ(ac.phase, AcPhase::Taxiing);
    EXPECT_FALSE(g_parkPositions[0].occupied);
    EXPECT_TRUE(g_duplicateCheckList.empty());
}

TEST_F(GroundStandTest, ArrivalAtAnOccupiedStandRemovesTheArrivingAircraft)
{
    LiveAc ac = taxiingIn(50.0, 8.0);
    g_parkPositions[0].occupied = true;
    liveac::arriveAtStand(ac);
    EXPECT_EQ(ac.state, AcState::BeingRemoved);
    EXPECT_EQ(ac.holdCounter, 1);
    EXPECT_TRUE(g_parkPositions[0].occupied);
    ASSERT_EQ(g_removeRequests.size(), 1u);
    EXPECT_EQ(g_removeRequests.front(), 77u);
}

TEST_F(GroundStandTest, TowedAircraftParkingIsLogged)
{
    g_optLog.set(true);
    LiveAc ac = taxiingIn(50.0, 8.0);
    ac.motion.towed = 1;
    liveac::arriveAtStand(ac);
    EXPECT_NE(m_box.logText().find("          towed aircraft CLX793 "), std::string::npos);
}

TEST_F(GroundStandTest, CargoAircraftMarksItsStandAndAddsNoOptionOnThatArrival)
{
    int counted = 0;
    int sightings = 0;
    stands.onCountParkUpdate = [&] { ++counted; };
    stands.onAddRealParkPosOption = [&](std::uint32_t, const LiveAc&, bool, std::uint64_t, bool) {
        ++sightings;
        return true;
    };
    setParkAirport("EDDP", 50.0, 8.0);
    LiveAc ac = taxiingIn(50.0, 8.0, true);
    liveac::arriveAtStand(ac);

    EXPECT_TRUE(g_parkPositions[0].cargo);
    EXPECT_TRUE(g_parkPositions[0].cargoChange);
    EXPECT_EQ(counted, 1);
    EXPECT_EQ(sightings, 0);
    EXPECT_NE(m_box.logText().find("===> EDDP stand: G4, cargo attribute set to true, CLX793 "), std::string::npos);
    // Cabin lights stay on (random) or off; the cargo stand of the aircraft is still clear.
    EXPECT_EQ(ac.cargoStand, 0);
}

TEST_F(GroundStandTest, CargoStandAlreadyTakenOrPassengerAircraftLeaveTheStandAlone)
{
    int counted = 0;
    stands.onCountParkUpdate = [&] { ++counted; };
    LiveAc passenger = taxiingIn(50.0, 8.0, false);
    liveac::markCargoStand(passenger);
    LiveAc cargoOnCargoStand = passenger;
    cargoOnCargoStand.cargo = 1;
    cargoOnCargoStand.cargoStand = 1;
    liveac::markCargoStand(cargoOnCargoStand);
    EXPECT_FALSE(g_parkPositions[0].cargo);
    EXPECT_EQ(counted, 0);
}
