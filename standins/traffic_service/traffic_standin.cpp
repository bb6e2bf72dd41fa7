// The traffic-service stand-in's server; see traffic_standin.h.
// Threads: httplib's worker threads run the handlers; the watchdog stops an idle server.
#include "traffic_standin.h"

#include <httplib.h>

#include <algorithm>
#include <cmath>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace tvxstandin {

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr auto kSessionLifetime = std::chrono::seconds(120);

double lf_distanceNm(double lat1, double lon1, double lat2, double lon2)
{
    constexpr double d2r = M_PI / 180.0;
    const double dLat = (lat2 - lat1) * d2r;
    const double dLon = (lon2 - lon1) * d2r;
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2)
        + std::cos(lat1 * d2r) * std::cos(lat2 * d2r) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 6875.493541569878 * std::asin(std::sqrt(std::clamp(h, 0.0, 1.0)));
}

bool lf_inBox(double lat, double lon, double bottom, double top, double left, double right)
{
    if (lat < bottom || lat > top)
        return false;
    return left <= right ? (lon >= left && lon <= right) : (lon >= left || lon <= right);  // across 180°
}

bool lf_number(const httplib::Request& req, const char* name, double& out)
{
    if (!req.has_param(name))
        return false;
    const std::string text = req.get_param_value(name);
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && std::isfinite(out);
}

std::string lf_error(int status, const std::string& message)
{
    return json{{"status", status}, {"message", message}, {"server", "standin"}}.dump();
}

// The feed's entry array for one track point (index layout of the service's live entries).
json lf_entry(const ScenarioTrack& track, const TrackPoint& p, double epoch)
{
    json roll = p.roll ? json(*p.roll) : json(nullptr);
    json hdg = p.heading ? json(*p.heading) : json("null");
    // The service gives no altitude on the ground: 0.
    const long alt = p.onGround ? 0 : std::lround(p.alt);
    json e = json::array({track.hex, p.lat, p.lon, p.track, alt, p.gs, "1000", "X",
                          track.type.empty() ? json("") : json(track.type),
                          track.registration.empty() ? json("null") : json(track.registration), epoch,
                          track.origin, track.destination, track.callsign, p.onGround ? 1 : 0, std::lround(p.vr),
                          "", "X_adsb_icao", std::lround(p.alt + 100), nullptr, p.gs, nullptr, nullptr, roll,
                          nullptr, hdg, std::lround(p.vr), "none", "A3", 1013.2, nullptr, nullptr, nullptr, "",
                          8, 186, 1, 10, 2, 0.3, -18.6, 0, 0, nullptr, nullptr, nullptr, nullptr, 1});
    return e;
}

// A reply whose traffic entries are broken in every way the client must survive, plus one
// sound entry (hex 4ca7b3) that must come through.
std::string lf_wrongTypesBody(double epoch)
{
    auto good = [&](const char* hex) {
        return json::array({hex, 52.3, 4.76, 240.0, 1200, 140.0, "1000", "X", "B738", "PH-BXA", epoch, "AMS",
                            "LHR", "KLM1234", 0, -700, "", "X_adsb_icao"});
    };
    json data = json::object();
    data["4ca7b3"] = good("4ca7b3");
    json latText = good("4ca7b4");
    latText[1] = "north";
    data["4ca7b4"] = latText;
    json latRange = good("4ca7b5");
    latRange[1] = 123.0;
    data["4ca7b5"] = latRange;
    json shortArray = json::array({"4ca7b6", 52.0, 4.0});
    data["4ca7b6"] = shortArray;
    data["zzzzzz"] = good("zzzzzz");
    data["4ca7b7"] = "not an array";
    json noTime = good("4ca7b8");
    noTime[10] = nullptr;
    data["4ca7b8"] = noTime;
    json objectAlt = good("4ca7b9");
    objectAlt[4] = json::object({{"ft", 1200}});
    objectAlt[18] = json::array();
    data["4ca7b9"] = objectAlt;
    json hugeAlt = good("4ca7ba");
    hugeAlt[4] = 1e300;
    data["4ca7ba"] = hugeAlt;
    return json{{"data", data}, {"full_count", "many"}, {"rrl", "soon"}, {"status", 200}, {"dataepoch", epoch}}.dump();
}

}  // namespace

TrafficStandin::TrafficStandin(TrafficScenario scenario) : m_scenario(std::move(scenario)) {}

TrafficStandin::~TrafficStandin() { stop(); }

std::string TrafficStandin::apiBase() const { return fmt::format("http://127.0.0.1:{}/v5", m_port); }

bool TrafficStandin::start(int port, std::chrono::seconds idleStop)
{
    m_server = std::make_unique<httplib::Server>();
    m_server->set_tcp_nodelay(true);
    m_server->set_keep_alive_max_count(100000);
    m_server->set_keep_alive_timeout(1);  // stop() waits this long for idle connections
    for (const char* endpoint : {"auth", "deauth", "traffic", "weather", "nearestmetar"}) {
        const std::string name = endpoint;
        m_server->Post("/v5/" + name, [this, name](const httplib::Request& req, httplib::Response& res) {
            lf_handle(name, req, res);
        });
    }
    if (port == 0)
        m_port = m_server->bind_to_any_port("127.0.0.1");
    else
        m_port = m_server->bind_to_port("127.0.0.1", port) ? port : -1;
    if (m_port <= 0)
        return false;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = false;
        m_started = m_lastRequest = Clock::now();
    }
    m_listenerDone = false;
    m_listener = std::thread([this] {
        m_server->listen_after_bind();
        m_listenerDone = true;
    });
    // The server's stop() does nothing until its listener runs: return once it does, so that a
    // stop() at any moment after start() ends it.
    while (!m_server->is_running() && !m_listenerDone)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    m_watchdog = std::thread([this, idleStop] { lf_watch(idleStop); });
    return true;
}

void TrafficStandin::lf_watch(std::chrono::seconds idleStop)
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        m_cv.wait_for(lock, std::chrono::seconds(1));
        if (!m_stopping && Clock::now() - m_lastRequest > idleStop) {
            lock.unlock();
            m_server->stop();
            return;
        }
    }
}

void TrafficStandin::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_cv.notify_all();
    if (m_server)
        m_server->stop();
    if (m_listener.joinable())
        m_listener.join();
    if (m_watchdog.joinable())
        m_watchdog.join();
}

void TrafficStandin::waitStopped()
{
    if (m_listener.joinable())
        m_listener.join();
}

void TrafficStandin::startClockAtFirstTraffic()
{
    std::lock_guard lock(m_mutex);
    m_clockWaitsForTraffic = true;
}

void TrafficStandin::setReplayTime(double seconds)
{
    {
        std::lock_guard lock(m_mutex);
        m_fixedTime = seconds;
    }
    m_cv.notify_all();
}

void TrafficStandin::failNext(const std::string& endpoint, int status, int count)
{
    std::lock_guard lock(m_mutex);
    for (int i = 0; i < count; ++i)
        m_forced[endpoint].push_back(status);
}

void TrafficStandin::setFault(StandinFault fault, int count, const std::string& endpoint)
{
    std::lock_guard lock(m_mutex);
    m_fault = fault;
    m_faultCount = count;
    m_faultEndpoint = endpoint;
}

void TrafficStandin::setSlowMs(int ms)
{
    std::lock_guard lock(m_mutex);
    m_slowMs = ms;
}

void TrafficStandin::setRateLimits(int rrlMs, int wrrlMs)
{
    std::lock_guard lock(m_mutex);
    m_rrl = rrlMs;
    m_wrrl = wrrlMs;
}

void TrafficStandin::setHttpStatusMirrors(bool mirror)
{
    std::lock_guard lock(m_mutex);
    m_mirror = mirror;
}

void TrafficStandin::expireSessions()
{
    std::lock_guard lock(m_mutex);
    m_sessions.clear();
    m_stats.openSessions = 0;
}

void TrafficStandin::setStationQnh(const std::string& icao, double qnh)
{
    std::lock_guard lock(m_mutex);
    for (auto& s : m_scenario.stations)
        if (s.icao == icao)
            s.qnh = qnh;
}

void TrafficStandin::replaceScenario(TrafficScenario scenario)
{
    std::lock_guard lock(m_mutex);
    m_scenario = std::move(scenario);
}

StandinStats TrafficStandin::stats() const
{
    std::lock_guard lock(m_mutex);
    return m_stats;
}

bool TrafficStandin::waitFor(const std::function<bool(const StandinStats&)>& predicate,
                             std::chrono::milliseconds wait) const
{
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, wait, [&] { return predicate(m_stats); });
}

// ---- Sim clock ----------------------------------------------------------------------------

int TrafficStandin::lf_pollClass(const std::string& endpoint)
{
    if (endpoint == "traffic")
        return 0;
    return endpoint == "weather" || endpoint == "nearestmetar" ? 1 : -1;
}

bool TrafficStandin::lf_sessionExpired(const Session& s) const
{
    if (m_simClock)
        return lf_replayTime() - s.lastUseReplay > static_cast<double>(kSessionLifetime.count());
    return Clock::now() - s.lastUse > kSessionLifetime;
}

// The next point of the class's poll grid after its last answer; the first request waits for the
// next grid point from now.
double TrafficStandin::lf_dueTime(int cls) const
{
    const double step = m_pollSeconds[cls];
    if (m_answeredOnce[cls])
        return (std::floor(m_lastAnswer[cls] / step + 1e-9) + 1.0) * step;
    return std::ceil(lf_replayTime() / step - 1e-9) * step;
}

void TrafficStandin::lf_holdUntilDue(int cls)
{
    std::unique_lock lock(m_mutex);
    if (!m_simClock)
        return;
    ++m_arrived[cls];
    m_expect[cls] = true;
    if (cls == 0)
        m_readerGaveUp = false;
    const double due = lf_dueTime(cls);
    ++m_stats.held;
    m_cv.notify_all();
    m_cv.wait(lock, [&] { return m_stopping || !m_simClock || m_fixedTime >= due - 1e-9; });
    --m_stats.held;
}

void TrafficStandin::useSimClock(double trafficPollSeconds, double weatherPollSeconds)
{
    std::lock_guard lock(m_mutex);
    m_simClock = true;
    m_pollSeconds[0] = trafficPollSeconds > 0.0 ? trafficPollSeconds : 2.0;
    m_pollSeconds[1] = weatherPollSeconds > 0.0 ? weatherPollSeconds : 2.0;
    if (m_fixedTime < 0.0)
        m_fixedTime = 0.0;
}

void TrafficStandin::setReplySettled(std::function<bool()> settled)
{
    std::lock_guard lock(m_mutex);
    m_settled = std::move(settled);
}

void TrafficStandin::setReaderPolls(std::function<bool()> polls)
{
    std::lock_guard lock(m_mutex);
    m_readerPolls = std::move(polls);
}

double TrafficStandin::replayTime() const
{
    std::lock_guard lock(m_mutex);
    return lf_replayTime();
}

bool TrafficStandin::advanceTo(double seconds, const std::function<bool()>& keepWaiting)
{
    std::unique_lock lock(m_mutex);
    bool ok = true;
    auto waiting = [&] { return !keepWaiting || keepWaiting(); };
    // Told by the caller, a request is due as long as the reader polls; else once it has asked.
    const bool told = static_cast<bool>(m_readerPolls);
    auto due = [&] { return told ? !m_readerGaveUp && m_readerPolls() : m_expect[0]; };
    const auto requestWait = told ? kSimClockDeadProgramWait : kSimClockRequestWait;
    const auto settleWait = told ? kSimClockDeadProgramWait : kSimClockSettleWait;
    while (m_simClock && !m_stopping && waiting() && due()) {
        // Only the traffic requests stop the clock; weather requests keep to their grid but
        // change nothing that moves (the stations' QNH is fixed).
        const int cls = 0;
        const double dueTime = lf_dueTime(cls);
        if (dueTime > seconds + 1e-9)
            break;
        m_fixedTime = std::max(m_fixedTime, dueTime);
        m_cv.notify_all();
        const std::uint64_t answered = m_answered[cls];
        const auto until = Clock::now() + requestWait;
        while (!m_stopping && m_answered[cls] == answered && Clock::now() < until && waiting() && due())
            m_cv.wait_for(lock, std::chrono::milliseconds(1));
        if (m_answered[cls] == answered) {
            if (Clock::now() >= until) {
                // The reader has stopped or hangs: go on without it.
                m_expect[cls] = false;
                m_readerGaveUp = told;
                ok = false;
            }
            continue;
        }
        if (!m_lastReplyHadTraffic)
            continue;
        // The reader takes the reply at this simulated moment: wait until the program has it
        // (handed over, or the reader is back with its next request).
        const std::uint64_t arrived = m_arrived[0];
        const auto settleUntil = Clock::now() + settleWait;
        while (!m_stopping && m_arrived[0] == arrived && !(m_settled && m_settled()) && waiting()
               && (!told || m_readerPolls())) {
            if (Clock::now() >= settleUntil) {
                ok = ok && !told;  // told that the reader polls, it hangs
                break;
            }
            m_cv.wait_for(lock, std::chrono::microseconds(200));
        }
    }
    if (m_fixedTime < seconds) {
        m_fixedTime = seconds;
        m_cv.notify_all();
    }
    return ok;
}

bool TrafficStandin::awaitFirstTraffic()
{
    std::unique_lock lock(m_mutex);
    if (m_arrived[0] > 0)
        return true;
    if (!m_readerPolls || !m_readerPolls())
        return false;
    // The request, its answer, and the program taking it (or the reader back with its next one).
    const auto until = Clock::now() + kSimClockRequestWait;
    m_cv.wait_until(lock, until, [&] { return m_stopping || m_arrived[0] > 0; });
    while (!m_stopping && m_arrived[0] == 1 && Clock::now() < until
           && !(m_answered[0] > 0 && (!m_lastReplyHadTraffic || (m_settled && m_settled()))))
        m_cv.wait_for(lock, std::chrono::microseconds(200));
    return m_arrived[0] > 0;
}

double TrafficStandin::lf_replayTime() const
{
    if (m_fixedTime >= 0.0)
        return m_fixedTime;
    if (m_clockWaitsForTraffic)
        return 0.0;
    // Past the scenario's end the time runs on: the aircraft that have left stay gone.
    return std::chrono::duration<double>(Clock::now() - m_started).count();
}

// ---- Requests -----------------------------------------------------------------------------

void TrafficStandin::lf_handle(const std::string& endpoint, const httplib::Request& req, httplib::Response& res)
{
    Reply reply;
    StandinFault fault = StandinFault::None;
    int slowMs = 0;
    bool mirror = true;
    double replayTime = 0.0;
    // The parked-traffic list is asked for by the traffic reader between two live polls: it is
    // answered at once, off the poll grid, so that the live polls keep their simulated moments.
    const int pollCls = req.get_param_value("querytype") == "parkedtraffic" ? -1 : lf_pollClass(endpoint);
    if (pollCls >= 0)
        lf_holdUntilDue(pollCls);
    {
        std::lock_guard lock(m_mutex);
        m_lastRequest = Clock::now();
        if (m_clockWaitsForTraffic && pollCls == 0) {
            m_clockWaitsForTraffic = false;
            m_started = m_lastRequest;
        }
        m_lastTrafficEntries = 0;
        m_stats.lastUserAgent = req.get_header_value("User-Agent");
        m_stats.lastAcceptEncoding = req.get_header_value("Accept-Encoding");
        mirror = m_mirror;
        replayTime = lf_replayTime();
        const bool session = endpoint == "auth" || endpoint == "deauth";
        if (m_fault != StandinFault::None && m_faultCount > 0
            && (m_faultEndpoint.empty() ? !session : m_faultEndpoint == endpoint)) {
            fault = m_fault;
            slowMs = m_slowMs;
            if (--m_faultCount == 0)
                m_fault = StandinFault::None;
        }

        auto forced = m_forced.find(endpoint);
        if (forced != m_forced.end() && !forced->second.empty()) {
            const int status = forced->second.front();
            forced->second.erase(forced->second.begin());
            reply = {status, lf_error(status, fmt::format("forced status {}", status))};
            if (endpoint == "auth")
                ++m_stats.auth;
        } else if (endpoint == "auth") {
            reply = lf_auth(req);
        } else {
            // Every other endpoint needs a live session and keeps to its class's rate limit.
            const std::string guid = req.has_param("GUID") ? req.get_param_value("GUID") : std::string();
            auto it = m_sessions.find(guid);
            const auto now = Clock::now();
            if (it != m_sessions.end() && lf_sessionExpired(it->second)) {
                m_sessions.erase(it);
                it = m_sessions.end();
                m_stats.openSessions = static_cast<int>(m_sessions.size());
            }
            if (endpoint == "deauth") {
                ++m_stats.deauth;
                m_expect[0] = m_expect[1] = false;  // the readers have stopped
                if (it != m_sessions.end()) {
                    m_sessions.erase(it);
                    m_stats.openSessions = static_cast<int>(m_sessions.size());
                    reply = {200, json{{"status", 200}, {"message", "Session terminated"}}.dump()};
                } else {
                    reply = {401, lf_error(401, "GUID not found")};
                }
            } else if (it == m_sessions.end()) {
                reply = {401, lf_error(401, "GUID not found or expired")};
            } else {
                Session& s = it->second;
                s.lastUse = now;
                s.lastUseReplay = replayTime;
                const int cls = endpoint == "traffic" ? 0 : 1;
                const int limit = cls == 0 ? m_rrl : m_wrrl;
                // On the sim clock the requests were held to their poll grid instead.
                if (!m_simClock && s.used[cls] && now - s.lastRequest[cls] < std::chrono::milliseconds(limit)) {
                    ++m_stats.rateViolations;
                    json body = json::parse(lf_error(406, "Request rate violation"));
                    body[cls == 0 ? "rrl" : "wrrl"] = limit;
                    reply = {406, body.dump()};
                } else if (endpoint == "traffic") {
                    reply = lf_traffic(req, replayTime);
                } else if (endpoint == "weather") {
                    ++m_stats.weather;
                    reply = lf_weather(req);
                } else {
                    ++m_stats.nearestmetar;
                    reply = lf_nearestMetar(req);
                }
                s.used[cls] = true;
                s.lastRequest[cls] = now;
            }
        }
        if (m_simClock && pollCls >= 0) {
            m_answeredOnce[pollCls] = true;
            m_lastAnswer[pollCls] = replayTime;
            ++m_answered[pollCls];
            if (pollCls == 0)
                m_lastReplyHadTraffic = fault == StandinFault::None && reply.status == 200 && m_lastTrafficEntries > 0;
        }
    }
    m_cv.notify_all();

    const int http = mirror ? reply.status : 200;
    switch (fault) {
    case StandinFault::None:
        break;
    case StandinFault::Slow: {
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::milliseconds(slowMs), [this] { return m_stopping; });
        break;
    }
    case StandinFault::Truncated:
        reply.body = reply.body.substr(0, reply.body.size() / 2);
        break;
    case StandinFault::Malformed:
        reply.body = "<html><body>502 Bad Gateway</body></html> {\"status\": 200, \"data\": {\"4ca7b3\": [1,2,,]";
        break;
    case StandinFault::WrongTypes:
        reply.body = lf_wrongTypesBody(m_scenario.start + replayTime);
        break;
    case StandinFault::TruncatedGzip: {
        std::string packed;
        httplib::detail::gzip_compressor gz;
        gz.compress(reply.body.data(), reply.body.size(), true, [&](const char* data, size_t n) {
            packed.append(data, n);
            return true;
        });
        res.status = http;
        res.set_header("Content-Encoding", "gzip");
        res.set_content(packed.substr(0, packed.size() / 2), "application/octet-stream");
        return;
    }
    case StandinFault::Drop: {
        const auto body = std::make_shared<std::string>(std::move(reply.body));
        res.status = http;
        res.set_content_provider(body->size(), "application/octet-stream",
                                 [body](size_t, size_t, httplib::DataSink& sink) {
                                     sink.write(body->data(), body->size() / 2);
                                     return false;  // closes the connection mid-body
                                 });
        return;
    }
    }
    res.status = http;
    res.set_content(reply.body, "application/json");
}

TrafficStandin::Reply TrafficStandin::lf_auth(const httplib::Request& req)
{
    ++m_stats.auth;
    std::string licence = req.has_param("license") ? req.get_param_value("license") : std::string();
    if (licence.empty() && req.has_param("token"))
        licence = req.get_param_value("token");
    m_stats.lastSoftware = req.get_param_value("software");
    if (licence.empty() || !req.has_param("software"))
        return {400, lf_error(400, "Missing parameter: license or software")};
    if (std::find(m_scenario.expired.begin(), m_scenario.expired.end(), licence) != m_scenario.expired.end())
        return {402, lf_error(402, "License expired")};
    if (std::find(m_scenario.licences.begin(), m_scenario.licences.end(), licence) == m_scenario.licences.end())
        return {404, lf_error(404, "License not found")};
    const auto now = Clock::now();
    std::erase_if(m_sessions, [&](const auto& s) { return lf_sessionExpired(s.second); });
    const int allowed = m_scenario.type == 2 ? 2 : 1;
    const auto open = std::count_if(m_sessions.begin(), m_sessions.end(),
                                    [&](const auto& s) { return s.second.licence == licence; });
    if (open >= allowed)
        return {405, lf_error(405, "Too many sessions")};
    const std::string guid = fmt::format("00000000-0000-4000-8000-{:012d}", m_nextGuid++);
    m_sessions[guid] = Session{licence, now, lf_replayTime(), {}, {false, false}};
    m_stats.openSessions = static_cast<int>(m_sessions.size());
    return {200, json{{"status", 200}, {"GUID", guid}, {"type", m_scenario.type}, {"rrl", m_rrl},
                      {"wrrl", m_wrrl}, {"expiry", static_cast<long>(m_scenario.start) + 86400 * 365}}
                     .dump()};
}

TrafficStandin::Reply TrafficStandin::lf_traffic(const httplib::Request& req, double replayTime)
{
    ++m_stats.traffic;
    std::string form;
    for (const auto& [k, v] : req.params)
        if (k != "GUID")
            form += k + "=" + v + "&";
    m_stats.lastTrafficForm = form;

    const std::string type = req.get_param_value("querytype");
    double bottom = 0, top = 0, left = 0, right = 0, toffset = 0;
    for (auto [name, out] : {std::pair{"bottom", &bottom}, {"top", &top}, {"left", &left}, {"right", &right},
                             {"toffset", &toffset}})
        if (!lf_number(req, name, *out))
            return {400, lf_error(400, fmt::format("Missing or bad parameter: {}", name))};
    const double now = m_scenario.start + replayTime - toffset * 60.0;

    if (type == "parkedtraffic") {
        ++m_stats.parked;
        json data = json::object();
        for (const auto& p : m_scenario.parked)
            if (lf_inBox(p.lat, p.lon, bottom, top, left, right))
                data[p.hex] = json::array({p.lat, p.lon, p.gate, p.type, p.registration, p.since, p.callsign});
        return {200, json{{"data", data}, {"full_count", 9876}, {"source", "MemoryDB"}, {"rrl", m_rrl},
                          {"status", 200}, {"dataepoch", static_cast<long>(now)}}
                         .dump()};
    }
    if (type != "locationtraffic")
        return {400, lf_error(400, "Bad parameter: querytype")};

    auto snapshot = [&](double at) {
        json data = json::object();
        const double t = at - m_scenario.start;
        for (const auto& track : m_scenario.tracks) {
            if (track.points.empty() || t < track.points.front().t)
                continue;
            auto it = std::upper_bound(track.points.begin(), track.points.end(), t,
                                       [](double v, const TrackPoint& p) { return v < p.t; });
            const TrackPoint& p = *(it - 1);
            if (t - p.t > 60.0)
                continue;
            if (lf_inBox(p.lat, p.lon, bottom, top, left, right)) {
                data[track.hex] = lf_entry(track, p, m_scenario.start + p.seen.value_or(p.t));
                ++m_lastTrafficEntries;
            }
        }
        return data;
    };

    if (req.has_param("buffercount")) {
        if (m_scenario.type != 2)
            return {403, lf_error(403, "History data not allowed for this license type")};
        double count = 0, spacing = 0;
        if (!lf_number(req, "buffercount", count) || !lf_number(req, "buffertime", spacing) || count < 1
            || count > 10 || spacing < 2 || spacing > 10 || std::fmod(spacing, 2.0) != 0.0)
            return {400, lf_error(400, "Bad parameter: buffercount or buffertime")};
        ++m_stats.buffered;
        json data = json::object();
        const int n = static_cast<int>(count);
        for (int k = 0; k < n; ++k)
            data[fmt::format("buffer_{}", k)] = snapshot(now - k * spacing);
        return {200, json{{"data", data}, {"endepoch", static_cast<long>(now - (n - 1) * spacing)},
                          {"full_count", 9876}, {"source", "MemoryDB"}, {"rrl", m_rrl}, {"status", 200},
                          {"dataepoch", static_cast<long>(now)}}
                         .dump()};
    }
    return {200, json{{"data", snapshot(now)}, {"full_count", 9876}, {"source", "MemoryDB"}, {"rrl", m_rrl},
                      {"status", 200}, {"dataepoch", static_cast<long>(now)}}
                     .dump()};
}

TrafficStandin::Reply TrafficStandin::lf_nearestMetar(const httplib::Request& req)
{
    double lat = 0, lon = 0;
    if (!lf_number(req, "lat", lat) || !lf_number(req, "lon", lon))
        return {400, lf_error(400, "Missing parameter: lat or lon")};
    const ScenarioStation* best = nullptr;
    double bestDist = 0.0;
    for (const auto& s : m_scenario.stations) {
        const double d = lf_distanceNm(lat, lon, s.lat, s.lon);
        if (!best || d < bestDist) {
            best = &s;
            bestDist = d;
        }
    }
    if (!best)
        return {404, lf_error(404, "No METAR station found")};
    return {200, json{{"data", json::array({{{"ICAO", best->icao}, {"Dist", bestDist}, {"BrgTo", 0.0},
                                              {"METAR", best->metar}}})},
                      {"message", "OK"}, {"status", 200}, {"wrrl", m_wrrl}}
                     .dump()};
}

TrafficStandin::Reply TrafficStandin::lf_weather(const httplib::Request& req)
{
    if (req.get_param_value("querytype") != "locwx" || !req.has_param("airports"))
        return {400, lf_error(400, "Missing parameter: querytype or airports")};
    std::string airports = req.get_param_value("airports");
    const std::string primary = airports.substr(0, airports.find('|'));
    json inner = {{"ICAO", primary}, {"locWX", {{"Info", "TinyDelta"}, {"SLP", -1}, {"T", -1}}}, {"AM", json::array()}};
    for (const auto& s : m_scenario.stations)
        if (s.icao == primary) {
            inner["QNH"] = s.qnh;
            inner["METAR"] = s.metar;
        }
    return {200, json{{"wrrl", m_wrrl}, {"source", "MemoryDB"}, {"status", 200}, {"message", "OK"}, {"data", inner}}
                     .dump()};
}

}  // namespace tvxstandin
