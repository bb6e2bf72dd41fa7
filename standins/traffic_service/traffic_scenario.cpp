// Reading and writing the stand-in's scenario files; see traffic_scenario.h. Threads: any.
#include "traffic_scenario.h"

#include <algorithm>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace tvxstandin {

namespace {

using nlohmann::json;

std::string lf_text(const json& obj, const char* name)
{
    const auto it = obj.find(name);
    return it != obj.end() && it->is_string() ? it->get<std::string>() : std::string();
}

double lf_number(const json& obj, const char* name, double fallback)
{
    const auto it = obj.find(name);
    return it != obj.end() && it->is_number() ? it->get<double>() : fallback;
}

std::optional<double> lf_optNumber(const json& obj, const char* name)
{
    const auto it = obj.find(name);
    if (it == obj.end() || !it->is_number())
        return std::nullopt;
    return it->get<double>();
}

}  // namespace

double TrafficScenario::duration() const
{
    double first = 0.0, last = 0.0;
    bool any = false;
    for (const auto& track : tracks)
        for (const auto& p : track.points) {
            first = any ? std::min(first, p.t) : p.t;
            last = any ? std::max(last, p.t) : p.t;
            any = true;
        }
    return any ? last - first : 0.0;
}

TrafficScenario gf_parseScenario(const std::string& text)
{
    const json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object())
        throw std::runtime_error("scenario is not a JSON object");
    TrafficScenario s;
    s.start = lf_number(doc, "start", s.start);
    s.type = static_cast<int>(lf_number(doc, "type", s.type));
    if (const auto it = doc.find("licences"); it != doc.end() && it->is_array()) {
        s.licences.clear();
        for (const auto& l : *it)
            if (l.is_string())
                s.licences.push_back(l.get<std::string>());
    }
    if (const auto it = doc.find("expired"); it != doc.end() && it->is_array())
        for (const auto& l : *it)
            if (l.is_string())
                s.expired.push_back(l.get<std::string>());
    if (const auto it = doc.find("tracks"); it != doc.end()) {
        if (!it->is_array())
            throw std::runtime_error("scenario: \"tracks\" is not a list");
        for (const auto& t : *it) {
            if (!t.is_object())
                throw std::runtime_error("scenario: a track is not an object");
            ScenarioTrack track{lf_text(t, "hex"), lf_text(t, "callsign"), lf_text(t, "reg"), lf_text(t, "type"),
                                lf_text(t, "from"), lf_text(t, "to"), {}};
            if (track.hex.empty())
                throw std::runtime_error("scenario: a track without \"hex\"");
            const auto points = t.find("points");
            if (points == t.end() || !points->is_array())
                throw std::runtime_error("scenario: track " + track.hex + " without \"points\"");
            for (const auto& p : *points) {
                if (!p.is_object() || !p.contains("lat") || !p.contains("lon"))
                    throw std::runtime_error("scenario: track " + track.hex + " has a point without position");
                TrackPoint point;
                point.t = lf_number(p, "t", 0.0);
                point.seen = lf_optNumber(p, "seen");
                point.lat = lf_number(p, "lat", 0.0);
                point.lon = lf_number(p, "lon", 0.0);
                point.alt = lf_number(p, "alt", 0.0);
                point.gs = lf_number(p, "gs", 0.0);
                point.track = lf_number(p, "trk", 0.0);
                point.vr = lf_number(p, "vr", 0.0);
                point.onGround = lf_number(p, "gnd", 0.0) != 0.0;
                point.roll = lf_optNumber(p, "roll");
                point.heading = lf_optNumber(p, "hdg");
                track.points.push_back(point);
            }
            std::stable_sort(track.points.begin(), track.points.end(),
                             [](const TrackPoint& a, const TrackPoint& b) { return a.t < b.t; });
            s.tracks.push_back(std::move(track));
        }
    }
    if (const auto it = doc.find("parked"); it != doc.end() && it->is_array())
        for (const auto& p : *it)
            if (p.is_object())
                s.parked.push_back({lf_text(p, "hex"), lf_number(p, "lat", 0.0), lf_number(p, "lon", 0.0),
                                    lf_text(p, "gate"), lf_text(p, "type"), lf_text(p, "reg"), lf_text(p, "callsign"),
                                    lf_number(p, "since", 0.0)});
    if (const auto it = doc.find("stations"); it != doc.end() && it->is_array())
        for (const auto& p : *it)
            if (p.is_object())
                s.stations.push_back({lf_text(p, "icao"), lf_number(p, "lat", 0.0), lf_number(p, "lon", 0.0),
                                      lf_number(p, "qnh", 1013.0), lf_text(p, "metar")});
    return s;
}

std::string gf_scenarioJson(const TrafficScenario& s)
{
    json doc = {{"start", s.start}, {"licences", s.licences}, {"expired", s.expired}, {"type", s.type}};
    json tracks = json::array();
    for (const auto& t : s.tracks) {
        json points = json::array();
        for (const auto& p : t.points) {
            json point = {{"t", p.t},   {"lat", p.lat}, {"lon", p.lon}, {"alt", p.alt},
                          {"gs", p.gs}, {"trk", p.track}, {"vr", p.vr}, {"gnd", p.onGround ? 1 : 0}};
            if (p.seen)
                point["seen"] = *p.seen;
            if (p.roll)
                point["roll"] = *p.roll;
            if (p.heading)
                point["hdg"] = *p.heading;
            points.push_back(std::move(point));
        }
        tracks.push_back({{"hex", t.hex},   {"callsign", t.callsign}, {"reg", t.registration}, {"type", t.type},
                          {"from", t.origin}, {"to", t.destination},  {"points", std::move(points)}});
    }
    doc["tracks"] = std::move(tracks);
    json parked = json::array();
    for (const auto& p : s.parked)
        parked.push_back({{"hex", p.hex}, {"lat", p.lat}, {"lon", p.lon}, {"gate", p.gate}, {"type", p.type},
                          {"reg", p.registration}, {"callsign", p.callsign}, {"since", p.since}});
    doc["parked"] = std::move(parked);
    json stations = json::array();
    for (const auto& st : s.stations)
        stations.push_back({{"icao", st.icao}, {"lat", st.lat}, {"lon", st.lon}, {"qnh", st.qnh}, {"metar", st.metar}});
    doc["stations"] = std::move(stations);
    return doc.dump(1);
}

}  // namespace tvxstandin
