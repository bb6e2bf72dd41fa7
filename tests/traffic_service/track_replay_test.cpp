// Real recorded tracks (shared test data, when present) converted into a stand-in scenario and
// replayed through the client; and the scenario files themselves.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <cmath>
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
        bool positionTimes;  // rows keep "last_position", the time the position was seen
    };
    for (const Case& c : {Case{"london_heathrow.json.gz", "4070f4", "VOR05", false},    // a list of rows
                          Case{"noisy_ground.json.gz", "440549", "AUA570", true}}) {  // a table of columns
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
        // A position repeated in later rows keeps the time it was first seen.
        const auto repeated = std::count_if(track.points.begin(), track.points.end(), [](const auto& p) {
            return p.seen && *p.seen < p.t - 1.0;
        });
        EXPECT_EQ(repeated > 0, c.positionTimes);

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
        // The position's own time: when it was seen, before the row's time where the recording
        // keeps both.
        EXPECT_NEAR(r.time, scenario.start + middle.seen.value_or(middle.t), 1e-6);
    }
}

// The readsb full trace (a day of one aircraft): seconds after the file's timestamp, "ground" for
// on-ground points, callsign in the details, registration and type at the top.
TEST(TrackReplay, ReadsbFullTraceConverts)
{
    const auto folder = lf_tracksFolder();
    if (folder.empty() || !std::filesystem::exists(folder / "trace_full_ac671b.json.gz"))
        GTEST_SKIP() << "recorded tracks not found beside the project (../shared/testdata/adsb_tracks)";
    const auto converted = tvxstandin::gf_scenarioFromTracks(lf_readGz(folder / "trace_full_ac671b.json.gz"));
    ASSERT_TRUE(converted.error.empty()) << converted.error;
    EXPECT_EQ(converted.rowsRead, 2500);
    EXPECT_EQ(converted.rowsSkipped, 0);
    ASSERT_EQ(converted.scenario.tracks.size(), 1u);
    const auto& track = converted.scenario.tracks[0];
    EXPECT_EQ(track.hex, "ac671b");
    EXPECT_EQ(track.registration, "N899DN");
    EXPECT_EQ(track.type, "B739");
    EXPECT_EQ(track.callsign.rfind("DAL", 0), 0u) << track.callsign;
    EXPECT_EQ(std::count_if(track.points.begin(), track.points.end(), [](const auto& p) { return p.onGround; }), 394);
    // The file's timestamp 1738703622.619 plus the first point's 0.0 s: whole-second start, the
    // fraction kept in the point times.
    EXPECT_DOUBLE_EQ(converted.scenario.start, 1738703622.0);
    EXPECT_NEAR(track.points.front().t, 0.619, 1e-6);
    EXPECT_NEAR(track.points.back().t, 0.619 + 81655.47, 1e-3);
    EXPECT_DOUBLE_EQ(track.points.front().alt, 32000.0);
    EXPECT_DOUBLE_EQ(track.points.front().gs, 478.6);

    // A ground point takes the geometric altitude when there is one, else keeps the last; missing
    // speed, track and rate keep theirs; a row without position is skipped.
    const auto small = tvxstandin::gf_scenarioFromTracks(R"({"icao": "abc123", "timestamp": 1000.5, "trace": [
        [0, 47.0, 8.0, 2000, 140, 90, 0, -700, {"flight": "SWR12  "}, "adsb_icao", 2100],
        [2, 47.0, 8.01, "ground", null, null, 0, null, null, "adsb_icao", null],
        [4, 47.0, 8.02, "ground", 20, 95, 0, null, null, "adsb_icao", 1450],
        [5, null, 8.03, 1500, 20, 95, 0, null, null]]})");
    ASSERT_TRUE(small.error.empty()) << small.error;
    EXPECT_EQ(small.rowsSkipped, 1);
    const auto& p = small.scenario.tracks.at(0).points;
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(small.scenario.tracks[0].callsign, "SWR12");
    EXPECT_FALSE(p[0].onGround);
    EXPECT_TRUE(p[1].onGround);
    EXPECT_DOUBLE_EQ(p[1].alt, 2000.0);
    EXPECT_DOUBLE_EQ(p[1].gs, 140.0);
    EXPECT_DOUBLE_EQ(p[1].vr, -700.0);
    EXPECT_DOUBLE_EQ(p[2].alt, 1450.0);
    EXPECT_DOUBLE_EQ(p[2].t - p[0].t, 4.0);
    EXPECT_FALSE(tvxstandin::gf_scenarioFromTracks(R"({"trace": []})").error.empty());
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

// The demo's generated traffic moves on the ground as wheels allow: along the nose when taxiing,
// against it while a tug pushes the aircraft back, never sideways (a pushback whose nose swung
// round on a straight track once moved an aircraft sideways at 3 kt).
TEST(TrackReplay, DemoBikfGroundMovesAlongOrAgainstTheNose)
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    if (!source)
        GTEST_SKIP() << "TAVIX_SOURCE_DIR not set";
    const auto scenario = tvxstandin::gf_parseScenario(
        tvxtest::readFile(std::filesystem::path(source) / "standins" / "scenarios" / "demo_bikf_traffic.json"));
    int moving = 0, backward = 0;
    for (const auto& track : scenario.tracks)
        for (const auto& p : track.points) {
            if (!p.onGround || p.gs < 0.5 || !p.heading)
                continue;
            const double off = std::abs(std::remainder(p.track - *p.heading, 360.0));
            EXPECT_TRUE(off <= 10.0 || off >= 170.0)
                << track.callsign << " at " << p.t << " s: track " << p.track << ", heading " << *p.heading;
            moving += 1;
            backward += off >= 170.0 ? 1 : 0;
        }
    EXPECT_GT(moving, 1000);
    EXPECT_GT(backward, 10);  // the pushback of ICE798
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
