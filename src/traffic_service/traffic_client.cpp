// The session with the traffic service and the one path every request takes: set-up, login and
// logout, pacing by the service's rate limits, and the decided outcome of each reply status.
//
//   status  outcome
//   200     the reply is used
//   401     the session is renewed (/auth) and the request sent once more
//   402     licence expired: fatal, the readers stop and the error line says so
//   405     (login) too many sessions: wait m_sessionRetryWait (10 s) and log in again
//   no reply, another status (login): the next login waits 2, 4, 8, 16, 30, 30 ... s, whoever
//           tries it, and the status line says so; after three such tries login() gives up, and
//           the readers log in again with their next request
//   406     request-rate violation: the next request of the class waits one more spacing,
//           growing with each repeat (at most 10 s more)
//   429     (login) too many failed logins: wait 5 minutes
//   other   logged by the caller; the reader goes on with its next request
//   no reply / broken body: logged; the next request of the class waits 2, 4, 8 ... spacings
//           more (at most 30 s more) until a reply arrives
//
// Threads: any; see traffic_client.h for the locks.
#include "traffic_service/traffic_client.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <cstdlib>

#include "foundation/lock_order.h"
#include "foundation/log.h"
#include "foundation/text_file.h"
#include "foundation/time_slots.h"
#include "foundation/units.h"
#include "traffic_service/feed_sink.h"

TrafficClient g_trafficClient;

namespace {

using namespace std::chrono_literals;

constexpr int kSessionTries = 13;  // 405: 13 × 10 s outlasts the service's 120 s session lifetime
// A service that does not answer: the tries of one login() call, and the growing wait between two
// tries (the readers go on trying while the program runs).
constexpr int kOutageTries = 3;
constexpr auto kLoginRetryFirst = 2000ms;
constexpr auto kLoginRetryMax = 30000ms;
// The exit waits for the logout before it removes the aircraft and saves the files: a service that
// hangs holds it no longer than this (the session then ends with its lifetime on the service).
constexpr auto kLogoutLimit = 3000ms;
constexpr auto kLockoutWait = std::chrono::minutes(5);
constexpr auto kMinRate = 100ms;
constexpr auto kMaxRate = 60000ms;
constexpr auto kMaxRetryExtra = 30000ms;
constexpr auto k406MaxExtra = 10000ms;

bool lf_licenceCharsOk(const std::string& licence)
{
    const bool token = licence.rfind("rt_", 0) == 0;
    for (char c : licence) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
            || (token && c == '_');
        if (!ok)
            return false;
    }
    return !licence.empty();
}

int lf_jsonInt(const nlohmann::json& body, const char* name, int fallback)
{
    const auto it = body.find(name);
    if (it == body.end() || !it->is_number())
        return fallback;
    const double v = it->get<double>();
    if (!std::isfinite(v) || v < -1e9 || v > 1e9)
        return fallback;
    return static_cast<int>(v);
}

}  // namespace

QueryBox gf_queryBox(double lat, double lon, double rangeNm)
{
    const double dLat = rangeNm / 60.0;
    const double cosLat = std::max(std::cos(std::clamp(lat, -89.0, 89.0) * kPi / 180.0), 0.01);
    const double dLon = std::min(rangeNm / (60.0 * cosLat), 180.0);
    auto wrap = [](double x) {
        while (x > 180.0)
            x -= 360.0;
        while (x < -180.0)
            x += 360.0;
        return x;
    };
    return {std::max(lat - dLat, -90.0), std::min(lat + dLat, 90.0), wrap(lon - dLon), wrap(lon + dLon)};
}

// ---- Set-up -------------------------------------------------------------------------------

TrafficClient::TrafficClient() : m_apiBase(kDefaultApiBase), m_software(g_productName)
{
    if (const char* base = std::getenv("TAVIX_API_BASE"); base && *base)
        setApiBase(base);
}

void TrafficClient::setApiBase(std::string base)
{
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    std::lock_guard lock(m_mutex);
    m_apiBase = std::move(base);
}

std::string TrafficClient::apiBase() const
{
    std::lock_guard lock(m_mutex);
    return m_apiBase;
}

void TrafficClient::setLicence(std::string licence)
{
    std::lock_guard lock(m_mutex);
    m_licence = std::string(gf_trim(licence));
}

void TrafficClient::setSoftwareName(std::string name)
{
    std::lock_guard lock(m_mutex);
    m_software = std::move(name);
}

void TrafficClient::setTransportLimits(const TransportLimits& limits)
{
    std::lock_guard lock(m_mutex);
    m_limits = limits;
}

void TrafficClient::setSessionRetryWait(std::chrono::milliseconds wait)
{
    std::lock_guard lock(m_mutex);
    m_sessionRetryWait = wait;
}

// ---- Stop and errors ----------------------------------------------------------------------

void TrafficClient::requestStop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_stopCv.notify_all();
}

void TrafficClient::resetStop() { m_stop = false; }

bool TrafficClient::sleepFor(std::chrono::milliseconds wait)
{
    std::unique_lock lock(m_mutex);
    return !m_stopCv.wait_for(lock, wait, [this] { return m_stop.load(); });
}

std::string TrafficClient::fatalError() const
{
    std::lock_guard lock(m_mutex);
    return m_fatal;
}

void TrafficClient::setFatalError(const std::string& text)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_fatal.empty())
            return;
        m_fatal = text;
    }
    gf_logError("traffic service: {}", text);
}

void TrafficClient::resetSession()
{
    {
        std::lock_guard lock(m_mutex);
        m_guid.clear();
        m_fatal.clear();
        m_rate[0] = m_rate[1] = 2000ms;
        m_nextAllowed[0] = m_nextAllowed[1] = {};
        m_inFlight[0] = m_inFlight[1] = false;
        m_failures[0] = m_failures[1] = 0;
        m_station.clear();
        m_loginFailures = 0;
        m_nextLogin = {};
        m_outageStatus.clear();
    }
    m_professional = false;
    m_trafficDataTime = 0.0;
    m_firstReplyDone = false;
    m_firstReply = false;
    m_buffersRefused = false;
    m_blockedPosted.clear();
    m_liveRecords.clear();
    m_liveSentAt = {};
    m_livePlace.reset();
    m_parkedWanted = false;
    std::lock_guard lock(m_bufferMutex);
    m_seenCallsigns.clear();
    m_seenHexids.clear();
    m_buffersFetched = false;
    m_parkedList.reset();
    m_parkedRefusedStatus = 0;
}

// ---- State read by others -------------------------------------------------------------------

void TrafficClient::setTrafficDataTime(double t)
{
    m_trafficDataTime = t;
    gf_setTrafficDataTime(t);
}

void TrafficClient::setReferenceElevation(std::optional<double> feet)
{
    std::lock_guard lock(m_mutex);
    m_referenceElevation = feet;
}

std::optional<double> TrafficClient::referenceElevation() const
{
    std::lock_guard lock(m_mutex);
    return m_referenceElevation;
}

void TrafficClient::setParkAirportPosition(std::optional<std::pair<double, double>> latLon)
{
    {
        std::lock_guard lock(m_mutex);
        m_parkAirport = latLon;
    }
    // A list of the airport before, or asked for before this airport's stands were read, names
    // no stand of it: the parking asks anew once they are.
    m_parkedWanted = false;
    std::lock_guard lock(m_bufferMutex);
    m_parkedList.reset();
    m_parkedRefusedStatus = 0;
}

std::optional<std::pair<double, double>> TrafficClient::parkAirportPosition() const
{
    std::lock_guard lock(m_mutex);
    return m_parkAirport;
}

std::string TrafficClient::weatherStation() const
{
    std::lock_guard lock(m_mutex);
    return m_station;
}

std::chrono::milliseconds TrafficClient::rateLimit(RequestClass cls) const
{
    if (cls == RequestClass::Session)
        return 0ms;
    std::lock_guard lock(m_mutex);
    return m_rate[static_cast<int>(cls)];
}

bool TrafficClient::loggedIn() const
{
    std::lock_guard lock(m_mutex);
    return !m_guid.empty();
}

// ---- Transport --------------------------------------------------------------------------------

ServiceReply TrafficClient::lf_post(const std::string& endpoint, const FormFields& form, FeedReply* feed,
                                    std::chrono::milliseconds limit)
{
    std::string url;
    TransportLimits limits;
    {
        std::lock_guard lock(m_mutex);
        url = m_apiBase + "/" + endpoint;
        limits = m_limits;
    }
    if (limit > 0ms) {
        limits.connectTimeoutMs = std::min<long>(limits.connectTimeoutMs, static_cast<long>(limit.count()));
        limits.transferTimeoutMs = std::min<long>(limits.transferTimeoutMs, static_cast<long>(limit.count()));
    }
    // A thread without a transport of its own (login, logout) uses one for this request.
    std::optional<WebTransport> oneShot;
    WebTransport* transport = gf_threadTransport();
    if (transport == nullptr)
        transport = &oneShot.emplace();
    const WebReply web = transport->post(url, form, limits, &m_stop);
    ServiceReply reply;
    if (!web.ok()) {
        reply.problem = tvx::format("no reply from {}: {}", url, web.error);
        return reply;
    }
    bool parsed = false;
    if (feed != nullptr) {
        parsed = feed->parse(web.body);
        if (parsed)
            reply.json = feed->envelope();
    } else {
        reply.json = nlohmann::json::parse(web.body, nullptr, false);
        parsed = !reply.json.is_discarded() && reply.json.is_object();
    }
    if (!parsed) {
        reply.json = nullptr;
        // An error page without JSON still tells its status through the HTTP code.
        if (web.httpStatus != 200 && web.httpStatus != 0) {
            reply.status = static_cast<int>(web.httpStatus);
            reply.json = nlohmann::json::object();
            return reply;
        }
        reply.problem = tvx::format("broken reply from {} ({} bytes, HTTP {})", endpoint, web.body.size(),
                                    web.httpStatus);
        return reply;
    }
    reply.status = lf_jsonInt(reply.json, "status", static_cast<int>(web.httpStatus));
    if (const auto it = reply.json.find("message"); it != reply.json.end() && it->is_string())
        reply.message = it->get<std::string>().substr(0, 200);
    return reply;
}

void TrafficClient::lf_readRateLimits(const nlohmann::json& body)
{
    auto take = [&](const char* name, int index) {
        const int ms = lf_jsonInt(body, name, -1);
        if (ms < 0)
            return;
        const auto rate = std::chrono::milliseconds(ms);
        if (rate < kMinRate || rate > kMaxRate) {
            gf_logError("traffic service: {} of {} ms ignored (expected {}..{})", name, ms, kMinRate.count(),
                        kMaxRate.count());
            return;
        }
        std::lock_guard lock(m_mutex);
        m_rate[index] = rate;
    };
    take("rrl", 0);
    take("wrrl", 1);
}

// ---- Session ----------------------------------------------------------------------------------

bool TrafficClient::login()
{
    std::string licence, software;
    std::chrono::milliseconds retryWait;
    {
        std::lock_guard lock(m_mutex);
        licence = m_licence;
        software = m_software;
        retryWait = m_sessionRetryWait;
    }
    if (licence.empty()) {
        setFatalError("no licence in RealTraffic.lic");
        return false;
    }
    if (!lf_licenceCharsOk(licence)) {
        setFatalError("the licence in RealTraffic.lic holds characters other than letters, digits and '-'");
        return false;
    }
    const bool token = licence.rfind("rt_", 0) == 0;
    const FormFields form = {{token ? "token" : "license", licence}, {"software", software}};

    int tries = 0;    // 405 and 429 replies of this call
    int outages = 0;  // tries of this call that the service did not answer
    for (;;) {
        if (!lf_waitForLoginTurn())
            return false;
        const ServiceReply reply = lf_post("auth", form, nullptr);
        std::string outage;
        if (!reply.problem.empty()) {
            outage = reply.problem;
        } else {
            switch (reply.status) {
            case 200: {
                const auto guid = reply.json.find("GUID");
                if (guid == reply.json.end() || !guid->is_string() || guid->get<std::string>().empty()) {
                    outage = "reply without GUID";
                    break;
                }
                lf_readRateLimits(reply.json);
                const int type = lf_jsonInt(reply.json, "type", 1);
                m_professional = type == 2;
                {
                    std::lock_guard lock(m_mutex);
                    m_guid = guid->get<std::string>();
                }
                lf_loginAnswered();
                gf_log("traffic service: logged in, {} licence, rate limits {} ms / {} ms",
                       type == 2 ? "professional" : "standard", rateLimit(RequestClass::Traffic).count(),
                       rateLimit(RequestClass::Weather).count());
                return true;
            }
            case 405:
                lf_loginAnswered();
                if (++tries >= kSessionTries) {
                    gf_logError("traffic service: no session after {} tries", kSessionTries);
                    return false;
                }
                gf_log("traffic service: too many sessions, login again in {} s (try {} of {})",
                       retryWait.count() / 1000.0, tries, kSessionTries);
                if (!sleepFor(retryWait))
                    return false;
                continue;
            case 429:
                lf_loginAnswered();
                gf_logError("traffic service: too many failed logins, waiting 5 minutes");
                if (++tries >= kSessionTries || !sleepFor(kLockoutWait))
                    return false;
                continue;
            case 402:
                setFatalError(tvx::format("licence expired (status 402) {}", reply.message));
                return false;
            case 403:
            case 404:
                setFatalError(tvx::format("licence refused (status {}) {}", reply.status, reply.message));
                return false;
            case 400:
                setFatalError(tvx::format("login refused (status 400) {}", reply.message));
                return false;
            default:
                outage = tvx::format("status {} {}", reply.status, reply.message);
                break;
            }
        }
        if (m_stop)
            return false;
        gf_logError("traffic service login: {}", outage);
        lf_loginFailed();
        if (++outages >= kOutageTries)
            return false;
    }
}

bool TrafficClient::lf_waitForLoginTurn()
{
    Clock::time_point next;
    {
        std::lock_guard lock(m_mutex);
        next = m_nextLogin;
    }
    const auto now = Clock::now();
    if (next > now && !sleepFor(std::chrono::ceil<std::chrono::milliseconds>(next - now)))
        return false;
    return !m_stop;
}

void TrafficClient::lf_loginFailed()
{
    std::string status;
    {
        std::lock_guard lock(m_mutex);
        m_loginFailures = std::min(m_loginFailures + 1, 16);
        const auto wait = std::min<std::chrono::milliseconds>(kLoginRetryFirst * (1 << (m_loginFailures - 1)),
                                                              kLoginRetryMax);
        m_nextLogin = Clock::now() + wait;
        m_outageStatus = tvx::format("Traffic service not answering, next login in {} seconds...",
                                     std::chrono::ceil<std::chrono::seconds>(wait).count());
        status = m_outageStatus;
    }
    gf_sinkSetStatusLine(status);
}

void TrafficClient::lf_loginAnswered()
{
    std::string status;
    {
        std::lock_guard lock(m_mutex);
        m_loginFailures = 0;
        m_nextLogin = {};
        status.swap(m_outageStatus);
    }
    if (!status.empty())
        gf_sinkClearStatusLine(status);
}

void TrafficClient::logout()
{
    std::string guid;
    {
        std::lock_guard lock(m_mutex);
        guid.swap(m_guid);
    }
    if (guid.empty())
        return;
    const ServiceReply reply = lf_post("deauth", {{"GUID", guid}}, nullptr, kLogoutLimit);
    if (!reply.problem.empty())
        gf_logError("traffic service logout: {}", reply.problem);
    else if (reply.status != 200)
        gf_logError("traffic service logout: status {} {}", reply.status, reply.message);
    else
        gf_log("traffic service: logged out");
}

bool TrafficClient::lf_renewSession(const std::string& failedGuid)
{
    std::lock_guard session(m_sessionMutex);
    {
        std::lock_guard lock(m_mutex);
        if (!m_guid.empty() && m_guid != failedGuid)
            return true;  // the other reader renewed it meanwhile
        m_guid.clear();
    }
    // Without a session yet (the service did not answer the start-up's login) login() says why.
    if (!failedGuid.empty())
        gf_log("traffic service: session expired, logging in again");
    return login();
}

// ---- Requests ---------------------------------------------------------------------------------

bool TrafficClient::lf_waitForSlot(RequestClass cls, std::optional<Clock::time_point> placeAt)
{
    if (cls == RequestClass::Session)
        return !m_stop;
    // Requests of one class share the service's spacing whichever thread sends them, and one is in
    // flight at a time: the service spaces them by when they arrive, so a request sent a spacing
    // after one still on its way could arrive within the limit (a 406). The one that goes takes the
    // class; the next waits for its end and the spacing after it (lf_afterRequest).
    const int i = static_cast<int>(cls);
    std::optional<Clock::time_point> placed;  // the placed moment once the turn is known
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_stop)
            return false;
        if (m_inFlight[i]) {
            m_stopCv.wait(lock);
            continue;
        }
        const auto now = Clock::now();
        auto at = m_nextAllowed[i];
        if (placeAt) {
            if (!placed || *placed < at)
                placed = *placeAt + std::chrono::ceil<std::chrono::seconds>(std::max(now, at) - *placeAt);
            at = *placed;
        }
        if (now >= at) {
            m_nextAllowed[i] = now + m_rate[i];
            m_inFlight[i] = true;
            return true;
        }
        m_stopCv.wait_until(lock, at);
    }
}

void TrafficClient::lf_releaseSlot(RequestClass cls)
{
    if (cls == RequestClass::Session)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_inFlight[static_cast<int>(cls)] = false;
    }
    m_stopCv.notify_all();
}

void TrafficClient::lf_afterRequest(RequestClass cls, const ServiceReply& reply)
{
    if (cls == RequestClass::Session)
        return;
    const int i = static_cast<int>(cls);
    std::lock_guard lock(m_mutex);
    auto wait = m_rate[i];
    if (!reply.problem.empty()) {
        m_failures[i] = std::min(m_failures[i] + 1, 5);
        wait += std::min<std::chrono::milliseconds>(m_rate[i] * (1 << m_failures[i]), kMaxRetryExtra);
    } else if (reply.status == 406) {
        m_failures[i] = std::min(m_failures[i] + 1, 5);
        wait += std::min<std::chrono::milliseconds>(m_rate[i] * m_failures[i], k406MaxExtra);
    } else {
        m_failures[i] = 0;
    }
    // Measured from the end of this request: later than the service saw it arrive.
    m_nextAllowed[i] = std::max(m_nextAllowed[i], Clock::now() + wait);
    m_inFlight[i] = false;
    m_stopCv.notify_all();
}

ServiceReply TrafficClient::request(RequestClass cls, const std::string& endpoint, FormFields form, FeedReply* feed,
                                    std::optional<Clock::time_point> placeAt)
{
    gf_assertOffMainLoopThread();
    ServiceReply reply;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!lf_waitForSlot(cls, placeAt)) {
            reply.problem = "stopped";
            return reply;
        }
        // Gives the class back if this attempt ends before lf_afterRequest (no session, a throw).
        struct SlotHold {
            TrafficClient& client;
            RequestClass cls;
            bool held = true;
            ~SlotHold()
            {
                if (held)
                    client.lf_releaseSlot(cls);
            }
        } hold{*this, cls};
        std::string guid;
        {
            std::lock_guard lock(m_mutex);
            guid = m_guid;
        }
        if (guid.empty()) {
            if (!lf_renewSession(guid)) {
                reply.problem = "no session";
                return reply;
            }
            std::lock_guard lock(m_mutex);
            guid = m_guid;
        }
        FormFields sent = form;
        sent.insert(sent.begin(), {"GUID", guid});
        const auto sentAt = Clock::now();
        reply = lf_post(endpoint, sent, feed);
        reply.sent = sentAt;
        // The limits of this reply (a 406 carries the new one) already pace the next request.
        if (reply.problem.empty())
            lf_readRateLimits(reply.json);
        hold.held = false;
        lf_afterRequest(cls, reply);
        if (!reply.problem.empty())
            return reply;
        if (reply.status == 401) {
            if (!lf_renewSession(guid)) {
                reply.problem = "no session";
                return reply;
            }
            continue;
        }
        if (reply.status == 406)
            gf_logError("traffic service: {} sent too soon (status 406), backing off", endpoint);
        if (reply.status == 402)
            setFatalError(tvx::format("licence expired (status 402) {}", reply.message));
        return reply;
    }
    return reply;
}
