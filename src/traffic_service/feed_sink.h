// The seam between the traffic-service client and the rest of the program: the calls through
// which the client's reader threads hand their results on (feed batches, the blocked-callsign
// event, stand names, the error line), and the values the client reads from its neighbours (the
// user aircraft's position, the query range). The program sets the calls once at start-up
// (gf_connectSubsystems), before the readers start; a call left unset has a default that keeps
// the client working on its own (a batch is dropped with one log line, a stand name is empty, an
// error line goes to the log only).
//
// Threads: the calls are set on the window thread before the readers run and are called on the
// reader threads (and, for the stand name, on whichever thread updates the parked traffic). The
// position and range values are atomics written by the simulator link / the frame and read by
// the readers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class TrafficClient;

struct TrafficFeedSink {
    // gf_handleTrafficBatch: takes the records in client.liveRecords() with a delay in seconds
    // (30 for a live reply, buffer index × 6 for the history buffers of the first reply).
    std::function<void(TrafficClient& client, std::uint32_t delay)> handleBatch;
    // gf_postSimEvent: (kind, object id, hexid). The client posts kind 5 (callsign blocked).
    std::function<void(std::uint32_t kind, std::uint32_t objectId, std::uint32_t hexid)> postSimEvent;
    // gf_nearestStandName: the stand within 55 m of the position, or an empty text.
    std::function<std::string(double lat, double lon)> nearestStandName;
    // gf_setErrorLine: shows "Error {}" with the text on the window's error line.
    std::function<void(std::string_view text)> setErrorLine;
    // gf_setStatusLine: shows the text on the window's status line and logs it.
    std::function<void(std::string_view text)> setStatusLine;
    // Empties the status line when it still shows the text.
    std::function<void(std::string_view text)> clearStatusLine;
};

// The calls. Set them at start-up; gf_resetFeedSink() unsets every one.
TrafficFeedSink& gf_feedSink();
void gf_resetFeedSink();

// Calls through the sink, with the defaults of unset calls.
void gf_sinkHandleBatch(TrafficClient& client, std::uint32_t delay);
void gf_sinkPostSimEvent(std::uint32_t kind, std::uint32_t objectId, std::uint32_t hexid);
std::string gf_sinkNearestStandName(double lat, double lon);
void gf_sinkSetErrorLine(std::string_view text);
void gf_sinkSetStatusLine(std::string_view text);
void gf_sinkClearStatusLine(std::string_view text);

// ---- Values the readers read ----------------------------------------------------------------

// The user aircraft's position (degrees) and altitude (feet): the centre of the live-traffic
// box and the weather position. Set by the simulator link whenever it learns the position.
void gf_setTrafficQueryPosition(double lat, double lon, double altFeet);
struct QueryPosition {
    double lat = 0.0;
    double lon = 0.0;
    double altFeet = 0.0;
    bool set = false;  // false until a position outside the no-flight zone arrived
};
QueryPosition gf_trafficQueryPosition();

// The lateral range of the traffic query in nautical miles: the window's g_rangeNm, which the
// LATERAL_RANGE and AUTO_RANGE controls set, unless a range was set here (the readers' tests).
void gf_setTrafficQueryRangeNm(double rangeNm);
double gf_trafficQueryRangeNm();
