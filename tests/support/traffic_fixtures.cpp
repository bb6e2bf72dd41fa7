// Fixture builders for the traffic-service tests; see traffic_fixtures.h.
#include "support/traffic_fixtures.h"

#include <stdexcept>

#include "traffic_service/feed_sink.h"
#include "traffic_service/parked_traffic.h"
#include "traffic_service/readers.h"
#include "traffic_service/traffic_client.h"
#include "traffic_service/weather.h"

namespace tvxtest {

tvxstandin::TrafficScenario gf_amsterdamScenario(int licenceType)
{
    using tvxstandin::TrackPoint;
    tvxstandin::TrafficScenario s;
    s.start = 1767225600.0;
    s.type = licenceType;
    s.licences = {kTestLicence};
    s.expired = {"OLD-0000-0000-0000"};
    tvxstandin::ScenarioTrack klm{"4ca7b3", "KLM1234", "PH-BXA", "B738", "LHR", "AMS", {}};
    for (int i = 0; i <= 40; i += 2) {
        TrackPoint p;
        p.t = i;
        p.lat = 52.40 - i * 0.001;
        p.lon = 4.70 + i * 0.001;
        p.alt = 3000 - i * 10;
        p.gs = 160;
        p.track = 140;
        p.vr = -700;
        p.roll = -2.5;
        p.heading = 141.0;
        klm.points.push_back(p);
    }
    s.tracks.push_back(klm);
    tvxstandin::ScenarioTrack tug{"4ca7c1", "", "", "", "", "", {}};
    for (int i = 0; i <= 40; i += 4) {
        TrackPoint p;
        p.t = i;
        p.lat = kEhamLat + 0.001;
        p.lon = kEhamLon;
        p.alt = -10;
        p.gs = 8;
        p.track = 90;
        p.onGround = true;
        tug.points.push_back(p);
    }
    s.tracks.push_back(tug);
    tvxstandin::ScenarioTrack low{"002000", "LOW1", "N1", "C172", "", "", {}};
    for (int i = 0; i <= 40; i += 5)
        low.points.push_back({static_cast<double>(i), 52.35, 4.8, 1500, 90, 10, 0, false, {}, {}, {}});
    s.tracks.push_back(low);
    // Parked 3 h and 10 min before scenario time 20 s (00:00:20): since 21:00 and 23:50.
    s.parked.push_back({"4b1a2f", kEhamLat + 0.005, kEhamLon + 0.005, "EHAM_D7", "A333", "PH-AKA", "KLM601",
                        s.start - 3 * 3600.0});
    s.parked.push_back({"4b1a30", kEhamLat - 0.005, kEhamLon, "EHAM_F4", "B744", "PH-BFT", "KLM885", s.start - 600.0});
    s.parked.push_back({"4b1a31", 51.0, 4.0, "EBBR_1", "A320", "OO-SNA", "BEL1", s.start - 600.0});  // outside
    s.stations.push_back({"EHAM", kEhamLat, kEhamLon, 1019.0, "EHAM 010000Z 24008KT 9999 FEW030 08/02 Q1019"});
    s.stations.push_back({"EBBR", 50.9, 4.48, 1021.0, "EBBR 010000Z 24008KT 9999 FEW030 08/02 Q1021"});
    return s;
}

FeedCapture::FeedCapture()
{
    gf_resetFeedSink();
    auto& sink = gf_feedSink();
    sink.handleBatch = [this](TrafficClient& client, std::uint32_t delay) {
        std::lock_guard lock(m_mutex);
        m_batches.push_back({delay, std::move(client.liveRecords())});
        client.liveRecords().clear();
        m_cv.notify_all();
    };
    sink.postSimEvent = [this](std::uint32_t kind, std::uint32_t, std::uint32_t hexid) {
        std::lock_guard lock(m_mutex);
        if (kind == 5)
            m_blocked.push_back(hexid);
    };
    sink.nearestStandName = [this](double, double) { return standName; };
    sink.setErrorLine = [this](std::string_view text) {
        std::lock_guard lock(m_mutex);
        m_errors.emplace_back(text);
        m_cv.notify_all();
    };
}

FeedCapture::~FeedCapture() { gf_resetFeedSink(); }

std::vector<CapturedBatch> FeedCapture::batches() const
{
    std::lock_guard lock(m_mutex);
    return m_batches;
}

std::vector<std::uint32_t> FeedCapture::blockedHexids() const
{
    std::lock_guard lock(m_mutex);
    return m_blocked;
}

std::vector<std::string> FeedCapture::errorLines() const
{
    std::lock_guard lock(m_mutex);
    return m_errors;
}

bool FeedCapture::waitForBatches(std::size_t count, std::chrono::milliseconds wait) const
{
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, wait, [&] { return m_batches.size() >= count; });
}

bool FeedCapture::waitForErrorLine(std::chrono::milliseconds wait) const
{
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, wait, [&] { return !m_errors.empty(); });
}

StandinSession::StandinSession(int licenceType)
    : m_standin(std::make_unique<tvxstandin::TrafficStandin>(gf_amsterdamScenario(licenceType)))
{
    lf_setUp();
}

StandinSession::StandinSession(tvxstandin::TrafficScenario scenario)
    : m_standin(std::make_unique<tvxstandin::TrafficStandin>(std::move(scenario)))
{
    lf_setUp();
}

void StandinSession::lf_setUp()
{
    m_standin->setRateLimits(150, 150);
    m_standin->setReplayTime(20.0);
    if (!m_standin->start(0, std::chrono::seconds(120)))
        throw std::runtime_error("traffic stand-in cannot bind 127.0.0.1");
    g_trafficClient.resetStop();
    g_trafficClient.resetSession();
    g_trafficClient.setApiBase(m_standin->apiBase());
    g_trafficClient.setLicence(kTestLicence);
    g_trafficClient.setSessionRetryWait(std::chrono::milliseconds(50));
    TransportLimits limits;
    limits.connectTimeoutMs = 2000;
    limits.transferTimeoutMs = 5000;
    g_trafficClient.setTransportLimits(limits);
    g_trafficClient.setParkAirportPosition(std::nullopt);
    g_trafficClient.setReferenceElevation(std::nullopt);
    gf_setTrafficQueryPosition(kEhamLat, kEhamLon, 1000.0);
    gf_setTrafficQueryRangeNm(20.0);
    g_qnh = 1013;
    g_bufferReceived = false;
    g_parkedTraffic.clear();
}

StandinSession::~StandinSession()
{
    gf_stopReaders(std::chrono::seconds(10));
    m_standin->stop();
    g_trafficClient.resetSession();
    g_trafficClient.resetStop();
}

}  // namespace tvxtest
