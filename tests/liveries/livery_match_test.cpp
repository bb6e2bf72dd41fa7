// Livery matching: the order of the steps, refused titles, FSLTL flag, static rules, summary.
#include "liveries/livery_match.h"

#include <gtest/gtest.h>

#include "foundation/random.h"
#include "liveries/aircraft_db.h"
#include "liveries/livery_tables.h"
#include "liveries/refused.h"
#include "support/liveries_fixture.h"

namespace {

LiveryData lf_livery(std::string airline, std::string type, std::string title, std::string atcId = "",
                     std::uint8_t cargo = 0)
{
    return LiveryData{std::move(airline), std::move(type), std::move(title), std::move(atcId), 0, cargo};
}

class LiveryMatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto db = tvxtest::DbFixture::standard();
        db.types.push_back({"B737", 34.3});
        db.types.push_back({"A332", 60.3});
        db.types.push_back({"B744", 64.4});
        db.types.push_back({"EC45", 11.0});
        db.sets = {{"large", "B738 B737"}, {"heavy", "A388 A332 B744"}, {"rotorcraft", "EC35 EC45"}};
        ASSERT_TRUE(db.load());
        gf_seedRng(7);
        gf_resetMatchCounts();
    }
    void TearDown() override
    {
        g_refusedLiveries.clear();
        g_refusedTypes.clear();
        gf_setLiveries({});
        gf_clearAircraftDb();
    }

    static AcData lf_aircraft(const std::string& airline, const std::string& type,
                              const std::string& registration = "")
    {
        FlightRecord head;
        head.airline = airline;
        head.acType = type;
        head.registration = registration;
        head.callsign = "TST123";
        return gf_makeAcData(head);
    }
};

TEST_F(LiveryMatchTest, StepsInOrder)
{
    gf_setLiveries({
        lf_livery("KLM", "B738", "KLM 738 A", "PH-BXA"),
        lf_livery("KLM", "B738", "KLM 738 B"),
        lf_livery("", "B738", "Generic 738"),
        lf_livery("KLM", "B737", "KLM 737"),
        lf_livery("KLM", "A332", "KLM 332"),
        lf_livery("", "A388", "Generic 388"),
        lf_livery("", "B744", "Generic 744"),
        lf_livery("DLH", "B744", "DLH 744"),
    });
    struct Case {
        const char* airline;
        const char* type;
        const char* registration;
        LiveryMatchStep step;
        std::vector<std::string> titles;  // any of these
    };
    const Case cases[] = {
        {"TRA", "A388", "PH-BXA", LiveryMatchStep::Registration, {"KLM 738 A"}},
        {"KLM", "B738", "", LiveryMatchStep::AirlineType, {"KLM 738 A", "KLM 738 B"}},
        {"TRA", "B738", "PH-XXX", LiveryMatchStep::GenericType, {"Generic 738"}},
        {"", "B738", "", LiveryMatchStep::GenericType, {"Generic 738"}},
        {"KLM", "B744", "", LiveryMatchStep::GenericType, {"Generic 744"}},
        {"KLM", "EC45", "", LiveryMatchStep::None, {}},  // no rotorcraft livery at all
    };
    for (const Case& c : cases) {
        AcData ac = lf_aircraft(c.airline, c.type, c.registration);
        const bool found = gf_matchLivery(ac);
        EXPECT_EQ(gf_lastMatchStep(), c.step) << c.airline << " " << c.type;
        if (c.step == LiveryMatchStep::None) {
            EXPECT_FALSE(found);
            EXPECT_TRUE(ac.title.empty());
            continue;
        }
        ASSERT_TRUE(found) << c.airline << " " << c.type;
        EXPECT_NE(std::find(c.titles.begin(), c.titles.end(), std::string(ac.title)),
                      c.titles.end())
                << ac.title;
    }
    // Size steps: same airline and class with the nearest span, then generic of the class.
    AcData b77w = lf_aircraft("KLM", "B77W");
    b77w.sizeClass = SizeClass::Heavy;
    b77w.size = 64.8 * 0.5 * kNmPerMetre;
    ASSERT_TRUE(gf_matchLivery(b77w));
    EXPECT_EQ(b77w.title, "KLM 332");  // same airline, same class, nearest span
    EXPECT_EQ(gf_lastMatchStep(), LiveryMatchStep::AirlineClass);
    AcData uae = lf_aircraft("UAE", "A380");
    uae.sizeClass = SizeClass::Heavy;
    uae.size = 80.0 * 0.5 * kNmPerMetre;
    ASSERT_TRUE(gf_matchLivery(uae));
    EXPECT_EQ(uae.title, "Generic 388");  // generic of the class, nearest span (79.8 m)
    EXPECT_EQ(gf_lastMatchStep(), LiveryMatchStep::GenericClass);
}

TEST_F(LiveryMatchTest, RefusedTitlesAreSkippedAndTheTitleViewsTheTable)
{
    gf_setLiveries({lf_livery("KLM", "B738", "KLM 738 A", "PH-BXA"),
                    lf_livery("KLM", "B738", "KLM 738 B"), lf_livery("", "B738", "Generic 738")});
    g_refusedLiveries = {"KLM 738 A"};
    for (int i = 0; i < 20; ++i) {
        AcData ac = lf_aircraft("KLM", "B738", "PH-BXA");
        ASSERT_TRUE(gf_matchLivery(ac));
        EXPECT_EQ(ac.title, "KLM 738 B");
        EXPECT_EQ(gf_lastMatchStep(), LiveryMatchStep::AirlineType);
        EXPECT_EQ(ac.title.data(), gf_liveryIndex().title[1].data());  // a view of the pooled title, not a copy
    }
    g_refusedLiveries.push_back("KLM 738 B");
    g_refusedLiveries.push_back("Generic 738");
    AcData ac = lf_aircraft("KLM", "B738", "PH-BXA");
    EXPECT_FALSE(gf_matchLivery(ac));
    EXPECT_TRUE(ac.title.empty());
}

TEST_F(LiveryMatchTest, TiesAreBrokenAtRandomFromTheSeed)
{
    gf_setLiveries({lf_livery("KLM", "B738", "A"), lf_livery("KLM", "B738", "B"),
                    lf_livery("KLM", "B738", "C")});
    const auto run = [this] {
        gf_seedRng(42);
        std::string picks;
        for (int i = 0; i < 30; ++i) {
            AcData ac = lf_aircraft("KLM", "B738");
            gf_matchLivery(ac);
            picks += ac.title;
        }
        return picks;
    };
    const std::string first = run();
    EXPECT_EQ(run(), first);
    for (char c : {'A', 'B', 'C'})
        EXPECT_NE(first.find(c), std::string::npos) << first;
}

TEST_F(LiveryMatchTest, FsltlFlag)
{
    gf_setLiveries({lf_livery("KLM", "B738", "FSLTL_B738_KLM"), lf_livery("TRA", "B738", "FSLTL B738 TRA")});
    AcData klm = lf_aircraft("KLM", "B738");
    ASSERT_TRUE(gf_matchLivery(klm));
    EXPECT_EQ(klm.fsltl, 1);
    AcData tra = lf_aircraft("TRA", "B738");
    tra.fsltl = 1;
    ASSERT_TRUE(gf_matchLivery(tra));
    EXPECT_EQ(tra.fsltl, 0);
}

TEST_F(LiveryMatchTest, StaticPrefersCargoOnCargoStandsAndKeepsHelicoptersOnHeliStands)
{
    gf_setLiveries({lf_livery("TAY", "B738", "TAY pax"), lf_livery("TAY", "B738", "TAY Cargo", "", 1),
                    lf_livery("", "EC35", "Generic EC35")});
    for (int i = 0; i < 10; ++i) {
        StaticAc cargoStand(lf_aircraft("TAY", "B738"), 5, 52.0, 4.0, 0.0, 1);
        ASSERT_TRUE(gf_matchLiveryStatic(cargoStand, LiveryStand{true, false}));
        EXPECT_EQ(cargoStand.title, "TAY Cargo");
    }
    bool sawPax = false;
    for (int i = 0; i < 20; ++i) {
        StaticAc gate(lf_aircraft("TAY", "B738"), 5, 52.0, 4.0, 0.0, 0);
        ASSERT_TRUE(gf_matchLiveryStatic(gate, LiveryStand{false, false}));
        sawPax = sawPax || gate.title == "TAY pax";
    }
    EXPECT_TRUE(sawPax);
    StaticAc heli(lf_aircraft("", "EC35"), 6, 52.0, 4.0, 0.0, 0);
    EXPECT_FALSE(gf_matchLiveryStatic(heli, LiveryStand{false, false}));
    EXPECT_TRUE(heli.title.empty());
    EXPECT_TRUE(gf_matchLiveryStatic(heli, LiveryStand{false, true}));
    EXPECT_EQ(heli.title, "Generic EC35");
}

TEST_F(LiveryMatchTest, SummaryCountsAndRefusedList)
{
    gf_setLiveries({lf_livery("KLM", "B738", "KLM 738", "PH-BXA")});
    AcData a = lf_aircraft("KLM", "B738", "PH-BXA");
    AcData b = lf_aircraft("KLM", "B738");
    AcData c = lf_aircraft("DLH", "A388");
    gf_matchLivery(a);
    gf_matchLivery(b);
    gf_matchLivery(c);
    g_refusedLiveries = {"X", "Y", "Z"};
    g_refusedTypes = {"B738 KLM", "A388 UAE", "B738 KLM"};
    const std::vector<std::string> expected{
        "Livery matching: 1 liveries installed",
        "       1 by registration",
        "       1 by airline and type",
        "       0 generic livery of the type",
        "       0 by airline and size",
        "       0 generic livery of the size",
        "       1 without livery",
        "Liveries refused by the simulator (3):",
        "  A388 UAE",
        "  B738 KLM",
    };
    EXPECT_EQ(gf_matchSummaryLines(), expected);
}

}  // namespace
