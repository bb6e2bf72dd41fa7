// Reading the park airport's parking files: the search order with link files, the stock probe,
// the download folders of the two simulators, the learned-file path rule, and gf_readApf with its
// results, log lines and window values, on real stands (FlightGear ground networks).
#include "parking/park_read.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/real_subsystems.h"
#include "app/window_commands.h"
#include "foundation/data_folders.h"
#include "foundation/errors.h"
#include "foundation/settings.h"
#include "frame/server_files.h"
#include "frame/window_model.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/parking_file.h"
#include "support/apf_files.h"
#include "support/app_sandbox.h"
#include "support/temp_folder.h"
#include "traffic_service/traffic_client.h"

namespace fs = std::filesystem;

namespace {

class ApfRead : public ::testing::Test {
protected:
    void SetUp() override
    {
        lf_reset();
        ASSERT_TRUE(gf_prepareDataFolders());  // airports/, airports/learned/ ... as at start-up
    }
    void TearDown() override { lf_reset(); }

    static void lf_reset()
    {
        g_parkPositions.clear();
        g_handmadeOverruled.store(false);
        g_apfLoaded.store(false);
        g_parkParamsChanged.store(false);
        g_rtTrafficWeek = 0;
        g_parkAirport = AirportEntry{};
        g_trafficClient.setReferenceElevation(std::nullopt);
    }
    fs::path server(const std::string& sub) const { return m_box.path() / "server" / sub; }
    static AirportEntry lf_airport(const std::string& code) { return AirportEntry{code, "", 0.0, 0.0, 0.0}; }

    tvxtest::AppSandbox m_box;
};

TEST_F(ApfRead, SearchOrder)
{
    const fs::path third = fs::path("airports") / "my_thirdparty";
    const fs::path simaddon = fs::path("airports") / "my_simaddon";
    tvxtest::writeFile(third / "AAAA.txt", "archive/thirdparty/Some%20Maker/AAAA.xml  \r\nsecond line\n");
    tvxtest::writeFile(third / "AAAA.xml", "<x/>");
    tvxtest::writeFile(third / "BBBB.txt", "");  // no line: falls through
    tvxtest::writeFile(third / "BBBB.xml", "<x/>");
    tvxtest::writeFile(third / "CCCC.txt", "no letter L here\n");
    tvxtest::writeFile(third / "DDDD.txt", "ARCHIVE/STOCK/DDDD.XMP\n");  // no 'l' at all
    tvxtest::writeFile(third / "DDDD.xml", "<x/>");
    tvxtest::writeFile(simaddon / "EEEE.xml", "<x/>");
    tvxtest::writeFile(simaddon / "FFFF.txt", "archive/simaddon/FFFF.xml\n");
    tvxtest::ApfFixture::stock("Stock", "stock", 10).write(server("MSFS/archive/stock/GGGG.xml"));

    struct Case {
        const char* code;
        std::string text;
    };
    const std::vector<Case> cases{
        {"AAAA", "archive/thirdparty/Some%20Maker/AAAA.xml"},
        {"BBBB", (third / "BBBB.xml").string()},
        {"CCCC", "no l"},  // everything after the last 'l' is cut
        {"DDDD", ""},      // a line without 'l' ends the search: no parking file
        {"EEEE", (simaddon / "EEEE.xml").string()},
        {"FFFF", "archive/simaddon/FFFF.xml"},
        {"GGGG", "archive/stock/GGGG.xml"},
        {"HHHH", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(gf_findApfFile(lf_airport(c.code)), c.text);
        EXPECT_EQ(gf_hasApfFile(lf_airport(c.code)), std::string(c.code) != "HHHH");
    }
    // The stock probe leaves no copy behind in the working folder.
    EXPECT_FALSE(fs::exists("GGGG.xml"));
    EXPECT_TRUE(fs::exists(server("MSFS/archive/stock/GGGG.xml")));
}

TEST_F(ApfRead, LinkLinesThatLeaveTheirFolderAreRefused)
{
    const fs::path third = fs::path("airports") / "my_thirdparty";
    const fs::path simaddon = fs::path("airports") / "my_simaddon";
    // A parking file beside the airports folder, which a link must not reach.
    tvxtest::ApfFixture outside = tvxtest::ApfFixture::stock("Outside", "stock", 5);
    outside.addStand("OUT1", 52.30, 4.76, 90.0, 30.0);
    outside.write("outside.xml");
    tvxtest::ApfFixture inside = tvxtest::ApfFixture::stock("Inside", "simaddon", 7);
    inside.addStand("IN1", 52.31, 4.77, 90.0, 30.0);

    const std::vector<std::string> lines{"airports/../outside.xml", "airports\\..\\outside.xml",
                                         "archive/../../outside.xml", "/tmp/outside.xml", "C:\\outside.xml"};
    g_parkAirport = AirportEntry{"OUTS", "", 52.3, 4.76, 5.0};
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        tvxtest::writeFile(third / "OUTS.txt", line + "\r\n");
        std::string text = "kept";
        EXPECT_FALSE(lf_readApfLink(third / "OUTS.txt", text));
        EXPECT_EQ(text, "kept");
        EXPECT_NE(m_box.logText().find("link file " + (third / "OUTS.txt").string() + ": \"" + line +
                                       "\" refused (outside its folder)"),
                  std::string::npos);
        // The search goes on to the next candidate: none, then the companion add-on's file.
        EXPECT_EQ(gf_findApfFile(g_parkAirport), "");
        inside.write(simaddon / "OUTS.xml");
        const std::string text2 = gf_findApfFile(g_parkAirport);
        ASSERT_EQ(text2, (simaddon / "OUTS.xml").string());
        g_parkPositions.clear();
        ApfHeader header;
        QualityPair quality;
        EXPECT_EQ(gf_readApf(text2, header, quality), "");
        ASSERT_EQ(g_parkPositions.size(), 1u);
        EXPECT_EQ(g_parkPositions[0].name, "IN1");
        fs::remove(simaddon / "OUTS.xml");
    }
    EXPECT_EQ(m_box.logText().find("Outside"), std::string::npos);
}

TEST_F(ApfRead, LearnedPathRule)
{
    const std::string local3p = (fs::path("airports") / "my_thirdparty" / "EHAM.xml").string();
    const std::string local3p24 = (fs::path("airports") / "my_thirdparty2024" / "EHAM.xml").string();
    const std::string localAddon = (fs::path("airports") / "my_simaddon" / "EHAM.xml").string();
    struct Case {
        std::string text, publisher, learned;
    };
    const std::vector<Case> cases{
        {"", "P", ""},
        {"archive/stock/EHAM.xml", "stock", "airports\\learned\\stock\\EHAM.xml"},
        {"archive/thirdparty/Some%20Maker/EHAM.xml", "x", "airports\\learned\\thirdparty\\Some Maker\\EHAM.xml"},
        {"archive/simaddon/EHAM.xml", "simaddon", "airports\\learned\\simaddon\\EHAM.xml"},
        {local3p, "P", "airports\\learned\\thirdparty\\P\\EHAM.xml"},
        {local3p24, "P", "airports\\learned\\thirdparty\\P\\EHAM.xml"},
        {localAddon, "simaddon", "airports\\learned\\my_simaddon\\EHAM.xml"},
        // A publisher taken from the file never leads out of the learned folder.
        {local3p, "..\\..\\x", "airports\\learned\\thirdparty\\.._.._x\\EHAM.xml"},
        {local3p, "..", "airports\\learned\\thirdparty\\_\\EHAM.xml"},
        {local3p, "a/b:c", "airports\\learned\\thirdparty\\a_b_c\\EHAM.xml"},
        {"other/EHAM.xml", "P", "other/EHAM.xml"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lf_learnedApfPath(c.text, c.publisher), c.learned) << c.text;
    EXPECT_EQ(gf_apfNativePath("airports\\learned\\stock\\EHAM.xml"),
              fs::path("airports") / "learned" / "stock" / "EHAM.xml");
}

TEST_F(ApfRead, DownloadFolderFollowsSimulatorExceptStockAndSimaddon)
{
    g_optMsfs2020.set(false);  // the 2024 simulator
    tvxtest::writeFile(server("MSFS/archive/stock/EHAM.xml"), "stock");
    tvxtest::writeFile(server("MSFS/archive/simaddon/EHBK.xml"), "simaddon");
    tvxtest::writeFile(server("MSFS2024/archive/thirdparty/P/EHAM.xml"), "thirdparty 2024");
    EXPECT_EQ(lf_downloadApf("archive/stock/EHAM.xml", "a.xml"), "");
    EXPECT_EQ(tvxtest::readFile("a.xml"), "stock");
    EXPECT_EQ(lf_downloadApf("archive/simaddon/EHBK.xml", "b.xml"), "");
    EXPECT_EQ(lf_downloadApf("archive/thirdparty/P/EHAM.xml", "c.xml"), "");
    EXPECT_EQ(tvxtest::readFile("c.xml"), "thirdparty 2024");

    const std::string url = g_serverBaseUrl + "MSFS2024/archive/thirdparty/P/LSZH.xml";
    const std::string failure = lf_downloadApf("archive/thirdparty/P/LSZH.xml", "d.xml");
    EXPECT_EQ(failure, "failed to download: \"" + url + "\"");
    EXPECT_NE(m_box.logText().find(failure), std::string::npos);
}

TEST_F(ApfRead, RealStandsFromServerStockFile)
{
    const fs::path groundnet = tvxtest::groundnetFile("PHNL");
    if (groundnet.empty())
        GTEST_SKIP() << "../shared/data/flightgear_groundnets not present";
    const std::vector<tvxtest::GroundnetStand> real = tvxtest::readGroundnet(groundnet);
    ASSERT_EQ(real.size(), 76u);
    tvxtest::ApfFixture file = tvxtest::groundnetToApf(real, "Honolulu", 13);
    // One extra stand 20 m north of the first real one, so that the overlap lists have work.
    file.addStand("EXTRA", real[0].lat + 20.0 / 111120.0, real[0].lon, 0.0, 15.0);
    file.parameters.push_back({"RT_traffic_week", "7"});
    file.write(server("MSFS/archive/stock/PHNL.xml"));

    g_parkAirport = AirportEntry{"PHNL", "HNL", 21.3187, -157.9224, 13.0};
    g_optParkingPercentage.set(55);
    const std::string text = gf_findApfFile(g_parkAirport);
    ASSERT_EQ(text, "archive/stock/PHNL.xml");
    ApfHeader header;
    QualityPair quality{0, 0};
    EXPECT_EQ(gf_readApf(text, header, quality), "");

    EXPECT_TRUE(fs::exists(fs::path("airports") / "park_airport.xml"));
    EXPECT_EQ(header.airportName, "Honolulu");
    EXPECT_EQ(header.publisher, "stock");
    EXPECT_EQ(header.altitude, 13);
    EXPECT_EQ(g_parkAltitude.load(), 13.0);
    EXPECT_EQ(g_rtTrafficWeek, 7u);
    EXPECT_EQ(quality, QualityPair(-1, -1));
    ASSERT_EQ(g_parkPositions.size(), real.size() + 1);
    EXPECT_EQ(g_parkPositions.back().standId, 77u);
    EXPECT_EQ(g_parkPositions.back().overlapping, std::vector<std::uint32_t>{1});
    EXPECT_EQ(g_parkPositions.front().overlapping, std::vector<std::uint32_t>{77});
    std::size_t overlapping = 0;
    for (std::size_t i = 0; i < real.size(); ++i) {
        const ParkPos& s = g_parkPositions[i];
        EXPECT_EQ(s.name, real[i].name);
        EXPECT_EQ(s.standId, i + 1);
        EXPECT_NEAR(s.lat, real[i].lat, 5e-7);
        EXPECT_NEAR(s.lon, real[i].lon, 5e-7);
        EXPECT_NEAR(s.radius * 1852.0, real[i].radiusM, 0.05);
        EXPECT_EQ(s.cargo, real[i].type.find("cargo") != std::string::npos);
        overlapping += s.overlapping.size();
    }
    EXPECT_EQ(overlapping, 1u) << "the real stands of PHNL keep clear of each other";

    // No learned file: parking_percentage back to 30 with its box disabled.
    EXPECT_EQ(g_optParkingPercentage.value(), 30);
    const PaintedValues painted = gf_paintedValues();
    EXPECT_FALSE(painted.parkingPercentageEnabled);
    EXPECT_EQ(painted.standCount, 77);
    EXPECT_EQ(painted.publisherText, "stock");
    EXPECT_EQ(painted.qualityText, "  ");
    EXPECT_FALSE(painted.handmadeMark);
    EXPECT_TRUE(painted.flushStaticEnabled);
    EXPECT_TRUE(g_apfLoaded.load());
    EXPECT_EQ(g_trafficClient.referenceElevation(), std::optional<double>(13.0));

    const std::string log = m_box.logText();
    const std::string pad(10, ' ');
    for (const std::string& line : {std::string("Airport file read from \"archive/stock/PHNL.xml\" for Honolulu\n"),
                                    pad + "parking_percentage      : 30%\n", pad + "publisher               : stock\n",
                                    pad + "altitude                : 13 ft\n", pad + "num_parkpos             : 77\n",
                                    pad + "quality factor          :   \n", pad + "RT traffic week         : 7\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_LT(log.find("parking_percentage"), log.find("Airport file read from"));
    EXPECT_LT(log.find("publisher   "), log.find("RT traffic week"));
}

TEST_F(ApfRead, FailuresAndContentErrors)
{
    g_parkAirport = AirportEntry{"TEST", "", 0.0, 0.0, 0.0};
    const fs::path dir = fs::path("airports") / "my_thirdparty";
    ApfHeader header;
    QualityPair quality;

    EXPECT_EQ(gf_readApf("", header, quality), "gf_readApf xml is empty...");
    g_parkAirport.code.clear();
    EXPECT_EQ(gf_readApf("airports/x.xml", header, quality), "gf_readApf no park airport set");
    g_parkAirport.code = "TEST";

    const std::string url = g_serverBaseUrl + "MSFS/archive/stock/NONE.xml";
    EXPECT_EQ(gf_readApf("archive/stock/NONE.xml", header, quality), "failed to download: \"" + url + "\"");

    tvxtest::writeFile(dir / "BAD1.xml", "<meta><info name=\"author\"");
    const std::string bad1 = (dir / "BAD1.xml").string();
    EXPECT_EQ(gf_readApf(bad1, header, quality).rfind(bad1 + " could not be loaded: ", 0), 0u);

    tvxtest::ApfFixture noMeta = tvxtest::ApfFixture::stock("X", "p", 1);
    noMeta.withMeta = false;
    noMeta.write(dir / "BAD2.xml");
    const std::string bad2 = (dir / "BAD2.xml").string();
    EXPECT_EQ(gf_readApf(bad2, header, quality), bad2 + " but refused to load, copyright problem");
    EXPECT_NE(m_box.logText().find("===> meta data incorrect?"), std::string::npos);

    tvxtest::ApfFixture noAltitude;
    noAltitude.parameters = {{"airport_name", "X"}};
    noAltitude.addStand("A1", 50.0, 8.0, 0.0, 20.0);
    noAltitude.write(dir / "BAD3.xml");
    try {
        gf_readApf((dir / "BAD3.xml").string(), header, quality);
        ADD_FAILURE() << "no error 65";
    } catch (const tvx::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "65: Parameter altitude not found");
    }
    EXPECT_TRUE(g_parkPositions.empty()) << "error 65 comes before any stand is read";

    tvxtest::ApfFixture twice = tvxtest::ApfFixture::stock("X", "p", 1);
    twice.stands.push_back({{{"latitude", "50.0"}}, {}});
    twice.stands.push_back({{{"latitude", "50.1"}}, {}});
    twice.write(dir / "BAD4.xml");
    try {
        gf_readApf((dir / "BAD4.xml").string(), header, quality);
        ADD_FAILURE() << "no error 94";
    } catch (const tvx::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "94: Parking position  appears more than once?");
    }
    EXPECT_FALSE(g_apfLoaded.load()) << "an error leaves the loaded flag as it was";

    tvxtest::ApfFixture damaged = tvxtest::ApfFixture::stock("X", "p", 1);
    damaged.stands.push_back({{{"id", "Z"}, {"latitude", "north"}}, {}});
    damaged.write(dir / "BAD5.xml");
    EXPECT_EQ(gf_readApf((dir / "BAD5.xml").string(), header, quality), "gf_readApf: invalid stod argument");
    // A stand off the world (the fuzzer's find: a latitude of 467064.9) is refused the same way.
    const std::vector<std::pair<tvxtest::Attributes, std::string>> offWorld{
        {{{"id", "G56"}, {"latitude", "467064.9"}, {"longitude", "8.55"}, {"heading", "90"}, {"radius", "20"}},
         "gf_readApf: parking position G56 lies off the world: latitude 467064.9, longitude 8.55, heading 90, radius 20"},
        {{{"id", "G57"}, {"latitude", "47.4"}, {"longitude", "-181"}, {"heading", "90"}, {"radius", "20"}},
         "gf_readApf: parking position G57 lies off the world: latitude 47.4, longitude -181, heading 90, radius 20"},
        {{{"id", "G58"}, {"latitude", "nan"}, {"longitude", "8.55"}, {"heading", "90"}, {"radius", "20"}},
         "gf_readApf: parking position G58 lies off the world: latitude nan, longitude 8.55, heading 90, radius 20"},
        {{{"id", "G59"}, {"latitude", "47.4"}, {"longitude", "8.55"}, {"heading", "inf"}, {"radius", "-3"}},
         "gf_readApf: parking position G59 lies off the world: latitude 47.4, longitude 8.55, heading inf, radius -3"},
    };
    for (const auto& [attributes, text] : offWorld) {
        g_parkPositions.clear();
        tvxtest::ApfFixture far = tvxtest::ApfFixture::stock("X", "p", 1);
        far.addStand("A1", 47.45, 8.55, 90.0, 30.0);
        far.stands.push_back({attributes, {}});
        far.write(dir / "FAR.xml");
        EXPECT_EQ(gf_readApf((dir / "FAR.xml").string(), header, quality), text);
    }

    g_parkPositions.clear();
    tvxtest::ApfFixture empty = tvxtest::ApfFixture::stock("X", "p", 1);
    empty.withParkpositions = false;
    empty.write(dir / "EMPTY.xml");
    EXPECT_EQ(gf_readApf((dir / "EMPTY.xml").string(), header, quality), "no stands found");
    EXPECT_TRUE(g_apfLoaded.load());
}

TEST_F(ApfRead, MaxLiveChangeWithLoadedFileMarksParametersChanged)
{
    // The window command runs through the program's own subsystems.
    RealSubsystems subsystems;
    gf_setSubsystems(&subsystems);
    gf_onMaxLiveChanged(12);
    gf_runWindowCommands();
    EXPECT_FALSE(g_parkParamsChanged.load()) << "no parking file loaded: the limit outside a park airport";
    EXPECT_EQ(g_maxLiveOutsidePark.load(), 12);

    g_apfLoaded.store(true);
    gf_onMaxLiveChanged(20);
    gf_runWindowCommands();
    EXPECT_TRUE(g_parkParamsChanged.load());
    EXPECT_EQ(g_maxLiveOutsidePark.load(), 12);
    gf_setSubsystems(nullptr);
}

}  // namespace
