// The park-airport choice: the not-yet-known position, distances and their order, the in-sight
// rule at its exact limits, leaving an airport out of sight or for a nearer one, the choice on the
// ground with real stands of the download stand-in, failed loads, a new destination, the quality
// rule for soft learning and the reserved-stand re-check.
#include "parking/park_choice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "foundation/geo.h"
#include "foundation/settings.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/park_airport_list.h"
#include "parking/stand_schedule.h"
#include "parking/traffic_containers.h"
#include "simulator/removal.h"
#include "support/apf_files.h"
#include "support/choice_fixture.h"
#include "support/temp_folder.h"
#include "traffic_service/parked_traffic.h"
#include "traffic_service/traffic_client.h"

namespace fs = std::filesystem;
using tvxtest::ChoiceSandbox;
using tvxtest::parkAirportCodes;

namespace {

constexpr double kEhamLat = 52.308613;
constexpr double kEhamLon = 4.763889;

// A point due north of the airport whose computed distance is the target (or the largest below it
// when the target cannot be hit exactly).
GeoPos lf_northAt(double lat, double lon, double nm)
{
    double north = lat + nm / 60.0;
    while (gf_distanceNm(north, lon, lat, lon) > nm)
        north = std::nextafter(north, lat);
    while (gf_distanceNm(std::nextafter(north, 90.0), lon, lat, lon) <= nm)
        north = std::nextafter(north, 90.0);
    return {north, lon};
}

// A learned option: seen at the slot of the weekday with the airline, type and callsign.
ParkPosOption lf_sighting(const std::string& airline, const std::string& type, const std::string& callsign,
                          std::uint32_t weekday, std::uint32_t slot)
{
    ParkPosOption seen;
    seen.airline = airline;
    seen.type = type;
    seen.callsign = callsign;
    seen.number = 1;
    seen.weekday = weekday;
    gf_setSlot(seen.slots, slot);
    return seen;
}

class Choice : public ::testing::Test {
protected:
    // Forgets the park airport and what its choice started.
    static void lf_forgetChoice()
    {
        g_parkAirport = AirportEntry{};
        g_reloadParkFile = false;
        g_controlsBusy.store(false);
        g_bufferReceived.store(false);
        g_lastUserPosition.latitude = 0.0;
        g_lastUserPosition.longitude = 0.0;
        gf_clearStatusLine();
    }

    ChoiceSandbox m_box;
};

TEST_F(Choice, PositionNotYetKnownChangesNothing)
{
    ChoiceSandbox::writeList({"EHAM", "LSZH"});
    ASSERT_TRUE(lf_readMyParkAirports());

    m_box.setUser(0.0005, 0.02, 5000.0, false);
    gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(parkAirportCodes(), (std::vector<std::string>{"EHAM", "LSZH"}));
    EXPECT_EQ(g_parkAirports.front().distance, 0.0);
    EXPECT_EQ(g_lastUserPosition.latitude, 0.0);

    m_box.setUser(0.0005, 0.06, 5000.0, false);
    gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(parkAirportCodes(), (std::vector<std::string>{"LSZH", "EHAM"})) << "a real position sorts the list";
    EXPECT_NEAR(g_parkAirports.front().distance, gf_distanceNm(0.0005, 0.06, 47.464722, 8.549167), 1e-9);
    EXPECT_EQ(g_lastUserPosition.latitude, 0.0005);
}

TEST_F(Choice, DistancesSortStablyAndDestinationKeepsItsPlace)
{
    ChoiceSandbox::writeList({"LSZH", "XBBB", "EHAM", "XAAA"});
    ASSERT_TRUE(lf_readMyParkAirports());
    m_box.setUser(kEhamLat, kEhamLon + 0.5, 40000.0, false);  // too high for any choice
    gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(parkAirportCodes(), (std::vector<std::string>{"EHAM", "XBBB", "XAAA", "LSZH"}))
        << "XBBB and XAAA share a position and keep their order";

    const std::string before = ChoiceSandbox::listText();
    gf_addParkAirport("LSZH", 47.464722, 8.549167);
    g_optDestination.set("LSZH");
    EXPECT_EQ(ChoiceSandbox::listText(), before) << "a listed destination leaves the file untouched";
    EXPECT_EQ(m_box.logText().find("new entry"), std::string::npos);

    m_box.setUser(kEhamLat, kEhamLon + 0.2, 40000.0, false);
    gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(parkAirportCodes(), (std::vector<std::string>{"LSZH", "EHAM", "XBBB", "XAAA"}));
    EXPECT_NEAR(g_parkAirports.front().distance, gf_distanceNm(kEhamLat, kEhamLon + 0.2, 47.464722, 8.549167), 1e-9)
        << "the destination's distance is the current one";
}

TEST_F(Choice, InSightAtTheExactLimits)
{
    ChoiceSandbox::writeList({"EHAM"});
    const struct {
        int range;
        double nm;        // distance asked for
        bool beyond;      // one step beyond the distance
        double height;    // feet above ground
        bool chosen;
    } cases[] = {
        {20, 20.0, false, 18000.0, true},
        {20, 20.0, true, 18000.0, false},
        {20, 20.0, false, 18001.0, false},
        {8, 8.0, false, 2000.0, true},
        {8, 8.0, true, 2000.0, false},
    };
    for (const auto& c : cases) {
        lf_forgetChoice();
        ASSERT_TRUE(lf_readMyParkAirports());
        g_optAirportRange.set(c.range);
        GeoPos at = lf_northAt(kEhamLat, kEhamLon, c.nm);
        if (c.beyond)
            at.lat = std::nextafter(at.lat, 90.0);
        m_box.setUser(at.lat, at.lon, c.height, false);
        gf_checkForParkAirportUpdates(false);

        const std::string label = std::to_string(c.range) + (c.beyond ? " beyond " : " at ") + std::to_string(c.height);
        EXPECT_EQ(g_parkAirport.code, c.chosen ? "EHAM" : "") << label;
        EXPECT_EQ(g_reloadParkFile, c.chosen) << label;
        EXPECT_EQ(g_bufferReceived.load(), c.chosen) << label;
        EXPECT_EQ(g_controlsBusy.load(), c.chosen) << label;
        EXPECT_EQ(gf_paintedValues().destinationEnabled, !c.chosen) << "disabled while the airport loads";
        if (c.chosen) {
            // Logged; the busy controls clear the status line right after.
            EXPECT_NE(m_box.logText().find(tvx::format("EHAM in sight at {:.1F} nm\n", c.nm)), std::string::npos) << label;
            EXPECT_NEAR(g_parkAirportDistanceNm.load(), c.nm, 1e-9);
        }
    }
    EXPECT_NE(m_box.logText().find("The park airport is EHAM (AMS)\n"), std::string::npos);
}

TEST_F(Choice, OutOfSightLeavesTheAirport)
{
    ChoiceSandbox::writeList({"EHAM"});
    ASSERT_TRUE(lf_readMyParkAirports());
    ASSERT_TRUE(gf_setParkAirport("EHAM"));
    ASSERT_TRUE(g_trafficClient.parkAirportPosition().has_value());

    const GeoPos far = lf_northAt(kEhamLat, kEhamLon, 25.0);
    m_box.setUser(far.lat, far.lon, 3000.0, true);
    gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(g_parkAirport.code, "EHAM") << "nothing happens while the user is on the ground";

    m_box.setUser(far.lat, far.lon, 3000.0, false);
    gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(g_parkAirport.code, "");
    EXPECT_FALSE(g_trafficClient.parkAirportPosition().has_value());
    EXPECT_NE(m_box.logText().find(" EHAM (AMS) is out of sight (25.0 nm), parked aircraft will be removed\n"),
              std::string::npos);
}

TEST_F(Choice, NearerListedAirportAtTheSameDistanceTakesOver)
{
    ChoiceSandbox::writeList({"XBBB", "XAAA"});
    ASSERT_TRUE(lf_readMyParkAirports());
    ASSERT_TRUE(gf_setParkAirport("XAAA"));
    const GeoPos at = lf_northAt(50.5, 5.0, 5.0);
    m_box.setUser(at.lat, at.lon, 2000.0, false);

    gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(g_parkAirport.code, "");
    EXPECT_NE(m_box.logText().find(" XBBB is in sight (5.0 nm), parked aircraft at XAAA will be removed first\n"),
              std::string::npos);

    gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(g_parkAirport.code, "XBBB");
    EXPECT_NE(m_box.logText().find("XBBB in sight at 5.0 nm\n"), std::string::npos);
}

TEST_F(Choice, NewDestinationGoesToTheFront)
{
    ChoiceSandbox::writeList({"LSZH", "EHAM"});
    ASSERT_TRUE(lf_readMyParkAirports());
    gf_addParkAirport("EHAM", kEhamLat, kEhamLon);
    EXPECT_EQ(parkAirportCodes(), (std::vector<std::string>{"EHAM", "LSZH"}));
    EXPECT_EQ(ChoiceSandbox::listText(), "LSZH\nEHAM\n");

    gf_addParkAirport("EGLL", 51.4706, -0.461941);
    EXPECT_EQ(parkAirportCodes(), (std::vector<std::string>{"EGLL", "EHAM", "LSZH"}));
    EXPECT_EQ(g_parkAirports.front().distance, 0.0);
    EXPECT_EQ(ChoiceSandbox::listText(), "EGLL\nEHAM\nLSZH\n");
    EXPECT_NE(m_box.logText().find("my_park_airports.txt:EGLL new entry\n"), std::string::npos);
}

TEST_F(Choice, OnTheGroundAtARealStandLoadsAtOnce)
{
    if (!m_box.serveStockFile("EHAM"))
        GTEST_SKIP() << "standins/download_server not found (TAVIX_SOURCE_DIR)";
    // The first stand of the stand-in's Schiphol file.
    m_box.setUser(52.303740, 4.761928, 0.0, true);
    gf_checkForParkAirportUpdates(true);

    const std::string log = m_box.logText();
    EXPECT_NE(log.find("User aircraft on the ground at EHAM\n"), std::string::npos);
    EXPECT_NE(log.find("The park airport is EHAM (AMS)\n"), std::string::npos);
    EXPECT_EQ(g_parkAirport.code, "EHAM");
    EXPECT_TRUE(g_apfLoaded.load());
    EXPECT_EQ(g_parkPositions.size(), 33u);
    EXPECT_EQ(g_parkPositions.capacity(), g_parkPositions.size());
    EXPECT_EQ(g_apfHeader.publisher, "stock");
    EXPECT_TRUE(g_learnSoftAllowed) << "the stock file has no quality factor";
    EXPECT_EQ(g_parkUpdates, 0u);
    // The plan waits for the next check, by which the traffic reader has the service's parked list.
    EXPECT_TRUE(g_staticPlanWaiting);
    EXPECT_EQ(m_box.logText().find("(utc) It is day"), std::string::npos);

    // The stand under the user becomes the list's first entry and the reserved stand.
    ASSERT_FALSE(g_parkAirports.empty());
    EXPECT_EQ(g_parkAirports.front().code, "EHAM");
    EXPECT_EQ(g_parkAirports.front().stand, "apron B12R");
    EXPECT_EQ(ChoiceSandbox::listText(), "EHAM,apron B12R\n");
    EXPECT_EQ(g_reservedStand, "apron B12R");
    EXPECT_TRUE(gf_findStand("apron B12R")->reserved);
    const PaintedValues painted = gf_paintedValues();
    EXPECT_TRUE(painted.reservedStandMark);
    EXPECT_EQ(painted.publisherText, "stock");
    EXPECT_FALSE(painted.publisherWarning);
    EXPECT_TRUE(painted.destinationEnabled);

    gf_checkForParkAirportUpdates(false);
    EXPECT_FALSE(g_staticPlanWaiting);
    EXPECT_NE(m_box.logText().find("(utc) It is day"), std::string::npos);
}

TEST_F(Choice, OnTheGroundWithoutFileOrAirport)
{
    m_box.setUser(47.464722, 8.549167, 0.0, true);
    gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(gf_statusLineText(), "User aircraft on the ground at LSZH, no airport file found");
    EXPECT_EQ(g_parkAirport.code, "");

    m_box.setUser(30.0, -40.0, 0.0, true);
    gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(gf_statusLineText(), "User aircraft on the ground, no airport in sight");
}

TEST_F(Choice, FailedLoadsLeaveTheAirport)
{
    tvxtest::writeFile(fs::path("airports") / "my_thirdparty" / "EHRD.txt", "archive/thirdparty/unknown/EHRD.xml\n");
    const struct {
        const char* code;
        std::string shown;
    } cases[] = {
        {"EDDF", "lf_readParkedFile EDDF not found"},
        {"EHRD", "lf_readParkedFile EHRD has publisher:unknown, archive/thirdparty/unknown/EHRD.xml"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(gf_setParkAirport(c.code));
        lf_loadParkAirport(false);
        EXPECT_TRUE(g_reloadParkFile);
        m_box.setUser(10.0, 10.0, 30000.0, false);
        gf_checkForParkAirportUpdates(false);
        EXPECT_FALSE(g_reloadParkFile);
        EXPECT_EQ(g_parkAirport.code, "") << c.code;
        EXPECT_EQ(gf_statusLineText(), c.shown);
        EXPECT_NE(m_box.logText().find(c.shown + "\n"), std::string::npos);
        EXPECT_TRUE(gf_paintedValues().destinationEnabled);
        gf_clearStatusLine();
    }
}

TEST_F(Choice, GoodLargeFilesStopSoftLearning)
{
    const struct {
        int stands;
        int quality;
        bool learning;
    } cases[] = {{20, 45, false}, {19, 45, true}, {20, 44, true}};
    for (const auto& c : cases) {
        tvxtest::ApfFixture file = tvxtest::ApfFixture::stock("Test", "Test Maker", 100);
        file.parameters.push_back({"Qf_real", std::to_string(c.quality)});
        file.parameters.push_back({"Qf_soft", "10"});
        for (int i = 0; i < c.stands; ++i)
            file.addStand("S" + std::to_string(i), 50.5 + i * 0.001, 5.0, 90.0, 30.0);
        file.write(fs::path("airports") / "my_thirdparty" / "XAAA.xml");

        g_optLearnSoft.set(true);
        g_parkParamsChanged.store(false);
        ASSERT_TRUE(gf_setParkAirport("XAAA"));
        m_box.setUser(10.0, 10.0, 30000.0, false);
        EXPECT_EQ(lf_readParkedFile(), "");
        const std::string label = std::to_string(c.stands) + " stands, quality " + std::to_string(c.quality);
        EXPECT_EQ(g_learnSoftAllowed, c.learning) << label;
        EXPECT_EQ(g_optLearnSoft.value(), c.learning) << label;
        EXPECT_EQ(g_parkParamsChanged.load(), !c.learning) << label;
        EXPECT_EQ(gf_paintedValues().learnSoftEnabled, c.learning) << label;
        gf_leaveParkAirport();
        fs::remove_all(fs::path("airports") / "learned" / "thirdparty");  // its saved LEARN_SOFT
    }
}

// Regression: a parking file of the companion add-on on disk (publisher "simaddon") had what was
// learned saved in learned/simaddon, while every read looks in learned/my_simaddon: the learned
// data was never read again and the next save overwrote it.
TEST_F(Choice, LocalSimaddonLearnedFileWasSavedWhereItIsNeverRead)
{
    tvxtest::ApfFixture file = tvxtest::ApfFixture::stock("Test", "simaddon", 100);
    file.addStand("S1", 50.5, 5.0, 90.0, 30.0);
    file.addStand("S2", 50.501, 5.0, 90.0, 30.0);
    file.write(fs::path("airports") / "my_simaddon" / "XAAA.xml");
    ASSERT_TRUE(gf_setParkAirport("XAAA"));
    m_box.setUser(10.0, 10.0, 30000.0, false);
    ASSERT_EQ(lf_readParkedFile(), "");

    gf_findStand("S2")->options.push_back(lf_sighting("ICE", "B38M", "ICE400", 5, 30));
    g_parkUpdates = 1;
    gf_leaveParkAirport();

    EXPECT_TRUE(fs::exists(fs::path("airports") / "learned" / "my_simaddon" / "XAAA.xml"));
    EXPECT_FALSE(fs::exists(fs::path("airports") / "learned" / "simaddon" / "XAAA.xml"));
    EXPECT_NE(m_box.logText().find(" \"airports\\learned\\my_simaddon\\XAAA.xml\" saved with 1 update \n"),
              std::string::npos);

    // The next visit reads it back.
    ASSERT_TRUE(gf_setParkAirport("XAAA"));
    ASSERT_EQ(lf_readParkedFile(), "");
    EXPECT_NE(m_box.logText().find("Read from learned airport file: \"airports\\learned\\my_simaddon\\XAAA.xml\""),
              std::string::npos);
    const auto stand = gf_findStand("S2");
    ASSERT_NE(stand, g_parkPositions.end());
    ASSERT_EQ(stand->options.size(), 1u);
    EXPECT_EQ(stand->options.front().callsign, "ICE400");
    EXPECT_EQ(stand->options.front().weekday, 5u);
    EXPECT_TRUE(gf_testSlot(stand->options.front().slots, 30));
}

TEST_F(Choice, ReservedStandFollowsTheListFile)
{
    if (!m_box.serveStockFile("EHAM"))
        GTEST_SKIP() << "standins/download_server not found (TAVIX_SOURCE_DIR)";
    ChoiceSandbox::writeList({"EHAM,apron B12R"});
    ASSERT_TRUE(lf_readMyParkAirports());
    ASSERT_TRUE(gf_setParkAirport("EHAM"));
    m_box.setUser(40.0, 4.0, 30000.0, false);
    ASSERT_EQ(lf_readParkedFile(), "");
    ASSERT_EQ(g_reservedStand, "apron B12R");

    ChoiceSandbox::writeList({"EHAM,apron B15L"});
    std::string message;
    EXPECT_TRUE(gf_checkReservedStands(true, message));
    EXPECT_EQ(message, "reserved stand changed from \"apron B12R\" to \"apron B15L\"");
    EXPECT_EQ(g_reservedStand, "apron B15L");
    EXPECT_FALSE(gf_findStand("apron B12R")->reserved);
    EXPECT_TRUE(gf_findStand("apron B15L")->reserved);

    message.clear();
    EXPECT_TRUE(gf_checkReservedStands(true, message));
    EXPECT_EQ(message, "park airports and stands are okay");

    // Not taken over while the parking controls are busy, nor without the check.
    ChoiceSandbox::writeList({"EHAM,apron B18R"});
    g_controlsBusy.store(true);
    message.clear();
    EXPECT_TRUE(gf_checkReservedStands(true, message));
    EXPECT_EQ(message, "park airports and stands are okay");
    g_controlsBusy.store(false);
    message.clear();
    EXPECT_TRUE(gf_checkReservedStands(false, message));
    EXPECT_EQ(g_reservedStand, "apron B15L");

    ChoiceSandbox::writeList({"EHAM", "ZZZZ"});
    message.clear();
    EXPECT_FALSE(gf_checkReservedStands(true, message));
    EXPECT_EQ(message, "");
}

TEST_F(Choice, WhatWasLearnedIsSavedOnLeavingAndReadBack)
{
    if (!m_box.serveStockFile("EHAM"))
        GTEST_SKIP() << "standins/download_server not found (TAVIX_SOURCE_DIR)";
    ChoiceSandbox::writeList({"EHAM"});
    ASSERT_TRUE(lf_readMyParkAirports());
    ASSERT_TRUE(gf_setParkAirport("EHAM"));
    m_box.setUser(kEhamLat, kEhamLon, 1500.0, false);
    ASSERT_EQ(lf_readParkedFile(), "");

    // A sighting learned at one stand.
    gf_findStand("apron B15L")->options.push_back(lf_sighting("KLM", "B738", "KLM1234", 3, 20));
    g_parkUpdates = 1;

    const GeoPos far = lf_northAt(kEhamLat, kEhamLon, 30.0);
    m_box.setUser(far.lat, far.lon, 1500.0, false);
    gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(g_parkAirport.code, "");
    EXPECT_TRUE(fs::exists(fs::path("airports") / "learned" / "stock" / "EHAM.xml"));
    EXPECT_NE(m_box.logText().find(" \"airports\\learned\\stock\\EHAM.xml\" saved with 1 update \n"),
              std::string::npos);

    // The next visit finds it beside the stock file.
    ASSERT_TRUE(gf_setParkAirport("EHAM"));
    ASSERT_EQ(lf_readParkedFile(), "");
    const auto stand = gf_findStand("apron B15L");
    ASSERT_NE(stand, g_parkPositions.end());
    ASSERT_EQ(stand->options.size(), 1u);
    EXPECT_EQ(stand->options.front().callsign, "KLM1234");
    EXPECT_TRUE(gf_testSlot(stand->options.front().slots, 20));
}

}  // namespace
