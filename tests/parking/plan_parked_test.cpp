// The static parking plan from the traffic service's parked list and the 15-second adjustment:
// which parked records are planned and on which stand, the aircraft already on a stand, the review
// of placed static aircraft against the new plan, the re-place predicate of kept aircraft, the
// removals and the adjustment as a whole.
#include "parking/static_plan.h"

#include <gtest/gtest.h>

#include "foundation/settings.h"
#include "foundation/time_slots.h"
#include "frame/status.h"
#include "parking/park_choice.h"
#include "parking/stand_schedule.h"
#include "parking/stand_search.h"
#include "simulator/ai_tick.h"
#include "simulator/removal.h"
#include "support/schedule_fixture.h"
#include "traffic_service/parked_traffic.h"
#include "traffic_service/traffic_client.h"
#include "traffic_service/traffic_standin.h"

using namespace tvxtest;

namespace {

class ParkedPlan : public ScheduleTest {
protected:
    ParkedPlan()
    {
        g_optParkingPercentage.setClamped(100);
        for (std::uint32_t i = 1; i <= 4; ++i)
            addStand(i, "P" + std::to_string(i), 0, 200.0 * i, 25.0);
    }
};

TEST_F(ParkedPlan, RecordsGoToTheFreeStandAtTheirPosition)
{
    g_parkedTraffic = {parkedRecord(0x4840A1, "KLM1", 0, 210, 2, "PH-BXA")};
    gf_planFromParkedTraffic();
    ASSERT_EQ(g_staticParkQueue.size(), 1u);
    const StaticPlanEntry& e = g_staticParkQueue[0];
    EXPECT_EQ(e.hexid, 0x4840A1u);
    EXPECT_EQ(e.fromSchedule, 0u);
    EXPECT_EQ(e.standId, 1u);
    EXPECT_EQ(e.offset, 2u);
    EXPECT_EQ(e.airline, "KLM");
    EXPECT_EQ(e.type, "B738");
    EXPECT_EQ(e.callsign, "KLM1");
    EXPECT_EQ(e.callsign2, "");
    EXPECT_EQ(e.registration, "PH-BXA");
    EXPECT_EQ(e.stays, 1u);
    EXPECT_TRUE(standById(1).taken);
}

TEST_F(ParkedPlan, FlyingLiveOrSeenAircraftAreNeverParked)
{
    g_seenHexids.insert(0x4840A1);
    g_seenCallsigns.insert("KLM2_");
    g_liveAc.push_back(makeLiveAc(0x4840FF, "OTHER", {rec(0, 0, 0)}));
    g_liveAc.back().registration = "PH-LIVE";
    g_parkedTraffic = {
        parkedRecord(0x4840A1, "KLM1", 0, 200),
        parkedRecord(0x4840A2, "KLM2", 0, 400),
        parkedRecord(0x4840A3, "KLM3", 0, 600, 0, "PH-LIVE"),
        parkedRecord(0x4840A4, "", 0, 800),
    };
    gf_planFromParkedTraffic();
    EXPECT_TRUE(g_staticParkQueue.empty());
}

TEST_F(ParkedPlan, AirlineFromTheCallsignElsePrivate)
{
    g_parkedTraffic = {parkedRecord(0x4840A1, "ABC123", 0, 200, 0, "", "B738", ""),
                       parkedRecord(0x4840A2, "N12345", 0, 400, 0, "", "C172", "")};
    gf_planFromParkedTraffic();
    ASSERT_EQ(g_staticParkQueue.size(), 2u);
    EXPECT_EQ(g_staticParkQueue[0].airline, "ABC");
    EXPECT_EQ(g_staticParkQueue[1].airline, "PVT");
}

TEST_F(ParkedPlan, ARecordWithoutAStandIsLoggedAndSkipped)
{
    g_parkedTraffic = {parkedRecord(0x4840A1, "KLM1", 500, 0, 3, "PH-BXA"),
                       parkedRecord(0x4840A2, "KLM2", 0, 400)};
    gf_planFromParkedTraffic();
    ASSERT_EQ(g_staticParkQueue.size(), 1u);
    EXPECT_EQ(g_staticParkQueue[0].callsign, "KLM2");
    EXPECT_NE(logText().find("          [PT        :   4840a1 KLM1     PH-BXA      , hh:3 ===> could not find a "
                             "stand for PT's "),
              std::string::npos)
        << logText();
}

TEST_F(ParkedPlan, TheWantedCountLimitsTheListUnlessItIsTheOnlySource)
{
    g_optParkingPercentage.setClamped(50);  // 2 of 4 stands
    g_parkedTraffic = {parkedRecord(1 + 0x484000, "KLM1", 0, 200), parkedRecord(2 + 0x484000, "KLM2", 0, 400),
                       parkedRecord(3 + 0x484000, "KLM3", 0, 600)};
    gf_planFromParkedTraffic();
    EXPECT_EQ(g_staticParkQueue.size(), 2u);
    g_staticParkQueue.clear();
    for (ParkPos& p : g_parkPositions)
        p.taken = p.blocked = false;
    g_optRtParktrafficOnly.set(true);
    g_optParkingPercentage.setClamped(0);
    gf_planFromParkedTraffic();
    EXPECT_EQ(g_staticParkQueue.size(), 3u);
}

TEST_F(ParkedPlan, AStaticAircraftOnTheStandMakesWayOnlyWhenItParkedEarlier)
{
    g_nowDaySlot.store(gf_makeDaySlot(1, 10));
    // The record parked 2 half-hours ago: day 1 slot 8.
    StaticAc& older = parkStatic(1, "MPH1*", gf_makeDaySlot(7, 40), 0);
    g_parkedTraffic = {parkedRecord(0x4840A1, "KLM1", 0, 200, 2)};
    gf_planFromParkedTraffic();
    EXPECT_EQ(older.state, AcState::BeingRemoved);
    ASSERT_EQ(g_parkRemovals.size(), 1u);
    EXPECT_EQ(g_parkRemovals[0].callsign, "MPH1*");
    ASSERT_EQ(g_staticParkQueue.size(), 1u);
    EXPECT_EQ(g_staticParkQueue[0].callsign, "KLM1");

    resetScheduleState();
    g_staticAc.clear();
    for (ParkPos& p : g_parkPositions)
        p.taken = p.blocked = false;
    g_nowDaySlot.store(gf_makeDaySlot(1, 10));
    StaticAc& newer = parkStatic(1, "MPH1*", gf_makeDaySlot(1, 9), 0);
    newer.serviceHexid = 0x4840B0;
    g_parkedTraffic = {parkedRecord(0x4840A1, "KLM1", 0, 200, 2)};
    gf_planFromParkedTraffic();
    EXPECT_EQ(newer.state, AcState::Placed);
    EXPECT_TRUE(g_parkRemovals.empty());
    ASSERT_EQ(g_staticParkQueue.size(), 1u);
    EXPECT_EQ(g_staticParkQueue[0].callsign, "MPH1");
    EXPECT_EQ(g_staticParkQueue[0].hexid, 0x4840B0u);
    EXPECT_EQ(g_staticParkQueue[0].offset, 1u);
}

TEST_F(ParkedPlan, TheBuildRemovesTheAircraftThatMakesWayForANewerRecord)
{
    // The traffic stand-in's parked list: KLM885 at stand P2 since 23:50 of the replay day, and
    // the service replies at 00:00:20: offset 1.
    tvxstandin::TrafficScenario scenario;
    scenario.parked.push_back({"4b1a30", latAt(0), lonAt(400), "P2", "B738", "PH-BFT", "KLM885",
                               scenario.start - 600.0});
    tvxstandin::TrafficStandin server(scenario);
    ASSERT_TRUE(server.start());
    server.setReplayTime(20.0);
    g_trafficClient.resetSession();
    g_trafficClient.setApiBase(server.apiBase());
    g_trafficClient.setLicence(scenario.licences.front());
    g_trafficClient.setParkAirportPosition(std::pair{kBaseLat, kBaseLon});

    g_optParkingPercentage.setClamped(25);  // 1 of 4 stands
    g_nowDaySlot.store(gf_makeDaySlot(4, 0));
    StaticAc& older = parkStatic(2, "MPH1*", gf_makeDaySlot(3, 40), 0);
    older.objectId = 501;
    // Asked for once the stands are read, fetched by the traffic reader, taken by the build.
    gf_requestParkedTraffic();
    ASSERT_TRUE(g_trafficClient.pollParkedTraffic());
    gf_buildStaticPlan();
    g_trafficClient.setParkAirportPosition(std::nullopt);
    g_trafficClient.resetSession();
    server.stop();

    EXPECT_EQ(older.state, AcState::BeingRemoved);
    EXPECT_EQ(std::vector<std::uint32_t>(g_removeRequests.begin(), g_removeRequests.end()),
              std::vector<std::uint32_t>({501}));
    EXPECT_TRUE(g_parkRemovals.empty());
    ASSERT_EQ(g_staticParkQueue.size(), 1u);
    EXPECT_EQ(g_staticParkQueue[0].callsign, "KLM885");
    EXPECT_EQ(g_staticParkQueue[0].standId, 2u);
    EXPECT_EQ(g_staticParkQueue[0].offset, 1u);
}

TEST_F(ParkedPlan, WeekOrderAndStampsBack)
{
    EXPECT_TRUE(gf_parkedEarlier(gf_makeDaySlot(7, 47), gf_makeDaySlot(1, 0)));
    EXPECT_FALSE(gf_parkedEarlier(gf_makeDaySlot(1, 0), gf_makeDaySlot(7, 47)));
    EXPECT_TRUE(gf_parkedEarlier(gf_makeDaySlot(3, 5), gf_makeDaySlot(3, 5)));
    EXPECT_FALSE(gf_parkedEarlier(gf_makeDaySlot(3, 6), gf_makeDaySlot(3, 5)));
    EXPECT_TRUE(gf_parkedEarlier(gf_makeDaySlot(2, 40), gf_makeDaySlot(3, 5)));
    EXPECT_EQ(gf_stampBack(gf_makeDaySlot(1, 1), 3), gf_makeDaySlot(7, 46));
    EXPECT_EQ(gf_stampBack(gf_makeDaySlot(4, 20), 20), gf_makeDaySlot(4, 0));
    EXPECT_EQ(gf_stampBack(gf_makeDaySlot(4, 20), 100), gf_makeDaySlot(2, 16));
}

class Review : public ScheduleTest {
protected:
    Review()
    {
        g_nowDaySlot.store(gf_makeDaySlot(2, 20));
        addStand(1, "R1", 0, 0);
        addStand(2, "R2", 0, 200);
    }
    DaySlot now() const { return g_nowDaySlot.load(); }
};

TEST_F(Review, ParkedListAircraftStayOnlyWhenTheListStillHasThemThere)
{
    StaticAc& seen = parkStatic(1, "KLM1*", gf_makeDaySlot(2, 10), 0);
    seen.serviceHexid = 0x4840A1;
    g_seenHexids.insert(0x4840A1);
    lf_reviewParkedStatic(seen, false, now());
    EXPECT_EQ(seen.state, AcState::BeingRemoved);

    StaticAc& kept = parkStatic(2, "KLM2*", gf_makeDaySlot(2, 10), 0);
    g_staticParkQueue = {{0x4840A2, 0, 2, 10, "KLM", "B738", "KLM2", "", "", 1}};
    lf_reviewParkedStatic(kept, false, now());
    EXPECT_EQ(kept.state, AcState::Placed);
    EXPECT_TRUE(g_staticParkQueue.empty());
    ASSERT_EQ(g_parkKeeps.size(), 1u);
    EXPECT_EQ(g_parkKeeps[0].callsign, "KLM2*");

    StaticAc& moved = parkStatic(2, "KLM3*", gf_makeDaySlot(2, 10), 0);
    g_staticParkQueue = {{0x4840A3, 0, 1, 10, "KLM", "B738", "KLM3", "", "", 1}};
    lf_reviewParkedStatic(moved, false, now());
    EXPECT_EQ(moved.state, AcState::BeingRemoved);
    EXPECT_EQ(g_staticParkQueue.size(), 1u);
    EXPECT_EQ(g_parkRemovals.size(), 2u);
}

TEST_F(Review, ScheduleAircraftAgainstAParkedListEntry)
{
    // The entry parked 4 half-hours ago (slot 16).
    StaticAc& later = parkStatic(1, "MPH1*", gf_makeDaySlot(2, 17));
    g_staticParkQueue = {{0x4840A1, 0, 1, 4, "KLM", "B738", "KLM1", "", "", 1}};
    lf_reviewParkedStatic(later, false, now());
    EXPECT_EQ(later.state, AcState::Placed);
    EXPECT_TRUE(g_staticParkQueue.empty());

    StaticAc& earlier = parkStatic(2, "MPH2*", gf_makeDaySlot(2, 15));
    g_staticParkQueue = {{0x4840A2, 0, 2, 4, "KLM", "B738", "KLM2", "", "", 1}};
    lf_reviewParkedStatic(earlier, false, now());
    EXPECT_EQ(earlier.state, AcState::BeingRemoved);
    EXPECT_EQ(g_staticParkQueue.size(), 1u);

    // With renew the schedule aircraft are not reviewed here.
    StaticAc& renewed = parkStatic(1, "MPH3*", gf_makeDaySlot(2, 1));
    g_staticParkQueue = {{0x4840A3, 0, 1, 4, "KLM", "B738", "KLM3", "", "", 1}};
    lf_reviewParkedStatic(renewed, true, now());
    EXPECT_EQ(renewed.state, AcState::Placed);
}

TEST_F(Review, ScheduleAircraftAgainstTheScheduleEntries)
{
    StaticAc& flying = parkStatic(1, "KLM1*", gf_makeDaySlot(2, 18));
    flying.coupledCallsign2 = "KLM2";
    g_seenCallsigns.insert("KLM2");
    lf_reviewScheduledStatic(flying, now());
    ASSERT_EQ(g_parkRemovals.size(), 1u);

    g_parkRemovals.clear();
    StaticAc& same = parkStatic(2, "KLM5*", gf_makeDaySlot(2, 18));
    g_staticParkQueue = {{0, 1, 2, 2, "KLM", "B738", "KLM4", "KLM5", "", 1}};
    lf_reviewScheduledStatic(same, now());
    EXPECT_TRUE(g_staticParkQueue.empty());
    EXPECT_EQ(g_parkKeeps.size(), 1u);
    EXPECT_TRUE(g_parkRemovals.empty());

    // Another aircraft planned on its stand: the one that parked later keeps it.
    g_parkKeeps.clear();
    StaticAc& holder = parkStatic(2, "KLM6*", gf_makeDaySlot(2, 19));
    g_staticParkQueue = {{0, 1, 2, 3, "MPH", "B738", "MPH1", "", "", 1}};
    lf_reviewScheduledStatic(holder, now());
    EXPECT_TRUE(g_staticParkQueue.empty());
    EXPECT_EQ(g_parkKeeps.size(), 1u);
    StaticAc& older = parkStatic(2, "KLM7*", gf_makeDaySlot(2, 10));
    g_staticParkQueue = {{0, 1, 2, 3, "MPH", "B738", "MPH1", "", "", 1}};
    lf_reviewScheduledStatic(older, now());
    EXPECT_EQ(g_staticParkQueue.size(), 1u);
    EXPECT_EQ(g_parkRemovals.size(), 1u);
}

TEST_F(Review, ScheduleAircraftWithoutAnEntryStayWhileTheirOptionHoldsThem)
{
    g_realFitOffset = 3;
    addOption(standById(1), 2, {17}, "KLM1");
    StaticAc& holds = parkStatic(1, "KLM1*", gf_makeDaySlot(2, 17));
    lf_reviewScheduledStatic(holds, now());
    EXPECT_EQ(g_parkKeeps.size(), 1u);
    g_realFitOffset = 2;
    lf_reviewScheduledStatic(holds, now());
    EXPECT_EQ(g_parkKeeps.size(), 1u);
    EXPECT_EQ(g_parkRemovals.size(), 1u);
}

TEST_F(Review, TheKeepWindowReachesBackOverMidnight)
{
    // Planned at 23:45 on Tuesday from its option's slot 47; now it is Wednesday 00:15.
    g_nowDaySlot.store(gf_makeDaySlot(3, 0));
    addOption(standById(1), 2, {47}, "KLM1");
    StaticAc& late = parkStatic(1, "KLM1*", gf_makeDaySlot(2, 47));
    g_realFitOffset = 1;
    lf_reviewScheduledStatic(late, now());
    EXPECT_EQ(g_parkKeeps.size(), 1u);
    EXPECT_TRUE(g_parkRemovals.empty());

    // The window of the plan's offset ends at midnight: offset 0 looks at 00:00 only.
    g_realFitOffset = 0;
    lf_reviewScheduledStatic(late, now());
    EXPECT_EQ(g_parkRemovals.size(), 1u);

    // Offset 2 reaches slots 46 and 47 of Tuesday, not slot 45, and no other weekday.
    g_realFitOffset = 2;
    g_parkRemovals.clear();
    addOption(standById(2), 2, {45}, "KLM2");
    addOption(standById(2), 1, {47}, "KLM2");
    StaticAc& earlier = parkStatic(2, "KLM2*", gf_makeDaySlot(2, 45));
    lf_reviewScheduledStatic(earlier, now());
    EXPECT_EQ(g_parkRemovals.size(), 1u);
    EXPECT_EQ(g_parkKeeps.size(), 1u);

    // Sunday night to Monday morning.
    g_nowDaySlot.store(gf_makeDaySlot(1, 1));
    g_parkRemovals.clear();
    g_parkKeeps.clear();
    addOption(standById(1), 7, {46}, "KLM3");
    StaticAc& sunday = parkStatic(1, "KLM3*", gf_makeDaySlot(7, 46));
    g_realFitOffset = 3;
    lf_reviewScheduledStatic(sunday, now());
    EXPECT_EQ(g_parkKeeps.size(), 1u);
    EXPECT_TRUE(g_parkRemovals.empty());
}

TEST_F(Review, OptionMatchSetsTheReplaceFlagWhenTheNextHalfHourIsNotHeld)
{
    ParkPos& stand = standById(1);
    addOption(stand, 2, {20, 21}, "KLM1");
    addOption(stand, 2, {20}, "KLM2");
    addOption(stand, 7, {47}, "KLM3");
    const ParkPosOption& staying = stand.options[0];
    const ParkPosOption& leaving = stand.options[1];
    const ParkPosOption& late = stand.options[2];
    ParkKeep keep{"KLM1*", "KLM1", "KLM9", "", "KLM", "B738", gf_makeDaySlot(2, 18), 1, 0};
    EXPECT_FALSE(lf_optionMatchesEntry(stand, leaving, "KLM1", keep, now()));
    EXPECT_TRUE(lf_optionMatchesEntry(stand, staying, "KLM1", keep, now()));
    EXPECT_EQ(keep.replace, 0u);
    keep.callsign = "KLM2*";
    EXPECT_TRUE(lf_optionMatchesEntry(stand, leaving, "KLM2", keep, now()));
    EXPECT_EQ(keep.replace, 1u);

    // At slot 47 the next half-hour is slot 0 of the next day.
    ParkKeep lateKeep{"KLM3*", "KLM3", "KLM9", "", "KLM", "B738", gf_makeDaySlot(7, 40), 1, 0};
    EXPECT_TRUE(lf_optionMatchesEntry(stand, late, "KLM3", lateKeep, gf_makeDaySlot(7, 47)));
    EXPECT_EQ(lateKeep.replace, 1u);
    addOption(stand, 1, {0}, "KLM4");
    lateKeep.replace = 0;
    const ParkPosOption& late2 = stand.options[2];  // after the append
    EXPECT_TRUE(lf_optionMatchesEntry(stand, late2, "KLM3", lateKeep, gf_makeDaySlot(7, 47)));
    EXPECT_EQ(lateKeep.replace, 0u);
}

TEST_F(Review, AfterMidnightTheNextHalfHourIsTheNewDays)
{
    // Parked on Tuesday from slot 46; the stand's schedule holds it on into Wednesday 00:00-01:00.
    ParkPos& stand = standById(1);
    addOption(stand, 2, {46, 47}, "KLM1");
    addOption(stand, 3, {0, 1}, "KLM1");
    ParkKeep keep{"KLM1*", "KLM1", "KLM9", "", "KLM", "B738", gf_makeDaySlot(2, 46), 1, 0};
    EXPECT_TRUE(lf_optionMatchesEntry(stand, stand.options[0], "KLM1", keep, gf_makeDaySlot(3, 0)));
    EXPECT_EQ(keep.replace, 0u);
    // At 01:00 its Wednesday option no longer holds it.
    EXPECT_TRUE(lf_optionMatchesEntry(stand, stand.options[0], "KLM1", keep, gf_makeDaySlot(3, 1)));
    EXPECT_EQ(keep.replace, 1u);
}

TEST_F(Review, RemovalsTakeTheStaticAircraftOfTheirStand)
{
    StaticAc& a = parkStatic(1, "KLM1*", gf_makeDaySlot(2, 10));
    a.objectId = 501;
    StaticAc& b = parkStatic(2, "KLM2*", gf_makeDaySlot(2, 10), 1, AcState::BeingRemoved);
    b.objectId = 502;
    g_parkRemovals = {{"KLM1*", 1}, {"KLM2*", 2}};
    lf_applyParkRemovals();
    EXPECT_TRUE(g_parkRemovals.empty());
    EXPECT_EQ(std::vector<std::uint32_t>(g_removeRequests.begin(), g_removeRequests.end()),
              std::vector<std::uint32_t>({502, 501}));
}

class Adjustment : public ScheduleTest {
protected:
    Adjustment()
    {
        g_nowDaySlot.store(gf_makeDaySlot(3, 20));
        g_optParkingPercentage.setClamped(50);
        g_optParkSoft.set(false);
        for (std::uint32_t i = 1; i <= 6; ++i) {
            ParkPos& s = addStand(i, "J" + std::to_string(i), 0, 200.0 * i);
            addOption(s, 3, {20, 21}, "KLM" + std::to_string(i));
        }
    }
};

TEST_F(Adjustment, PlansWhatIsMissingAndKeepsWhatStillHolds)
{
    StaticAc& placed = parkStatic(1, "KLM1*", gf_makeDaySlot(3, 20));
    placed.coupledCallsign1 = "KLM1";
    standById(2).options[0].number = 0;  // dropped in an earlier round: counts again
    gf_applyParkTrafficChanges(false);
    // 3 wanted: the placed aircraft stays, two entries are added.
    EXPECT_EQ(placed.state, AcState::Placed);
    EXPECT_EQ(g_parkKeeps.size(), 1u);
    EXPECT_EQ(g_staticParkQueue.size(), 2u);
    EXPECT_EQ(standById(2).options[0].number, 1u);
    for (const StaticPlanEntry& e : g_staticParkQueue)
        EXPECT_NE(e.standId, 1u);
    EXPECT_NE(logText().find("Parking adjustments: 0 to be removed, 2 to be added"), std::string::npos);
}

TEST_F(Adjustment, AnAircraftPlannedAt2345IsStillThereAt0015)
{
    g_nowDaySlot.store(gf_makeDaySlot(3, 0));
    addOption(standById(1), 2, {47}, "MPH7", "", "", 1, "MPH", "B738");
    StaticAc& late = parkStatic(1, "MPH7*", gf_makeDaySlot(2, 47), 1, AcState::Placed, "B738", "MPH");
    late.coupledCallsign1 = "MPH7";
    late.objectId = 707;
    gf_applyParkTrafficChanges(false);
    EXPECT_EQ(late.state, AcState::Placed);
    EXPECT_TRUE(g_removeRequests.empty());
    ASSERT_EQ(g_parkKeeps.size(), 1u);
    EXPECT_EQ(g_parkKeeps[0].callsign, "MPH7*");
    EXPECT_NE(logText().find("Parking adjustments: 0 to be removed"), std::string::npos) << logText();
}

TEST_F(Adjustment, RenewRemovesEveryPlacedScheduleAircraft)
{
    StaticAc& placed = parkStatic(1, "KLM1*", gf_makeDaySlot(3, 20));
    placed.objectId = 777;
    gf_applyParkTrafficChanges(true);
    EXPECT_EQ(placed.state, AcState::BeingRemoved);
    EXPECT_EQ(std::vector<std::uint32_t>(g_removeRequests.begin(), g_removeRequests.end()),
              std::vector<std::uint32_t>({777}));
    EXPECT_EQ(g_staticParkQueue.size(), 3u);
}

TEST_F(Adjustment, TooManyLiveStayersAreRemovedLongestParkedFirst)
{
    for (std::uint32_t i = 1; i <= 5; ++i) {
        LiveAc ac = makeLiveAc(0x484000 + i, "LIVE" + std::to_string(i), {rec(0, 0, 0)}, SizeClass::Large,
                               AcState::Placed, AcPhase::Parked);
        ac.standId = i;
        ac.objectId = 900 + i;
        ac.standApproachSeen = 1;
        ac.parkingTime = gf_steadyNow();  // the feed shows it at its stand
        g_liveAc.push_back(ac);
    }
    gf_applyParkTrafficChanges(false);
    EXPECT_NE(logText().find("Parking adjustments: 2 more live ac than wanted"), std::string::npos) << logText();
    EXPECT_EQ(g_removeRequests.size(), 2u);
    EXPECT_EQ(g_liveStayers.size(), 3u);
    EXPECT_TRUE(g_staticParkQueue.empty());
}

// A flight that leaves its stand or takes off is learned at that stand for the half-hour; once the
// feed and the history buffers no longer show it, the plan must not park it there again.
class Departures : public ScheduleTest {
protected:
    Departures()
    {
        g_nowDaySlot.store(gf_makeDaySlot(4, 20));
        g_optParkingPercentage.setClamped(100);
        g_optParkSoft.set(true);
        g_optLearnSoft.set(true);
        g_learnSoftAllowed = true;
        g_parkAirport.code = "EGLL";
        g_parkAirport.lat = kBaseLat;
        g_parkAirport.lon = kBaseLon;
        for (std::uint32_t i = 1; i <= 4; ++i)
            addStand(i, "G" + std::to_string(i), 0, 200.0 * i);
    }
    static LiveAc departing(std::uint32_t hexid, const std::string& callsign, const std::string& registration,
                            const std::string& airline)
    {
        LiveAc ac = makeLiveAc(hexid, callsign, {rec(latAt(-1500), lonAt(0), 0)}, SizeClass::Large,
                               AcState::Placed, AcPhase::Taxiing);
        static_cast<AcData&>(ac) = aircraft("B738", callsign, registration, hexid, airline);
        return ac;
    }
    static std::vector<std::string> planned()
    {
        std::vector<std::string> callsigns;
        for (const StaticPlanEntry& e : g_staticParkQueue)
            callsigns.push_back(e.callsign);
        return callsigns;
    }
    static std::size_t optionCount()
    {
        std::size_t n = 0;
        for (const ParkPos& p : g_parkPositions)
            n += p.options.size();
        return n;
    }
};

TEST_F(Departures, ATakeOffIsLearnedButNotParkedAgainForThreeHalfHours)
{
    LiveAc ac = departing(0x406001, "EZY210", "G-EZTA", "EZY");
    ac.takeOff = 1;  // the take-off has started: learned with force
    gf_learnStandFromLiveAc(ac, true);
    ASSERT_EQ(optionCount(), 1u);
    // The feed has ended and the history buffers no longer hold the flight.
    gf_applyParkTrafficChanges(false);
    EXPECT_TRUE(g_staticParkQueue.empty()) << testing::PrintToString(planned());
    // The learned option is kept (the learned file writes it) and counts again later.
    ASSERT_EQ(optionCount(), 1u);
    g_nowDaySlot.store(gf_makeDaySlot(4, 22));
    gf_applyParkTrafficChanges(false);
    EXPECT_TRUE(g_staticParkQueue.empty()) << testing::PrintToString(planned());
    g_nowDaySlot.store(gf_makeDaySlot(4, 23));
    gf_applyParkTrafficChanges(false);
    EXPECT_EQ(planned(), std::vector<std::string>({"EZY210"}));
    // A feed that ends before the take-off is no departure.
    LiveAc taxiing = departing(0x406002, "EZY211", "G-EZTB", "EZY");
    gf_learnStandFromLiveAc(taxiing, true);
    EXPECT_FALSE(gf_flightDeparted("EZY211"));
    // Without soft learning a take-off still keeps the flight (and its ghost) off the stands.
    g_optLearnSoft.set(false);
    taxiing.takeOff = 1;
    gf_learnStandFromLiveAc(taxiing, true);
    EXPECT_TRUE(gf_flightDeparted("EZY211_"));
    EXPECT_TRUE(gf_airframeDeparted("G-EZTB"));
}

TEST_F(Departures, AnAircraftThatLeavesItsStandUnderItsNextFlightIsNotParkedAgain)
{
    // Arrived as BAW167 and left in the same half-hour as BAW168: the option keeps the arrival's
    // callsign and names the airframe by its registration only.
    LiveAc ac = departing(0x406003, "BAW167", "G-XLEA", "BAW");
    EXPECT_TRUE(lf_addRealParkPosOption(2, ac, false, g_nowDaySlot.load(), false));
    ac.callsign = "BAW168";
    lf_addRealParkPosOption(2, ac, true, g_nowDaySlot.load(), true);
    ASSERT_EQ(standById(2).options.size(), 1u);
    EXPECT_EQ(standById(2).options[0].callsign, "BAW167");
    gf_applyParkTrafficChanges(false);
    EXPECT_TRUE(g_staticParkQueue.empty()) << testing::PrintToString(planned());
    g_nowDaySlot.store(gf_makeDaySlot(4, 23));
    gf_applyParkTrafficChanges(false);
    EXPECT_EQ(planned(), std::vector<std::string>({"BAW167"}));
}

}  // namespace
