// The service's parked traffic around the park airport and the maps collected from the history
// buffers, as the parking reads them.
//
// Threads: gf_updateParkedTraffic and g_parkedTraffic belong to the main loop; gf_takeBufferMaps
// runs on the main loop while the traffic reader fills the maps (guarded inside the client);
// g_bufferReceived is an atomic flag raised by the main loop and read by the traffic reader.
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

// Asks the service for the aircraft parked in a 3 nm box around the park airport (the client's
// park-airport position) and replaces g_parkedTraffic with them. True when a list is available;
// false (g_parkedTraffic unchanged) when no park airport is set or the request or its reply
// failed. Status 400 or 403 raise tvx::SysErrorException. Main loop.
bool gf_updateParkedTraffic();

// Moves the seen-callsign set (ordered by text) and the seen-hexid set collected from the
// history buffers into the caller's sets, replacing their contents; empties the client's copies
// and clears g_bufferReceived. Main loop.
void gf_takeBufferMaps(std::set<std::string>& seenCallsigns, std::set<std::uint32_t>& seenHexids);

// Half-hours from the slot of parkedEpoch to the slot of nowEpoch (UTC half-hour slots of the
// day), wrapped with +48 into 0..47.
std::uint32_t lf_halfHourOffset(double parkedEpoch, double nowEpoch);
