// Real recorded tracks (shared test data, when present) converted into a stand-in scenario and
// replayed through the client; and the scenario files themselves.
#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdlib>
#include <filesystem>

#include "support/temp_folder.h"
#include "support/traffic_fixtures.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/traffic_client.h"
#include "traffic_service/track_converter.h"  // stand-in

namespace {

std::filesystem::path lf_tracksFolder()
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    return source ? std::filesystem::path(source) / ".." / "shared" / "testdata" / "adsb_tracks"
                  : std::filesystem::path();
}

// The file's JSON text, gunzipped (zlib through the HTTP library the stand-in uses).
std::string lf_readGz(const std::filesystem::path& gz)
{
    const std::string packed = tvxtest::readFile(gz);
    std::string text;
    httplib::detail::gzip_decompressor unpack;
    const bool ok = unpack.decompress(packed.data(), packed.size(), [&](const char* data, size_t n) {
        text.append(data, n);
        return true;
    });
    return ok ? text : std::string();
}

}  // namespace

TEST(TrackReplay, RecordedTracksReplayThroughTheClient)
{
    const auto folder = lf_tracksFolder();
    if (folder.empty() || !std::filesystem::exists(folder / "london_heathrow.json.gz"))
        GTEST_SKIP() << "recorded tracks not found beside the project (../shared/testdata/adsb_tracks)";

    struct Case {
        const char* file;
        const char* hex;
        const char* callsign;
    };
    for (const Case& c : {Case{"london_heathrow.json.gz", "4070f4", "VOR05"},    // a list of rows
                          Case{"noisy_ground.json.gz", "440549", "AUA570"}}) {  // a table of columns
        SCOPED_TRACE(c.file);
        const std::string text = lf_readGz(folder / c.file);
        ASSERT_FALSE(text.empty());
        const auto converted = tvxstandin::gf_scenarioFromTracks(text);
        ASSERT_TRUE(converted.error.empty()) << converted.error;
        ASSERT_EQ(converted.scenario.tracks.size(), 1u);
        const auto& track = converted.scenario.tracks[0];
        EXPECT_EQ(track.hex, c.hex);
        EXPECT_EQ(track.callsign, c.callsign);
        ASSERT_GT(track.points.size(), 100u);
        EXPECT_EQ(static_cast<int>(track.points.size()), converted.rowsRead - converted.rowsSkipped);
        EXPECT_DOUBLE_EQ(track.points.front().t, 0.0);
        for (std::size_t i = 1; i < track.points.size(); ++i)
            ASSERT_GE(track.points[i].t, track.points[i - 1].t);

        // The scenario file round-trips, and the stand-in replays it to the client.
        auto scenario = tvxstandin::gf_parseScenario(tvxstandin::gf_scenarioJson(converted.scenario));
        ASSERT_EQ(scenario.tracks[0].points.size(), track.points.size());
        scenario.type = 1;
        scenario.licences = {tvxtest::kTestLicence};
        const auto& middle = track.points[track.points.size() / 2];
        tvxtest::StandinSession session(scenario);
        session.standin().setReplayTime(middle.t);
        gf_setTrafficQueryPosition(middle.lat, middle.lon, 1000.0);
        ASSERT_TRUE(g_trafficClient.login());
        ASSERT_TRUE(g_trafficClient.pollTraffic());
        const auto batches = session.capture().batches();
        ASSERT_EQ(batches.size(), 1u);
        ASSERT_EQ(batches[0].records.size(), 1u);
        const TrafficRecord& r = batches[0].records[0];
        EXPECT_EQ(r.hexid, std::stoul(c.hex, nullptr, 16));
        EXPECT_EQ(r.callsign, c.callsign);
        EXPECT_NEAR(r.pos.lat, middle.lat, 1e-9);
        EXPECT_NEAR(r.pos.lon, middle.lon, 1e-9);
        EXPECT_NEAR(r.time, scenario.start + middle.t, 1e-6);
    }
}

TEST(TrackReplay, DemoScenarioReads)
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    if (!source)
        GTEST_SKIP() << "TAVIX_SOURCE_DIR not set";
    const auto text =
        tvxtest::readFile(std::filesystem::path(source) / "standins" / "traffic_service" / "scenarios" / "amsterdam.json");
    const auto scenario = tvxstandin::gf_parseScenario(text);
    EXPECT_EQ(scenario.tracks.size(), 4u);
    EXPECT_EQ(scenario.parked.size(), 6u);
    ASSERT_EQ(scenario.stations.size(), 1u);
    EXPECT_EQ(scenario.stations[0].icao, "EHAM");
    EXPECT_GT(scenario.duration(), 500.0);
}

TEST(TrackReplay, ConverterAndScenarioRejectBadInput)
{
    EXPECT_FALSE(tvxstandin::gf_scenarioFromTracks("{\"a\": 1}").error.empty());
    EXPECT_FALSE(tvxstandin::gf_scenarioFromTracks("[{\"icao24\": \"abc\"}]").error.empty());
    const auto partial = tvxstandin::gf_scenarioFromTracks(
        R"([{"timestamp": 1000000000000, "icao24": "abc123", "latitude": 1, "longitude": 2, "altitude": 500},
            {"timestamp": 1000000005000, "icao24": "abc123", "latitude": 1.1, "longitude": 2, "altitude": null},
            {"timestamp": 1000000006000, "icao24": "abc123", "latitude": 95, "longitude": 2}])");
    ASSERT_TRUE(partial.error.empty());
    EXPECT_EQ(partial.rowsRead, 3);
    EXPECT_EQ(partial.rowsSkipped, 1);
    ASSERT_EQ(partial.scenario.tracks.size(), 1u);
    ASSERT_EQ(partial.scenario.tracks[0].points.size(), 2u);
    EXPECT_DOUBLE_EQ(partial.scenario.start, 1000000000.0);
    EXPECT_DOUBLE_EQ(partial.scenario.tracks[0].points[1].t, 5.0);
    EXPECT_DOUBLE_EQ(partial.scenario.tracks[0].points[1].alt, 500.0);  // last known altitude

    for (const char* bad : {"nope", "{\"tracks\": 5}", "{\"tracks\": [{\"points\": []}]}",
                            "{\"tracks\": [{\"hex\": \"abc\", \"points\": [{\"t\": 1}]}]}"})
        EXPECT_THROW(tvxstandin::gf_parseScenario(bad), std::runtime_error) << bad;
}
