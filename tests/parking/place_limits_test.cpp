// The limits of the parked traffic: max park (one live and one static aircraft above the wanted
// number per call), the stay limit of live aircraft (Heavy 180 minutes, others 90), the removal of
// the longest parked, the MAX_LIVE trim, the live parked count and its average, the continuing
// kept aircraft, and the walks that remove static aircraft (twins, all, reserved stand).
#include "parking/max_park.h"

#include <gtest/gtest.h>

#include <chrono>

#include "foundation/settings.h"
#include "frame/window_model.h"
#include "parking/park_choice.h"
#include "parking/placement.h"
#include "simulator/ai_tick.h"
#include "simulator/removal.h"
#include "simulator/user_aircraft.h"
#include "support/placement_fixture.h"

namespace {

using namespace std::chrono_literals;
using tvxtest::addLiveAc;
using tvxtest::addStaticAc;
using tvxtest::northDeg;
using tvxtest::placeStand;

constexpr double kLat = 52.30;
constexpr double kLon = 4.76;

class Limits : public tvxtest::PlacementTest {
protected:
    Limits()
    {
        for (std::uint32_t id = 1; id <= 10; ++id)
            placeStand(id, "P" + std::to_string(id), kLat + northDeg(60.0 * id), kLon);
        g_optCustomParkingPercentage.set(100);
    }
    bool logHas(const std::string& text) const { return m_box.logText().find(text) != std::string::npos; }
    static int removedLive()
    {
        int n = 0;
        for (const LiveAc& ac : g_liveAc)
            n += ac.state == AcState::BeingRemoved ? 1 : 0;
        return n;
    }
};

TEST_F(Limits, MaxParkRemovesTheLongestParkedLiveAircraft)
{
    g_optCustomMaxPark.set(2);
    ASSERT_EQ(gf_wantedParkedCount(), 2);
    addLiveAc(1 + 0x400000, "KLM1", kLat, kLon, AcPhase::Parked, 1, "B738", 10s);
    addLiveAc(2 + 0x400000, "KLM2", kLat, kLon, AcPhase::Parked, 2, "B738", 300s);
    addLiveAc(3 + 0x400000, "KLM3", kLat, kLon, AcPhase::Parked, 3, "B738", 100s);
    addLiveAc(4 + 0x400000, "KLM4", kLat, kLon, AcPhase::Taxiing, 0, "B738", 900s);  // not parked

    lf_checkMaxPark(0);
    EXPECT_EQ(g_liveAc[1].state, AcState::BeingRemoved);
    EXPECT_EQ(removedLive(), 1);
    EXPECT_TRUE(logHas("P2: KLM2     max park exceeded, removed"));

    // Two parked left: at the limit nothing goes; a newcomer taking a stand (extra 1) tips it over.
    lf_checkMaxPark(0);
    EXPECT_EQ(removedLive(), 1);
    lf_checkMaxPark(1);
    EXPECT_EQ(removedLive(), 2);
    EXPECT_EQ(g_liveAc[2].state, AcState::BeingRemoved);
}

TEST_F(Limits, MaxParkLeavesLiveAircraftWithInitialLoadOnlyOrParkTrafficOnly)
{
    g_optCustomMaxPark.set(1);
    addLiveAc(0x400001, "KLM1", kLat, kLon, AcPhase::Parked, 1, "B738", 10s);
    addLiveAc(0x400002, "KLM2", kLat, kLon, AcPhase::Parked, 2, "B738", 20s);
    addStaticAc(5, "SAS5*", 5);

    g_optRtParktrafficOnly.set(true);
    lf_checkMaxPark(0);
    EXPECT_EQ(removedLive(), 0);
    EXPECT_EQ(g_staticAc[0].state, AcState::Placed);

    g_optRtParktrafficOnly.set(false);
    g_optInitialLoadOnly.set(true);
    lf_checkMaxPark(0);
    EXPECT_EQ(removedLive(), 0);
    EXPECT_EQ(g_staticAc[0].state, AcState::BeingRemoved);  // static aircraft still give way
}

TEST_F(Limits, WantedZeroRemovesOneStaticPerCallEarliestParkedFirst)
{
    g_optCustomMaxPark.set(0);
    ASSERT_EQ(gf_wantedParkedCount(), 0);
    g_nowDaySlot.store(gf_makeDaySlot(1, 10));
    addLiveAc(0x400001, "KLM1", kLat, kLon, AcPhase::Parked, 1, "B738", 500s);
    addStaticAc(5, "SAS5*", 5).stamp = gf_makeDaySlot(1, 5);
    addStaticAc(6, "SAS6*", 6).stamp = gf_makeDaySlot(7, 40);  // yesterday (Sunday): parked earliest
    addStaticAc(7, "SAS7*", 7).stamp = gf_makeDaySlot(1, 9);

    lf_checkMaxPark(0);
    EXPECT_EQ(removedLive(), 0);  // W = 0 never trims the live parked aircraft
    int removed = 0;
    for (const StaticAc& s : g_staticAc) {
        if (s.state == AcState::BeingRemoved) {
            ++removed;
            EXPECT_EQ(s.callsign, "SAS6*");
        }
    }
    EXPECT_EQ(removed, 1);
    // Sorted latest first.
    EXPECT_EQ(g_staticAc[0].callsign, "SAS7*");
    EXPECT_EQ(g_staticAc[2].callsign, "SAS6*");

    // The earliest is already leaving: the next call removes nothing else.
    lf_checkMaxPark(0);
    removed = 0;
    for (const StaticAc& s : g_staticAc)
        removed += s.state == AcState::BeingRemoved ? 1 : 0;
    EXPECT_EQ(removed, 1);
}

TEST_F(Limits, StayLimitByClass)
{
    struct Case {
        std::string type;
        std::chrono::minutes parked;
        bool approachSeen;
        bool initialLoadOnly;
        bool stays;
        std::uint32_t minutes;
    };
    const Case cases[] = {
        {"A388", 180min, false, false, true, 180},
        {"A388", 181min, false, false, false, 0},
        {"B738", 90min, false, false, true, 90},
        {"B738", 91min, false, false, false, 0},
        // Seen at its stand by the feed: its last record there 500 minutes ago, or one just now.
        {"B738", 500min, true, false, false, 0},
        {"B738", 1min, true, false, true, 1},
        {"B738", 500min, false, true, true, 500},
    };
    for (const Case& c : cases) {
        g_liveAc.clear();
        g_liveStayers.clear();
        g_optInitialLoadOnly.set(c.initialLoadOnly);
        LiveAc& ac = addLiveAc(0x400001, "KLM1", kLat, kLon, AcPhase::Parked, 4, c.type, c.parked);
        ac.standApproachSeen = c.approachSeen ? 1 : 0;
        gf_collectLiveStayers();
        EXPECT_EQ(ac.state == AcState::Placed, c.stays) << c.type << " " << c.parked.count();
        ASSERT_EQ(g_liveStayers.size(), c.stays ? 1u : 0u) << c.type << " " << c.parked.count();
        if (c.stays) {
            EXPECT_EQ(g_liveStayers[0].callsign, "KLM1");
            EXPECT_EQ(g_liveStayers[0].value, 0u);
            EXPECT_EQ(g_liveStayers[0].standId, 4u);
            EXPECT_EQ(g_liveStayers[0].minutes, c.minutes);
        }
    }
}

TEST_F(Limits, StayersAreAppendedAndSortedByMinutes)
{
    g_liveStayers.push_back(LiveStayer{"OLD", 0, 9, 45});
    addLiveAc(0x400001, "KLM1", kLat, kLon, AcPhase::Parked, 1, "B738", 60min);
    addLiveAc(0x400002, "KLM2", kLat, kLon, AcPhase::Parked, 2, "B738", 5min);
    addLiveAc(0x400003, "KLM3", kLat, kLon, AcPhase::TaxiIn, 3, "B738", 1min);
    gf_collectLiveStayers();
    ASSERT_EQ(g_liveStayers.size(), 3u);
    EXPECT_EQ(g_liveStayers[0].callsign, "KLM2");
    EXPECT_EQ(g_liveStayers[1].callsign, "OLD");
    EXPECT_EQ(g_liveStayers[2].callsign, "KLM1");
}

TEST_F(Limits, RemovesTheNLongestParked)
{
    addLiveAc(0x400001, "KLM1", kLat, kLon, AcPhase::Parked, 1, "B738", 10s);
    addLiveAc(0x400002, "KLM2", kLat, kLon, AcPhase::Parked, 2, "B738", 400s);
    addLiveAc(0x400003, "KLM3", kLat, kLon, AcPhase::Parked, 3, "B738", 200s);
    addLiveAc(0x400004, "KLM4", kLat, kLon, AcPhase::Taxiing, 0, "B738", 900s);
    gf_removeLongestLiveParked(2);
    EXPECT_EQ(g_liveAc[0].state, AcState::Placed);
    EXPECT_EQ(g_liveAc[1].state, AcState::BeingRemoved);
    EXPECT_EQ(g_liveAc[2].state, AcState::BeingRemoved);
    EXPECT_EQ(g_liveAc[3].state, AcState::Placed);
    EXPECT_TRUE(logHas("live parked "));
    EXPECT_TRUE(logHas(" at P2 removed"));

    gf_removeLongestLiveParked(10);  // more than there are: every parked one
    EXPECT_EQ(g_liveAc[0].state, AcState::BeingRemoved);
    EXPECT_EQ(g_liveAc[3].state, AcState::Placed);
}

TEST_F(Limits, TrimToMaxLiveRemovesTheFarthest)
{
    g_userAcCopy.latitude = kLat;
    g_userAcCopy.longitude = kLon;
    for (int i = 1; i <= 4; ++i)
        addLiveAc(0x400000 + i, "KLM" + std::to_string(i), kLat + 0.1 * i, kLon, AcPhase::Airborne);

    gf_trimLiveToMaxLive();  // MAX_LIVE -1: no limit
    EXPECT_EQ(removedLive(), 0);

    g_optMaxLive.setClamped(2);
    gf_trimLiveToMaxLive();
    EXPECT_EQ(g_liveAc[0].state, AcState::Placed);
    EXPECT_EQ(g_liveAc[1].state, AcState::Placed);
    EXPECT_EQ(g_liveAc[2].state, AcState::BeingRemoved);
    EXPECT_EQ(g_liveAc[3].state, AcState::BeingRemoved);
    gf_trimLiveToMaxLive();
    EXPECT_EQ(removedLive(), 2);
}

TEST_F(Limits, LiveParkedCountAndAverageStay)
{
    EXPECT_EQ(gf_countLiveParked(true), 0u);
    EXPECT_EQ(gf_paintedValues().avgParkHoursLive, 0.0);

    g_nowDaySlot.store(gf_makeDaySlot(1, 1));
    addLiveAc(0x400001, "KLM1", kLat, kLon, AcPhase::Parked, 1).stamp = gf_makeDaySlot(7, 46);  // 3 half-hours
    EXPECT_EQ(gf_countLiveParked(true), 1u);
    EXPECT_DOUBLE_EQ(gf_paintedValues().avgParkHoursLive, 2.0);

    // Parked "later" in the week than the clock adds nothing.
    addLiveAc(0x400002, "KLM2", kLat, kLon, AcPhase::Parked, 2).stamp = gf_makeDaySlot(1, 2);
    addLiveAc(0x400003, "KLM3", kLat, kLon, AcPhase::Taxiing, 0).stamp = gf_makeDaySlot(1, 0);
    EXPECT_EQ(gf_countLiveParked(true), 2u);
    EXPECT_DOUBLE_EQ(gf_paintedValues().avgParkHoursLive, 3.0 / 4.0 + 0.5);

    g_nowDaySlot.store(gf_makeDaySlot(7, 10));
    g_liveAc[0].stamp = gf_makeDaySlot(1, 2);  // the clock on day 7, the stamp on day 1: before
    g_liveAc[1].stamp = gf_makeDaySlot(6, 8);  // 50 half-hours
    EXPECT_EQ(gf_countLiveParked(false), 2u);
    EXPECT_DOUBLE_EQ(gf_paintedValues().avgParkHoursLive, 3.0 / 4.0 + 0.5);  // not shown
    EXPECT_EQ(gf_countLiveParked(true), 2u);
    EXPECT_DOUBLE_EQ(gf_paintedValues().avgParkHoursLive, 50.0 / 4.0 + 0.5);
}

TEST_F(Limits, RemovesTheStaticTwinOfALiveAircraft)
{
    LiveAc& live = addLiveAc(0x400001, "KLM123", kLat, kLon, AcPhase::Taxiing);
    live.registration = "PH-BXA";
    StaticAc& creating = addStaticAc(1, "KLM123*", 1, AcState::CreationRequested);
    StaticAc& other = addStaticAc(2, "DLH5*", 2);
    StaticAc& twin = addStaticAc(3, "KLM123*", 3);
    StaticAc& byReg = addStaticAc(4, "KLM999*", 4);
    byReg.registration = "PH-BXA";

    gf_removeStaticTwinOfLiveAc(live);
    EXPECT_EQ(creating.state, AcState::CreationRequested);
    EXPECT_EQ(other.state, AcState::Placed);
    EXPECT_EQ(twin.state, AcState::BeingRemoved);
    EXPECT_EQ(byReg.state, AcState::Placed);  // one per call

    gf_removeStaticTwinOfLiveAc(live);
    EXPECT_EQ(byReg.state, AcState::BeingRemoved);

    // In the air or not placed: nothing.
    StaticAc& again = addStaticAc(5, "KLM123*", 5);
    live.onGround = 0;
    gf_removeStaticTwinOfLiveAc(live);
    live.onGround = 1;
    live.state = AcState::CreationRequested;
    gf_removeStaticTwinOfLiveAc(live);
    EXPECT_EQ(again.state, AcState::Placed);
}

TEST_F(Limits, RemoveAllStaticVisitsEveryAircraft)
{
    // The first aircraft's queued request is dropped, which moves the last aircraft into its place:
    // the walk must still reach it.
    addStaticAc(1, "KLM1*", 1, AcState::CreationRequested);
    addStaticAc(2, "KLM2*", 2, AcState::Placed);
    addStaticAc(3, "KLM3*", 3, AcState::CreationRequested);
    addStaticAc(4, "KLM4*", 4, AcState::Placed);
    CreateAcCmd queued;
    queued.callsign = "KLM1*";
    queued.hexid = 1;
    g_staticCreateRequests.push_back(queued);

    gf_removeAllStaticAc();

    EXPECT_TRUE(g_staticCreateRequests.empty());
    ASSERT_EQ(g_staticAc.size(), 3u);
    for (const StaticAc& s : g_staticAc) {
        if (s.callsign == "KLM3*") {
            EXPECT_EQ(s.state, AcState::CreationRequested);
            EXPECT_EQ(s.removeOnCreation, 1);  // its request is with the simulator already
        } else {
            EXPECT_EQ(s.state, AcState::BeingRemoved) << s.callsign;
        }
    }
    EXPECT_EQ(g_removeRequests.size(), 2u);
}

TEST_F(Limits, ClearReservedStandStaticFirstThenLive)
{
    addStaticAc(1, "KLM1*", 0);                              // no stand: never the reserved one
    addLiveAc(0x400001, "KLM2", kLat, kLon, AcPhase::Parked, 0);
    gf_clearReservedStand();                                 // no reserved stand (id 0)
    EXPECT_EQ(g_staticAc[0].state, AcState::Placed);
    EXPECT_EQ(g_liveAc[0].state, AcState::Placed);

    g_reservedStand = "P3";
    addStaticAc(2, "KLM3*", 3);
    addLiveAc(0x400003, "KLM4", kLat, kLon, AcPhase::Parked, 3);
    gf_clearReservedStand();
    EXPECT_EQ(g_staticAc[1].state, AcState::BeingRemoved);
    EXPECT_EQ(g_liveAc[1].state, AcState::Placed);
    gf_clearReservedStand();
    EXPECT_EQ(g_liveAc[1].state, AcState::BeingRemoved);

    g_reservedStand = "nowhere";
    addLiveAc(0x400005, "KLM5", kLat, kLon, AcPhase::Parked, 0);
    gf_clearReservedStand();
    EXPECT_EQ(g_liveAc[2].state, AcState::Placed);
}

TEST_F(Limits, ContinuingKeepsAreLookedUpOnlyWithTheirNextFlight)
{
    // Stand P1 has KLM123's option of Monday, slots 18..20: at slot 20 the next half-hour is free.
    ParkPosOption option;
    option.airline = "KLM";
    option.type = "B738";
    option.callsign = "KLM123";
    option.callsign2 = "KLM124";
    option.number = 1;
    option.weekday = 1;
    gf_setSlot(option.slots, 18);
    gf_setSlot(option.slots, 19);
    gf_setSlot(option.slots, 20);
    g_parkPositions[0].options.push_back(option);

    const auto keep = [](std::string coupled1, std::string coupled2, std::uint32_t standId) {
        ParkKeep k;
        k.callsign = "KLM123*";
        k.coupled1 = std::move(coupled1);
        k.coupled2 = std::move(coupled2);
        k.airline = "KLM";
        k.type = "B738";
        k.stamp = gf_makeDaySlot(1, 18);
        k.standId = standId;
        return k;
    };
    g_parkKeeps = {
        keep("KLM123", "KLM124", 1),   // looked at
        keep("KLM123", "", 1),         // no next flight
        keep("DLH9", "KLM124", 1),     // first coupled callsign not part of the callsign
        keep("KLM123", "KLM124", 77),  // no such stand
        keep("", "KLM124", 1),         // empty first coupled callsign always occurs
    };
    const auto end = gf_markContinuingKeeps(g_parkKeeps.begin(), g_parkKeeps.end(), gf_makeDaySlot(1, 20));
    EXPECT_EQ(end, g_parkKeeps.end());
    EXPECT_EQ(g_parkKeeps[0].replace, 1);
    EXPECT_EQ(g_parkKeeps[1].replace, 0);
    EXPECT_EQ(g_parkKeeps[2].replace, 0);
    EXPECT_EQ(g_parkKeeps[3].replace, 0);
    EXPECT_EQ(g_parkKeeps[4].replace, 1);

    // Still standing in the next half-hour: not re-placed.
    g_parkKeeps = {keep("KLM123", "KLM124", 1)};
    (void)gf_markContinuingKeeps(g_parkKeeps.begin(), g_parkKeeps.end(), gf_makeDaySlot(1, 19));
    EXPECT_EQ(g_parkKeeps[0].replace, 0);
}

}  // namespace
