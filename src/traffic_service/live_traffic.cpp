// Live traffic and history buffers: the locationtraffic request around the user aircraft, the
// parsing of each feed entry into a TrafficRecord, the callsign filter, and the hand-over of
// each batch through the feed seam (delay 30 for live replies, buffer index × 6 for the history
// buffers of the first reply).
//
// A traffic reply is {"data": {hex: [entry...], ...}, "dataepoch": s, "rrl": ms, "status": 200}.
// A buffered reply carries "buffer_0" (newest) .. "buffer_n" (oldest), each an object of the
// same hex -> entry form, inside "data" or beside it; both are accepted. Replies without the
// "data" wrapper (older API versions) are read from their top level. Entry arrays are read by
// index (see live entry layout below); any length of 17 or more is accepted and absent trailing
// elements count as missing. The reply is read from its text straight into a FeedReply; a reply
// given as a JSON document (tests) is written out and read the same way.
//
// Threads: traffic reader.
#include "traffic_service/traffic_client.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/time_slots.h"
#include "foundation/units.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/feed_values.h"
#include "traffic_service/parked_traffic.h"
#include "traffic_service/weather.h"

namespace {

// Live entry layout (indices into the entry array).
enum Field : std::size_t {
    kHex = 0, kLat = 1, kLon = 2, kTrack = 3, kAltBaro = 4, kGs = 5, kType = 8, kReg = 9, kTime = 10,
    kOrigin = 11, kDest = 12, kCallsign = 13, kOnGround = 14, kVsBaro = 15, kMsgSource = 17,
    kAltGeom = 18, kTas = 20, kRoll = 23, kHdgMag = 24, kHdgTrue = 25, kVsGeom = 26, kOperator = 48,
};

constexpr std::size_t kMinEntryLength = 17;
constexpr std::size_t kMaxEntries = 20000;      // more in one reply is not a real reply
constexpr double kParkAirportRadiusNm = 5.0;    // ground entries this near take the park elevation

bool lf_isBufferKey(std::string_view key) { return key.starts_with("buffer_"); }

}  // namespace

std::string TrafficClient::lf_toffset() const
{
    return std::to_string(static_cast<long>(g_optTimeShiftHours.value()) * 60);
}

void TrafficClient::lf_beginReply()
{
    m_ctx.qnhFeetShift = (g_qnh.load() - 1013) * kFeetPerHectopascal;
    m_ctx.referenceElevation = referenceElevation();
    m_ctx.parkAirport = parkAirportPosition();
    std::string block = g_optBlockCallsign.value();
    if (block != m_blockText) {
        m_blockText = std::move(block);
        m_blockedPosted.clear();
    }
}

// ---- One entry ----------------------------------------------------------------------------

std::optional<TrafficRecord> TrafficClient::processLine(const std::string& key, const nlohmann::json& entry,
                                                        const char*& reason) const
{
    FeedReply one;
    one.parse(nlohmann::json::object({{"e", entry}}).dump());
    return processLine(key, one.entry(one.top().members.at(0)), reason);
}

std::optional<TrafficRecord> TrafficClient::processLine(std::string_view key, const FeedEntry& entry,
                                                        const char*& reason) const
{
    reason = nullptr;
    if (!entry.isArray || entry.size() < kMinEntryLength) {
        reason = "not an array of 17 or more values";
        return std::nullopt;
    }
    auto hexid = lf_parseHexid(key);
    if (!hexid)
        hexid = lf_parseHexid(lf_feedText(entry, kHex));
    if (!hexid) {
        reason = "hex address unreadable";
        return std::nullopt;
    }
    // Addresses up to 10000 are the program's own parked aircraft.
    if (*hexid <= 10000)
        return std::nullopt;

    const auto lat = lf_feedNumber(entry, kLat);
    const auto lon = lf_feedNumber(entry, kLon);
    if (!lat || !lon || *lat < -90.0 || *lat > 90.0 || *lon < -180.0 || *lon > 180.0) {
        reason = "position missing or out of range";
        return std::nullopt;
    }
    const auto time = lf_feedNumber(entry, kTime);
    if (!time || *time <= 0.0 || *time > 1e11) {
        reason = "time stamp missing or out of range";
        return std::nullopt;
    }

    TrafficRecord r;
    r.hexid = *hexid;
    r.time = *time;
    r.pos.lat = *lat;
    r.pos.lon = *lon;

    // Identity texts.
    r.acType = lf_feedText(entry, kType);
    r.registration = lf_feedText(entry, kReg);
    r.origin = lf_feedText(entry, kOrigin);
    r.destination = lf_feedText(entry, kDest);
    r.callsign = lf_feedText(entry, kCallsign);
    const std::string op = lf_feedText(entry, kOperator);
    r.airline = op.size() == 3 ? op : lf_airlineOfCallsign(r.callsign);

    // Ground state: the flag, else the readsb-style altitude text "ground", else by speed.
    const auto gs = lf_feedNumber(entry, kGs);
    const auto onGround = lf_feedNumber(entry, kOnGround);
    const bool groundText = lf_feedText(entry, kAltBaro) == "ground";
    bool ground = false;
    if (onGround)
        ground = *onGround != 0.0;
    else
        ground = groundText || (gs && *gs < 50.0);
    r.pos.airborne = ground ? 0 : 1;

    r.pos.speed = gs && *gs >= 0.0 && *gs < 5000.0 ? *gs : 0.0;
    const auto tas = lf_feedNumber(entry, kTas);
    r.pos.tas = tas && *tas >= 0.0 && *tas < 5000.0 ? *tas : r.pos.speed;

    // Altitude: pressure altitude corrected to the current QNH; the geometric altitude when the
    // pressure altitude is missing; the park airport's elevation for ground entries near it.
    std::optional<double> alt;
    if (const auto baro = lf_feedNumber(entry, kAltBaro))
        alt = *baro + m_ctx.qnhFeetShift;
    else if (const auto geom = lf_feedNumber(entry, kAltGeom))
        alt = *geom;
    if (ground && m_ctx.referenceElevation && m_ctx.parkAirport
        && gf_distanceNm(r.pos.lat, r.pos.lon, m_ctx.parkAirport->first, m_ctx.parkAirport->second)
            <= kParkAirportRadiusNm)
        alt = *m_ctx.referenceElevation;
    if (!alt || *alt < -2000.0 || *alt > 100000.0) {
        reason = "altitude missing or out of range";
        return std::nullopt;
    }
    r.pos.alt = *alt;

    auto vr = lf_feedNumber(entry, kVsBaro);
    if (!vr)
        vr = lf_feedNumber(entry, kVsGeom);
    r.pos.vertRate = vr && std::abs(*vr) < 30000.0 ? *vr : 0.0;

    // Attitude: each valid byte says whether the entry held that value.
    if (const auto roll = lf_feedNumber(entry, kRoll); roll && std::abs(*roll) <= 180.0) {
        r.pos.bank = *roll * kDegToRad;
        r.pos.bankValid = 1;
    }
    const auto hdgTrue = lf_feedNumber(entry, kHdgTrue);
    const auto track = lf_feedNumber(entry, kTrack);
    if (hdgTrue) {
        r.pos.heading = gf_wrap360(*hdgTrue) * kDegToRad;
        r.pos.headingValid = 1;
    }
    if (track)
        r.pos.track = gf_wrap360(*track);
    else if (hdgTrue)
        r.pos.track = gf_wrap360(*hdgTrue);
    else if (const auto hdgMag = lf_feedNumber(entry, kHdgMag))
        r.pos.track = gf_wrap360(*hdgMag);
    if (!hdgTrue)
        r.pos.heading = r.pos.track * kDegToRad;

    // Third flag: the attitude was measured (a transponder source), not estimated or
    // interpolated, so the reported heading may steer the aircraft.
    const std::string source = lf_feedText(entry, kMsgSource);
    const bool estimated = source.find("ID_") != std::string::npos || source.find("est") != std::string::npos
        || source.find("mlat") != std::string::npos;
    r.pos.flag3 = !source.empty() && !estimated ? 1 : 0;
    return r;
}

bool TrafficClient::lf_checkCallsign(const TrafficRecord& record)
{
    if (m_blockText.empty() || record.callsign != m_blockText)
        return false;
    if (m_blockedPosted.insert(record.hexid).second)
        gf_sinkPostSimEvent(5, 0, record.hexid);
    return true;
}

void TrafficClient::lf_parseEntries(const FeedReply& reply, const FeedObject& data,
                                    std::vector<TrafficRecord>& out, std::string_view what) const
{
    std::size_t dropped = 0, seen = 0;
    std::string firstReason;
    for (const FeedMember& member : data.members) {
        const std::string_view key = reply.key(member);
        // Without the "data" wrapper the envelope's own members sit beside the entries.
        if (lf_isBufferKey(key) || (!m_enveloped && member.kind != FeedMember::Kind::Array))
            continue;
        if (++seen > kMaxEntries) {
            gf_logError("{}: more than {} entries, the rest ignored", what, kMaxEntries);
            break;
        }
        const char* reason = nullptr;
        auto record = processLine(key, reply.entry(member), reason);
        if (record) {
            out.push_back(std::move(*record));
        } else if (reason) {
            if (dropped++ == 0)
                firstReason = tvx::format("{}: {}", key.substr(0, 16), reason);
        }
    }
    if (dropped > 0)
        gf_logError("{}: {} entr{} dropped (first {})", what, dropped, dropped == 1 ? "y" : "ies", firstReason);
}

// ---- Replies --------------------------------------------------------------------------------

void TrafficClient::lf_receive(const FeedReply& reply, const FeedObject& data)
{
    m_liveRecords.clear();
    lf_parseEntries(reply, data, m_liveRecords, "traffic reply");
    std::erase_if(m_liveRecords, [this](const TrafficRecord& r) { return lf_checkCallsign(r); });
    if (m_liveRecords.empty())
        setTrafficDataTime(0.0);
    gf_sinkHandleBatch(*this, 30);
    m_liveRecords.clear();
}

void TrafficClient::lf_processBuffer(const FeedReply& reply, int index, const FeedObject& buffer, bool handOver)
{
    std::vector<TrafficRecord> records;
    lf_parseEntries(reply, buffer, records, tvx::format("history buffer {}", index));
    std::erase_if(records, [this](const TrafficRecord& r) { return lf_checkCallsign(r); });
    {
        std::lock_guard lock(m_bufferMutex);
        for (const auto& r : records) {
            if (!r.callsign.empty())
                m_seenCallsigns.insert(r.callsign);
            m_seenHexids.insert(r.hexid);
        }
    }
    if (!handOver)
        return;
    m_liveRecords = std::move(records);
    gf_sinkHandleBatch(*this, static_cast<std::uint32_t>(index * 6));
    m_liveRecords.clear();
}

void TrafficClient::handleTrafficReply(const nlohmann::json& reply)
{
    FeedReply parsed;
    parsed.parse(reply.dump());
    handleTrafficReply(parsed);
}

void TrafficClient::handleTrafficReply(const FeedReply& reply)
{
    lf_beginReply();
    const nlohmann::json& envelope = reply.envelope();
    if (const auto epoch = envelope.find("dataepoch"); epoch != envelope.end() && epoch->is_number()) {
        const double t = epoch->get<double>();
        if (std::isfinite(t) && t > 0.0)
            setTrafficDataTime(t);
    }
    gf_setTimeShiftMode(g_optTimeShiftHours.value() > 0);

    const FeedObject* wrapped = nullptr;
    for (const FeedMember& member : reply.top().members)
        if (reply.key(member) == "data")
            wrapped = reply.object(member);
    m_enveloped = wrapped != nullptr;
    const FeedObject& data = m_enveloped ? *wrapped : reply.top();

    // Buffers, wherever they sit; index k = k-th newest.
    std::vector<std::pair<int, const FeedObject*>> buffers;
    auto collect = [&](const FeedObject& obj) {
        for (const FeedMember& member : obj.members) {
            const std::string_view key = reply.key(member);
            const FeedObject* value = reply.object(member);
            if (!lf_isBufferKey(key) || value == nullptr)
                continue;
            int k = -1;
            const char* first = key.data() + 7;
            const char* last = key.data() + key.size();
            const auto [ptr, ec] = std::from_chars(first, last, k);
            if (ec == std::errc() && ptr == last && k >= 0 && k < 100)
                buffers.emplace_back(k, value);
        }
    };
    collect(data);
    if (&data != &reply.top())
        collect(reply.top());

    bool hasLive = false;
    for (const FeedMember& member : data.members)
        if (!lf_isBufferKey(reply.key(member)) && member.kind == FeedMember::Kind::Array) {
            hasLive = true;
            break;
        }

    if (!buffers.empty()) {
        // Oldest first, so the play-out delays 0, 6, 12, ... keep the buffers' order in time.
        std::sort(buffers.begin(), buffers.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        if (buffers.size() > static_cast<std::size_t>(kBufferCount))
            buffers.erase(buffers.begin(), buffers.end() - kBufferCount);
        const bool handOver = !m_firstReplyDone;
        for (std::size_t i = 0; i < buffers.size(); ++i)
            lf_processBuffer(reply, static_cast<int>(i), *buffers[i].second, handOver);
        m_buffersFetched = true;
    }
    if (hasLive || buffers.empty())
        lf_receive(reply, data);
    m_firstReplyDone = true;
    m_firstReply = true;
}

bool TrafficClient::pollTraffic()
{
    const QueryPosition pos = gf_trafficQueryPosition();
    if (!pos.set) {
        sleepFor(rateLimit(RequestClass::Traffic));
        return false;
    }
    const QueryBox box = gf_queryBox(pos.lat, pos.lon, gf_trafficQueryRangeNm());
    const bool wantBuffers = isProfessional() && !m_buffersRefused
        && (!m_firstReplyDone || (g_bufferReceived.load() && !m_buffersFetched.load()));
    FormFields form = {{"querytype", "locationtraffic"},
                       {"bottom", tvx::format("{:.6f}", box.bottom)},
                       {"top", tvx::format("{:.6f}", box.top)},
                       {"left", tvx::format("{:.6f}", box.left)},
                       {"right", tvx::format("{:.6f}", box.right)},
                       {"toffset", lf_toffset()}};
    if (wantBuffers) {
        form.emplace_back("buffercount", std::to_string(kBufferCount));
        form.emplace_back("buffertime", std::to_string(kBufferTime));
    }
    const ServiceReply reply =
        request(RequestClass::Traffic, "traffic", std::move(form), &m_feedReply, std::exchange(m_livePlace, std::nullopt));
    if (!reply.problem.empty()) {
        if (!m_stop)
            gf_logError("traffic request: {}", reply.problem);
        return false;
    }
    if (reply.status == 403 && wantBuffers) {
        m_buffersRefused = true;
        gf_logError("traffic request: history buffers refused (status 403), live traffic only");
        return false;
    }
    if (reply.status != 200) {
        if (reply.status != 406)
            gf_logError("traffic request: status {} {}", reply.status, reply.message);
        return false;
    }
    m_liveSentAt = reply.sent;
    handleTrafficReply(m_feedReply);
    return true;
}
