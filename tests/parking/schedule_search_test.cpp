// Stand searches: the nearest named stand within 55 m, the free-stand search with its fit, too-small
// and schedule fallback rules, the rating functions and the rated choice by aircraft kind, and a
// run over real stand data (FlightGear ground networks converted to parking files).
#include "parking/stand_search.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <set>
#include <thread>

#include "foundation/geo.h"
#include "foundation/random.h"
#include "foundation/settings.h"
#include "model/airport_list.h"
#include "parking/park_read.h"
#include "parking/stand_schedule.h"
#include "simulator/user_aircraft.h"
#include "support/apf_files.h"
#include "support/schedule_fixture.h"
#include "support/temp_folder.h"

using namespace tvxtest;

namespace {

constexpr double kMetre = 0.0005399568034557236;  // nautical miles

class StandSearch : public ScheduleTest {
protected:
    StandSearch() { g_userOnGround.store(true); }
};

TEST_F(StandSearch, NearestStandNameWithin55MetresWhileOnTheGround)
{
    addStand(1, "A1", 0, 0);
    addStand(2, "A2", 0, 100);
    addStand(3, "A3", 0, 300);
    EXPECT_EQ(gf_nearestStandName(latAt(0), lonAt(300 - 54)), "A3");
    EXPECT_EQ(gf_nearestStandName(latAt(0), lonAt(300 - 56)), "");  // nothing within 55 m
    EXPECT_EQ(gf_nearestStandName(latAt(0), lonAt(60)), "A2");
    EXPECT_EQ(gf_nearestStandName(latAt(0), lonAt(50)), "A1");      // equal distance: first wins
    g_userOnGround.store(false);
    EXPECT_EQ(gf_nearestStandName(latAt(0), lonAt(0)), "");
}

TEST_F(StandSearch, NearestStandNameAnswersFromThePublishedStandsAndForgetsOnEachRebuild)
{
    addStand(1, "A1", 0, 0);
    EXPECT_EQ(gf_nearestStandName(latAt(1), lonAt(1)), "A1");
    // Changes to the list reach the search only when the list is published again.
    g_parkPositions.front().name = "renamed";
    EXPECT_EQ(gf_nearestStandName(latAt(1), lonAt(1)), "A1");
    EXPECT_EQ(gf_nearestStandName(latAt(2), lonAt(1)), "A1");
    // The next airport's stands, as many and in the same storage: the unmoved position is asked
    // afresh.
    g_parkPositions.clear();
    addStand(1, "other airport", 0, 0);
    EXPECT_EQ(gf_nearestStandName(latAt(2), lonAt(1)), "other airport");
    // Emptied (the park airport left): no stand, also for the cached position.
    g_parkPositions.clear();
    gf_publishStands();
    EXPECT_EQ(gf_nearestStandName(latAt(2), lonAt(1)), "");
}

TEST_F(StandSearch, NearestStandNameOnOtherThreadsWhileTheMainLoopRebuildsTheStands)
{
    // The traffic reader and the simulator thread ask while the stand list is rebuilt and
    // emptied over and over; every answer is a name of one of the lists (run under the
    // sanitizers, the test also shows that nothing is read while it is written).
    std::atomic<bool> done{false};
    std::atomic<int> questions{0};
    std::atomic<int> wrong{0};
    auto ask = [&](double north) {
        while (!done.load()) {
            const std::string name = gf_nearestStandName(latAt(north), lonAt(0));
            if (name != "" && name != "A1" && name != "B1")
                ++wrong;
            ++questions;
        }
    };
    std::thread reader(ask, 1.0);
    std::thread simulator(ask, 2.0);
    // At least 2000 rebuilds, and on until the two threads have asked a few hundred times
    // (bounded by the wall clock).
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int round = 0; round < 2000 || (questions.load() < 500 && std::chrono::steady_clock::now() < end);
         ++round) {
        g_parkPositions.clear();
        if (round % 3 != 2) {
            addStand(1, round % 3 == 0 ? "A1" : "B1", 0, 0);
            addStand(2, "far", 0, 900);
        } else {
            gf_publishStands();
        }
    }
    done.store(true);
    reader.join();
    simulator.join();
    EXPECT_GE(questions.load(), 500);
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(StandSearch, FreeStandTakesAFittingStandAndPassesOverSmallOnes)
{
    const AcData b738 = aircraft("B738", "KLM1");  // radius 17.9 m
    struct Case {
        double radiusM;
        double eastM;
        bool taken;
    };
    const Case cases[] = {
        {16.1, 30, true},   // 1.8 m smaller still fits
        {16.0, 30, false},  // too small and 30 m away
        {16.0, 19, true},   // too small but within 20 m: enlarged
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.radiusM);
        g_parkPositions.clear();
        g_parkUpdates = 0;
        addStand(1, "A1", 0, c.eastM, c.radiusM);
        const auto it = gf_findFreeStand(latAt(0), lonAt(0), b738, kStandRadius55m, false);
        EXPECT_EQ(it != g_parkPositions.end(), c.taken);
        const bool enlarged = c.taken && c.radiusM < 16.05;
        EXPECT_EQ(g_parkPositions[0].radiusChange, enlarged);
        EXPECT_EQ(g_parkUpdates, enlarged ? 1u : 0u);
        if (enlarged) {
            EXPECT_NEAR(g_parkPositions[0].radius, b738.size - kMetre, 1e-12);
        }
    }
}

TEST_F(StandSearch, FreeStandPrefersTheNearestAndSkipsOccupiedStands)
{
    const AcData b738 = aircraft("B738", "KLM1");
    addStand(1, "far", 0, 40);
    addStand(2, "near", 0, 10);
    addStand(3, "nearest", 0, 5).occupied = true;
    const auto it = gf_findFreeStand(latAt(0), lonAt(0), b738, kStandRadius55m, false);
    ASSERT_NE(it, g_parkPositions.end());
    EXPECT_EQ(it->name, "near");
}

TEST_F(StandSearch, HeliStandsAreForRotorcraftOnly)
{
    addStand(1, "H1", 0, 0, 25.0, false, false, true);
    const AcData heli = aircraft("EC35", "PHHEL");
    const AcData b738 = aircraft("B738", "KLM1");
    EXPECT_NE(gf_findFreeStand(latAt(0), lonAt(0), heli, kStandRadius55m, false), g_parkPositions.end());
    EXPECT_EQ(gf_findFreeStand(latAt(0), lonAt(0), b738, kStandRadius55m, false), g_parkPositions.end());
    g_parkPositions.clear();
    addStand(1, "G1", 0, 0);
    EXPECT_EQ(gf_findFreeStand(latAt(0), lonAt(0), heli, kStandRadius55m, false), g_parkPositions.end());
}

TEST_F(StandSearch, ByOptionFallsBackToAStandWhoseScheduleNamesTheAircraft)
{
    const AcData b738 = aircraft("B738", "KLM1234", "", 1, "MPH");
    ParkPos& named = addStand(1, "named", 0, 80);
    addStand(2, "other", 0, 70);
    addOption(named, 1, {3}, "KLM1234");
    auto it = gf_findFreeStand(latAt(0), lonAt(0), b738, kStandRadius20m, true);
    ASSERT_NE(it, g_parkPositions.end());
    EXPECT_EQ(it->name, "named");
    // Beyond 85 m, or without byOption, there is no fallback.
    EXPECT_EQ(gf_findFreeStand(latAt(0), lonAt(-6), b738, kStandRadius20m, true), g_parkPositions.end());
    EXPECT_EQ(gf_findFreeStand(latAt(0), lonAt(0), b738, kStandRadius20m, false), g_parkPositions.end());
}

TEST_F(StandSearch, RatingByFitUsesTheSizeStepAndSkipsBusyStands)
{
    const AcData b738 = aircraft("B738", "KLM1");  // 17.9 m: the 21 m step
    const AcData c172 = aircraft("C172", "PHABC", "", 2, "PVT");
    ParkPos& big = addStand(1, "big", 0, 0, 17.9 + 21.0 * 2.4);
    std::vector<StandCandidate> out;
    std::uint32_t best = 100;
    lf_rateStandFit(big, gf_makeDaySlot(1, 20), b738, 0.011339092872570195, best, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].rating, 2u);
    EXPECT_EQ(best, 2u);
    // A worse stand after a better one is not a candidate.
    ParkPos& bigger = addStand(2, "bigger", 0, 0, 17.9 + 21.0 * 3.0);
    lf_rateStandFit(bigger, gf_makeDaySlot(1, 20), b738, 0.011339092872570195, best, out);
    EXPECT_EQ(out.size(), 1u);
    // Busy at the stamp: an option of that weekday holds the slot.
    ParkPos& busy = addStand(3, "busy", 0, 0, 17.9);
    addOption(busy, 1, {20}, "X");
    best = 100;
    lf_rateStandFit(busy, gf_makeDaySlot(1, 20), b738, 0.011339092872570195, best, out);
    EXPECT_EQ(out.size(), 1u);
    lf_rateStandFit(busy, gf_makeDaySlot(2, 20), b738, 0.011339092872570195, best, out);
    EXPECT_EQ(out.size(), 2u);
    // Any size: rating in whole nautical miles.
    out.clear();
    best = 100;
    lf_rateStandAnySize(big, gf_makeDaySlot(1, 20), c172, best, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].rating, 0u);
    EXPECT_EQ(out[0].historyMatch, 0u);
}

TEST_F(StandSearch, CandidatesWithHistoryComeFirstThenLowerRating)
{
    std::vector<StandCandidate> c = {{"a", 3, 0}, {"b", 1, 0}, {"c", 5, 1}, {"d", 2, 1}, {"e", 1, 0}};
    lf_orderCandidates(c);
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[0].name, "d");
    EXPECT_EQ(c[1].name, "c");
    EXPECT_EQ(std::set<std::string>({c[2].name, c[3].name}), std::set<std::string>({"b", "e"}));
    EXPECT_EQ(c[4].name, "a");
}

TEST_F(StandSearch, AirlinersAtAnAmericanAirportAlwaysTryGatesFirst)
{
    g_parkAirport.code = "KSFO";
    addStand(1, "ramp", 0, 0, 30.0, false, true);
    addStand(2, "gate", 0, 100, 30.0);
    const AcData b738 = aircraft("B738", "UAL1", "", 1, "UAL");
    for (std::uint32_t seed = 1; seed <= 30; ++seed) {
        gf_seedRng(seed);
        const auto it = gf_chooseStand(gf_makeDaySlot(1, 20), b738, false);
        ASSERT_NE(it, g_parkPositions.end());
        EXPECT_EQ(it->name, "gate") << seed;
    }
    // Elsewhere about one in ten starts with the ramp stands.
    g_parkAirport.code = "EHAM";
    int ramp = 0;
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        gf_seedRng(seed);
        ramp += gf_chooseStand(gf_makeDaySlot(1, 20), b738, false)->name == "ramp" ? 1 : 0;
    }
    EXPECT_GT(ramp, 10);
    EXPECT_LT(ramp, 60);
}

TEST_F(StandSearch, ChoiceByKindOfAircraft)
{
    g_parkAirport.code = "KSFO";
    addStand(1, "gate", 0, 0, 30.0);
    addStand(2, "ramp", 0, 100, 30.0, false, true);
    addStand(3, "cargo", 0, 200, 30.0, true);
    addStand(4, "heli", 0, 300, 30.0, false, false, true);
    const DaySlot stamp = gf_makeDaySlot(1, 20);
    EXPECT_EQ(gf_chooseStand(stamp, aircraft("C172", "N123", "", 1, "N"), false)->name, "ramp");
    EXPECT_EQ(gf_chooseStand(stamp, aircraft("B738", "N123", "", 1, "PVT"), false)->name, "ramp");
    EXPECT_EQ(gf_chooseStand(stamp, aircraft("EC35", "N123", "", 1, "N"), false)->name, "heli");
    AcData freighter = aircraft("B738", "FDX1", "", 1, "FDX");
    freighter.cargo = 1;
    EXPECT_EQ(gf_chooseStand(stamp, freighter, false)->name, "cargo");
    EXPECT_EQ(gf_chooseStand(stamp, aircraft("B738", "UAL1", "", 1, "UAL"), false)->name, "gate");
}

TEST_F(StandSearch, NoFreeStandRetriesTheNextHalfHourOnlyAtSmallAirports)
{
    g_parkAirport.code = "KXYZ";
    const AcData b738 = aircraft("B738", "UAL1", "", 1, "UAL");
    for (std::uint32_t id = 1; id <= 11; ++id) {
        ParkPos& s = addStand(id, "G" + std::to_string(id), 0, 100.0 * id, 30.0);
        // Busy at day 7 slot 47; stand 3 is free again at day 1 slot 0.
        addOption(s, 7, {47}, "X");
        if (id != 3)
            addOption(s, 1, {0}, "Y");
    }
    g_parkPositions.pop_back();  // 10 stands
    const auto it = gf_chooseStand(gf_makeDaySlot(7, 47), b738, true);
    ASSERT_NE(it, g_parkPositions.end());
    EXPECT_EQ(it->name, "G3");
    EXPECT_EQ(gf_chooseStand(gf_makeDaySlot(7, 47), b738, false), g_parkPositions.end());
    ParkPos& eleventh = addStand(11, "G11", 0, 1100, 30.0);
    addOption(eleventh, 7, {47}, "X");
    addOption(eleventh, 1, {0}, "Y");
    EXPECT_EQ(gf_chooseStand(gf_makeDaySlot(7, 47), b738, true), g_parkPositions.end());
}

TEST_F(StandSearch, NamelessStandIsNoAnswerWhenNothingFits)
{
    g_parkAirport.code = "KXYZ";
    ParkPos& s = addStand(1, "", 0, 0, 30.0);
    addOption(s, 1, {20}, "X");
    EXPECT_EQ(gf_chooseStand(gf_makeDaySlot(1, 20), aircraft("B738", "UAL1", "", 1, "UAL"), false),
              g_parkPositions.end());
}

TEST_F(StandSearch, RealStandsOfKeflavikEachFindThemselves)
{
    const auto file = groundnetFile("BIKF");
    if (file.empty())
        GTEST_SKIP() << "shared ground-network data is not present";
    const auto stands = readGroundnet(file);
    ASSERT_FALSE(stands.empty());
    std::uint32_t id = 0;
    for (const GroundnetStand& g : stands) {
        ParkPos p(g.name, {}, g.lat, g.lon, 0.0, std::max(g.radiusM, 20.0), g.type.find("cargo") != std::string::npos,
                  g.type == "ga", false);
        p.standId = ++id;
        g_parkPositions.push_back(std::move(p));
    }
    gf_publishStands();
    const AcData b738 = aircraft("B738", "ICE1", "", 1, "ICE");
    std::size_t found = 0;
    for (const ParkPos& p : g_parkPositions) {
        const auto it = gf_findFreeStand(p.lat, p.lon, b738, kStandRadius20m, false);
        if (p.radius + 1.8 * kMetre >= b738.size) {
            ASSERT_NE(it, g_parkPositions.end()) << p.name;
            EXPECT_LE(gf_distanceNm(p.lat, p.lon, it->lat, it->lon), 1e-9) << p.name;
            ++found;
        }
        EXPECT_EQ(gf_nearestStandName(p.lat, p.lon), p.name);
    }
    EXPECT_GT(found, 0u);
    g_parkAirport.code = "BIKF";
    const auto chosen = gf_chooseStand(gf_makeDaySlot(3, 12), b738, true);
    ASSERT_NE(chosen, g_parkPositions.end());
    EXPECT_FALSE(chosen->heli);
}

}  // namespace
