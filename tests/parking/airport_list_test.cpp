// The airport list: reading both files, their errors, lookups, display text and the code-in-path
// test; also the real OurAirports-derived files.
#include "model/airport_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "foundation/errors.h"
#include "foundation/log.h"
#include "parking/dest_airport.h"
#include "support/parking_airports.h"
#include "support/temp_folder.h"

namespace {

using tvxtest::AirportRow;

class AirportList : public ::testing::Test {
protected:
    void SetUp() override
    {
        lf_resetAirportList();
        g_airportNames.clear();
        gf_openLog(m_folder.path(), "test");
    }
    void TearDown() override
    {
        gf_closeLog();
        lf_resetAirportList();
        g_airportNames.clear();
    }
    std::string logText() const { return tvxtest::readFile(m_folder / "Log.txt"); }
    // Reads the list in the test's folder and answers the error text (empty when none).
    std::string readError()
    {
        tvxtest::WorkingFolder cwd(m_folder.path());
        try {
            gf_readAirports();
        } catch (const tvx::UserErrorException& e) {
            return e.what();
        }
        return {};
    }

    tvxtest::TempFolder m_folder;
};

TEST_F(AirportList, ReadsSortsAndFinds)
{
    tvxtest::writeAirportList(m_folder.path(), {{"LSZH", "ZRH", "47.464722", "8.549167", "1416"},
                                                {"EDDF", "FRA", "50.033333", "8.570556", "364.1"},
                                                {"EGTK", "", "51.836944", "-1.32", "270", false},
                                                {"EDDF", "XXX", "1", "2", "3"}});
    ASSERT_EQ(readError(), "");
    ASSERT_EQ(g_airports.size(), 4u);
    EXPECT_EQ(g_airports[0].code, "EDDF");
    EXPECT_EQ(g_airports[0].iata, "FRA");  // equal codes keep the file order
    EXPECT_EQ(g_airports[1].iata, "XXX");
    EXPECT_EQ(g_airports[2].code, "EGTK");
    EXPECT_EQ(g_airports[3].code, "LSZH");
    EXPECT_EQ(g_airports[0].alt, static_cast<double>(364.1f));  // single precision, widened
    EXPECT_DOUBLE_EQ(g_airports[0].lat, 50.033333);
    EXPECT_EQ(g_airports[2].iata, "");

    const auto eddf = gf_findAirport("EDDF");
    ASSERT_TRUE(eddf);
    EXPECT_EQ(eddf->iata, "FRA");
    EXPECT_FALSE(gf_findAirport("eddf"));
    EXPECT_FALSE(gf_findAirport("EDD"));
    EXPECT_NE(logText().find("4 airports read from \"input/airports_msfs.xml\""), std::string::npos) << logText();
}

TEST_F(AirportList, SecondCallDoesNotReadAgainEvenWhenEmpty)
{
    tvxtest::writeAirportList(m_folder.path(), {});
    {
        tvxtest::WorkingFolder cwd(m_folder.path());
        EXPECT_FALSE(gf_readAirports());
    }
    tvxtest::writeAirportList(m_folder.path(), {{"EDDF", "FRA", "50", "8", "364"}});
    tvxtest::WorkingFolder cwd(m_folder.path());
    EXPECT_FALSE(gf_readAirports());
    EXPECT_TRUE(g_airports.empty());
}

TEST_F(AirportList, ErrorsAre88WithTheirTexts)
{
    struct Case {
        const char* name;
        std::vector<AirportRow> rows;
        std::string root;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"wrong root", {{"EDDF", "FRA", "50", "8", "364"}}, "Airports", "88: input/airports_msfs.xml not found"},
        {"lat not a number", {{"EDDF", "FRA", "north", "8", "364"}}, "airports", "88: invalid stod argument"},
        {"lon missing", {{"EDDF", "FRA", "50", "", "364"}}, "airports", "88: invalid stod argument"},
        {"alt not a number", {{"EDDF", "FRA", "50", "8", "high"}}, "airports", "88: invalid stof argument"},
        {"lat out of range", {{"EDDF", "FRA", "1e999", "8", "364"}}, "airports", "88: stod argument out of range"},
        {"alt out of range", {{"EDDF", "FRA", "50", "8", "1e99"}}, "airports", "88: stof argument out of range"},
        {"lat off the world", {{"EDDF", "FRA", "422", "8", "364"}}, "airports",
         "88: airport EDDF lies off the world: lat 422, lon 8"},
        {"lon off the world", {{"EDDF", "FRA", "50", "-180.5", "364"}}, "airports",
         "88: airport EDDF lies off the world: lat 50, lon -180.5"},
        {"lat nan", {{"EDDF", "FRA", "nan", "8", "364"}}, "airports", "88: airport EDDF lies off the world: lat nan, lon 8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        lf_resetAirportList();
        tvxtest::writeAirportList(m_folder.path(),
                                  [&] {
                                      auto rows = c.rows;
                                      rows.insert(rows.begin(), {"EGLL", "LHR", "51.47", "-0.46", "83"});
                                      return rows;
                                  }(),
                                  c.root);
        EXPECT_EQ(readError(), c.expected);
        EXPECT_TRUE(g_airports.empty()) << "a failed reading keeps no half list";
    }

    lf_resetAirportList();
    std::filesystem::remove(m_folder / "input" / "airports_msfs.xml");
    EXPECT_EQ(readError(), "88: input/airports_msfs.xml not loaded File was not found");

    // A failed reading is not "read": the next call reads the mended file.
    tvxtest::writeAirportList(m_folder.path(), {{"EDDF", "FRA", "50", "8", "364"}});
    EXPECT_EQ(readError(), "");
    EXPECT_EQ(g_airports.size(), 1u);
}

TEST_F(AirportList, NamesKeepTheFirstAndMissingFileIsNoError)
{
    {
        tvxtest::WorkingFolder cwd(m_folder.path());
        EXPECT_FALSE(gf_readAirportNames());
    }
    EXPECT_NE(logText().find("0 airport names read from \"input/airports_msfs_names.xml\""), std::string::npos);

    tvxtest::writeAirportNames(m_folder.path(), {{"EDDF", "Frankfurt"}, {"EGTK", "Oxford"}, {"EDDF", "Other"}});
    {
        tvxtest::WorkingFolder cwd(m_folder.path());
        EXPECT_TRUE(gf_readAirportNames());
    }
    EXPECT_EQ(g_airportNames.size(), 2u);
    EXPECT_EQ(g_airportNames["EDDF"], "Frankfurt");

    g_airportNames.clear();
    tvxtest::writeAirportNames(m_folder.path(), {{"EDDF", "Frankfurt"}}, "Names");
    tvxtest::WorkingFolder cwd(m_folder.path());
    EXPECT_FALSE(gf_readAirportNames());
}

TEST_F(AirportList, DisplayText)
{
    const std::vector<std::pair<AirportEntry, std::string>> cases{
        {{"EDDF", "FRA"}, "EDDF (FRA)"},
        {{"EDDF", ""}, "EDDF"},
        {{"", "XYZ"}, "? (XYZ)"},
        {{"", ""}, "?"},
    };
    for (const auto& [entry, text] : cases)
        EXPECT_EQ(entry.text(), text);
}

TEST_F(AirportList, CodeInText)
{
    const AirportEntry eddf{"EDDF", "FRA"};
    EXPECT_TRUE(lf_codeInText("Community/maker-airport-eddf-frankfurt/scenery/a.bgl", eddf));
    EXPECT_TRUE(lf_codeInText("x-EDDF-y", eddf));
    EXPECT_FALSE(lf_codeInText("Community/EDDF/scenery/a.bgl", eddf));
    EXPECT_FALSE(lf_codeInText("x-Eddf-y", eddf));
}

TEST_F(AirportList, RealOurAirportsFiles)
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    const std::filesystem::path data =
        source ? std::filesystem::path(source) / ".." / "shared" / "data" : std::filesystem::path();
    const auto airports = data / "airports_msfs_format_from_ourairports.xml";
    const auto names = data / "airport_names_msfs_format_from_ourairports.xml";
    if (data.empty() || !std::filesystem::exists(airports) || !std::filesystem::exists(names))
        GTEST_SKIP() << "shared/data with the airport lists is not present";

    std::filesystem::create_directories(m_folder / "input");
    std::filesystem::copy_file(airports, m_folder / "input" / "airports_msfs.xml");
    std::filesystem::copy_file(names, m_folder / "input" / "airports_msfs_names.xml");
    tvxtest::WorkingFolder cwd(m_folder.path());
    ASSERT_TRUE(gf_readAirports());
    EXPECT_EQ(g_airports.size(), 5034u);
    EXPECT_TRUE(std::is_sorted(g_airports.begin(), g_airports.end(),
                               [](const AirportEntry& a, const AirportEntry& b) { return a.code < b.code; }));
    const auto egll = gf_findAirport("EGLL");
    ASSERT_TRUE(egll);
    EXPECT_EQ(egll->text(), "EGLL (LHR)");
    EXPECT_EQ(egll->alt, 83.0);
    const auto egtk = gf_findAirport("EGTK");
    ASSERT_TRUE(egtk);
    EXPECT_EQ(egtk->alt, 270.0);

    // Standing at Heathrow's reference point picks Heathrow.
    const auto closest = gf_closestAirportByStand(egll->lat, egll->lon);
    ASSERT_TRUE(closest);
    EXPECT_EQ(closest->code, "EGLL");

    // URMG is listed twice in both files: the list keeps the file order of the pair, the names
    // keep the first.
    const auto urmg = gf_findAirport("URMG");
    ASSERT_TRUE(urmg);
    EXPECT_EQ(urmg->iata, "GRV");

    ASSERT_TRUE(gf_readAirportNames());
    EXPECT_EQ(g_airportNames.size(), 5033u);
    EXPECT_EQ(g_airportNames["EGLL"], "London Heathrow Airport");
    EXPECT_EQ(g_airportNames["URMG"], "Grozny Airport");
}

}  // namespace
