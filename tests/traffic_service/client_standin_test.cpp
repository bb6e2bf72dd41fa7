// The client against the loopback stand-in: login and logout, live batches, history buffers,
// parked traffic, QNH, the reply statuses, every broken-reply switch, and the rate limits; and the
// stand-in itself: it stops at any moment, and its wall clock plays the scenario once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "foundation/errors.h"
#include "foundation/log.h"
#include "support/temp_folder.h"
#include "support/traffic_fixtures.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/parked_traffic.h"
#include "traffic_service/traffic_client.h"
#include "traffic_service/weather.h"

using namespace std::chrono_literals;
using tvxstandin::StandinFault;
using tvxstandin::StandinStats;

namespace {

const TrafficRecord* lf_find(const std::vector<TrafficRecord>& records, std::uint32_t hexid)
{
    const auto it = std::find_if(records.begin(), records.end(), [&](const auto& r) { return r.hexid == hexid; });
    return it == records.end() ? nullptr : &*it;
}

}  // namespace

TEST(TrafficClientStandin, LoginAndLogout)
{
    tvxtest::StandinSession session;
    ASSERT_TRUE(g_trafficClient.login());
    EXPECT_TRUE(g_trafficClient.loggedIn());
    EXPECT_TRUE(g_trafficClient.isProfessional());
    EXPECT_EQ(g_trafficClient.rateLimit(RequestClass::Traffic), 150ms);
    EXPECT_EQ(g_trafficClient.rateLimit(RequestClass::Weather), 150ms);
    StandinStats s = session.standin().stats();
    EXPECT_EQ(s.auth, 1);
    EXPECT_EQ(s.openSessions, 1);
    EXPECT_EQ(s.lastSoftware, "Tavix");
    EXPECT_EQ(s.lastUserAgent, "Tavix");
    EXPECT_EQ(s.lastAcceptEncoding, "gzip");

    g_trafficClient.logout();
    EXPECT_FALSE(g_trafficClient.loggedIn());
    s = session.standin().stats();
    EXPECT_EQ(s.deauth, 1);
    EXPECT_EQ(s.openSessions, 0);
    g_trafficClient.logout();  // no session: nothing sent
    EXPECT_EQ(session.standin().stats().deauth, 1);
}

TEST(TrafficClientStandin, LiveReplyBecomesBatch)
{
    tvxtest::StandinSession session(1);  // standard licence: no history buffers
    g_qnh = 1003;
    ASSERT_TRUE(g_trafficClient.login());
    EXPECT_FALSE(g_trafficClient.isProfessional());
    ASSERT_TRUE(g_trafficClient.pollTraffic());

    const auto batches = session.capture().batches();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].delay, 30u);
    const auto& records = batches[0].records;
    ASSERT_EQ(records.size(), 2u);  // 002000 is below the address limit
    EXPECT_EQ(lf_find(records, 0x2000), nullptr);

    const TrafficRecord* klm = lf_find(records, 0x4ca7b3);
    ASSERT_NE(klm, nullptr);
    EXPECT_EQ(klm->callsign, "KLM1234");
    EXPECT_EQ(klm->airline, "KLM");
    EXPECT_EQ(klm->registration, "PH-BXA");
    EXPECT_EQ(klm->acType, "B738");
    EXPECT_EQ(klm->origin, "LHR");
    EXPECT_EQ(klm->destination, "AMS");
    EXPECT_DOUBLE_EQ(klm->time, 1767225600.0 + 20.0);  // the point at replay time 20 s
    EXPECT_DOUBLE_EQ(klm->pos.lat, 52.38);
    EXPECT_DOUBLE_EQ(klm->pos.alt, 2800.0 - 270.0);  // QNH 1003: 10 hPa × 27 ft lower
    EXPECT_DOUBLE_EQ(klm->pos.vertRate, -700.0);
    EXPECT_EQ(klm->pos.bankValid, 1);
    EXPECT_EQ(klm->pos.headingValid, 1);
    EXPECT_EQ(klm->pos.airborne, 1);

    const TrafficRecord* tug = lf_find(records, 0x4ca7c1);
    ASSERT_NE(tug, nullptr);
    EXPECT_EQ(tug->callsign, "");
    EXPECT_EQ(tug->registration, "");  // "null" in the reply
    EXPECT_EQ(tug->pos.bankValid, 0);
    EXPECT_EQ(tug->pos.headingValid, 0);  // "null" true heading
    EXPECT_DOUBLE_EQ(tug->pos.track, 90.0);
    EXPECT_EQ(tug->pos.airborne, 0);

    // The query box: LATERAL range 20 nm around EHAM.
    const auto form = session.standin().stats().lastTrafficForm;
    EXPECT_NE(form.find("querytype=locationtraffic"), std::string::npos);
    EXPECT_NE(form.find(tvx::format("bottom={:.6f}", tvxtest::kEhamLat - 20.0 / 60.0)), std::string::npos);
    EXPECT_NE(form.find("toffset=0"), std::string::npos);
    EXPECT_EQ(form.find("buffercount"), std::string::npos);
    g_qnh = 1013;
}

TEST(TrafficClientStandin, FirstReplyBringsFiveBuffersThenLive)
{
    tvxtest::StandinSession session(2);
    session.standin().setReplayTime(30.0);
    ASSERT_TRUE(g_trafficClient.login());
    ASSERT_TRUE(g_trafficClient.pollTraffic());
    EXPECT_NE(session.standin().stats().lastTrafficForm.find("buffercount=5&buffertime=6"), std::string::npos);

    auto batches = session.capture().batches();
    ASSERT_EQ(batches.size(), 5u);
    double lastTime = 0.0;
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(batches[i].delay, i * 6);
        const TrafficRecord* klm = lf_find(batches[i].records, 0x4ca7b3);
        ASSERT_NE(klm, nullptr);
        // Oldest buffer first: scenario times 30 - 24, ..., 30 - 0.
        EXPECT_DOUBLE_EQ(klm->time, 1767225600.0 + 30.0 - 6.0 * (4 - static_cast<double>(i)));
        EXPECT_GE(klm->time, lastTime);
        lastTime = klm->time;
    }

    // Next replies are live only.
    ASSERT_TRUE(g_trafficClient.pollTraffic());
    batches = session.capture().batches();
    ASSERT_EQ(batches.size(), 6u);
    EXPECT_EQ(batches[5].delay, 30u);
    EXPECT_EQ(session.standin().stats().buffered, 1);

    // A new history fetch when asked for: the maps fill, nothing is handed to the main loop.
    std::set<std::string> callsigns{"OLD"};
    std::set<std::uint32_t> hexids{1};
    gf_takeBufferMaps(callsigns, hexids);
    EXPECT_EQ(callsigns, (std::set<std::string>{"KLM1234"}));
    EXPECT_EQ(hexids, (std::set<std::uint32_t>{0x4ca7b3, 0x4ca7c1}));
    g_bufferReceived = true;
    ASSERT_TRUE(g_trafficClient.pollTraffic());
    EXPECT_EQ(session.standin().stats().buffered, 2);
    EXPECT_EQ(session.capture().batches().size(), 6u);
    ASSERT_TRUE(g_trafficClient.pollTraffic());  // fetched once per request
    EXPECT_EQ(session.standin().stats().buffered, 2);
    gf_takeBufferMaps(callsigns, hexids);
    EXPECT_FALSE(g_bufferReceived.load());
    EXPECT_EQ(callsigns, (std::set<std::string>{"KLM1234"}));
    gf_takeBufferMaps(callsigns, hexids);
    EXPECT_TRUE(callsigns.empty());
    EXPECT_TRUE(hexids.empty());
}

// The plan of a park airport chosen minutes after the start asks for the buffers: the first
// reply's, never taken (the flight was not loaded yet, they were empty), do not stand for them.
// Read stale, the plan parked copies of aircraft standing live at their gates.
TEST(TrafficClientStandin, BuffersAskedForAfterAnUntakenFetchAreFetchedAgain)
{
    tvxtest::StandinSession session(2);
    session.standin().setReplayTime(30.0);
    ASSERT_TRUE(g_trafficClient.login());
    ASSERT_TRUE(g_trafficClient.pollTraffic());
    ASSERT_TRUE(g_trafficClient.pollTraffic());
    EXPECT_EQ(session.standin().stats().buffered, 1);

    gf_requestHistoryBuffers();
    EXPECT_TRUE(g_bufferReceived.load());
    ASSERT_TRUE(g_trafficClient.pollTraffic());
    EXPECT_EQ(session.standin().stats().buffered, 2);
    EXPECT_NE(session.standin().stats().lastTrafficForm.find("buffercount=5&buffertime=6"), std::string::npos);
    ASSERT_TRUE(g_trafficClient.pollTraffic());  // once per request
    EXPECT_EQ(session.standin().stats().buffered, 2);
    std::set<std::string> callsigns;
    std::set<std::uint32_t> hexids;
    gf_takeBufferMaps(callsigns, hexids);
    EXPECT_EQ(callsigns, (std::set<std::string>{"KLM1234"}));
    EXPECT_FALSE(g_bufferReceived.load());
}

TEST(TrafficClientStandin, ParkedTrafficWithOffsets)
{
    tvxtest::StandinSession session;
    session.capture().standName = "D7";
    // The main loop asks, the traffic reader fetches, the main loop takes the list once.
    auto fetched = [] {
        gf_requestParkedTraffic();
        return g_trafficClient.pollParkedTraffic();
    };
    EXPECT_FALSE(g_trafficClient.pollParkedTraffic());  // not asked for
    EXPECT_FALSE(fetched());                            // no park airport yet
    EXPECT_FALSE(gf_updateParkedTraffic());
    g_trafficClient.setParkAirportPosition(std::pair{tvxtest::kEhamLat, tvxtest::kEhamLon});
    ASSERT_TRUE(fetched());
    ASSERT_TRUE(gf_updateParkedTraffic());
    EXPECT_FALSE(gf_updateParkedTraffic());  // taken already
    EXPECT_NE(session.standin().stats().lastTrafficForm.find("querytype=parkedtraffic"), std::string::npos);
    // 3 nm box: bottom 0.05° south of the airport.
    EXPECT_NE(session.standin().stats().lastTrafficForm.find(tvx::format("bottom={:.6f}", tvxtest::kEhamLat - 0.05)),
              std::string::npos);
    ASSERT_EQ(g_parkedTraffic.size(), 2u);  // the Brussels one lies outside
    std::map<std::uint32_t, const ParkedTrafficRecord*> byHex;
    for (const auto& r : g_parkedTraffic)
        byHex[r.hexid] = &r;
    ASSERT_TRUE(byHex.count(0x4b1a2f));
    ASSERT_TRUE(byHex.count(0x4b1a30));
    EXPECT_EQ(byHex[0x4b1a2f]->halfHourOffset, 6u);  // parked 21:00, now 00:00:20
    EXPECT_EQ(byHex[0x4b1a30]->halfHourOffset, 1u);  // parked 23:50
    EXPECT_EQ(byHex[0x4b1a2f]->callsign, "KLM601");
    EXPECT_EQ(byHex[0x4b1a2f]->standName, "D7");

    // 400 and 403 raise a system error where the list is taken; other failures keep the last list.
    for (int status : {400, 403}) {
        session.standin().failNext("traffic", status);
        ASSERT_TRUE(fetched());
        try {
            gf_updateParkedTraffic();
            ADD_FAILURE() << "no exception for " << status;
        } catch (const tvx::SysErrorException& e) {
            EXPECT_NE(std::string(e.what()).find(std::to_string(status)), std::string::npos);
        }
    }
    session.standin().failNext("traffic", 500);
    ASSERT_TRUE(fetched());
    EXPECT_FALSE(gf_updateParkedTraffic());
    session.standin().setFault(StandinFault::Truncated, 1, "traffic");
    ASSERT_TRUE(fetched());
    EXPECT_FALSE(gf_updateParkedTraffic());
    EXPECT_EQ(g_parkedTraffic.size(), 2u);

    // A list fetched for the airport before is not handed over for a new one.
    ASSERT_TRUE(fetched());
    g_trafficClient.setParkAirportPosition(std::pair{tvxtest::kEhamLat + 1.0, tvxtest::kEhamLon});
    EXPECT_FALSE(gf_updateParkedTraffic());
}

TEST(TrafficClientStandin, QnhInHectopascalAndInchesOfMercury)
{
    tvxtest::StandinSession session;
    ASSERT_TRUE(g_trafficClient.pollWeather());  // logs in on its own
    EXPECT_EQ(g_qnh.load(), 1019);
    EXPECT_EQ(g_trafficClient.weatherStation(), "EHAM");
    session.standin().setStationQnh("EHAM", 2992);
    ASSERT_TRUE(g_trafficClient.pollWeather());
    EXPECT_EQ(g_qnh.load(), 1013);
    session.standin().setStationQnh("EHAM", 3005);
    ASSERT_TRUE(g_trafficClient.pollWeather());
    EXPECT_EQ(g_qnh.load(), 1018);
    session.standin().setStationQnh("EHAM", 12);  // nonsense: the last value stays
    EXPECT_FALSE(g_trafficClient.pollWeather());
    EXPECT_EQ(g_qnh.load(), 1018);
    // The station is asked once while the aircraft stays within 10 nm.
    EXPECT_EQ(session.standin().stats().nearestmetar, 1);
    gf_setTrafficQueryPosition(50.9, 4.48, 1000.0);
    ASSERT_TRUE(g_trafficClient.pollWeather());
    EXPECT_EQ(g_trafficClient.weatherStation(), "EBBR");
    EXPECT_EQ(g_qnh.load(), 1021);
    EXPECT_EQ(session.standin().stats().nearestmetar, 2);
    EXPECT_EQ(session.standin().stats().weather, 5);
    g_qnh = 1013;
}

TEST(TrafficClientStandin, StatusesOfTheService)
{
    // 401: the session is renewed and the request repeated.
    {
        tvxtest::StandinSession session;
        ASSERT_TRUE(g_trafficClient.login());
        session.standin().expireSessions();
        ASSERT_TRUE(g_trafficClient.pollTraffic());
        EXPECT_EQ(session.standin().stats().auth, 2);
        EXPECT_FALSE(session.capture().batches().empty());
    }
    // 405 at login: waited out and retried.
    {
        tvxtest::StandinSession session;
        session.standin().failNext("auth", 405, 2);
        ASSERT_TRUE(g_trafficClient.login());
        EXPECT_EQ(session.standin().stats().auth, 3);
        EXPECT_TRUE(g_trafficClient.fatalError().empty());
    }
    // The same when the HTTP status line says 200 and only the JSON tells.
    {
        tvxtest::StandinSession session;
        session.standin().setHttpStatusMirrors(false);
        session.standin().failNext("auth", 405);
        ASSERT_TRUE(g_trafficClient.login());
        EXPECT_EQ(session.standin().stats().auth, 2);
    }
    // 402 and 404 at login, 402 later: fatal with a clear error.
    struct Fatal {
        const char* endpoint;
        int status;
        const char* text;
    };
    for (const Fatal& f : {Fatal{"auth", 402, "licence expired (status 402)"},
                           Fatal{"auth", 404, "licence refused (status 404)"},
                           Fatal{"traffic", 402, "licence expired (status 402)"}}) {
        SCOPED_TRACE(f.status);
        tvxtest::StandinSession session;
        session.standin().failNext(f.endpoint, f.status);
        if (std::string(f.endpoint) == "auth") {
            EXPECT_FALSE(g_trafficClient.login());
        } else {
            ASSERT_TRUE(g_trafficClient.login());
            EXPECT_FALSE(g_trafficClient.pollTraffic());
        }
        EXPECT_NE(g_trafficClient.fatalError().find(f.text), std::string::npos) << g_trafficClient.fatalError();
    }
    // A licence the service does not know, and an expired one.
    {
        tvxtest::StandinSession session;
        g_trafficClient.setLicence("NOPE-0000-0000-0000");
        EXPECT_FALSE(g_trafficClient.login());
        EXPECT_EQ(g_trafficClient.fatalError(), "licence refused (status 404) License not found");
        g_trafficClient.resetSession();
        g_trafficClient.setLicence("OLD-0000-0000-0000");
        EXPECT_FALSE(g_trafficClient.login());
        EXPECT_EQ(g_trafficClient.fatalError(), "licence expired (status 402) License expired");
        g_trafficClient.resetSession();
        g_trafficClient.setLicence("bad licence!");
        EXPECT_FALSE(g_trafficClient.login());
        EXPECT_EQ(session.standin().stats().auth, 2);  // never sent
    }
    // 500 and other statuses: logged, nothing handed on, the next request goes on.
    {
        tvxtest::StandinSession session(1);
        ASSERT_TRUE(g_trafficClient.login());
        session.standin().failNext("traffic", 500);
        EXPECT_FALSE(g_trafficClient.pollTraffic());
        EXPECT_TRUE(g_trafficClient.pollTraffic());
        EXPECT_EQ(session.capture().batches().size(), 1u);
        EXPECT_TRUE(g_trafficClient.fatalError().empty());
    }
}

TEST(TrafficClientStandin, RateViolationBacksOffAndReadsTheNewLimit)
{
    tvxtest::StandinSession session(1);
    ASSERT_TRUE(g_trafficClient.login());
    ASSERT_TRUE(g_trafficClient.pollTraffic());  // rrl 150 ...
    EXPECT_EQ(session.standin().stats().rateViolations, 0);
    // ... until the service, under load, asks for 600 ms: the next request is too soon.
    session.standin().setRateLimits(600, 150);
    EXPECT_FALSE(g_trafficClient.pollTraffic());
    EXPECT_EQ(session.standin().stats().rateViolations, 1);
    EXPECT_EQ(g_trafficClient.rateLimit(RequestClass::Traffic), 600ms);  // read from the 406 reply
    // Backed off and paced by the new limit: no further violation.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(g_trafficClient.pollTraffic());
    EXPECT_EQ(session.standin().stats().rateViolations, 1);
    EXPECT_EQ(session.capture().batches().size(), 4u);

    // A forced 406: nothing handed on, the client backs off and goes on.
    session.standin().failNext("traffic", 406);
    EXPECT_FALSE(g_trafficClient.pollTraffic());
    EXPECT_TRUE(g_trafficClient.pollTraffic());
    EXPECT_EQ(session.standin().stats().rateViolations, 1);
    EXPECT_TRUE(g_trafficClient.fatalError().empty());
}

// Requests of one class share its spacing whichever thread sends them: live and parked-traffic
// requests asked at the same moment from two threads go one after the other, never two within the
// service's limit.
TEST(TrafficClientStandin, TwoThreadsShareTheTrafficSpacing)
{
    tvxtest::StandinSession session;
    session.standin().setRateLimits(150, 150);
    ASSERT_TRUE(g_trafficClient.login());
    g_trafficClient.setParkAirportPosition(std::pair{tvxtest::kEhamLat, tvxtest::kEhamLon});
    ASSERT_TRUE(g_trafficClient.pollTraffic());
    int parkedOk = 0;
    std::thread second([&] {
        for (int i = 0; i < 4; ++i) {
            gf_requestParkedTraffic();
            parkedOk += g_trafficClient.pollParkedTraffic() && gf_updateParkedTraffic() ? 1 : 0;
        }
    });
    int liveOk = 0;
    for (int i = 0; i < 4; ++i)
        liveOk += g_trafficClient.pollTraffic() ? 1 : 0;
    second.join();
    EXPECT_EQ(session.standin().stats().rateViolations, 0);
    EXPECT_EQ(parkedOk, 4);
    EXPECT_EQ(liveOk, 4);
    EXPECT_EQ(session.standin().stats().parked, 4);
}

TEST(TrafficClientStandin, BrokenRepliesAreDroppedAndTheClientGoesOn)
{
    struct Case {
        StandinFault fault;
        const char* name;
    };
    for (const Case& c : {Case{StandinFault::Truncated, "truncated"}, Case{StandinFault::Malformed, "malformed"},
                          Case{StandinFault::TruncatedGzip, "truncated gzip"}, Case{StandinFault::Drop, "dropped"},
                          Case{StandinFault::Slow, "slow"}}) {
        SCOPED_TRACE(c.name);
        tvxtest::StandinSession session(1);
        TransportLimits limits;
        limits.transferTimeoutMs = 1000;
        g_trafficClient.setTransportLimits(limits);
        ASSERT_TRUE(g_trafficClient.login());
        ASSERT_TRUE(g_trafficClient.pollTraffic());
        session.standin().setFault(c.fault, 1, "traffic");
        EXPECT_FALSE(g_trafficClient.pollTraffic());
        EXPECT_EQ(session.capture().batches().size(), 1u);
        EXPECT_TRUE(g_trafficClient.pollTraffic());
        EXPECT_EQ(session.capture().batches().size(), 2u);
        EXPECT_TRUE(g_trafficClient.fatalError().empty());
        // The weather side survives the same.
        session.standin().setFault(c.fault, 1, "weather");
        g_qnh = 1000;
        EXPECT_FALSE(g_trafficClient.pollWeather());
        EXPECT_EQ(g_qnh.load(), 1000);
        EXPECT_TRUE(g_trafficClient.pollWeather());
        EXPECT_EQ(g_qnh.load(), 1019);
    }
}

TEST(TrafficClientStandin, WrongTypesKeepTheSoundEntry)
{
    tvxtest::TempFolder folder;
    ASSERT_TRUE(gf_openLog(folder.path(), "test"));
    {
        tvxtest::StandinSession session(1);
        ASSERT_TRUE(g_trafficClient.login());
        session.standin().setFault(StandinFault::WrongTypes, 1, "traffic");
        ASSERT_TRUE(g_trafficClient.pollTraffic());
        const auto batches = session.capture().batches();
        ASSERT_EQ(batches.size(), 1u);
        ASSERT_EQ(batches[0].records.size(), 1u);
        EXPECT_EQ(batches[0].records[0].hexid, 0x4ca7b3u);
        EXPECT_EQ(g_trafficClient.rateLimit(RequestClass::Traffic), 150ms);  // "rrl":"soon" ignored
    }
    gf_closeLog();
    const std::string log = tvxtest::readFile(folder / "Log.txt");
    // One summary line for the reply, not one line per entry.
    EXPECT_NE(log.find("===> traffic reply: 8 entries dropped (first "), std::string::npos) << log;
}

// On the simulated clock the replay moves only with advanceTo: a traffic request is held until the
// clock reaches the next 2-second grid point and answered with the feed of that moment, and the
// clock stops there until the request has been answered.
TEST(TrafficClientStandin, SimClockHoldsRequestsToTheGrid)
{
    tvxtest::StandinSession session(tvxtest::gf_amsterdamScenario(1));
    auto& standin = session.standin();
    standin.setReplayTime(10.5);
    standin.useSimClock(2.0, 2.0);
    ASSERT_TRUE(g_trafficClient.login());
    const auto klmTime = [&](const tvxtest::CapturedBatch& b) {
        const TrafficRecord* r = lf_find(b.records, 0x4ca7b3);
        return r ? r->time - 1767225600.0 : -1.0;
    };

    std::thread first([] { g_trafficClient.pollTraffic(); });
    ASSERT_TRUE(standin.waitFor([](const StandinStats& s) { return s.held == 1; }, 5s));
    EXPECT_TRUE(standin.advanceTo(11.9));  // before the grid point: still held
    EXPECT_EQ(standin.stats().held, 1);
    EXPECT_EQ(standin.stats().traffic, 0);
    EXPECT_TRUE(standin.advanceTo(13.0));  // stops at 12 until answered, then goes on to 13
    first.join();
    EXPECT_DOUBLE_EQ(standin.replayTime(), 13.0);
    ASSERT_TRUE(session.capture().waitForBatches(1, 5s));
    EXPECT_DOUBLE_EQ(klmTime(session.capture().batches()[0]), 12.0);

    // The next request waits for the next grid point after the last answer (14), however soon
    // the client asks again.
    std::thread second([] { g_trafficClient.pollTraffic(); });
    ASSERT_TRUE(standin.waitFor([](const StandinStats& s) { return s.held == 1; }, 5s));
    EXPECT_TRUE(standin.advanceTo(13.5));
    EXPECT_EQ(standin.stats().traffic, 1);
    EXPECT_TRUE(standin.advanceTo(15.0));
    second.join();
    ASSERT_TRUE(session.capture().waitForBatches(2, 5s));
    EXPECT_DOUBLE_EQ(klmTime(session.capture().batches()[1]), 14.0);
    EXPECT_EQ(standin.stats().rateViolations, 0);
}

// Told that the reader polls, the clock stops at the next grid point even before the reader's
// first request (a reader still sleeping between its checks of the position), and goes on once
// that request has been answered and the reader is back; a reader that does not poll holds
// nothing.
TEST(TrafficClientStandin, SimClockWaitsForAPollingReaderBeforeItsFirstRequest)
{
    tvxtest::StandinSession session(tvxtest::gf_amsterdamScenario(1));
    auto& standin = session.standin();
    standin.setReplayTime(10.5);
    standin.useSimClock(2.0, 2.0);
    std::atomic<bool> polls{false};
    standin.setReaderPolls([&] { return polls.load(); });
    ASSERT_TRUE(g_trafficClient.login());

    EXPECT_TRUE(standin.advanceTo(11.0));  // not polling: nothing to wait for
    EXPECT_DOUBLE_EQ(standin.replayTime(), 11.0);
    polls = true;
    std::atomic<bool> advanced{false};
    std::thread clock([&] {
        EXPECT_TRUE(standin.advanceTo(15.0));
        advanced = true;
    });
    // The clock stands at 12 while no request has come.
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (standin.replayTime() < 12.0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    EXPECT_DOUBLE_EQ(standin.replayTime(), 12.0);
    EXPECT_FALSE(advanced.load());
    EXPECT_TRUE(g_trafficClient.pollTraffic());
    const auto klmTime = [](const tvxtest::CapturedBatch& b) {
        const TrafficRecord* r = lf_find(b.records, 0x4ca7b3);
        return r ? r->time - 1767225600.0 : -1.0;
    };
    ASSERT_TRUE(session.capture().waitForBatches(1, 5s));
    EXPECT_DOUBLE_EQ(klmTime(session.capture().batches()[0]), 12.0);
    // The reader comes back for 14, which stops the clock again; then it stops polling.
    std::thread reader([] { g_trafficClient.pollTraffic(); });
    reader.join();
    polls = false;
    clock.join();
    EXPECT_TRUE(advanced.load());
    EXPECT_DOUBLE_EQ(standin.replayTime(), 15.0);
    ASSERT_TRUE(session.capture().waitForBatches(2, 5s));
    EXPECT_DOUBLE_EQ(klmTime(session.capture().batches()[1]), 14.0);
}

// The stand-in stops at any moment: right after start() its listener may not have begun to accept,
// and a stop() then that the listener never saw left it in accept and stop() in join.
TEST(TrafficStandin, StopsRightAfterStart)
{
    for (int i = 0; i < 200; ++i) {
        tvxstandin::TrafficStandin standin(tvxtest::gf_amsterdamScenario(2));
        ASSERT_TRUE(standin.start());
        standin.stop();
    }
}

// On the wall clock the scenario plays once: past its last point the replay time runs on (an
// aircraft that has left stays gone), it does not start the scenario again.
TEST(TrafficStandin, WallClockPlaysTheScenarioOnce)
{
    tvxstandin::TrafficScenario scenario = tvxtest::gf_amsterdamScenario(2);
    for (auto& track : scenario.tracks)
        track.points.resize(1);  // every track at second 0 only: the scenario is 0 s long
    tvxstandin::TrafficStandin standin(std::move(scenario));
    ASSERT_TRUE(standin.start());
    std::this_thread::sleep_for(1300ms);
    EXPECT_GE(standin.replayTime(), 1.3);
}
