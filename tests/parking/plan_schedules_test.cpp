// The static parking plan from the stand schedules: the schedule search for one half-hour offset
// (window over midnight, kinds, WEEK, helicopters, plan marks, the reasons an option is dropped,
// the stays flag), the batches up to MAX_FIT with their log line, the soft search and the build of
// the whole work list with its order.
#include "parking/static_plan.h"

#include <gtest/gtest.h>

#include "foundation/settings.h"
#include "parking/stand_search.h"
#include "parking/park_choice.h"
#include "simulator/ai_tick.h"
#include "simulator/removal.h"
#include "simulator/user_aircraft.h"
#include "support/schedule_fixture.h"

using namespace tvxtest;

namespace {

class SearchStands : public ScheduleTest {
protected:
    std::vector<StaticPlanEntry> search(DaySlot stamp, std::uint32_t offset, std::uint32_t kind = 1)
    {
        std::vector<StaticPlanEntry> out;
        lf_searchStands(stamp, kind, offset, out);
        return out;
    }
};

TEST_F(SearchStands, TheWindowMovesBackOverMidnight)
{
    addOption(addStand(1, "A1", 0, 0), 7, {46}, "KLM1");
    EXPECT_TRUE(search(gf_makeDaySlot(1, 1), 2).empty());  // day 7 slot 47
    const auto out = search(gf_makeDaySlot(1, 1), 3);      // day 7 slot 46
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].offset, 3u);
    EXPECT_EQ(out[0].standId, 1u);
    EXPECT_EQ(out[0].fromSchedule, 1u);
    EXPECT_EQ(out[0].hexid, 0u);
    EXPECT_EQ(out[0].callsign, "KLM1");
}

TEST_F(SearchStands, KindWeekdayAndWeek)
{
    addOption(addStand(1, "real", 0, 0), 2, {20}, "KLM1");
    addOption(addStand(2, "soft", 0, 100), 2, {20}, "KLM2", "", "", 0);
    addOption(addStand(3, "tuesday", 0, 200), 3, {20}, "KLM3");
    auto real = search(gf_makeDaySlot(2, 20), 0, 1);
    ASSERT_EQ(real.size(), 1u);
    EXPECT_EQ(real[0].callsign, "KLM1");
    auto soft = search(gf_makeDaySlot(2, 20), 0, 0);
    ASSERT_EQ(soft.size(), 1u);
    EXPECT_EQ(soft[0].callsign, "KLM2");
    for (ParkPos& p : g_parkPositions)
        p.taken = p.blocked = false;
    g_optWeek.set(true);
    EXPECT_EQ(search(gf_makeDaySlot(2, 20), 0, 1).size(), 2u);
}

TEST_F(SearchStands, MarksTakenStandsAndTheirNeighboursAndSkipsMarkedOnes)
{
    ParkPos& a = addStand(1, "A1", 0, 0);
    ParkPos& b = addStand(2, "A2", 0, 30);
    a.overlapping = {2};
    b.overlapping = {1};
    addOption(a, 1, {20}, "KLM1");
    addOption(b, 1, {20}, "KLM2");
    const auto out = search(gf_makeDaySlot(1, 20), 0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(standById(1).taken);
    EXPECT_TRUE(standById(2).blocked);
    EXPECT_FALSE(standById(2).taken);

    for (ParkPos& p : g_parkPositions)
        p.taken = p.blocked = false;
    standById(1).keptFree = true;
    EXPECT_EQ(search(gf_makeDaySlot(1, 20), 0).at(0).callsign, "KLM2");

    g_parkPositions.clear();
    addOption(addStand(1, "H1", 0, 0, 25.0, false, false, true), 1, {20}, "HELI1");
    g_optHelicopters.set(false);
    EXPECT_TRUE(search(gf_makeDaySlot(1, 20), 0).empty());
    g_optHelicopters.set(true);
    EXPECT_EQ(search(gf_makeDaySlot(1, 20), 0).size(), 1u);
}

TEST_F(SearchStands, AnOptionWhoseAircraftIsElsewhereIsDropped)
{
    struct Case {
        const char* what;
        void (*setUp)();
    };
    const Case cases[] = {
        {"seen flying", [] { g_seenCallsigns.insert("KLM1"); }},
        {"seen as ghost", [] { g_seenCallsigns.insert("KLM1_"); }},
        {"registration planned", [] { g_staticParkQueue.push_back({1, 0, 9, 0, "KLM", "B738", "X", "", "PH-BXA", 1}); }},
        {"callsign planned", [] { g_staticParkQueue.push_back({1, 0, 9, 0, "KLM", "B738", "KLM2", "", "PH-ZZZ", 1}); }},
        {"static continues as it", [] { parkStatic(9, "KLM0*", 0).coupledCallsign1 = "KLM2"; }},
        {"live stayer", [] { g_liveStayers.push_back({"KLM1", 0, 9, 10}); }},
        {"parked-list static", [] { parkStatic(9, "KLM2*", 0, 0).registration = "PH-OTHER"; }},
        // The history buffers are one fetch's snapshot: a flight still taxiing in after its feed
        // has moved on is only known from the live aircraft.
        {"live, not in the buffers", [] { g_liveAc.emplace_back().callsign = "KLM1"; }},
        {"live as ghost", [] { g_liveAc.emplace_back().callsign = "KLM1_"; }},
        {"same airframe live", [] { g_liveAc.emplace_back().registration = "PH-BXA"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resetScheduleState();
        g_staticAc.clear();
        g_liveAc.clear();
        g_parkPositions.clear();
        addStand(9, "far", 0, 900);
        addOption(addStand(1, "A1", 0, 0), 1, {20}, "KLM1", "KLM2", "PH-BXA");
        c.setUp();
        EXPECT_TRUE(search(gf_makeDaySlot(1, 20), 0).empty());
        EXPECT_EQ(standById(1).options[0].number, 0u);
        EXPECT_FALSE(standById(1).taken);
    }
    g_liveAc.clear();
}

TEST_F(SearchStands, ASecondCallsignSeenFlyingSkipsWithoutDropping)
{
    addOption(addStand(1, "A1", 0, 0), 1, {20}, "KLM1", "KLM2", "PH-BXA");
    g_seenCallsigns.insert("KLM2_");
    EXPECT_TRUE(search(gf_makeDaySlot(1, 20), 0).empty());
    EXPECT_EQ(standById(1).options[0].number, 1u);
}

TEST_F(SearchStands, ALiveSecondFlightSkipsUntilItsAircraftIsBeingRemoved)
{
    addOption(addStand(1, "A1", 0, 0), 1, {20}, "KLM1", "KLM2", "PH-BXA");
    g_liveAc.clear();
    LiveAc& live = g_liveAc.emplace_back();
    live.callsign = "KLM2";
    EXPECT_TRUE(search(gf_makeDaySlot(1, 20), 0).empty());
    EXPECT_EQ(standById(1).options[0].number, 1u);
    live.state = AcState::BeingRemoved;
    EXPECT_EQ(search(gf_makeDaySlot(1, 20), 0).size(), 1u);
    g_liveAc.clear();
}

TEST_F(SearchStands, StaysFlagLooksAtTheNextHalfHourOfTheGivenStamp)
{
    struct Case {
        const char* what;
        std::uint32_t slot;
        std::string callsign2;
        std::initializer_list<std::uint32_t> slots;
        bool nextDayOption;
        std::uint8_t stays;
    };
    const Case cases[] = {
        {"no second callsign", 20, "", {20}, false, 1},
        {"next slot set", 20, "KLM2", {20, 21}, false, 1},
        {"next slot clear", 20, "KLM2", {20}, false, 0},
        {"slot 47, next day slot 0", 47, "KLM2", {47}, true, 1},
        {"slot 47, no next day", 47, "KLM2", {47}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_parkPositions.clear();
        ParkPos& s = addStand(1, "A1", 0, 0);
        addOption(s, 7, c.slots, "KLM1", c.callsign2);
        if (c.nextDayOption)
            addOption(s, 1, {0}, "KLM9");
        const auto out = search(gf_makeDaySlot(7, c.slot), 0);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].stays, c.stays);
    }
}

TEST_F(SearchStands, TheScheduleAircraftOnTheStandKeepsItsOwnOption)
{
    ParkPos& s = addStand(1, "A1", 0, 0);
    addOption(s, 1, {20}, "KLM1");
    addOption(s, 1, {20}, "KLM2");
    addOption(s, 1, {20}, "KLM3");
    parkStatic(1, "KLM3*", gf_makeDaySlot(1, 19), 1, AcState::Placed);
    const auto out = search(gf_makeDaySlot(1, 20), 0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].callsign, "KLM3");
}

TEST_F(SearchStands, APlacedNeighbourTooCloseHidesTheOption)
{
    ParkPos& a = addStand(1, "A1", 0, 0);
    addStand(2, "A2", 0, 30);
    a.overlapping = {2};
    addOption(a, 1, {20}, "KLM1", "", "", 1, "KLM", "A388");  // 39.9 m radius
    addOption(a, 1, {20}, "KLM2", "", "", 1, "KLM", "C172");
    parkStatic(2, "KLM9*", gf_makeDaySlot(1, 19));
    const auto out = search(gf_makeDaySlot(1, 20), 0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].callsign, "KLM2");
}

class PlanFromSchedules : public ScheduleTest {
protected:
    PlanFromSchedules()
    {
        g_nowDaySlot.store(gf_makeDaySlot(1, 20));
        // Ten stands; stand i holds an aircraft from slot 20 - (i - 1) / 2 on.
        for (std::uint32_t i = 1; i <= 10; ++i) {
            ParkPos& s = addStand(i, "S" + std::to_string(i), 0, 100.0 * i);
            const std::uint32_t slot = 20 - (i - 1) / 2;
            addOption(s, 1, {slot}, "KLM" + std::to_string(i));
        }
    }
};

TEST_F(PlanFromSchedules, MaxFitLimitsTheOffsetsSearched)
{
    for (std::int32_t maxFit = 0; maxFit <= 4; ++maxFit) {
        SCOPED_TRACE(maxFit);
        g_staticParkQueue.clear();
        for (ParkPos& p : g_parkPositions)
            p.taken = p.blocked = false;
        g_optMaxFit.setClamped(maxFit);
        g_optParkSoft.set(false);
        gf_planFromSchedules(g_nowDaySlot.load(), 10, 0);
        EXPECT_EQ(g_staticParkQueue.size(), static_cast<std::size_t>(2 * (maxFit + 1)));
        EXPECT_EQ(g_realFitOffset, maxFit);
        EXPECT_EQ(g_fitOffset, -1);
    }
    EXPECT_NE(logText().find("2 real positions found, Max fit=0.5 hours, day 1, hh:20 or 10.5 hrs fit: 0.5 hour"),
              std::string::npos)
        << logText();
    EXPECT_NE(logText().find("10 real positions found, Max fit=2.5 hours, day 1, hh:20 or 10.5 hrs fit: 2.5 hour"),
              std::string::npos);
}

TEST_F(PlanFromSchedules, TheWantedNumberStopsTheSearchAndTrimsTheLastBatch)
{
    gf_planFromSchedules(g_nowDaySlot.load(), 3, 0);
    ASSERT_EQ(g_staticParkQueue.size(), 3u);
    EXPECT_EQ(g_staticParkQueue[0].offset, 0u);
    EXPECT_EQ(g_staticParkQueue[1].offset, 0u);
    EXPECT_EQ(g_staticParkQueue[2].offset, 1u);
    EXPECT_EQ(g_realFitOffset, 1);
    EXPECT_NE(logText().find("4 real positions found, Max fit=24 hours, day 1, hh:20 or 10.5 hrs fit: 1 hour"),
              std::string::npos)
        << logText();
    // Aircraft parked elsewhere (live stayers, kept aircraft) count against the wanted number.
    g_staticParkQueue.clear();
    for (ParkPos& p : g_parkPositions)
        p.taken = p.blocked = false;
    gf_planFromSchedules(g_nowDaySlot.load(), 5, 2);
    EXPECT_EQ(g_staticParkQueue.size(), 3u);
}

TEST_F(PlanFromSchedules, SoftOptionsOnlyWhenAllowedAndStillNeeded)
{
    for (std::uint32_t i = 11; i <= 14; ++i)
        addOption(addStand(i, "T" + std::to_string(i), 100, 100.0 * i), 1, {20}, "SOFT" + std::to_string(i), "", "",
                  0);
    g_optMaxFit.setClamped(0);
    g_optParkSoft.set(false);
    g_optParkFake.set(false);
    gf_planFromSchedules(g_nowDaySlot.load(), 4, 0);
    EXPECT_EQ(g_staticParkQueue.size(), 2u);  // PARK_SOFT and PARK_FAKE are off
    EXPECT_FALSE(g_softPlanned);

    g_staticParkQueue.clear();
    for (ParkPos& p : g_parkPositions)
        p.taken = p.blocked = false;
    g_optParkSoft.set(true);
    gf_planFromSchedules(g_nowDaySlot.load(), 4, 0);
    ASSERT_EQ(g_staticParkQueue.size(), 4u);
    EXPECT_EQ(g_staticParkQueue[3].callsign.substr(0, 4), "SOFT");
    EXPECT_TRUE(g_softPlanned);
    EXPECT_EQ(g_fitOffset, 0);
    EXPECT_NE(logText().find("4 soft positions found, Max fit=0.5 hours, day 1, hh:20 or 10.5 hrs fit: 0.5 hour"), std::string::npos);

    // When the real schedules fill the wanted number, no soft search runs.
    g_staticParkQueue.clear();
    for (ParkPos& p : g_parkPositions)
        p.taken = p.blocked = false;
    gf_planFromSchedules(g_nowDaySlot.load(), 2, 0);
    EXPECT_FALSE(g_softPlanned);
    EXPECT_EQ(g_fitOffset, -1);
}

TEST_F(PlanFromSchedules, BuildFillsTheWantedShareSmallestOffsetLast)
{
    g_optParkingPercentage.setClamped(50);  // 5 of 10 stands
    gf_buildStaticPlan();
    ASSERT_EQ(g_staticParkQueue.size(), 5u);
    for (std::size_t i = 1; i < g_staticParkQueue.size(); ++i)
        EXPECT_GE(g_staticParkQueue[i - 1].offset, g_staticParkQueue[i].offset);
    EXPECT_EQ(g_staticParkQueue.back().offset, 0u);
    EXPECT_EQ(g_staticParkQueue.front().offset, 2u);
    const std::string log = logText();
    EXPECT_NE(log.find("It is day 1 (Monday), 10.5 hours"), std::string::npos) << log;
    EXPECT_NE(log.find("0 parking positions from PT"), std::string::npos);
    EXPECT_NE(log.find("5 positions (50% vs wanted 50%, with Max fit=24 hours)"), std::string::npos) << log;
    EXPECT_TRUE(g_controlsBusy.load());
}

TEST_F(PlanFromSchedules, BuildWithoutPositionsSaysSoAndEnablesTheControls)
{
    g_nowDaySlot.store(gf_makeDaySlot(4, 20));
    gf_buildStaticPlan();
    EXPECT_TRUE(g_staticParkQueue.empty());
    EXPECT_NE(logText().find("no parking positions found"), std::string::npos);
    EXPECT_FALSE(g_controlsBusy.load());
}

TEST_F(PlanFromSchedules, BuildFromTheParkedListOnlyRunsNoScheduleSearch)
{
    g_optRtParktrafficOnly.set(true);
    gf_buildStaticPlan();
    EXPECT_TRUE(g_staticParkQueue.empty());
    EXPECT_EQ(logText().find("parking positions from PT"), std::string::npos);
    EXPECT_EQ(logText().find("real position"), std::string::npos);
    EXPECT_NE(logText().find("no parking positions found"), std::string::npos);
}

TEST_F(PlanFromSchedules, BuildKeepsTheReservedAndTheUserStandFree)
{
    g_optParkingPercentage.setClamped(100);
    g_reservedStand = "S1";
    g_userOnGround.store(true);
    g_userAcCopy.latitude = standById(2).lat;
    g_userAcCopy.longitude = standById(2).lon;
    gf_buildStaticPlan();
    EXPECT_TRUE(standById(1).keptFree);
    for (const StaticPlanEntry& e : g_staticParkQueue)
        EXPECT_NE(e.standId, 1u);
}

}  // namespace
