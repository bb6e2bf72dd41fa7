// TrafficClient: the program's session with the traffic service. It logs in with the licence of
// the key file, keeps the session id and the service's rate limits, sends every request through
// one place that paces it, renews the session on 401, waits out 405, backs off on 406 and stops
// on a refused licence, and parses the replies into the feed records (live traffic, history
// buffers, parked traffic, QNH). The program has one client, g_trafficClient.
//
// Threads: the traffic reader calls pollParkedTraffic() and pollTraffic(), the weather reader
// pollWeather(); the main loop asks for the parked list (requestParkedTraffic) and takes it when
// it is in (takeParkedTraffic), never waiting on the network; login/logout run on the start-up and
// exit threads. Each thread uses its own transfer handle. Session, rate-limit and stop state are
// shared under m_mutex (a leaf lock); the live-record vector and the callsign filter belong to the
// traffic reader; the buffer maps and the parked list handed over are guarded by m_bufferMutex
// (leaf lock).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "traffic_service/feed_reply.h"
#include "traffic_service/traffic_records.h"
#include "traffic_service/web_transport.h"

// Request classes the service paces separately (sessions are not paced).
enum class RequestClass { Traffic = 0, Weather = 1, Session = 2 };

// One reply of the service, read from its JSON body.
struct ServiceReply {
    int status = 0;           // JSON "status"; the HTTP status when the body has none; 0 = no usable reply
    nlohmann::json json;      // the body's object when status != 0
    std::string message;      // the body's "message", when any
    std::string problem;      // transport error or broken body; empty otherwise
    std::chrono::steady_clock::time_point sent;  // when the request went out
};

struct QueryBox {
    double bottom = 0.0, top = 0.0, left = 0.0, right = 0.0;  // degrees
};

// The square box of half-size rangeNm around a position, longitudes wrapped into -180..180.
QueryBox gf_queryBox(double lat, double lon, double rangeNm);

class TrafficClient {
public:
    TrafficClient();
    TrafficClient(const TrafficClient&) = delete;
    TrafficClient& operator=(const TrafficClient&) = delete;

    // ---- Set-up (start-up thread, before the readers) -------------------------------------
    // Base of every address, version segment included ("https://host/v5"). The compiled default
    // or TAVIX_API_BASE.
    void setApiBase(std::string base);
    std::string apiBase() const;
    void setLicence(std::string licence);
    void setSoftwareName(std::string name);
    void setTransportLimits(const TransportLimits& limits);
    // The wait before retrying a login refused with 405 (too many sessions); 10 s.
    void setSessionRetryWait(std::chrono::milliseconds wait);
    // The first fetch of history buffers: count and seconds apart (5 and 6).
    static constexpr int kBufferCount = 5;
    static constexpr int kBufferTime = 6;

    // ---- Session --------------------------------------------------------------------------
    // /auth with the licence. False when stopped or refused (a refused licence also sets the
    // fatal error, fatalError()), and when the service did not answer three tries: the next login,
    // whoever makes it, then waits a growing time (2 s doubling to 30 s) while the status line
    // says so. An answer ends that wait and clears the line.
    bool login();
    // /deauth when a session is open, given at most 3 s.
    void logout();
    bool loggedIn() const;
    // The professional account type (type 2 of the login reply).
    bool isProfessional() const { return m_professional.load(); }
    std::chrono::milliseconds rateLimit(RequestClass cls) const;

    // Sends one request of the class, waiting for the class's rate limit first; handles 401
    // (new session, request repeated), 406 (backs off) and 402 (fatal). Any thread but the main
    // loop (debug builds abort there). With feed, the body is read into it (a traffic reply) and
    // ServiceReply::json holds its envelope only.
    // With placeAt, the request goes at the first moment not before its turn that lies a whole
    // number of seconds from placeAt: at most a second later than the spacing alone, never sooner.
    ServiceReply request(RequestClass cls, const std::string& endpoint, FormFields form,
                         FeedReply* feed = nullptr,
                         std::optional<std::chrono::steady_clock::time_point> placeAt = std::nullopt);

    // ---- Live traffic (traffic reader) ------------------------------------------------------
    // One locationtraffic request for the box around the user aircraft, with the history
    // buffers when they are wanted; the reply is handed on. False when no reply was handled.
    bool pollTraffic();
    // Parses a whole traffic reply (live entries and buffers) and hands the batches on.
    void handleTrafficReply(const FeedReply& reply);
    // The same for a reply given as a JSON document.
    void handleTrafficReply(const nlohmann::json& reply);
    // One feed entry: key (hex address) and its array. Nothing when the entry does not count;
    // reason then names why (nullptr for an entry skipped by rule rather than broken).
    std::optional<TrafficRecord> processLine(std::string_view key, const FeedEntry& entry, const char*& reason) const;
    std::optional<TrafficRecord> processLine(const std::string& key, const nlohmann::json& entry,
                                             const char*& reason) const;
    // The records of the reply being handed over (g_liveRecords): gf_handleTrafficBatch takes
    // them from here, by moving the vector or copying; what is left is cleared after the call.
    std::vector<TrafficRecord>& liveRecords() { return m_liveRecords; }
    // When the request of the reply being handed over (live or history) went out (steady clock;
    // its epoch when the reply came from no request, as in tests).
    std::chrono::steady_clock::time_point liveRequestSentAt() const { return m_liveSentAt; }
    // Where the feed hand-over wants the next live request, to read the service's clock (see
    // request()'s placeAt); nothing: at its turn.
    void placeLiveRequest(std::optional<std::chrono::steady_clock::time_point> at) { m_livePlace = at; }
    // The callsign filter (BLOCK_CALLSIGN): true when the record's callsign is blocked; posts
    // simulator event kind 5 the first time a hexid is blocked.
    bool lf_checkCallsign(const TrafficRecord& record);

    // ---- Parked traffic -----------------------------------------------------------------------
    std::optional<ParkedTrafficRecord> processParkedTrafficLine(const std::string& key,
                                                                const nlohmann::json& entry,
                                                                double nowEpoch, const char*& reason) const;
    // Main loop: asks the traffic reader for a fresh list of the park airport's parked aircraft.
    void requestParkedTraffic() { m_parkedWanted = true; }
    // Traffic reader: when a list was asked for and a park airport is set, one parkedtraffic
    // request for the 3 nm box around it; the list read is kept for takeParkedTraffic (replacing
    // one not yet taken), a refusal (400, 403) likewise. True when a request went out.
    bool pollParkedTraffic();
    // Main loop: moves the newest list for the current park airport into out, once. False when
    // none is in. A refused request raises tvx::SysErrorException here.
    bool takeParkedTraffic(std::vector<ParkedTrafficRecord>& out);

    // ---- Weather (weather reader) -----------------------------------------------------------
    // The nearest METAR station (when none yet or the user moved 10 nm) and /weather, which
    // sets g_qnh. False when no QNH reply was handled.
    bool pollWeather();
    std::string weatherStation() const;

    // ---- State read by the live traffic and the parking -------------------------------------
    // True once a traffic reply has been handled since the login (the start-up waits for it).
    bool hasFirstReply() const { return m_firstReply.load(); }
    // Unix seconds of the last traffic data; 0 after an empty live batch (an empty history buffer
    // keeps it).
    double trafficDataTime() const { return m_trafficDataTime.load(); }
    void setTrafficDataTime(double t);
    // Park-airport elevation in feet, for ground entries near the park airport.
    void setReferenceElevation(std::optional<double> feet);
    std::optional<double> referenceElevation() const;
    // Park-airport position: the centre of the parked-traffic box.
    void setParkAirportPosition(std::optional<std::pair<double, double>> latLon);
    std::optional<std::pair<double, double>> parkAirportPosition() const;

    // ---- History-buffer maps ----------------------------------------------------------------
    void takeBufferMaps(std::set<std::string>& callsigns, std::set<std::uint32_t>& hexids);
    // The next poll fetches the buffers while g_bufferReceived is raised (gf_requestHistoryBuffers).
    void requestHistoryBuffers();
    bool buffersFetched() const { return m_buffersFetched.load(); }

    // ---- Stop and errors --------------------------------------------------------------------
    void requestStop();
    void resetStop();
    bool stopRequested() const { return m_stop.load(); }
    // Waits, returning early (false) when a stop is requested.
    bool sleepFor(std::chrono::milliseconds wait);
    // The error that ended the session for good (refused licence); empty otherwise.
    std::string fatalError() const;
    void setFatalError(const std::string& text);
    // Clears the session, the buffer state and the error (restart in the same process).
    void resetSession();

private:
    using Clock = std::chrono::steady_clock;
    friend struct TrafficClientTestAccess;

    bool lf_waitForSlot(RequestClass cls, std::optional<Clock::time_point> placeAt);
    void lf_afterRequest(RequestClass cls, const ServiceReply& reply);
    void lf_releaseSlot(RequestClass cls);  // a request that was never sent
    bool lf_renewSession(const std::string& failedGuid);
    // The login's wait after tries the service did not answer; false when stopped meanwhile.
    bool lf_waitForLoginTurn();
    void lf_loginFailed();    // one more such try: the next waits longer, the status line says so
    void lf_loginAnswered();  // the service answers: no more waiting, the line cleared
    void lf_readRateLimits(const nlohmann::json& body);
    // With a limit above 0, the connection and the whole transfer take no longer than it.
    ServiceReply lf_post(const std::string& endpoint, const FormFields& form, FeedReply* feed,
                         std::chrono::milliseconds limit = std::chrono::milliseconds(0));
    // Turns the live entries of one data object into g_liveRecords and hands them over with
    // delay 30; an empty batch sets the traffic data time to 0.
    void lf_receive(const FeedReply& reply, const FeedObject& data);
    void lf_processBuffer(const FeedReply& reply, int index, const FeedObject& buffer, bool handOver);
    void lf_parseEntries(const FeedReply& reply, const FeedObject& data, std::vector<TrafficRecord>& out,
                         std::string_view what) const;
    std::string lf_toffset() const;

    // Set once at start-up.
    std::string m_apiBase;
    std::string m_licence;
    std::string m_software;
    TransportLimits m_limits;
    std::chrono::milliseconds m_sessionRetryWait{10000};

    // Guarded by m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_stopCv;
    std::string m_guid;
    std::chrono::milliseconds m_rate[2] = {std::chrono::milliseconds(2000), std::chrono::milliseconds(2000)};
    Clock::time_point m_nextAllowed[2] = {};
    bool m_inFlight[2] = {false, false};
    int m_failures[2] = {0, 0};
    std::string m_fatal;
    int m_loginFailures = 0;         // login tries in a row the service did not answer
    Clock::time_point m_nextLogin{};  // no login try before this
    std::string m_outageStatus;      // the status text shown for them, until the service answers
    std::optional<double> m_referenceElevation;
    std::optional<std::pair<double, double>> m_parkAirport;
    std::string m_station;
    double m_stationLat = 0.0, m_stationLon = 0.0;

    // Serialises logins so that two readers meeting 401 open one session, not two.
    std::mutex m_sessionMutex;

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_professional{false};
    std::atomic<double> m_trafficDataTime{0.0};
    std::atomic<bool> m_firstReply{false};

    // Traffic reader only.
    FeedReply m_feedReply;  // the last traffic reply, its storage kept between replies
    std::vector<TrafficRecord> m_liveRecords;
    Clock::time_point m_liveSentAt{};
    std::optional<Clock::time_point> m_livePlace;
    bool m_firstReplyDone = false;
    bool m_buffersRefused = false;
    bool m_enveloped = true;  // the reply being parsed has its "data" wrapper
    std::string m_blockText;
    std::set<std::uint32_t> m_blockedPosted;
    // Read once per reply, so an entry's parse needs no lock.
    struct ParseContext {
        double qnhFeetShift = 0.0;  // (g_qnh - 1013) × feet per hPa
        std::optional<double> referenceElevation;
        std::optional<std::pair<double, double>> parkAirport;
    } m_ctx;
    void lf_beginReply();

    // Guarded by m_bufferMutex.
    std::mutex m_bufferMutex;
    std::set<std::string> m_seenCallsigns;
    std::set<std::uint32_t> m_seenHexids;
    // The parked list read by the traffic reader and not yet taken, with the park-airport position
    // it was asked for; a refusal of the request (status and message) waiting to be raised.
    std::optional<std::vector<ParkedTrafficRecord>> m_parkedList;
    std::pair<double, double> m_parkedFor{0.0, 0.0};
    int m_parkedRefusedStatus = 0;
    std::string m_parkedRefusal;
    std::atomic<bool> m_parkedWanted{false};
    std::atomic<bool> m_buffersFetched{false};
};

extern TrafficClient g_trafficClient;

// Feet of altitude per hectopascal of QNH difference, used to correct the feed's pressure
// altitude (standard pressure 1013) to the current QNH.
inline constexpr double kFeetPerHectopascal = 27.0;
// Compiled default of the API base.
inline constexpr const char* kDefaultApiBase = "https://rtwa.flyrealtraffic.com/v5";
