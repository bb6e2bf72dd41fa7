// Real recorded ADS-B tracks (shared test data, when present) converted by the traffic stand-in's
// converter and fed, as two-second polls of the live feed, through the hand-over and the record
// acceptance. Nothing may crash, every aircraft is created once, and the share of records the
// acceptance swallows is logged.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <unordered_map>

#include "live_fixture.h"
#include "support/temp_folder.h"
#include "traffic_service/track_converter.h"  // stand-in

namespace {

using tvxtest::LiveTrafficTest;

std::filesystem::path lf_tracksFolder()
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    return source ? std::filesystem::path(source) / ".." / "shared" / "testdata" / "adsb_tracks"
                  : std::filesystem::path();
}

// The file's JSON text, gunzipped through the system's gzip into the test's folder.
std::string lf_readGz(const std::filesystem::path& gz, const tvxtest::TempFolder& folder)
{
    const auto out = folder / gz.stem().string();
    const std::string cmd = "gzip -dc '" + gz.string() + "' > '" + out.string() + "'";
    if (std::system(cmd.c_str()) != 0)
        return {};
    return tvxtest::readFile(out);
}

TrafficRecord lf_record(const tvxstandin::ScenarioTrack& track, const tvxstandin::TrackPoint& p, double start)
{
    TrafficRecord r;
    r.hexid = static_cast<std::uint32_t>(std::stoul(track.hex, nullptr, 16));
    r.callsign = track.callsign;
    r.registration = track.registration;
    r.acType = track.type.empty() ? "B738" : track.type;  // the acceptance is under test, not the type
    r.origin = track.origin;
    r.destination = track.destination;
    r.time = start + p.t;
    r.pos.lat = p.lat;
    r.pos.lon = p.lon;
    r.pos.alt = p.alt;
    r.pos.speed = p.gs;
    r.pos.track = p.track;
    r.pos.vertRate = p.vr;
    r.pos.airborne = p.onGround ? 0 : 1;
    return r;
}

class RecordedTracks : public LiveTrafficTest {};

TEST_F(RecordedTracks, PassThroughTheAcceptanceRules)
{
    const auto folder = lf_tracksFolder();
    if (folder.empty() || !std::filesystem::exists(folder))
        GTEST_SKIP() << "recorded tracks not found beside the project (../shared/testdata/adsb_tracks)";
    tvxtest::TempFolder temp;

    std::size_t filesUsed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".gz")
            continue;
        const std::string text = lf_readGz(entry.path(), temp);
        const auto converted = tvxstandin::gf_scenarioFromTracks(text);
        if (text.empty() || !converted.error.empty() || converted.scenario.tracks.empty()) {
            std::cout << entry.path().filename().string() << ": not a layout the converter reads ("
                      << converted.error << ")\n";
            continue;
        }
        // A day's trace (hours without a point between flights) ends its aircraft in each gap.
        bool gaps = false;
        for (const auto& track : converted.scenario.tracks)
            for (std::size_t i = 1; i < track.points.size(); ++i)
                gaps = gaps || track.points[i].t - track.points[i - 1].t > 600.0;
        if (gaps) {
            std::cout << entry.path().filename().string() << ": gaps of more than 10 minutes, not one flight\n";
            continue;
        }
        ++filesUsed;
        SCOPED_TRACE(entry.path().filename().string());
        tvxtest::resetLiveTraffic();
        gf_acceptUdpMessages(true);
        std::size_t appended = 0;  // records handed to the append rules (their time became the aircraft's)

        // Two-second polls: each poll hands over the newest point of every track since the last one.
        const auto& scenario = converted.scenario;
        std::vector<std::size_t> next(scenario.tracks.size(), 0);
        std::size_t offered = 0;
        const double duration = scenario.duration();
        for (double now = 0.0; now <= duration + 2.0; now += 2.0) {
            std::vector<TrafficRecord> batch;
            for (std::size_t t = 0; t < scenario.tracks.size(); ++t) {
                const auto& points = scenario.tracks[t].points;
                std::size_t i = next[t];
                while (i < points.size() && points[i].t <= now)
                    ++i;
                if (i > next[t]) {
                    batch.push_back(lf_record(scenario.tracks[t], points[i - 1], scenario.start));
                    next[t] = i;
                }
            }
            offered += batch.size();
            std::unordered_map<std::uint32_t, double> timeBefore;
            for (const auto& ac : g_liveAc)
                timeBefore[ac.hexid] = ac.lastRecordTime;
            gf_handleTrafficBatch(batch, 30);
            for (int wake = 0; wake < 200; ++wake) {
                lf_handleUdpMessages();
                g_tick.store(g_tick.load() + 1);
            }
            for (const auto& ac : g_liveAc) {
                const auto before = timeBefore.find(ac.hexid);
                if (before != timeBefore.end() && ac.lastRecordTime != before->second)
                    ++appended;
            }
            std::lock_guard lock(g_udpMutex);
            ASSERT_TRUE(g_udpMessages.empty());
        }

        ASSERT_GT(offered, 10u);
        EXPECT_EQ(g_liveAc.size(), scenario.tracks.size());
        for (const auto& ac : g_liveAc) {
            EXPECT_GE(ac.stream.size(), 1u);
            for (std::size_t i = 1; i < ac.stream.size(); ++i)
                EXPECT_GE(ac.stream[i].slot, ac.stream[i - 1].slot);
        }
        const std::size_t created = g_liveAc.size();
        const std::size_t swallowed = offered - created - appended;
        const double share = 100.0 * static_cast<double>(swallowed) / static_cast<double>(offered);
        std::cout << entry.path().filename().string() << ": " << offered << " records offered, " << created
                  << " aircraft created, " << appended << " appended, " << swallowed << " swallowed ("
                  << share << " %)\n";
        RecordProperty(entry.path().stem().stem().string() + "_swallowed_percent", std::to_string(share));
    }
    EXPECT_GT(filesUsed, 0u);
}

}  // namespace
