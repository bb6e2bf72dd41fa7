// The parking-file probes: the closest stand of an airport's file (downloaded into airport.xml
// when it lies on the server), and the publisher readers of the add-on airport scan; and the
// closest-airport choice with its neighbour rule, which probes the two nearest airports' files.
#include "parking/dest_airport.h"

#include <gtest/gtest.h>

#include <map>

#include "app/folders.h"
#include "foundation/geo.h"
#include "model/airport_list.h"
#include "support/apf_files.h"
#include "support/app_sandbox.h"
#include "support/parking_airports.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

class DestAirport : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gf_prepareDataFolders()); }
    void TearDown() override
    {
        lf_resetAirportList();
    }
    fs::path stockFile(const std::string& code) const
    {
        return m_box.path() / "server" / "MSFS" / "archive" / "stock" / (code + ".xml");
    }
    static fs::path localFile(const std::string& code)
    {
        return fs::path("airports") / "my_thirdparty" / (code + ".xml");
    }
    static AirportEntry lf_airport(const std::string& code) { return AirportEntry{code, "", 0.0, 0.0, 0.0}; }

    tvxtest::AppSandbox m_box;
};

TEST_F(DestAirport, ClosestRealStandFromServerFile)
{
    const fs::path groundnet = tvxtest::groundnetFile("BIKF");
    if (groundnet.empty())
        GTEST_SKIP() << "../shared/data/flightgear_groundnets not present";
    const std::vector<tvxtest::GroundnetStand> real = tvxtest::readGroundnet(groundnet);
    ASSERT_EQ(real.size(), 55u);
    tvxtest::groundnetToApf(real, "Keflavik", 171).write(stockFile("BIKF"));

    // A position 10 m east of the twentieth stand finds it, about 10 m away.
    const tvxtest::GroundnetStand& target = real[19];
    const GeoPos near = gf_destinationPoint(target.lat, target.lon, M_PI / 2, 10.0 / 0.3048);
    std::string name = "unchanged";
    const double distance = gf_readDestApfForClosestStand(lf_airport("BIKF"), near.lat, near.lon, name);
    EXPECT_EQ(name, target.name);
    EXPECT_NEAR(distance * 1852.0, 10.0, 0.5);
    EXPECT_TRUE(fs::exists("airport.xml")) << "the download stays until the next call";

    // Each call downloads again: a changed server file is seen at once.
    tvxtest::ApfFixture moved = tvxtest::ApfFixture::stock("Keflavik", "stock", 171);
    moved.addStand("FAR", target.lat + 0.5, target.lon, 0.0, 20.0);
    moved.write(stockFile("BIKF"));
    EXPECT_NEAR(gf_readDestApfForClosestStand(lf_airport("BIKF"), near.lat, near.lon, name), 30.0, 0.1);
    EXPECT_EQ(name, "FAR");

    // Stands 100 nm or more away: 100.0 and the name untouched.
    name = "unchanged";
    EXPECT_EQ(gf_readDestApfForClosestStand(lf_airport("BIKF"), near.lat + 3.0, near.lon, name), 100.0);
    EXPECT_EQ(name, "unchanged");
}

TEST_F(DestAirport, LocalFileEdgeCases)
{
    tvxtest::ApfFixture f = tvxtest::ApfFixture::stock("Nowhere", "p", 0);
    f.stands.push_back({{{"id", "ZERO"}}, {}});  // no position: counts as 0,0
    f.addStand("TWIN1", 0.2, 0.2, 0.0, 20.0);
    f.addStand("TWIN2", 0.2, 0.2, 0.0, 20.0);  // equally close: the first wins
    f.stands.push_back({{{"id", "BROKEN"}, {"latitude", "north"}, {"longitude", "0.5"}}, {}});
    f.write(localFile("ZZZZ"));

    std::string name;
    EXPECT_DOUBLE_EQ(gf_readDestApfForClosestStand(lf_airport("ZZZZ"), 0.0, 0.01, name), gf_distanceNm(0, 0.01, 0, 0));
    EXPECT_EQ(name, "ZERO");
    EXPECT_DOUBLE_EQ(gf_readDestApfForClosestStand(lf_airport("ZZZZ"), 0.5, 0.5, name), gf_distanceNm(0.5, 0.5, 0.2, 0.2));
    EXPECT_EQ(name, "TWIN1");
    // A damaged position is skipped with one line, not thrown at the main loop.
    EXPECT_NE(m_box.logText().find("===> gf_readDestApfForClosestStand: 1 stand with a malformed position skipped in"),
              std::string::npos);
    EXPECT_FALSE(fs::exists("airport.xml"));
}

TEST_F(DestAirport, UnusableFilesAnswer100AndLeaveNoDownload)
{
    std::string name = "unchanged";
    EXPECT_EQ(gf_readDestApfForClosestStand(lf_airport("NONE"), 1.0, 1.0, name), 100.0);

    tvxtest::writeFile(stockFile("BAD1"), "<parkpositions><parkpos");
    EXPECT_EQ(gf_readDestApfForClosestStand(lf_airport("BAD1"), 1.0, 1.0, name), 100.0);
    EXPECT_FALSE(fs::exists("airport.xml"));

    tvxtest::ApfFixture noStands = tvxtest::ApfFixture::stock("X", "p", 0);
    noStands.withParkpositions = false;
    noStands.write(stockFile("BAD2"));
    EXPECT_EQ(gf_readDestApfForClosestStand(lf_airport("BAD2"), 1.0, 1.0, name), 100.0);
    EXPECT_FALSE(fs::exists("airport.xml"));
    EXPECT_EQ(name, "unchanged");
}

TEST_F(DestAirport, PublisherReaders)
{
    struct Case {
        const char* what;
        tvxtest::Attributes parameters;
        std::string publisher;
        std::string info;
    };
    const std::vector<Case> cases{
        {"known publisher", {{"publisher", "somemaker"}}, "somemaker", ""},
        {"no publisher", {}, "", ""},
        {"unknown, short maker", {{"publisher", "unknown"}, {"manufacturer", "ABC"}}, "unknown",
         "manufacturer=ABC, creator="},
        {"unknown, 4-letter maker", {{"publisher", "unknown"}, {"manufacturer", "ABCD"}}, "unknown", ""},
        {"unknown, 4-letter creator", {{"publisher", "unknown"}, {"manufacturer", "A"}, {"creator", "Joey"}},
         "unknown", ""},
        {"unknown, nothing", {{"publisher", "unknown"}}, "unknown", "manufacturer=, creator="},
        {"Unknown is not unknown", {{"publisher", "Unknown"}}, "Unknown", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tvxtest::ApfFixture f;
        f.withMeta = false;  // the probes do not check the meta block
        f.parameters = c.parameters;
        f.write("probe.xml");
        EXPECT_EQ(gf_readApfPublisher("probe.xml"), c.publisher);
        EXPECT_EQ(gf_unknownPublisherInfo("probe.xml"), c.info);
    }
    EXPECT_EQ(gf_readApfPublisher("missing.xml"), "");
    EXPECT_EQ(gf_unknownPublisherInfo("missing.xml"), "\"missing.xml\" not found");
}

TEST_F(DestAirport, StandProbeDecidesBetweenNeighbouringAirports)
{
    // NEAR is closest to the user; FARR, 3 nm away, was the best before NEAR replaced it. FARR has
    // a stand 15 m from the user, NEAR's only stand is 1 nm away: the neighbour wins.
    tvxtest::writeAirportList(m_box.path(), {{"FARR", "", "10.05", "20.0", "0"}, {"NEAR", "", "10.01", "20.0", "0"}});
    lf_resetAirportList();
    ASSERT_TRUE(gf_readAirports());
    tvxtest::ApfFixture farr = tvxtest::ApfFixture::stock("Far", "p", 0);
    farr.addStand("F1", 10.0 + 15.0 / 111120.0, 20.0, 0.0, 20.0);
    farr.write(localFile("FARR"));
    tvxtest::ApfFixture near = tvxtest::ApfFixture::stock("Near", "p", 0);
    near.addStand("N1", 10.0 + 1.0 / 60.0, 20.0, 0.0, 20.0);
    near.write(localFile("NEAR"));

    const std::optional<AirportEntry> chosen = gf_closestAirportByStand(10.0, 20.0);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->code, "FARR");
    EXPECT_NE(m_box.logText().find("Airport NEAR is closest, but stand F1 at neighbouring airport FARR is closest at 15 meters"),
              std::string::npos);
}

// About 1 nm per 1/60 degree of latitude.
constexpr double kNm = 1.0 / 60.0;

TEST_F(DestAirport, ClosestAirportAndItsNeighbour)
{
    // One parking file per airport with a single stand north of the user (at 0, 0).
    const auto standsAt = [&](const std::map<std::string, double>& distanceNm) {
        for (const auto& [code, distance] : distanceNm) {
            tvxtest::ApfFixture file = tvxtest::ApfFixture::stock(code, "p", 0);
            file.addStand("S" + code, distance * kNm, 0.0, 0.0, 20.0);
            file.write(localFile(code));
        }
    };
    const auto neighbourLines = [&] {
        const std::string log = m_box.logText();
        std::size_t n = 0;
        for (std::size_t at = log.find("is closest, neighbour is"); at != std::string::npos;
             at = log.find("is closest, neighbour is", at + 1))
            ++n;
        return n;
    };

    // None within 5 nm.
    g_airports = {{"FAR1", "", 6.0 * kNm, 0.0}};
    EXPECT_FALSE(gf_closestAirportByStand(0.0, 0.0));

    // A single airport within 5 nm needs no stand probe.
    g_airports = {{"ONLY", "", 2.0 * kNm, 0.0}, {"FAR1", "", 6.0 * kNm, 0.0}};
    ASSERT_TRUE(gf_closestAirportByStand(0.0, 0.0));
    EXPECT_EQ(gf_closestAirportByStand(0.0, 0.0)->code, "ONLY");
    EXPECT_EQ(neighbourLines(), 0u);

    // The later, nearer airport is best; the earlier one its neighbour, which wins with a nearer stand.
    g_airports = {{"AAAA", "", 3.0 * kNm, 0.0}, {"BBBB", "", 1.0 * kNm, 0.0}};
    standsAt({{"AAAA", 0.01}, {"BBBB", 0.02}});
    auto chosen = gf_closestAirportByStand(0.0, 0.0);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->code, "AAAA");
    EXPECT_NE(m_box.logText().find("Airport BBBB is closest, neighbour is AAAA"), std::string::npos);
    EXPECT_NE(m_box.logText().find("Airport BBBB is closest, but stand SAAAA at neighbouring airport AAAA is "
                                   "closest at 19 meters ..."),
              std::string::npos)
        << m_box.logText();

    // Equal stand distances keep the best airport.
    standsAt({{"AAAA", 0.02}, {"BBBB", 0.02}});
    EXPECT_EQ(gf_closestAirportByStand(0.0, 0.0)->code, "BBBB");

    // Far, near, middle: only a replaced best becomes the neighbour (the middle airport's stand
    // under the user would win if it were probed).
    g_airports = {{"FARR", "", 4.0 * kNm, 0.0}, {"NEAR", "", 1.0 * kNm, 0.0}, {"MIDL", "", 2.0 * kNm, 0.0}};
    standsAt({{"FARR", 1.0}, {"NEAR", 1.0}, {"MIDL", 0.0}});
    EXPECT_EQ(gf_closestAirportByStand(0.0, 0.0)->code, "NEAR");
    EXPECT_NE(m_box.logText().find("Airport NEAR is closest, neighbour is FARR"), std::string::npos);
}

TEST_F(DestAirport, WithoutParkingFilesTheBestAirportStays)
{
    g_airports = {{"AAAA", "", 3.0 * kNm, 0.0}, {"BBBB", "", 1.0 * kNm, 0.0}};
    EXPECT_EQ(gf_closestAirportByStand(0.0, 0.0)->code, "BBBB");
    EXPECT_NE(m_box.logText().find("Airport BBBB is closest, neighbour is AAAA"), std::string::npos);
    EXPECT_EQ(m_box.logText().find("but stand"), std::string::npos);
}

}  // namespace
