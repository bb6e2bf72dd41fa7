// The service's clock on the wall clock: the program's traffic client polls the traffic-service
// stand-in (its clock running from its start, one request a second as its rate limit says) while
// the AI tick counts 100 a second, and the feed hand-over places the service's "now" from the
// replies' whole-second data times. The true offset is known here from the stand-in's own clock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "foundation/time_slots.h"
#include "live_fixture.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/traffic_client.h"
#include "traffic_service/traffic_standin.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class ServiceClockOnTheWallClock : public tvxtest::LiveTrafficTest {
protected:
    void SetUp() override
    {
        LiveTrafficTest::SetUp();
        tvxstandin::ScenarioTrack track;
        track.hex = "4ca7b3";
        track.callsign = "KLM1234";
        track.type = "B738";
        for (double t = 0.0; t <= 600.0; t += 1.0) {
            tvxstandin::TrackPoint p;
            p.t = t;
            p.lat = 47.0;
            p.lon = 8.0 + t * 0.001;
            p.alt = 5000.0;
            p.gs = 250.0;
            p.track = 90.0;
            track.points.push_back(p);
        }
        m_scenario.type = 1;  // live replies only
        m_scenario.tracks = {track};
        m_server = std::make_unique<tvxstandin::TrafficStandin>(m_scenario);
        ASSERT_TRUE(m_server->start());
        m_server->setRateLimits(1000, 1000);
        m_client.setApiBase(m_server->apiBase());
        m_client.setLicence(m_scenario.licences.front());
        ASSERT_TRUE(m_client.login());
        gf_setTrafficQueryPosition(47.0, 8.2, 0.0);
        gf_setTrafficQueryRangeNm(40.0);
        gf_feedSink().handleBatch = [](TrafficClient& c, std::uint32_t delay) { gf_handleTrafficBatch(c, delay); };
        gf_acceptUdpMessages(true);
        // The main loop's ticks on the wall clock, and its next wake on their grid; a stalled loop
        // (m_stalled) neither ticks nor plans its next wake.
        m_ticker = std::thread([this] {
            while (!m_stop) {
                if (!m_stalled) {
                    const auto tick = (Clock::now() - m_t0) / 10ms;
                    g_tick.store(static_cast<std::int32_t>(tick));
                    gf_setNextWakeDue(m_t0 + (tick + 1) * 10ms);
                }
                std::this_thread::sleep_for(1ms);
            }
        });
    }

    void TearDown() override
    {
        m_stop = true;
        if (m_ticker.joinable())
            m_ticker.join();
        gf_resetFeedSink();
        gf_setNextWakeDue(SteadyTime::max());
        if (m_server)
            m_server->stop();
        LiveTrafficTest::TearDown();
    }

    // The service's time less the tick's, from the stand-in's clock.
    double trueOffset() const
    {
        const double tick = std::chrono::duration<double>(Clock::now() - m_t0).count();
        return m_scenario.start + m_server->replayTime() - tick;
    }

    // Waits until the stand-in's clock stands at the fraction of its second.
    void waitForFraction(double fraction) const
    {
        const double x = fraction - m_server->replayTime();
        std::this_thread::sleep_for(std::chrono::duration<double>(x - std::floor(x)));
    }

    // One live request (held slowMs by the stand-in after it made the reply); the estimate's error.
    double poll(int slowMs = 0)
    {
        if (slowMs > 0) {
            m_server->setSlowMs(slowMs);
            m_server->setFault(tvxstandin::StandinFault::Slow, 1, "traffic");
        }
        EXPECT_TRUE(m_client.pollTraffic());
        {
            std::lock_guard lock(g_udpMutex);
            EXPECT_EQ(g_udpMessages.size(), 1u);
            g_udpMessages.clear();
        }
        return gf_serviceClockOffset() - trueOffset();
    }

    tvxstandin::TrafficScenario m_scenario;
    std::unique_ptr<tvxstandin::TrafficStandin> m_server;
    TrafficClient m_client;
    const Clock::time_point m_t0 = Clock::now();
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_stalled{false};
    std::thread m_ticker;
};

// The stand-in answers within a millisecond, so requests a spacing after the last one's end reach
// it at the same fraction of its second each time (here a quarter of a second past it; 0.53-0.58 s
// in the demo): the lower ends of their intervals put "now" 0.25 s early for good, the middle 0.25 s
// late. The placed requests settle it within 0.1 s by the sixth reply. Then a reply made 0.8 s into its second and held
// 400 ms (its data time 1.2 s below the clock at arrival) is no move of the clock: the estimate
// stays.
TEST_F(ServiceClockOnTheWallClock, RepliesAtOneFractionSettleWithinATenthAndALateReplyMovesNothing)
{
    waitForFraction(0.25);
    std::vector<double> errors;
    for (int i = 0; i < 8; ++i)
        errors.push_back(poll());
    EXPECT_NEAR(errors[0], -0.25, 0.05);
    for (std::size_t i = 5; i < errors.size(); ++i)
        EXPECT_LT(std::fabs(errors[i]), 0.1) << "reply " << i + 1;

    std::this_thread::sleep_for(1s);  // past the spacing, so the request goes at the fraction waited for
    waitForFraction(0.8);
    EXPECT_LT(std::fabs(poll(400)), 0.1);
    EXPECT_LT(std::fabs(poll()), 0.1);
}

// A loaded machine stops the main loop for 0.4 s: a reply made 0.1 s into the service's second
// arrives while the tick count stands 0.4 s behind (the loop makes the ticks up afterwards). Timed by
// the tick count, the service's second began 0.3 s later than the held estimate allowed: the
// estimate started afresh 0.3 s off, and the replies after it, whose true intervals no longer met
// it, moved it up to a second off (every aircraft played out that much early or late). Timed with
// the ticks owed, the estimate stays.
TEST_F(ServiceClockOnTheWallClock, AReplyWhileTheMainLoopIsBehindMovesNothing)
{
    waitForFraction(0.25);
    for (int i = 0; i < 8; ++i)
        poll();
    std::this_thread::sleep_for(1s);
    waitForFraction(0.7);
    m_stalled = true;
    std::this_thread::sleep_for(400ms);
    const double behind = poll();
    m_stalled = false;
    EXPECT_LT(std::fabs(behind), 0.1);
    for (int i = 0; i < 4; ++i)
        EXPECT_LT(std::fabs(poll()), 0.1) << "reply " << i + 1 << " after it";
}

// Replies held 50-250 ms, each differently (a real service): within 0.15 s by the eighth reply.
TEST_F(ServiceClockOnTheWallClock, RepliesOfVaryingDelaysSettle)
{
    const int delaysMs[] = {120, 250, 60, 180, 90, 220, 50, 150, 200, 80};
    for (int i = 0; i < 10; ++i) {
        const double error = poll(delaysMs[i]);
        if (i >= 7) {
            EXPECT_LT(std::fabs(error), 0.15) << "reply " << i + 1;
        }
    }
}

}  // namespace
