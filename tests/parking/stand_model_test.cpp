// The stand model: slot-range test, option match, appending and updating options, the
// neighbouring-slot search, stand overlap and the quality factor with its display text.
#include "model/stand_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>

#include <pugixml.hpp>

#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/units.h"
#include "foundation/runtime_texts.h"
#include "liveries/aircraft_db.h"
#include "liveries/regcodes.h"
#include "parking/parking_file.h"
#include "parking/registration_lookup.h"
#include "support/apf_files.h"
#include "support/liveries_fixture.h"
#include "support/temp_folder.h"

namespace {

constexpr double kMetresPerDegLat = 1852.0 * 60.0;  // on the haversine sphere of the program

ParkPosOption lf_option(std::uint32_t number, std::uint32_t weekday, std::initializer_list<std::uint32_t> slots,
                        std::uint32_t real = 1)
{
    ParkPosOption o;
    o.airline = "KLM";
    o.type = "B738";
    o.number = number;
    o.weekday = weekday;
    o.real = real;
    for (auto s : slots)
        gf_setSlot(o.slots, s);
    return o;
}

class StandModel : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_parkPositions.clear();
        gf_openLog(m_folder.path(), "test");
    }
    void TearDown() override
    {
        gf_closeLog();
        g_parkPositions.clear();
        gf_clearAircraftDb();
        gf_clearRegcodes();
    }
    std::string logText() const { return tvxtest::readFile(m_folder / "Log.txt"); }

    tvxtest::TempFolder m_folder;
};

TEST_F(StandModel, SlotSetBoundHasTheRuntimeText)
{
    SlotSet slots{};
    try {
        gf_setSlot(slots, 48);
        FAIL() << "slot 48 was taken";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "invalid bitset position");
    }
    EXPECT_THROW(gf_testSlot(slots, 48), std::out_of_range);
    gf_setSlot(slots, 47);
    EXPECT_TRUE(gf_testSlot(slots, 47));
}

TEST_F(StandModel, TestRangeStaysWithinTheDay)
{
    std::int32_t remainder = 5;
    // start 3, offset 10: slots 3, 2, 1, 0 only; the other 7 half-hours are slots 47..41 of the
    // day before, offset 6 back from slot 47.
    EXPECT_FALSE(testRange(lf_option(1, 1, {4, 47}), 3, 10, remainder));
    EXPECT_EQ(remainder, 6);
    EXPECT_TRUE(testRange(lf_option(1, 1, {0}), 3, 10, remainder));
    EXPECT_TRUE(testRange(lf_option(1, 1, {3}), 3, 0, remainder));
    EXPECT_EQ(remainder, -1);
    // Ending at slot 0 leaves nothing for the day before; one more half-hour is its slot 47.
    EXPECT_FALSE(testRange(lf_option(1, 1, {47}), 3, 3, remainder));
    EXPECT_EQ(remainder, -1);
    EXPECT_FALSE(testRange(lf_option(1, 1, {47}), 3, 4, remainder));
    EXPECT_EQ(remainder, 0);
    // start 20, offset 2: slots 20, 19, 18.
    EXPECT_TRUE(testRange(lf_option(1, 1, {18}), 20, 2, remainder));
    EXPECT_FALSE(testRange(lf_option(1, 1, {17, 21}), 20, 2, remainder));
    EXPECT_EQ(remainder, -1);

    remainder = 5;
    EXPECT_FALSE(testRange(lf_option(1, 1, {47}), 48, 3, remainder));
    EXPECT_EQ(remainder, -1);
    EXPECT_NE(logText().find("===> exception invalid bitset position in testRange, start: 48, offset: 3"),
              std::string::npos)
        << logText();
}

TEST_F(StandModel, OptionMatch)
{
    ParkPosOption o = lf_option(1, 1, {});
    o.callsign = "KLM123";
    o.callsign2 = "KLM124";
    EXPECT_TRUE(gf_optionMatches("KLM123", "XXX", "A320", o));
    EXPECT_TRUE(gf_optionMatches("KLM124", "XXX", "A320", o));
    EXPECT_TRUE(gf_optionMatches("DLH1", "KLM", "B738", o));
    EXPECT_FALSE(gf_optionMatches("DLH1", "KLM", "B739", o));
    EXPECT_FALSE(gf_optionMatches("DLH1", "klm", "B738", o));  // case-sensitive

    ParkPosOption soft = o;
    soft.real = 0;
    EXPECT_FALSE(gf_optionMatches("KLM123", "KLM", "B738", soft));
    ParkPosOption retired = o;
    retired.number = 0;
    EXPECT_FALSE(gf_optionMatches("KLM123", "KLM", "B738", retired));

    // Two empty texts are equal: an option without callsign matches an aircraft without one.
    ParkPosOption empty = lf_option(2, 1, {});
    empty.airline = "";
    empty.type = "";
    EXPECT_TRUE(gf_optionMatches("", "X", "Y", empty));
}

TEST_F(StandModel, AppendKeepsDroppedOptionsAndNumbersByPlace)
{
    // Options 3 and 4 dropped for the plan being made (their aircraft live): they stay, and the new
    // option takes its place's number, which the next adjustment's renumbering keeps.
    std::vector<ParkPosOption> options{lf_option(1, 1, {}), lf_option(2, 1, {}), lf_option(0, 1, {}),
                                       lf_option(0, 1, {})};
    const auto stamp = gf_makeDaySlot(3, 17);
    EXPECT_EQ(gf_addParkPosOption(options, {"DLH", "A320"}, 1, stamp, "DLH4TR", ""), 5u);
    ASSERT_EQ(options.size(), 5u);
    gf_renumberOptions(options);
    EXPECT_EQ(options[2].number, 3u);
    EXPECT_EQ(options[4].number, 5u);
    const ParkPosOption& added = options.back();
    EXPECT_EQ(added.airline, "DLH");
    EXPECT_EQ(added.type, "A320");
    EXPECT_EQ(added.callsign, "DLH4TR");
    EXPECT_EQ(added.callsign2, "");
    EXPECT_EQ(added.weekday, 3u);
    EXPECT_EQ(added.source, 0u);
    EXPECT_EQ(added.real, 1u);
    EXPECT_EQ(added.slots.count(), 1u);
    EXPECT_TRUE(added.slots.test(17));

    std::vector<ParkPosOption> middle{lf_option(1, 1, {}), lf_option(0, 1, {}), lf_option(3, 1, {})};
    EXPECT_EQ(gf_addParkPosOption(middle, {"DLH", "A320"}, 0, stamp, "", ""), 4u);
    EXPECT_EQ(middle.size(), 4u);
    EXPECT_EQ(middle[1].number, 0u);
    EXPECT_EQ(middle[3].real, 0u);

    std::vector<ParkPosOption> none;
    EXPECT_EQ(gf_addParkPosOption(none, {"DLH", "A320"}, 1, stamp, "AB_", ""), 1u);
    EXPECT_EQ(none[0].callsign, "AB");
    EXPECT_EQ(gf_addParkPosOption(none, {"DLH", "A320"}, 1, stamp, "AB__", ""), 2u);
    EXPECT_EQ(none[1].callsign, "AB_");

    EXPECT_THROW(gf_addParkPosOption(none, {"DLH", "A320"}, 1, gf_makeDaySlot(1, 48), "X", ""), std::out_of_range);
}

TEST_F(StandModel, AppendTakesTheDatabaseIdentityOfAKnownRegistration)
{
    ASSERT_TRUE(tvxtest::DbFixture::standard().load());
    std::vector<ParkPosOption> options;
    const auto stamp = gf_makeDaySlot(2, 10);
    gf_addParkPosOption(options, gf_standIdentity({"XXX", "A320"}, "G-EUPA"), 1, stamp, "BAW1", "G-EUPA");  // BAW B738 operated by SHT
    gf_addParkPosOption(options, gf_standIdentity({"XXX", "A320"}, "PH-BXA"), 1, stamp, "KLM1", "PH-BXA");  // KLM B738
    gf_addParkPosOption(options, gf_standIdentity({"XXX", "A320"}, "N-UNKNOWN"), 1, stamp, "ZZZ1", "N-UNKNOWN");
    ASSERT_EQ(options.size(), 3u);
    EXPECT_EQ(options[0].airline, "SHT");
    EXPECT_EQ(options[0].type, "B738");
    EXPECT_EQ(options[0].registration, "G-EUPA");
    EXPECT_EQ(options[1].airline, "KLM");
    EXPECT_EQ(options[1].type, "B738");
    EXPECT_EQ(options[2].airline, "XXX");
    EXPECT_EQ(options[2].type, "A320");
}

TEST_F(StandModel, UpdateRecordsSlotAndCallsigns)
{
    std::vector<ParkPosOption> options{lf_option(1, 1, {}), lf_option(2, 1, {})};
    options[1].callsign = "KLM1";
    const auto stamp = gf_makeDaySlot(1, 30);

    EXPECT_TRUE(gf_updateParkPosOption(options, stamp, 2, ""));  // only the slot
    EXPECT_TRUE(options[1].slots.test(30));
    EXPECT_EQ(options[1].callsign2, "");

    EXPECT_TRUE(gf_updateParkPosOption(options, stamp, 2, "KLM2_"));
    EXPECT_EQ(options[1].callsign, "KLM1");
    EXPECT_EQ(options[1].callsign2, "KLM2");
    EXPECT_TRUE(gf_updateParkPosOption(options, stamp, 2, "KLM1"));
    EXPECT_EQ(options[1].callsign2, "KLM2");
    EXPECT_TRUE(gf_updateParkPosOption(options, stamp, 2, "KLM3"));
    EXPECT_EQ(options[1].callsign2, "KLM3");

    EXPECT_TRUE(gf_updateParkPosOption(options, stamp, 1, "DLH1"));  // empty callsign is filled
    EXPECT_EQ(options[0].callsign, "DLH1");

    EXPECT_FALSE(gf_updateParkPosOption(options, stamp, 3, "X"));
    options[0].number = 0;
    EXPECT_FALSE(gf_updateParkPosOption(options, stamp, 0, "X"));

    EXPECT_FALSE(gf_updateParkPosOption(options, gf_makeDaySlot(4, 48), 2, "X"));
    EXPECT_NE(logText().find("===> Update Option exception invalid bitset position day=4 hh=48"),
              std::string::npos)
        << logText();
}

TEST_F(StandModel, NeighbouringSlotSearchWrapsWithinTheDay)
{
    std::vector<ParkPosOption> options{lf_option(1, 2, {47}), lf_option(2, 3, {1}), lf_option(3, 3, {20})};
    options[2].registration = "PH-BXA";

    EXPECT_EQ(gf_findOptionNearSlot(options, 2, 0, ""), options.begin());
    EXPECT_EQ(gf_findOptionNearSlot(options, 3, 0, ""), options.begin() + 1);
    EXPECT_EQ(gf_findOptionNearSlot(options, 3, 2, ""), options.begin() + 1);
    EXPECT_EQ(gf_findOptionNearSlot(options, 3, 3, ""), options.end());
    EXPECT_EQ(gf_findOptionNearSlot(options, 1, 47, ""), options.end());  // other weekday
    EXPECT_EQ(gf_findOptionNearSlot(options, 3, 21, "PH-BXA"), options.begin() + 2);
    EXPECT_EQ(gf_findOptionNearSlot(options, 3, 21, ""), options.end());  // other registration

    std::vector<ParkPosOption> atEnd{lf_option(1, 5, {0})};
    EXPECT_EQ(gf_findOptionNearSlot(atEnd, 5, 47, ""), atEnd.begin());
    atEnd[0].real = 0;
    EXPECT_EQ(gf_findOptionNearSlot(atEnd, 5, 47, ""), atEnd.end());
}

TEST_F(StandModel, StandsOverlapWhenRadiiExceedTheDistanceWithMargin)
{
    const double apart40 = 40.0 / kMetresPerDegLat;
    const double apart41 = 41.0 / kMetresPerDegLat;
    g_parkPositions.emplace_back("A", std::vector<ParkPosOption>{}, 0.0, 0.0, 0.0, 20.0, false, false, false);
    g_parkPositions.emplace_back("B", std::vector<ParkPosOption>{}, apart40, 0.0, 0.0, 25.0, false, false, false);
    g_parkPositions.emplace_back("C", std::vector<ParkPosOption>{}, -apart41, 0.0, 0.0, 25.0, false, false, false);
    for (std::uint32_t i = 0; i < g_parkPositions.size(); ++i)
        g_parkPositions[i].standId = i + 1;

    gf_computeOverlappingStands();
    EXPECT_EQ(g_parkPositions[0].overlapping, std::vector<std::uint32_t>{2});  // 45 > 44; 45 < 45.1 for C
    EXPECT_EQ(g_parkPositions[1].overlapping, std::vector<std::uint32_t>{1});
    EXPECT_TRUE(g_parkPositions[2].overlapping.empty());

    gf_computeOverlappingStands();  // again: no duplicates
    EXPECT_EQ(g_parkPositions[0].overlapping.size(), 1u);

    EXPECT_NEAR(g_parkPositions[0].radius, 20.0 / 1852.0, 1e-12);
    EXPECT_EQ(g_parkPositions[0].standId, 1u);
    EXPECT_FALSE(g_parkPositions[0].taken || g_parkPositions[0].occupied || g_parkPositions[0].blocked ||
                 g_parkPositions[0].keptFree);
}

// The overlap lists by the rule itself, every ordered pair in list order.
std::vector<std::vector<std::uint32_t>> lf_pairwiseOverlaps()
{
    std::vector<std::vector<std::uint32_t>> lists;
    for (const ParkPos& a : g_parkPositions) {
        lists.emplace_back();
        for (const ParkPos& b : g_parkPositions)
            if (b.standId != a.standId && a.radius + b.radius > 1.1 * gf_distanceNm(a.lat, a.lon, b.lat, b.lon))
                lists.back().push_back(b.standId);
    }
    return lists;
}

// The overlap lists of g_parkPositions (ids assigned in list order) against the pairwise rule;
// returns the number of overlapping pairs found.
std::size_t lf_expectOverlapsAsPairwise(const std::string& what)
{
    std::uint32_t id = 0;
    for (ParkPos& stand : g_parkPositions)
        stand.standId = ++id;
    gf_computeOverlappingStands();
    const auto expected = lf_pairwiseOverlaps();
    std::size_t pairs = 0;
    for (std::size_t i = 0; i < g_parkPositions.size(); ++i) {
        EXPECT_EQ(g_parkPositions[i].overlapping, expected[i]) << what << ", stand " << g_parkPositions[i].name;
        pairs += expected[i].size();
    }
    return pairs;
}

// Real stands do not overlap: the same layouts with every radius made larger do.
std::string lf_scaleRadii(double factor, const std::string& what)
{
    for (ParkPos& stand : g_parkPositions)
        stand.radius *= factor;
    return what + " with radii x" + std::to_string(factor);
}

TEST_F(StandModel, OverlapListsAreThoseOfThePairwiseRuleOnRealAndLargeAirports)
{
    // The stock parking files the program downloads, read as the reader does.
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::size_t realPairs = 0;
    int files = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(source) / "standins/download_server/MSFS/archive/stock")) {
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_file(entry.path().c_str())) << entry.path();
        g_parkPositions.clear();
        gf_readParkPositions(doc, 1);
        lf_expectOverlapsAsPairwise(entry.path().filename().string());
        realPairs += lf_expectOverlapsAsPairwise(lf_scaleRadii(4.0, entry.path().filename().string()));
        ++files;
    }
    EXPECT_EQ(files, 6);
    EXPECT_GT(realPairs, 0u);
    // Real ground networks as parking files, when the shared data is there.
    for (const char* code : {"BIKF", "PHNL"}) {
        const auto file = tvxtest::groundnetFile(code);
        if (file.empty())
            continue;
        pugi::xml_document doc;
        const std::string xml = tvxtest::groundnetToApf(tvxtest::readGroundnet(file), code, 0).xml();
        ASSERT_TRUE(doc.load_string(xml.c_str()));
        g_parkPositions.clear();
        gf_readParkPositions(doc, 1);
        lf_expectOverlapsAsPairwise(code);
        EXPECT_GT(lf_expectOverlapsAsPairwise(lf_scaleRadii(4.0, code)), 0u);
    }

    // Made-up airports of 3,000 stands: a dense apron with radii of 8-45 m, a few stands of
    // 150 m and repeated positions, at 64 N, 33 S and beside the antimeridian; stands placed
    // exactly on the rule's margin; a field at 88.9 N where longitudes spread.
    std::mt19937 random(33);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const auto& [lat0, lon0] : {std::pair{64.0, -22.6}, std::pair{-33.9, 151.2}, std::pair{12.0, 179.95},
                                     std::pair{88.9, 10.0}}) {
        g_parkPositions.clear();
        for (int i = 0; i < 3000; ++i) {
            const double north = (i / 64) * 45.0 + unit(random) * 20.0;
            const double east = (i % 64) * 45.0 + unit(random) * 20.0;
            double radius = 8.0 + unit(random) * 37.0;
            if (i % 500 == 7)
                radius = 150.0;
            double lat = lat0 + north / kMetresPerDegLat;
            double lon = lon0 + east / (kMetresPerDegLat * std::cos(lat0 * kDegToRad));
            if (i % 300 == 11) {  // on another stand's position
                lat = g_parkPositions[static_cast<std::size_t>(i - 5)].lat;
                lon = g_parkPositions[static_cast<std::size_t>(i - 5)].lon;
            }
            g_parkPositions.emplace_back("S" + std::to_string(i), std::vector<ParkPosOption>{}, lat, lon, 0.0, radius,
                                         false, false, false);
        }
        // A pair whose radii are a hair over 1.1 times their distance, north-south.
        const double d = 100.0 / kMetresPerDegLat;
        g_parkPositions.emplace_back("M1", std::vector<ParkPosOption>{}, lat0 - 0.01, lon0, 0.0, 0.0, false, false,
                                     false);
        g_parkPositions.emplace_back("M2", std::vector<ParkPosOption>{}, lat0 - 0.01 + d, lon0, 0.0, 0.0, false, false,
                                     false);
        const double margin = 1.1 * gf_distanceNm(lat0 - 0.01, lon0, lat0 - 0.01 + d, lon0) / 2.0;
        g_parkPositions[3000].radius = margin;
        g_parkPositions[3001].radius = margin * (1.0 + 4e-15);
        EXPECT_GT(lf_expectOverlapsAsPairwise(std::to_string(lat0)), 3000u) << lat0;
        EXPECT_EQ(g_parkPositions[3000].overlapping, std::vector<std::uint32_t>{3002}) << lat0;
    }
}

TEST_F(StandModel, QualityFactor)
{
    EXPECT_EQ(gf_qualityFactor(), std::make_pair(-1, -1));
    g_parkPositions.emplace_back("A", std::vector<ParkPosOption>{lf_option(1, 1, {5})}, 0.0, 0.0, 0.0, 20.0,
                                 false, false, false);
    EXPECT_EQ(gf_qualityFactor(), std::make_pair(63, 0));  // 10122 x 0.00625 = 63.26
    g_parkPositions.emplace_back("B", std::vector<ParkPosOption>{}, 0.0, 0.0, 0.0, 20.0, false, false, false);
    EXPECT_EQ(gf_qualityFactor(), std::make_pair(32, 0));  // half the mean: 31.6

    // The best possible stand: 200 options over 7 days with 600 slots or more gives 99.
    std::vector<ParkPosOption> full;
    for (std::uint32_t i = 0; i < 210; ++i) {
        ParkPosOption o = lf_option(i + 1, i % 7 + 1, {});
        o.slots.set();
        full.push_back(o);
    }
    full.push_back(lf_option(0, 1, {}));  // retired: not counted
    ParkPosOption soft = lf_option(211, 2, {1, 2});
    soft.real = 0;
    full.push_back(soft);
    g_parkPositions.clear();
    g_parkPositions.emplace_back("A", full, 0.0, 0.0, 0.0, 20.0, false, false, false);
    EXPECT_EQ(gf_qualityFactor(), std::make_pair(99, 63));  // 15900 -> 99.4; soft 10124 -> 63.3
}

TEST_F(StandModel, QualityFactorText)
{
    EXPECT_EQ(gf_qualityFactorText(70, 12), "70");
    EXPECT_EQ(gf_qualityFactorText(5, 12), " 5/12");
    EXPECT_EQ(gf_qualityFactorText(40, 12), "40/12");
    EXPECT_EQ(gf_qualityFactorText(-1, -1), "  ");
    EXPECT_EQ(gf_qualityFactorText(-1, 3), "-1/ 3");
    EXPECT_EQ(gf_qualityFactorText(45, -1), "45");
}

}  // namespace
