// The park-airport list file my_park_airports.txt and the my_thirdparty folder: reading with its
// reports for bad lines, the folder scan, and the sorted rewrite of one entry.
#include "parking/park_airport_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/status.h"
#include "model/airport_list.h"
#include "support/choice_fixture.h"
#include "support/parking_airports.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using tvxtest::ChoiceSandbox;
using tvxtest::parkAirportCodes;

namespace {

const fs::path kThirdparty = fs::path("airports") / "my_thirdparty";

class ParkList : public ::testing::Test {
protected:
    ChoiceSandbox m_box;
};

TEST_F(ParkList, ReadReportsBadLinesAndKeepsTheRest)
{
    ChoiceSandbox::writeList({"EHAM", "EHAM,D4", "", "EGLL,501", "EHAM,D4,x", "ZZZZ", "  EDDF , A12 "});
    EXPECT_FALSE(lf_readMyParkAirports()) << "an unknown code makes the read report failure";

    EXPECT_EQ(parkAirportCodes(), (std::vector<std::string>{"EHAM", "EGLL", "EDDF"}));
    const ParkAirport& eham = g_parkAirports.front();
    EXPECT_EQ(eham.stand, "") << "the doubled line with D4 is skipped whole";
    EXPECT_DOUBLE_EQ(eham.lat, 52.308613);
    EXPECT_DOUBLE_EQ(eham.lon, 4.763889);
    EXPECT_EQ(eham.distance, 0.0);
    EXPECT_EQ(std::next(g_parkAirports.begin())->stand, "501");
    EXPECT_EQ(g_parkAirports.back().stand, "A12") << "fields are trimmed";

    const std::string log = m_box.logText();
    EXPECT_NE(log.find("===> my_park_airports.txt:EHAM double, skipped\n"), std::string::npos);
    EXPECT_NE(log.find("===> my_park_airports.txt:EHAM,D4,x wrong syntax, skipped\n"), std::string::npos);
    EXPECT_NE(log.find("airport ZZZZ is unknown\n"), std::string::npos);
    EXPECT_EQ(gf_statusLineText(), "airport ZZZZ is unknown");
    EXPECT_NE(log.find("3 park airports read from \"my_park_airports.txt\"\n"), std::string::npos);
}

TEST_F(ParkList, ReadMessageSingularAndPlural)
{
    const struct {
        std::vector<std::string> lines;
        const char* expected;
    } cases[] = {
        {{"EHAM"}, "1 park airport read from \"my_park_airports.txt\"\n"},
        {{"EHAM", "LSZH"}, "2 park airports read from \"my_park_airports.txt\"\n"},
    };
    for (const auto& c : cases) {
        ChoiceSandbox::writeList(c.lines);
        EXPECT_TRUE(lf_readMyParkAirports());
        EXPECT_EQ(g_parkAirports.size(), c.lines.size());
        EXPECT_NE(m_box.logText().find(c.expected), std::string::npos) << c.expected;
    }
}

TEST_F(ParkList, ThirdpartyFolderAddsKnownCodesOnly)
{
    ChoiceSandbox::writeList({"EHAM,D4"});
    tvxtest::writeFile(kThirdparty / "EHAM.xml", "<x/>");   // listed already
    tvxtest::writeFile(kThirdparty / "LSZH.xml", "<x/>");
    tvxtest::writeFile(kThirdparty / "EDDF.txt", "archive/stock/EDDF.xml\n");
    tvxtest::writeFile(kThirdparty / "XXXX.xml", "<x/>");   // no airport of the list
    fs::create_directories(kThirdparty / "EGLL");           // a folder, not a file

    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(parkAirportCodes(), (std::vector<std::string>{"EHAM", "EDDF", "LSZH"}));
    EXPECT_EQ(g_parkAirports.front().stand, "D4");
    const std::string log = m_box.logText();
    EXPECT_NE(log.find("2 park airports added from my_thirdparty folder(-s) \n"), std::string::npos);
    EXPECT_EQ(log.find("XXXX"), std::string::npos) << "an unknown file name adds nothing and says nothing";
}

TEST_F(ParkList, MissingFileLeavesTheListToTheFolder)
{
    tvxtest::writeFile(kThirdparty / "EGLL.xml", "<x/>");
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(parkAirportCodes(), (std::vector<std::string>{"EGLL"}));
    const std::string log = m_box.logText();
    EXPECT_NE(log.find((fs::path("airports") / "my_park_airports.txt").string() + " not found\n"), std::string::npos);
    EXPECT_NE(log.find("1 park airport added from my_thirdparty folder(-s) \n"), std::string::npos);
    EXPECT_EQ(log.find("read from \"my_park_airports.txt\""), std::string::npos);
}

TEST_F(ParkList, MissingThirdpartyFolderIsAFailure)
{
    fs::remove_all(kThirdparty);
    ChoiceSandbox::writeList({"EHAM"});
    EXPECT_FALSE(lf_readMyParkAirports());
    EXPECT_EQ(parkAirportCodes(), (std::vector<std::string>{"EHAM"})) << "the file's entries stay";
    EXPECT_NE(m_box.logText().find("===> lf_readMyParkAirports: "), std::string::npos);
    EXPECT_NE(m_box.logText().find("directory_iterator::directory_iterator"), std::string::npos);
}

TEST_F(ParkList, ManyAirportsWarn)
{
    std::vector<tvxtest::AirportRow> rows;
    std::vector<std::string> lines;
    for (int i = 0; i < 3001; ++i) {
        const std::string code = "Q" + std::to_string(1000 + i);
        rows.push_back({code, "", std::to_string(10.0 + i * 0.001), "20.0", "0", false});
        lines.push_back(code);
    }
    tvxtest::writeAirportList(m_box.path(), rows);
    lf_resetAirportList();
    gf_readAirports();
    ChoiceSandbox::writeList(lines);
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(g_parkAirports.size(), 3001u);
    EXPECT_EQ(gf_statusLineText(), "Warning: There are a lot of airports (3001) in my_park_airports.txt, that will "
                                   "cost Tavix much cpu time, and may give stutters");
}

TEST_F(ParkList, UpdateCreatesAddsAndUpdatesSorted)
{
    // No file: created with the first entry.
    g_parkAirports = {ParkAirport{"EHAM", "D4", 52.3, 4.76, 0.0}};
    gf_updateMyParkAirports();
    EXPECT_EQ(ChoiceSandbox::listText(), "EHAM,D4\n");
    EXPECT_NE(m_box.logText().find("my_park_airports.txt created with EHAM,D4\n"), std::string::npos);

    // An unsorted file: a new entry goes in and every line comes out sorted.
    ChoiceSandbox::writeList({"LSZH", "EGLL,501", "EDDF"});
    g_parkAirports = {ParkAirport{"EHRD", "", 51.9, 4.4, 0.0}};
    gf_updateMyParkAirports();
    EXPECT_EQ(ChoiceSandbox::listText(), "EDDF\nEGLL,501\nEHRD\nLSZH\n");
    EXPECT_NE(m_box.logText().find("my_park_airports.txt:EHRD new entry\n"), std::string::npos);

    // Updating EGLL,501 to an empty stand writes EGLL followed by a comma.
    g_parkAirports = {ParkAirport{"EGLL", "", 51.47, -0.46, 0.0}};
    gf_updateMyParkAirports();
    EXPECT_EQ(ChoiceSandbox::listText(), "EDDF\nEGLL,\nEHRD\nLSZH\n");
    EXPECT_NE(m_box.logText().find("my_park_airports.txt:EGLL, updated stand\n"), std::string::npos);

    // Only the first matching line changes.
    ChoiceSandbox::writeList({"EHAM,D4", "EHAM,E7"});
    g_parkAirports = {ParkAirport{"EHAM", "F3", 52.3, 4.76, 0.0}};
    gf_updateMyParkAirports();
    EXPECT_EQ(ChoiceSandbox::listText(), "EHAM,E7\nEHAM,F3\n");
}

TEST_F(ParkList, StandLineMatcher)
{
    const ParkAirport entry{"EGLL", "501", 0.0, 0.0, 0.0};
    const struct {
        std::string line;
        bool matches;
        std::string after;
    } cases[] = {
        {"EGLL", true, "EGLL,501"},
        {" EGLL , 22 ", true, "EGLL,501"},
        {"EGLLX,3", false, "EGLLX,3"},
        {"", false, ""},
        {"EHAM,EGLL", false, "EHAM,EGLL"},
    };
    for (const auto& c : cases) {
        std::string line = c.line;
        EXPECT_EQ(lf_updateStandLine(line, entry), c.matches) << c.line;
        EXPECT_EQ(line, c.after);
    }
}

TEST_F(ParkList, RealAirportList)
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    const fs::path real = source ? fs::path(source) / ".." / "shared" / "data" / "airports_msfs_format_from_ourairports.xml"
                                 : fs::path();
    if (real.empty() || !fs::exists(real))
        GTEST_SKIP() << "../shared/data/airports_msfs_format_from_ourairports.xml not present";
    fs::copy_file(real, fs::path("input") / "airports_msfs.xml", fs::copy_options::overwrite_existing);
    lf_resetAirportList();
    gf_readAirports();

    ChoiceSandbox::writeList({"EHAM", "EGLL,501", "KJFK,B22"});
    EXPECT_TRUE(lf_readMyParkAirports());
    ASSERT_EQ(parkAirportCodes(), (std::vector<std::string>{"EHAM", "EGLL", "KJFK"}));
    for (const ParkAirport& entry : g_parkAirports) {
        const std::optional<AirportEntry> airport = gf_findAirport(entry.code);
        ASSERT_TRUE(airport.has_value());
        EXPECT_EQ(entry.lat, airport->lat);
        EXPECT_EQ(entry.lon, airport->lon);
    }
    EXPECT_NEAR(g_parkAirports.front().lat, 52.31, 0.05);
    EXPECT_EQ(g_parkAirports.back().stand, "B22");
}

}  // namespace
