// Parked traffic: the parkedtraffic request for a 3 nm box around the park airport, the parsing
// of its entries into ParkedTrafficRecords, and the history-buffer maps handed to the parking.
//
// A parked entry is hex -> [lat, lon, "ICAO_stand", type, registration, parked-since epoch,
// callsign] (some replies add the last track as an eighth value; it is not needed). The stand
// name is the one found for the position by the parking's stand lookup, not the service's gate
// text, so that it names a stand of the loaded parking file.
//
// Threads: the request and the parsing on the traffic reader, the hand-over on the main loop (see
// parked_traffic.h).
#include "traffic_service/parked_traffic.h"

#include <cmath>
#include <utility>

#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/time_slots.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/feed_values.h"
#include "traffic_service/traffic_client.h"

std::vector<ParkedTrafficRecord> g_parkedTraffic;
std::atomic<bool> g_bufferReceived{false};

namespace {

constexpr double kParkedBoxNm = 3.0;
constexpr std::size_t kMaxParked = 5000;

}  // namespace

std::uint32_t lf_halfHourOffset(double parkedEpoch, double nowEpoch)
{
    auto slotOf = [](double epoch) {
        const auto seconds = static_cast<std::int64_t>(std::floor(epoch));
        const std::int64_t ofDay = ((seconds % 86400) + 86400) % 86400;
        return static_cast<std::int64_t>(ofDay / 1800);
    };
    const std::int64_t offset = slotOf(nowEpoch) - slotOf(parkedEpoch) + 48;
    return static_cast<std::uint32_t>(offset % 48);
}

std::optional<ParkedTrafficRecord> TrafficClient::processParkedTrafficLine(const std::string& key,
                                                                           const nlohmann::json& entry,
                                                                           double nowEpoch,
                                                                           const char*& reason) const
{
    reason = nullptr;
    if (!entry.is_array() || entry.size() < 7) {
        reason = "not an array of 7 or more values";
        return std::nullopt;
    }
    const auto hexid = lf_parseHexid(key);
    if (!hexid) {
        reason = "hex address unreadable";
        return std::nullopt;
    }
    // Addresses up to 10000 are the program's own parked aircraft.
    if (*hexid <= 10000) {
        reason = "address 10000 or below";
        return std::nullopt;
    }
    const auto lat = lf_feedNumber(entry, 0);
    const auto lon = lf_feedNumber(entry, 1);
    if (!lat || !lon || *lat < -90.0 || *lat > 90.0 || *lon < -180.0 || *lon > 180.0) {
        reason = "position missing or out of range";
        return std::nullopt;
    }
    const auto since = lf_feedNumber(entry, 5);
    if (!since || *since <= 0.0 || *since > nowEpoch + 3600.0) {
        reason = "parking time missing or out of range";
        return std::nullopt;
    }
    ParkedTrafficRecord r;
    r.acType = lf_feedText(entry, 3);
    r.registration = lf_feedText(entry, 4);
    r.callsign = lf_feedText(entry, 6);
    r.airline = lf_airlineOfCallsign(r.callsign);
    r.lat = *lat;
    r.lon = *lon;
    r.hexid = *hexid;
    r.halfHourOffset = lf_halfHourOffset(*since, nowEpoch);
    r.standName = gf_sinkNearestStandName(r.lat, r.lon);
    return r;
}

bool TrafficClient::pollParkedTraffic()
{
    if (!m_parkedWanted.load())
        return false;
    // Cleared before the request: a wish raised while it runs asks again.
    m_parkedWanted = false;
    const auto park = parkAirportPosition();
    if (!park)
        return false;
    const QueryBox box = gf_queryBox(park->first, park->second, kParkedBoxNm);
    const ServiceReply reply = request(RequestClass::Traffic, "traffic",
                                       {{"querytype", "parkedtraffic"},
                                        {"bottom", tvx::format("{:.6f}", box.bottom)},
                                        {"top", tvx::format("{:.6f}", box.top)},
                                        {"left", tvx::format("{:.6f}", box.left)},
                                        {"right", tvx::format("{:.6f}", box.right)},
                                        {"toffset", lf_toffset()}});
    if (!reply.problem.empty()) {
        if (!m_stop)
            gf_logError("parked traffic: {}", reply.problem);
        return true;
    }
    if (reply.status == 400 || reply.status == 403) {
        // Raised where the list is taken: the parking's refusal, not the reader's.
        std::lock_guard lock(m_bufferMutex);
        m_parkedRefusedStatus = reply.status;
        m_parkedRefusal = tvx::format("parked traffic refused: {}", reply.message);
        return true;
    }
    if (reply.status != 200) {
        gf_logError("parked traffic: status {} {}", reply.status, reply.message);
        return true;
    }
    const auto dataIt = reply.json.find("data");
    const nlohmann::json& data = dataIt != reply.json.end() && dataIt->is_object() ? *dataIt : reply.json;
    double now = static_cast<double>(gf_utcNowSeconds());
    if (const auto epoch = reply.json.find("dataepoch"); epoch != reply.json.end() && epoch->is_number()) {
        const double t = epoch->get<double>();
        if (std::isfinite(t) && t > 0.0)
            now = t;
    }

    std::vector<ParkedTrafficRecord> list;
    std::size_t dropped = 0;
    std::string firstReason;
    for (const auto& [key, entry] : data.items()) {
        if (!entry.is_array())
            continue;
        if (list.size() >= kMaxParked) {
            gf_logError("parked traffic: more than {} entries, the rest ignored", kMaxParked);
            break;
        }
        const char* reason = nullptr;
        if (auto record = processParkedTrafficLine(key, entry, now, reason))
            list.push_back(std::move(*record));
        else if (dropped++ == 0)
            firstReason = tvx::format("{}: {}", key.substr(0, 16), reason ? reason : "skipped");
    }
    if (dropped > 0)
        gf_logError("parked traffic: {} entr{} dropped (first {})", dropped, dropped == 1 ? "y" : "ies",
                    firstReason);
    std::lock_guard lock(m_bufferMutex);
    m_parkedList = std::move(list);
    m_parkedFor = *park;
    return true;
}

bool TrafficClient::takeParkedTraffic(std::vector<ParkedTrafficRecord>& out)
{
    const auto park = parkAirportPosition();
    std::unique_lock lock(m_bufferMutex);
    if (m_parkedRefusedStatus != 0) {
        const int status = std::exchange(m_parkedRefusedStatus, 0);
        const std::string message = std::move(m_parkedRefusal);
        lock.unlock();
        throw tvx::SysErrorException(status, message);
    }
    if (!m_parkedList || !park || m_parkedFor != *park)
        return false;
    out = std::move(*m_parkedList);
    m_parkedList.reset();
    return true;
}

void TrafficClient::takeBufferMaps(std::set<std::string>& callsigns, std::set<std::uint32_t>& hexids)
{
    std::lock_guard lock(m_bufferMutex);
    callsigns = std::move(m_seenCallsigns);
    hexids = std::move(m_seenHexids);
    m_seenCallsigns.clear();
    m_seenHexids.clear();
    m_buffersFetched = false;
}

void TrafficClient::requestHistoryBuffers()
{
    // A fetch still untaken (the first reply's, minutes old) does not stand for the one asked for.
    m_buffersFetched = false;
}

bool gf_updateParkedTraffic() { return g_trafficClient.takeParkedTraffic(g_parkedTraffic); }

void gf_requestParkedTraffic() { g_trafficClient.requestParkedTraffic(); }

void gf_requestHistoryBuffers()
{
    g_trafficClient.requestHistoryBuffers();
    g_bufferReceived = true;
}

void gf_takeBufferMaps(std::set<std::string>& seenCallsigns, std::set<std::uint32_t>& seenHexids)
{
    g_trafficClient.takeBufferMaps(seenCallsigns, seenHexids);
    g_bufferReceived = false;
}
