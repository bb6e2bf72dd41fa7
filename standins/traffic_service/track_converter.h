// Converts recorded ADS-B tracks (the decoded, timestamped track files of public flight-data
// tools) into the stand-in's scenario format, so the stand-in can replay real flights.
//
// Accepted input layouts (JSON):
//   rows:    [{"timestamp": ms, "icao24": "3c664e", "callsign": "DLH4TR", "latitude": .., "longitude": ..,
//              "altitude": ft, "groundspeed": kt, "track": deg, "vertical_rate": ft/min, "onground": bool}, ...]
//   columns: {"timestamp": {"0": ms, "1": ...}, "latitude": {"0": ..}, ...}   (same names, one map per column)
//   readsb full trace: {"icao": "ac671b", "r": "N899DN", "t": "B739", "timestamp": s,
//              "trace": [[s after timestamp, lat, lon, ft | "ground", gs, track, flags, vrate, details,
//                         source, geom alt, geom rate, ...], ...]}
//            "ground" marks an on-ground point (its altitude: the geometric one when given, else the
//            last known); the callsign comes from the details' "flight"; registration and type from
//            "r" and "t". Points flagged stale (flags bit 0) are kept as they are.
// "geoaltitude" stands in for a missing "altitude". Rows without time or position are skipped;
// a missing altitude, speed, track or vertical rate takes the aircraft's last known value (0
// before the first). Times become seconds after the earliest row, which is the scenario start.
//
// Threads: pure function; any thread.
#pragma once

#include <string>

#include "traffic_scenario.h"

namespace tvxstandin {

struct ConvertResult {
    TrafficScenario scenario;
    int rowsRead = 0;
    int rowsSkipped = 0;
    std::string error;  // non-empty when the input was not one of the layouts
};

ConvertResult gf_scenarioFromTracks(const std::string& jsonText);

}  // namespace tvxstandin
