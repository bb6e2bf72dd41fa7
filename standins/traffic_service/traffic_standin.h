// The loopback stand-in of the traffic service: an HTTP server on 127.0.0.1 that speaks the
// service's web API (/auth, /deauth, /traffic with locationtraffic, parkedtraffic and history
// buffers, /weather, /nearestmetar) and replays a scenario. It checks sessions (401 for an
// unknown GUID, 405 for too many sessions, 404/402 for unknown/expired licences), enforces the
// rate limits (406, and counts every violation), and has switches for error statuses, slow
// replies, truncated or malformed JSON, wrong value types, truncated gzip and dropped
// connections. Tests and the demo use it; it stops by itself after an idle time.
//
// Sim clock: in a lockstep run (the stand-in simulator stepping frames) the replay follows the
// simulated clock, not the wall clock. useSimClock() switches it on; from then on the replay time
// moves only by advanceTo(), and the traffic and weather requests keep to a poll grid on the
// simulated clock: a request is held until the replay time reaches its due time (the next multiple
// of its class's poll interval after the class's last answer), and advanceTo() stops the clock at
// each due time until the request has come, has been answered, and the program has taken the
// traffic reply (the settled predicate, or the reader's next request). The parked-traffic list,
// which the program's traffic reader asks for between two polls, is answered at once. Session lifetimes count in
// replay time. So what the program receives, and at which simulated moment, does not depend on the
// machine's load.
// Whether a traffic request is due at a grid point: with setReaderPolls() the caller tells (the
// program's reader runs and has a position to ask about), so the clock also waits for a reader
// that has not asked yet, and the only wall-clock limit is kSimClockDeadProgramWait. Without it
// the stand-in guesses from the requests themselves: a class is expected once it has asked, and
// one whose request does not come within kSimClockRequestWait (a stopped reader) is not waited for
// again until its next request.
//
// Threads: the server runs its own listener and worker threads; every public function may be
// called from any thread (state under m_mutex, a leaf lock; the settled predicate is called with
// it held and must not call back).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "traffic_scenario.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace tvxstandin {

enum class StandinFault {
    None,
    Slow,            // the reply waits slowMs before it is sent
    Truncated,       // the JSON body cut in the middle
    Malformed,       // a body that is no JSON
    WrongTypes,      // traffic entries with values of the wrong type, out of range, absurd
    TruncatedGzip,   // a gzip body cut in the middle, sent as Content-Encoding gzip
    Drop,            // the connection closed half-way through the body
};

struct StandinStats {
    int auth = 0, deauth = 0;
    int traffic = 0, parked = 0, buffered = 0;
    int weather = 0, nearestmetar = 0;
    int rateViolations = 0;
    int openSessions = 0;
    int held = 0;  // requests waiting for their due time on the sim clock
    std::string lastSoftware, lastUserAgent, lastAcceptEncoding, lastTrafficForm;
};

class TrafficStandin {
public:
    explicit TrafficStandin(TrafficScenario scenario);
    ~TrafficStandin();
    TrafficStandin(const TrafficStandin&) = delete;
    TrafficStandin& operator=(const TrafficStandin&) = delete;

    // Binds 127.0.0.1 (port 0: a free port) and serves on a thread. It stops by itself after
    // idleStop without a request. False when it cannot bind.
    bool start(int port = 0, std::chrono::seconds idleStop = std::chrono::seconds(600));
    void stop();
    // Returns when the server has stopped (by stop() or after its idle time).
    void waitStopped();
    int port() const { return m_port; }
    // "http://127.0.0.1:<port>/v5"
    std::string apiBase() const;

    // Scenario time (seconds after the scenario's start) of the replay: fixed when set, else
    // running on from 0 at start(), once through the scenario and on past its end (a track is
    // served up to 60 s after its last point, then no more).
    void setReplayTime(double seconds);
    // The wall clock's second 0 is the first traffic request, not start(): a run that starts the
    // stand-in long before the program connects still sees the scenario from its beginning.
    void startClockAtFirstTraffic();
    // The next count replies of the endpoint ("auth", "traffic", "weather", ...) carry the
    // status (and its HTTP code, when mirrored).
    void failNext(const std::string& endpoint, int status, int count = 1);
    // The next count replies of the endpoint ("" = any but auth/deauth) carry the fault.
    void setFault(StandinFault fault, int count = 1, const std::string& endpoint = "");
    void setSlowMs(int ms);
    void setRateLimits(int rrlMs, int wrrlMs);
    // True (default): the HTTP status line mirrors the JSON status; false: always HTTP 200.
    void setHttpStatusMirrors(bool mirror);
    // Forgets every session (the next request with an old GUID gets 401).
    void expireSessions();
    void setStationQnh(const std::string& icao, double qnh);
    // From the next request on the stand-in replays this scenario (the replay time goes on): a test
    // moves the traffic a week on, or takes aircraft out of the feed.
    void replaceScenario(TrafficScenario scenario);

    // ---- sim clock (see above) ----
    static constexpr std::chrono::milliseconds kSimClockRequestWait{5000};
    static constexpr std::chrono::milliseconds kSimClockSettleWait{1000};
    // With setReaderPolls: a due request or hand-over that takes this long means a dead program.
    static constexpr std::chrono::milliseconds kSimClockDeadProgramWait{60000};
    // Switches the sim clock on, the replay time standing at its current value (setReplayTime).
    void useSimClock(double trafficPollSeconds = 2.0, double weatherPollSeconds = 2.0);
    // True once the program has taken the last traffic reply (called while advanceTo() waits).
    void setReplySettled(std::function<bool()> settled);
    // True while the program's traffic reader polls: a request of it is due at every grid point
    // (called while advanceTo() waits).
    void setReaderPolls(std::function<bool()> polls);
    // Moves the replay time forward to the second, stopping at each due traffic request on the way
    // as long as keepWaiting (when given) holds: false once the program exits and its readers
    // stop. False when a due request did not come in time, or (with setReaderPolls) the reader did
    // not take its reply in time (the clock moved on without it).
    bool advanceTo(double seconds, const std::function<bool()>& keepWaiting = {});
    // True once a traffic request has come in (sim clock). While none has and the reader polls
    // (setReaderPolls), waits at most kSimClockRequestWait for one, its answer and the program
    // taking it: a run that starts its replay at the first request does not let the clock run on
    // while the reader is on its way.
    bool awaitFirstTraffic();
    double replayTime() const;

    StandinStats stats() const;
    // Waits until the predicate holds for the statistics, at most the given time.
    bool waitFor(const std::function<bool(const StandinStats&)>& predicate, std::chrono::milliseconds wait) const;

private:
    struct Session {
        std::string licence;
        std::chrono::steady_clock::time_point lastUse;
        double lastUseReplay = 0.0;  // replay time of the last use (sim clock)
        std::chrono::steady_clock::time_point lastRequest[2];
        bool used[2] = {false, false};
    };
    struct Reply {
        int status = 200;
        std::string body;
    };

    void lf_handle(const std::string& endpoint, const httplib::Request& req, httplib::Response& res);
    Reply lf_auth(const httplib::Request& req);
    Reply lf_traffic(const httplib::Request& req, double replayTime);
    Reply lf_nearestMetar(const httplib::Request& req);
    Reply lf_weather(const httplib::Request& req);
    double lf_replayTime() const;
    void lf_watch(std::chrono::seconds idleStop);
    // Sim clock: class 0 traffic, 1 weather and metar; -1 for the session endpoints.
    static int lf_pollClass(const std::string& endpoint);
    double lf_dueTime(int cls) const;
    void lf_holdUntilDue(int cls);
    bool lf_sessionExpired(const Session& s) const;

    TrafficScenario m_scenario;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_listener;
    std::thread m_watchdog;
    std::atomic<bool> m_listenerDone{false};
    int m_port = 0;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    bool m_stopping = false;
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_lastRequest;
    double m_fixedTime = -1.0;
    bool m_clockWaitsForTraffic = false;
    std::map<std::string, std::vector<int>> m_forced;  // endpoint -> statuses to give, front first
    StandinFault m_fault = StandinFault::None;
    int m_faultCount = 0;
    std::string m_faultEndpoint;
    int m_slowMs = 3000;
    int m_rrl = 2000, m_wrrl = 2000;
    bool m_mirror = true;
    std::map<std::string, Session> m_sessions;
    int m_nextGuid = 1;
    StandinStats m_stats;

    bool m_simClock = false;
    double m_pollSeconds[2] = {2.0, 2.0};
    bool m_answeredOnce[2] = {false, false};
    double m_lastAnswer[2] = {0.0, 0.0};  // replay time of the class's last answer
    bool m_expect[2] = {false, false};   // the class's reader polls (a request came since the last give-up)
    std::uint64_t m_arrived[2] = {0, 0}, m_answered[2] = {0, 0};
    bool m_lastReplyHadTraffic = false;  // the last traffic answer carried aircraft
    int m_lastTrafficEntries = 0;
    std::function<bool()> m_settled;
    std::function<bool()> m_readerPolls;
    bool m_readerGaveUp = false;  // with m_readerPolls: not waited for again until its next request
};

}  // namespace tvxstandin
