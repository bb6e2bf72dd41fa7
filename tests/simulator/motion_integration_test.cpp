// The road of live aircraft end to end: tracks (resampled every two seconds) are served by the
// traffic stand-in, the program's traffic client polls it every two seconds of scenario time and
// hands each live reply over, the AI tick runs the buffering, spawn, creation, placement and movement, and the real SimConnect
// client thread sends everything to the stand-in in lockstep. The aircraft must appear with their
// livery title and callsign as tail number, follow their tracks (the largest distance between the
// simulator position and the track at the same play-out time is reported), and be removed once
// they have left the feed. Recorded tracks from ../shared/testdata/adsb_tracks are used when
// present; a synthetic approach and departure always run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>

#include "foundation/format.h"
#include "foundation/geo.h"
#include "frame/window_model.h"
#include "liveries/aircraft_db.h"
#include "liveries/livery_tables.h"
#include "liveries/regcodes.h"
#include "simulator/ai_tick.h"
#include "simulator/feed_handover.h"
#include "simulator/live_lifecycle.h"
#include "simulator/motion_math.h"
#include "simulator/removal.h"
#include "simulator/user_aircraft.h"
#include "support/liveries_fixture.h"
#include "support/simlink_harness.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/track_converter.h"  // stand-in
#include "traffic_service/traffic_client.h"
#include "traffic_service/traffic_standin.h"  // stand-in

namespace {

constexpr const char* kTitle = "Boeing 737-800 Stand-in";
constexpr std::int32_t kTicksPerFrame = 4;  // a 25 fps simulator
constexpr double kStart = 1767225600.0;

struct Track {
    std::uint32_t hexid = 0;
    std::string callsign;
    std::vector<tvxstandin::TrackPoint> points;  // t in seconds from the scenario start
};

// The track's position at scenario time t (linear between points); false outside it.
bool lf_at(const Track& track, double t, tvxstandin::TrackPoint& out)
{
    const auto& p = track.points;
    if (p.empty() || t < p.front().t || t > p.back().t)
        return false;
    auto it = std::lower_bound(p.begin(), p.end(), t, [](const tvxstandin::TrackPoint& a, double v) { return a.t < v; });
    if (it == p.begin()) {
        out = *it;
        return true;
    }
    const auto& b = *it;
    const auto& a = *(it - 1);
    const double f = b.t > a.t ? (t - a.t) / (b.t - a.t) : 0.0;
    out = a;
    out.t = t;
    out.lat = a.lat + f * (b.lat - a.lat);
    out.lon = a.lon + f * (b.lon - a.lon);
    out.alt = a.alt + f * (b.alt - a.alt);
    out.gs = a.gs + f * (b.gs - a.gs);
    out.vr = a.vr + f * (b.vr - a.vr);
    return true;
}

// A straight track from (lat, lon) along a course at a speed, climbing or descending.
Track lf_synthetic(std::uint32_t hexid, std::string callsign, double lat, double lon, double courseDeg,
                   double speedKt, double alt0, double vrFpm, double seconds)
{
    Track track{hexid, std::move(callsign), {}};
    for (double t = 0; t <= seconds; t += 2.0) {
        const double nm = speedKt * t / 3600.0;
        const GeoPos p = gf_destinationPoint(lat, lon, courseDeg * 3.14159265358979323846 / 180.0, nm * 6076.11549);
        tvxstandin::TrackPoint point;
        point.t = t;
        point.lat = p.lat;
        point.lon = p.lon;
        point.alt = alt0 + vrFpm * t / 60.0;
        point.gs = speedKt;
        point.track = courseDeg;
        point.vr = vrFpm;
        track.points.push_back(point);
    }
    return track;
}

class MotionIntegration : public tvxtest::SimLinkHarness {
protected:
    void SetUp() override
    {
        SimLinkHarness::SetUp();
        gf_resetUserAc();
        tvxtest::DbFixture db = tvxtest::DbFixture::standard();
        ASSERT_TRUE(db.load());
        g_liveAc.clear();
        g_removeRequests.clear();
        g_liveCreateRequests.clear();
        g_spawnQueue.clear();
        g_tick.store(0);
        gf_resetFeedHandover();
        g_liveryCache.clear();
        // One generic B738 livery installed, the one the matching chooses; the stand-in knows the title.
        gf_setLiveries({LiveryData{"", "B738", kTitle, "", 0, 0}});
        sim().addTitle(kTitle, simstandin::TitleInfo{simstandin::ObjType::Aircraft, "B738", 8.0, 0.0});
        g_rangeNm.store(40.0);
        g_autoRangeGround.store(false);
    }

    // Fails the test when the run asked for an exit or restart (a teleport, simulator errors).
    void expectNoExit() { EXPECT_FALSE(g_exitRequested.load()) << logText(); }
    void TearDown() override
    {
        gf_setLiveries({});
        g_liveAc.clear();
        gf_clearAircraftDb();
        gf_clearRegcodes();
        SimLinkHarness::TearDown();
    }

    struct Outcome {
        std::map<std::uint32_t, double> maxDistanceNm;   // hexid -> largest distance from its track
        std::map<std::uint32_t, std::uint32_t> objectId;  // hexid -> simulator object
        std::map<std::uint32_t, int> samples;
    };

    // Serves the tracks from the traffic stand-in, polls it every 2 s of scenario time with the
    // program's traffic client and runs the AI tick and the simulator until every aircraft has
    // been removed again (or the tick limit).
    Outcome play(const std::vector<Track>& tracks, double feedSeconds, std::int32_t tickLimit)
    {
        Outcome outcome;
        tvxstandin::TrafficScenario scenario;
        scenario.start = kStart;
        scenario.type = 1;  // standard account: live replies only
        for (const Track& track : tracks) {
            tvxstandin::ScenarioTrack st;
            st.hex = tvx::format("{:06x}", track.hexid);
            st.callsign = track.callsign;
            st.type = "B738";
            for (double t = 0.0; t <= feedSeconds; t += 2.0) {
                tvxstandin::TrackPoint p;
                if (lf_at(track, t, p))
                    st.points.push_back(p);
            }
            scenario.tracks.push_back(st);
        }
        tvxstandin::TrafficStandin server(scenario);
        EXPECT_TRUE(server.start());
        server.setRateLimits(100, 100);  // the client's shortest accepted wait
        server.setReplayTime(0.0);
        TrafficClient client;
        client.setApiBase(server.apiBase());
        client.setLicence(scenario.licences.front());
        EXPECT_TRUE(client.login());
        const auto& p0 = tracks.front().points.front();
        gf_setTrafficQueryPosition(p0.lat, p0.lon, 0.0);
        gf_setTrafficQueryRangeNm(40.0);
        gf_feedSink().handleBatch = [](TrafficClient& c, std::uint32_t delay) { gf_handleTrafficBatch(c, delay); };
        gf_acceptUdpMessages(true);

        const std::int32_t firstTick = 100;
        double nextPoll = 0.0;
        for (std::int32_t i = 0; i < tickLimit; ++i) {
            const std::int32_t tick = g_tick.load();
            const double scenarioTime = (tick - firstTick) / 100.0;
            if (tick >= firstTick && scenarioTime >= nextPoll && nextPoll <= feedSeconds) {
                server.setReplayTime(nextPoll);
                EXPECT_TRUE(client.pollTraffic()) << nextPoll;
                nextPoll += 2.0;
            }
            gf_updateAI();
            if ((i + 1) % kTicksPerFrame == 0)
                sim().frame();

            // Compare the simulator's position with the track at the same play-out time: a
            // record of poll time s plays out at tick firstTick + 100 s + 3000.
            const double playOut = (g_tick.load() - firstTick - 3000) / 100.0;
            for (const LiveAc& ac : g_liveAc) {
                if (ac.state != AcState::Placed || ac.objectId == 0)
                    continue;
                const auto object = sim().object(ac.objectId);
                if (!object || object->positionWrites < 10)
                    continue;
                for (const Track& track : tracks) {
                    tvxstandin::TrackPoint p;
                    if (track.hexid != ac.hexid || !lf_at(track, playOut, p) || playOut > feedSeconds)
                        continue;
                    const double d = gf_distanceNm(object->pos.latDeg, object->pos.lonDeg, p.lat, p.lon);
                    outcome.maxDistanceNm[ac.hexid] = std::max(outcome.maxDistanceNm[ac.hexid], d);
                    outcome.objectId[ac.hexid] = ac.objectId;
                    ++outcome.samples[ac.hexid];
                }
            }
            if (g_liveAc.empty() && nextPoll > feedSeconds)
                break;
        }
        client.logout();
        server.stop();
        gf_resetFeedSink();
        return outcome;
    }

    void expectRoad(const Outcome& outcome, const std::vector<Track>& tracks, double limitNm)
    {
        expectNoExit();
        for (const Track& track : tracks) {
            SCOPED_TRACE(track.callsign);
            ASSERT_TRUE(outcome.objectId.count(track.hexid)) << "never placed\n" << logText();
            const std::uint32_t id = outcome.objectId.at(track.hexid);
            std::cout << track.callsign << ": largest distance from the recorded track "
                      << outcome.maxDistanceNm.at(track.hexid) * 1852.0 << " m over "
                      << outcome.samples.at(track.hexid) << " ticks\n";
            EXPECT_LT(outcome.maxDistanceNm.at(track.hexid), limitNm);
            // Created with the livery title and the callsign as tail number...
            const auto creations = sim().creations();
            const bool created = std::any_of(creations.begin(), creations.end(), [&](const simstandin::CreationRec& c) {
                return c.objectId == id && c.title == kTitle && c.tail == track.callsign;
            });
            EXPECT_TRUE(created);
            // ...and removed after it left the feed.
            const auto removals = sim().removals();
            EXPECT_TRUE(std::any_of(removals.begin(), removals.end(),
                                    [&](const simstandin::RemovalRec& r) { return r.objectId == id && r.packet != 0; }));
            EXPECT_FALSE(sim().object(id).has_value());
        }
        EXPECT_TRUE(g_liveAc.empty());
    }
};

TEST_F(MotionIntegration, SyntheticApproachAndDeparture)
{
    sim().moveUser(51.0, 0.3, 0.0);  // 15 nm away, on the ground
    connect();
    startFlight();
    const std::vector<Track> tracks{
        lf_synthetic(0x400A01, "SYN101", 51.0, 0.0, 270.0, 150.0, 3000.0, -700.0, 90.0),
        lf_synthetic(0x400A02, "SYN102", 51.1, -0.2, 60.0, 180.0, 400.0, 1800.0, 90.0),
    };
    const Outcome outcome = play(tracks, 90.0, 30000);
    // Straight tracks whose speeds match their positions: the legs keep the feed's timing.
    expectRoad(outcome, tracks, 0.15);
}

TEST_F(MotionIntegration, RecordedTracks)
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    const std::filesystem::path folder =
        source ? std::filesystem::path(source) / ".." / "shared" / "testdata" / "adsb_tracks" : std::filesystem::path();
    if (folder.empty() || !std::filesystem::exists(folder))
        GTEST_SKIP() << "recorded tracks not found beside the project (../shared/testdata/adsb_tracks)";
    tvxtest::TempFolder temp;
    std::vector<Track> tracks;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".gz")
            continue;
        const auto out = temp / entry.path().stem().string();
        const std::string cmd = "gzip -dc '" + entry.path().string() + "' > '" + out.string() + "'";
        if (std::system(cmd.c_str()) != 0)
            continue;
        const auto converted = tvxstandin::gf_scenarioFromTracks(tvxtest::readFile(out));
        if (!converted.error.empty())
            continue;
        for (const auto& t : converted.scenario.tracks) {
            // 90 seconds of airborne flight at a plausible speed (the recordings begin with rows
            // whose speed is missing), shifted to start at 0.
            auto first = std::find_if(t.points.begin(), t.points.end(),
                                      [](const auto& p) { return !p.onGround && p.gs >= 60.0; });
            if (first == t.points.end())
                continue;
            Track track{static_cast<std::uint32_t>(std::stoul(t.hex, nullptr, 16)),
                        t.callsign.empty() ? "REC" + std::to_string(tracks.size()) : t.callsign, {}};
            const double t0 = first->t;
            for (auto it = first; it != t.points.end() && it->t - t0 <= 90.0; ++it) {
                if (it->onGround || it->gs < 60.0)
                    break;
                auto p = *it;
                p.t -= t0;
                if (p.seen)
                    *p.seen -= t0;
                if (track.points.empty() || p.t > track.points.back().t)
                    track.points.push_back(p);
            }
            if (track.points.size() >= 10 && track.points.back().t >= 60.0)
                tracks.push_back(track);
            if (tracks.size() == 2)
                break;
        }
        if (tracks.size() == 2)
            break;
    }
    if (tracks.empty())
        GTEST_SKIP() << "no airborne track in the recorded files";
    const auto& p0 = tracks.front().points.front();
    sim().moveUser(p0.lat + 0.25, p0.lon, 0.0);  // 15 nm north of the first track, on the ground
    connect();
    startFlight();
    double feed = 0.0;
    for (const Track& t : tracks)
        feed = std::max(feed, t.points.back().t);
    const Outcome outcome = play(tracks, feed, 30000);
    // A leg's time follows the records' ground speeds, kept within 10 s (the early and late
    // limits) of the feed's timing; recorded speeds do not match the positions exactly, so the
    // aircraft may run up to those 10 s ahead of or behind its track.
    double fastest = 0.0;
    for (const Track& t : tracks)
        for (const auto& p : t.points)
            fastest = std::max(fastest, p.gs);
    expectRoad(outcome, tracks, fastest * 10.0 / 3600.0 + 0.05);
}

}  // namespace
