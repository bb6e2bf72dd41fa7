// Weather: /nearestmetar for the station nearest the user aircraft and /weather (querytype
// locwx) for its QNH. The station is asked again when none is known yet or the user aircraft
// moved 10 nm from where it was asked. Both requests are paced by the weather rate limit.
//
// Replies: /nearestmetar {"data": [{"ICAO", "Dist", "BrgTo", "METAR"}, ...]} or, for one
// station, the bare object; /weather {"data": {"ICAO", "QNH", "METAR", "locWX", ...}} or the
// inner object alone. Both shapes are accepted.
//
// Threads: weather reader.
#include "traffic_service/weather.h"

#include <cmath>

#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/traffic_client.h"

std::atomic<std::int32_t> g_qnh{1013};

namespace {

constexpr double kStationMoveNm = 10.0;
constexpr double kHpaPerInHg = 33.8639;

std::string lf_stationOf(const nlohmann::json& reply)
{
    const nlohmann::json* item = &reply;
    if (const auto data = reply.find("data"); data != reply.end()) {
        if (data->is_array() && !data->empty())
            item = &(*data)[0];
        else if (data->is_object())
            item = &*data;
    }
    if (!item->is_object())
        return {};
    const auto icao = item->find("ICAO");
    if (icao == item->end() || !icao->is_string())
        return {};
    std::string code = icao->get<std::string>();
    if (code.size() < 3 || code.size() > 4)
        return {};
    for (char c : code)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return {};
    return code;
}

}  // namespace

std::optional<std::int32_t> lf_qnhFromWeather(const nlohmann::json& reply)
{
    const auto data = reply.find("data");
    const nlohmann::json& inner = data != reply.end() && data->is_object() ? *data : reply;
    const auto it = inner.find("QNH");
    if (it == inner.end() || it->is_null())
        return 1013;
    double value = 0.0;
    if (it->is_number()) {
        value = it->get<double>();
    } else if (it->is_string()) {
        const std::string& text = it->get_ref<const std::string&>();
        if (text.empty() || text == "null")
            return 1013;
        char* end = nullptr;
        value = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0')
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (!std::isfinite(value))
        return std::nullopt;
    if (value == 0.0 || value == -1.0)
        return 1013;
    double hpa = value > 2000.0 ? value / 100.0 * kHpaPerInHg : value;
    if (hpa < 850.0 || hpa > 1100.0)
        return std::nullopt;
    return static_cast<std::int32_t>(std::lround(hpa));
}

bool TrafficClient::pollWeather()
{
    const QueryPosition pos = gf_trafficQueryPosition();
    if (!pos.set) {
        sleepFor(rateLimit(RequestClass::Weather));
        return false;
    }
    const std::string toffset = lf_toffset();
    std::string station;
    bool stationDue = false;
    {
        std::lock_guard lock(m_mutex);
        station = m_station;
        stationDue = station.empty() || gf_distanceNm(pos.lat, pos.lon, m_stationLat, m_stationLon) > kStationMoveNm;
    }
    if (stationDue) {
        const ServiceReply reply = request(RequestClass::Weather, "nearestmetar",
                                           {{"toffset", toffset},
                                            {"lat", tvx::format("{:.6f}", pos.lat)},
                                            {"lon", tvx::format("{:.6f}", pos.lon)}});
        if (!reply.problem.empty()) {
            if (!m_stop)
                gf_logError("nearest METAR: {}", reply.problem);
            return false;
        }
        if (reply.status == 200) {
            const std::string found = lf_stationOf(reply.json);
            if (found.empty()) {
                gf_logError("nearest METAR: reply without a station");
            } else {
                std::lock_guard lock(m_mutex);
                if (m_station != found)
                    gf_log("weather station {}", found);
                m_station = station = found;
                m_stationLat = pos.lat;
                m_stationLon = pos.lon;
            }
        } else if (reply.status != 406) {
            gf_logError("nearest METAR: status {} {}", reply.status, reply.message);
        }
    }
    const ServiceReply reply = request(RequestClass::Weather, "weather",
                                       {{"querytype", "locwx"},
                                        {"toffset", toffset},
                                        {"lat", tvx::format("{:.6f}", pos.lat)},
                                        {"lon", tvx::format("{:.6f}", pos.lon)},
                                        {"alt", tvx::format("{:.0f}", pos.altFeet)},
                                        {"airports", station.empty() ? std::string("UNKN") : station}});
    if (!reply.problem.empty()) {
        if (!m_stop)
            gf_logError("weather: {}", reply.problem);
        return false;
    }
    if (reply.status != 200) {
        if (reply.status != 406)
            gf_logError("weather: status {} {}", reply.status, reply.message);
        return false;
    }
    const auto qnh = lf_qnhFromWeather(reply.json);
    if (!qnh) {
        gf_logError("weather: QNH unreadable, {} hPa kept", g_qnh.load());
        return false;
    }
    if (g_qnh.exchange(*qnh) != *qnh && g_optLog.value())
        gf_log("QNH {} hPa ({})", *qnh, station.empty() ? "no station" : station);
    return true;
}
