// The reader threads against the stand-in: they deliver, keep to the rate limits, stop within a
// bounded time (also in the middle of a slow reply), and a refused licence ends both with the
// error line. Also the login from the key file.
#include <gtest/gtest.h>

#include "foundation/settings.h"
#include "support/temp_folder.h"
#include "support/traffic_fixtures.h"
#include "traffic_service/readers.h"
#include "traffic_service/traffic_client.h"
#include "traffic_service/weather.h"
#include "traffic_service/web_transport.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using tvxstandin::StandinFault;
using tvxstandin::StandinStats;

namespace {

void lf_startReaders()
{
    std::thread(gf_weatherReader).detach();
    std::thread(gf_trafficReader).detach();
}

}  // namespace

TEST(TrafficReaders, DeliverWithinTheRateLimitsAndStop)
{
    tvxtest::StandinSession session;
    ASSERT_TRUE(g_trafficClient.login());
    lf_startReaders();
    // Five history buffers, then live batches.
    ASSERT_TRUE(session.capture().waitForBatches(9, 20s));
    ASSERT_TRUE(session.standin().waitFor([](const StandinStats& s) { return s.weather >= 3; }, 20s));
    EXPECT_EQ(g_qnh.load(), 1019);
    EXPECT_EQ(gf_readersRunning(), 2);
    ASSERT_TRUE(gf_stopReaders(5s));
    EXPECT_EQ(gf_readersRunning(), 0);

    const StandinStats s = session.standin().stats();
    EXPECT_EQ(s.rateViolations, 0);
    EXPECT_EQ(s.auth, 1);  // both readers share the one session
    const auto batches = session.capture().batches();
    for (std::size_t i = 0; i < batches.size(); ++i)
        EXPECT_EQ(batches[i].delay, i < 5 ? i * 6 : 30u) << i;
    g_qnh = 1013;
}

TEST(TrafficReaders, StopDuringASlowReply)
{
    tvxtest::StandinSession session(1);
    TransportLimits limits;
    limits.transferTimeoutMs = 60000;
    g_trafficClient.setTransportLimits(limits);
    session.standin().setSlowMs(60000);
    ASSERT_TRUE(g_trafficClient.login());
    session.standin().setFault(StandinFault::Slow, 100);
    lf_startReaders();
    ASSERT_TRUE(session.standin().waitFor([](const StandinStats& s) { return s.traffic >= 1 && s.nearestmetar >= 1; },
                                          10s));
    // Both readers sit in a reply that takes a minute; the stop ends the transfers.
    ASSERT_TRUE(gf_stopReaders(5s));
    EXPECT_TRUE(session.capture().batches().empty());
}

// The program ends libcurl as soon as the readers have reported their end, while their detached
// threads may not have exited yet. Here the threads are held after the reader bodies return: their
// transfer handles must be gone already, or they would be freed after curl_global_cleanup.
TEST(TrafficReaders, FreeTheirTransferHandlesBeforeReportingTheirEnd)
{
    tvxtest::StandinSession session;
    ASSERT_TRUE(g_trafficClient.login());
    EXPECT_EQ(gf_openTransports(), 0);  // the login's handle lived for its one request
    std::mutex holdMutex;
    std::condition_variable holdCv;
    bool released = false;
    auto held = [&](void (*reader)()) {
        return std::thread([&, reader] {
            reader();
            std::unique_lock lock(holdMutex);
            holdCv.wait(lock, [&] { return released; });
        });
    };
    std::thread weather = held(gf_weatherReader);
    std::thread traffic = held(gf_trafficReader);
    ASSERT_TRUE(session.capture().waitForBatches(2, 20s));
    // One per reader, kept across its requests. The batches are the traffic reader's: on a busy
    // machine the weather reader may make its transport only after them.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (gf_openTransports() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(gf_openTransports(), 2);

    const bool stopped = gf_stopReaders(5s);
    const int openAfterStop = gf_openTransports();
    {
        std::lock_guard lock(holdMutex);
        released = true;
    }
    holdCv.notify_all();
    weather.join();
    traffic.join();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(openAfterStop, 0);
    EXPECT_EQ(session.standin().stats().auth, 1);
}

TEST(TrafficReaders, RefusedLicenceEndsBothReadersWithTheErrorLine)
{
    tvxtest::StandinSession session(1);
    ASSERT_TRUE(g_trafficClient.login());
    lf_startReaders();
    ASSERT_TRUE(session.capture().waitForBatches(1, 10s));
    session.standin().failNext("traffic", 402);
    ASSERT_TRUE(session.capture().waitForErrorLine(10s));
    // The weather reader stops as well, without being asked.
    EXPECT_TRUE(gf_waitReadersEnded(10s));
    EXPECT_EQ(gf_readersRunning(), 0);
    const auto lines = session.capture().errorLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "traffic service: licence expired (status 402) forced status 402");
}

TEST(TrafficReaders, LoginFromTheKeyFile)
{
    tvxtest::TempFolder folder;
    const auto savedFolder = g_appFolder;
    g_appFolder = folder.path();
    tvxtest::StandinSession session;

    // Missing: the template is written and the error line asks for the licence.
    EXPECT_EQ(gf_loginTrafficService(), ServiceLogin::Refused);
    EXPECT_EQ(tvxtest::readFile(folder / "RealTraffic.lic"), "{\n  \"License\": \"\"\n}\n");
    ASSERT_EQ(session.capture().errorLines().size(), 1u);
    EXPECT_NE(session.capture().errorLines()[0].find("RealTraffic.lic holds no licence yet"), std::string::npos);

    tvxtest::writeFile(folder / "RealTraffic.lic", "{\"License\": \"  TEST-1234-ABCD-5678\\n\"}");
    EXPECT_EQ(gf_loginTrafficService(), ServiceLogin::LoggedIn);
    EXPECT_EQ(session.standin().stats().auth, 1);
    gf_logoutTrafficService();
    EXPECT_EQ(session.standin().stats().deauth, 1);

    g_trafficClient.resetSession();
    tvxtest::writeFile(folder / "RealTraffic.lic", "{\"License\": \"ABCD-0000-0000-0000\"}");
    EXPECT_EQ(gf_loginTrafficService(), ServiceLogin::Refused);
    ASSERT_EQ(session.capture().errorLines().size(), 2u);
    EXPECT_EQ(session.capture().errorLines()[1], "traffic service: licence refused (status 404) License not found");
    g_appFolder = savedFolder;
}
