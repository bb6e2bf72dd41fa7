// Recorded ADS-B tracks -> stand-in scenario; see track_converter.h. Threads: any.
#include "track_converter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include <nlohmann/json.hpp>

namespace tvxstandin {

namespace {

using nlohmann::json;

std::optional<double> lf_num(const json& row, const char* name)
{
    const auto it = row.find(name);
    if (it == row.end() || !it->is_number())
        return std::nullopt;
    const double v = it->get<double>();
    return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

std::string lf_str(const json& row, const char* name)
{
    const auto it = row.find(name);
    if (it == row.end() || !it->is_string())
        return {};
    std::string s = it->get<std::string>();
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// Column layout -> rows.
json lf_columnsToRows(const json& columns)
{
    std::map<std::string, json> rows;
    for (const auto& [column, cells] : columns.items()) {
        if (!cells.is_object())
            continue;
        for (const auto& [index, value] : cells.items())
            rows[index][column] = value;
    }
    std::vector<std::pair<long, json>> ordered;
    for (auto& [index, row] : rows) {
        char* end = nullptr;
        const long i = std::strtol(index.c_str(), &end, 10);
        ordered.emplace_back(*end == '\0' ? i : std::numeric_limits<long>::max(), std::move(row));
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    json out = json::array();
    for (auto& [i, row] : ordered)
        out.push_back(std::move(row));
    return out;
}

}  // namespace

ConvertResult gf_scenarioFromTracks(const std::string& jsonText)
{
    ConvertResult result;
    const json doc = json::parse(jsonText, nullptr, false);
    json rows;
    if (doc.is_array())
        rows = doc;
    else if (doc.is_object() && doc.contains("timestamp") && doc["timestamp"].is_object())
        rows = lf_columnsToRows(doc);
    else {
        result.error = "neither a list of rows nor a table of columns";
        return result;
    }

    struct Last {
        double alt = 0, gs = 0, track = 0, vr = 0;
    };
    std::map<std::string, ScenarioTrack> tracks;
    std::map<std::string, Last> last;
    double first = std::numeric_limits<double>::infinity();
    std::vector<std::pair<std::string, TrackPoint>> points;

    for (const auto& row : rows) {
        ++result.rowsRead;
        if (!row.is_object()) {
            ++result.rowsSkipped;
            continue;
        }
        const auto ts = lf_num(row, "timestamp");
        const auto lat = lf_num(row, "latitude");
        const auto lon = lf_num(row, "longitude");
        const std::string hex = lf_str(row, "icao24");
        if (!ts || !lat || !lon || hex.empty() || std::abs(*lat) > 90.0 || std::abs(*lon) > 180.0) {
            ++result.rowsSkipped;
            continue;
        }
        Last& l = last[hex];
        TrackPoint p;
        // Millisecond stamps (the usual) or seconds.
        p.t = *ts > 1e11 ? *ts / 1000.0 : *ts;
        p.lat = *lat;
        p.lon = *lon;
        auto alt = lf_num(row, "altitude");
        if (!alt)
            alt = lf_num(row, "geoaltitude");
        p.alt = l.alt = alt.value_or(l.alt);
        p.gs = l.gs = lf_num(row, "groundspeed").value_or(l.gs);
        double track = lf_num(row, "track").value_or(l.track);
        track = std::fmod(track, 360.0);
        p.track = l.track = track < 0 ? track + 360.0 : track;
        p.vr = l.vr = lf_num(row, "vertical_rate").value_or(l.vr);
        if (const auto g = row.find("onground"); g != row.end() && g->is_boolean())
            p.onGround = g->get<bool>();
        auto& t = tracks[hex];
        t.hex = hex;
        if (const std::string cs = lf_str(row, "callsign"); !cs.empty())
            t.callsign = cs;
        first = std::min(first, p.t);
        points.emplace_back(hex, p);
    }
    if (points.empty()) {
        result.error = "no row with time and position";
        return result;
    }
    for (auto& [hex, p] : points) {
        p.t -= first;
        tracks[hex].points.push_back(p);
    }
    result.scenario.start = std::floor(first);
    result.scenario.tracks.clear();
    for (auto& [hex, t] : tracks) {
        std::stable_sort(t.points.begin(), t.points.end(), [](const auto& a, const auto& b) { return a.t < b.t; });
        result.scenario.tracks.push_back(std::move(t));
    }
    return result;
}

}  // namespace tvxstandin
