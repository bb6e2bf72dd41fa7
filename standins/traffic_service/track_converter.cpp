// Recorded ADS-B tracks -> stand-in scenario; see track_converter.h. Threads: any.
#include "track_converter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>

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

std::optional<double> lf_cell(const json& row, std::size_t i)
{
    if (i >= row.size() || !row[i].is_number())
        return std::nullopt;
    const double v = row[i].get<double>();
    return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

// readsb full trace -> one track.
ConvertResult lf_fromReadsbTrace(const json& doc)
{
    ConvertResult result;
    ScenarioTrack track;
    track.hex = lf_str(doc, "icao");
    track.registration = lf_str(doc, "r");
    track.type = lf_str(doc, "t");
    const auto base = lf_num(doc, "timestamp");
    if (track.hex.empty() || !base) {
        result.error = "readsb trace without \"icao\" or \"timestamp\"";
        return result;
    }
    double alt = 0, gs = 0, trk = 0, vr = 0;
    for (const auto& row : doc["trace"]) {
        ++result.rowsRead;
        if (!row.is_array()) {
            ++result.rowsSkipped;
            continue;
        }
        const auto dt = lf_cell(row, 0);
        const auto lat = lf_cell(row, 1);
        const auto lon = lf_cell(row, 2);
        if (!dt || !lat || !lon || std::abs(*lat) > 90.0 || std::abs(*lon) > 180.0) {
            ++result.rowsSkipped;
            continue;
        }
        TrackPoint p;
        p.t = *dt;
        p.lat = *lat;
        p.lon = *lon;
        p.onGround = row.size() > 3 && row[3].is_string() && row[3].get<std::string>() == "ground";
        if (p.onGround)
            alt = lf_cell(row, 10).value_or(alt);
        else
            alt = lf_cell(row, 3).value_or(lf_cell(row, 10).value_or(alt));
        p.alt = alt;
        p.gs = gs = lf_cell(row, 4).value_or(gs);
        double t = std::fmod(lf_cell(row, 5).value_or(trk), 360.0);
        p.track = trk = t < 0 ? t + 360.0 : t;
        p.vr = vr = lf_cell(row, 7).value_or(lf_cell(row, 11).value_or(vr));
        if (row.size() > 8 && row[8].is_object())
            if (const std::string cs = lf_str(row[8], "flight"); !cs.empty())
                track.callsign = cs;  // the newest callsign names the track
        track.points.push_back(p);
    }
    if (track.points.empty()) {
        result.error = "no row with time and position";
        return result;
    }
    std::stable_sort(track.points.begin(), track.points.end(), [](const auto& a, const auto& b) { return a.t < b.t; });
    const double first = track.points.front().t;
    for (auto& p : track.points)
        p.t -= first;
    result.scenario.start = std::floor(*base + first);
    const double shift = *base + first - result.scenario.start;  // keeps whole-second scenario starts
    for (auto& p : track.points)
        p.t += shift;
    result.scenario.tracks = {std::move(track)};
    return result;
}

}  // namespace

ConvertResult gf_scenarioFromTracks(const std::string& jsonText)
{
    ConvertResult result;
    const json doc = json::parse(jsonText, nullptr, false);
    json rows;
    if (doc.is_object() && doc.contains("trace") && doc["trace"].is_array())
        return lf_fromReadsbTrace(doc);
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
        // Millisecond stamps (the usual) or seconds. The service stamps a position with the time
        // it was seen, which such recordings keep as "last_position" beside the row's own time
        // (a position repeated in later rows keeps its first time).
        const double scale = *ts > 1e11 ? 1000.0 : 1.0;
        p.t = *ts / scale;
        if (const auto seen = lf_num(row, "last_position"); seen && *seen > 0.0 && *seen < *ts)
            p.seen = *seen / scale;
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
        if (p.seen)
            *p.seen -= first;
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
