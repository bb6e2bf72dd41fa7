// The service's parked traffic around the park airport and the maps collected from the history
// buffers, as the parking reads them.
//
// Threads: gf_requestParkedTraffic, gf_updateParkedTraffic and g_parkedTraffic belong to the main
// loop, which never waits on the network for them: the traffic reader sends the parkedtraffic
// request between its live polls and keeps the list for the main loop (guarded inside the client).
// gf_takeBufferMaps runs on the main loop while the traffic reader fills the maps; g_bufferReceived
// is an atomic flag raised by the main loop and read by the traffic reader.
#pragma once

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "traffic_service/traffic_records.h"

// The parked aircraft of the last parked-traffic reply, in reply order. Main loop.
extern std::vector<ParkedTrafficRecord> g_parkedTraffic;

// Raised when a new history-buffer fetch is wanted; cleared by gf_takeBufferMaps.
extern std::atomic<bool> g_bufferReceived;

// Asks the traffic reader for the history buffers at its next poll and raises g_bufferReceived:
// the maps the next gf_takeBufferMaps hands over then hold what the buffers showed after this
// call, also when buffers fetched earlier (the first reply's) were not taken yet. Main loop.
void gf_requestHistoryBuffers();

// Asks the traffic reader for the aircraft parked in a 3 nm box around the park airport (the
// client's park-airport position); it sends the request at its next turn, a poll spacing or two
// later. Ask once the park airport's stands are read: the records' stand names come from them.
// Main loop.
void gf_requestParkedTraffic();
// Replaces g_parkedTraffic with the list read since the last call for the current park airport.
// True when one was in; false (g_parkedTraffic unchanged) when none was: not asked for, not back
// yet, or the request or its reply failed. A request refused with status 400 or 403 raises
// tvx::SysErrorException here. Main loop; never waits.
bool gf_updateParkedTraffic();

// Moves the seen-callsign set (ordered by text) and the seen-hexid set collected from the
// history buffers into the caller's sets, replacing their contents; empties the client's copies
// and clears g_bufferReceived. Main loop.
void gf_takeBufferMaps(std::set<std::string>& seenCallsigns, std::set<std::uint32_t>& seenHexids);

// Half-hours from the slot of parkedEpoch to the slot of nowEpoch (UTC half-hour slots of the
// day), wrapped with +48 into 0..47.
std::uint32_t lf_halfHourOffset(double parkedEpoch, double nowEpoch);
