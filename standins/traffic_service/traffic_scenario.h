// Scenario files of the traffic-service stand-in: what the stand-in replays. A scenario holds
// aircraft tracks (time, position, altitude, speed, track, vertical rate, on-ground, with the
// flight's callsign, registration, type, origin and destination), parked aircraft, METAR
// stations with their QNH, and the licences the stand-in accepts.
//
// File layout (JSON):
//   {"start": 1767225600,                       // Unix second of scenario time 0
//    "licences": ["TEST-1234"], "expired": [], "type": 2,
//    "tracks": [{"hex": "4ca7b3", "callsign": "KLM1234", "reg": "PH-BXA", "type": "B738",
//                "from": "EGLL", "to": "EHAM",
//                "points": [{"t": 0, "lat": 52.3, "lon": 4.76, "alt": 1200, "gs": 140, "trk": 240,
//                            "vr": -700, "gnd": 0, "roll": -2.5, "hdg": 241}]}],   // roll, hdg optional
//    "parked": [{"hex": "4b1a2f", "lat": 47.45, "lon": 8.56, "gate": "LSZH_E27", "type": "A333",
//                "reg": "HB-ZZA", "callsign": "TST88", "since": 1767220000}],
//    "stations": [{"icao": "LSZH", "lat": 47.46, "lon": 8.55, "qnh": 1019, "metar": "LSZH ..."}]}
// Points of a track are in ascending time (seconds after "start").
//
// Threads: pure data; any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tvxstandin {

struct TrackPoint {
    double t = 0.0;                 // seconds: known from then on
    double lat = 0.0, lon = 0.0;
    double alt = 0.0;     // feet, pressure altitude
    double gs = 0.0;      // knots
    double track = 0.0;   // degrees
    double vr = 0.0;      // feet per minute
    bool onGround = false;
    std::optional<double> roll;     // degrees
    std::optional<double> heading;  // degrees true
    std::optional<double> seen;     // seconds: when the position was seen, when earlier than t
};

struct ScenarioTrack {
    std::string hex, callsign, registration, type, origin, destination;
    std::vector<TrackPoint> points;
};

struct ScenarioParked {
    std::string hex;
    double lat = 0.0, lon = 0.0;
    std::string gate, type, registration, callsign;
    double since = 0.0;  // Unix seconds it parked
};

struct ScenarioStation {
    std::string icao;
    double lat = 0.0, lon = 0.0;
    double qnh = 1013.0;  // hPa, or inHg × 100 as the service writes it for some stations
    std::string metar;
};

struct TrafficScenario {
    double start = 1767225600.0;
    std::vector<std::string> licences{"TEST-1234-ABCD-5678"};
    std::vector<std::string> expired;
    int type = 2;  // 1 standard, 2 professional
    std::vector<ScenarioTrack> tracks;
    std::vector<ScenarioParked> parked;
    std::vector<ScenarioStation> stations;

    // Seconds from the first to the last point of any track (0 without tracks).
    double duration() const;
};

// Throws std::runtime_error naming what is wrong.
TrafficScenario gf_parseScenario(const std::string& text);
std::string gf_scenarioJson(const TrafficScenario& scenario);

}  // namespace tvxstandin
