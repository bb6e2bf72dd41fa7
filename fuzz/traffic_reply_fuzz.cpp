// Traffic-service replies: the input is a reply body of the traffic endpoint, parsed as the
// client parses a body (a JSON object, else a broken reply) and handed to handleTrafficReply, the
// reader's parse of live entries and history buffers; each entry is also read as a parked-traffic
// line. Checked after each reply: every record handed over on the world with finite values and a
// 24-bit address, no more records than the body can hold, no batch delay beyond the buffers'.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/traffic_client.h"

namespace {

std::size_t g_handed = 0;

void lf_checkRecord(const FlightRecord& head, std::uint32_t hexid, double lat, double lon)
{
    tvxfuzz::gf_checkOnWorld(lat, lon, head.callsign);
    tvxfuzz::gf_check(hexid <= 0xFFFFFFu, "an address beyond 24 bits");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool sinkSet = [] {
        gf_feedSink().handleBatch = [](TrafficClient& client, std::uint32_t delay) {
            tvxfuzz::gf_check(delay == 30 || delay % 6 == 0, "a batch delay that is neither live nor a buffer's");
            tvxfuzz::gf_check(delay <= 30, "a batch delay beyond the buffers'");
            for (const TrafficRecord& r : client.liveRecords()) {
                lf_checkRecord(r, r.hexid, r.pos.lat, r.pos.lon);
                tvxfuzz::gf_check(std::isfinite(r.pos.alt) && std::isfinite(r.pos.speed)
                                      && std::isfinite(r.pos.heading) && std::isfinite(r.pos.vertRate)
                                      && std::isfinite(r.time),
                                  "a record value that is not a number");
            }
            g_handed += client.liveRecords().size();
        };
        gf_feedSink().nearestStandName = [](double, double) { return std::string(); };
        return true;
    }();
    (void)sinkSet;
    const nlohmann::json body = nlohmann::json::parse(tvxfuzz::gf_text(data, size), nullptr, false);
    if (body.is_discarded() || !body.is_object())
        return 0;
    g_handed = 0;
    g_trafficClient.handleTrafficReply(body);
    // Each entry is an array of at least one value: "k":[0] is six bytes.
    tvxfuzz::gf_check(g_handed <= size / 6, "more records handed over than the body can hold");
    std::set<std::string> callsigns;
    std::set<std::uint32_t> hexids;
    g_trafficClient.takeBufferMaps(callsigns, hexids);

    const auto dataIt = body.find("data");
    const nlohmann::json& entries = dataIt != body.end() && dataIt->is_object() ? *dataIt : body;
    for (const auto& [key, entry] : entries.items()) {
        if (!entry.is_array())
            continue;
        const char* reason = nullptr;
        if (const auto parked = g_trafficClient.processParkedTrafficLine(key, entry, 1.7e9, reason)) {
            lf_checkRecord(*parked, parked->hexid, parked->lat, parked->lon);
            tvxfuzz::gf_check(parked->halfHourOffset < 48, "a parked half-hour offset beyond a day");
        }
    }
    return 0;
}
