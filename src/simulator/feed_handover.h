// Feed hand-over and record acceptance. The traffic reader stamps every record of a reply with the
// AI tick at which it is to be played out and hands live batches over to the main loop through
// g_udpMessages; the main loop takes at most two records a tick and decides for each whether it
// extends a live aircraft, is dropped as implausible or redundant, or starts a new LiveAc.
//
// History buffers (the first reply's five older snapshots) are stamped on the reader thread too.
// While the main loop has not started they are applied at once on the reader thread (the start-up
// waits for the first traffic before it starts the main loop); once it runs they wait in a queue
// of their own and the main loop applies them before the live records of its next tick, so the
// aircraft containers are only ever touched by one thread.
//
// Locks: g_udpMutex guards g_udpMessages, g_udpAccept, the history queue and the "main loop
// started" mark. The reader holds it only for the move of a batch (or, before the main loop
// starts, while it applies a history batch); the main loop applies its live records while holding
// it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "traffic_service/traffic_records.h"

struct LiveAc;
class TrafficClient;

extern std::mutex g_udpMutex;
// The live batch handed over, emptied from the back by the main loop (under g_udpMutex).
extern std::vector<TrafficRecord> g_udpMessages;
// A live batch may be handed over (under g_udpMutex).
extern bool g_udpAccept;

// Opens or closes the hand-over of live batches. Opening is done only by the main loop (when it
// starts and when a flight resumes), so it also marks the main loop as started: from then on
// history batches wait for it. Closing is done by the start-up before the readers run and by the
// main loop while no flight runs.
void gf_acceptUdpMessages(bool accept);

// Traffic reader: stamps the batch and hands it on. delay is 30 for a live reply and buffer index
// times 6 for the history buffers. A live batch is moved whole into g_udpMessages when the
// hand-over is open and empty, otherwise dropped whole; the records vector is left empty either
// way. Records whose feed time is not a finite number are dropped (logged with their count).
// dataTime is the reply's data time (Unix seconds, 0 when unknown): a record, live or history,
// plays out the live delay after its own feed time, counted from the arrival at that data time.
void gf_handleTrafficBatch(std::vector<TrafficRecord>& records, std::uint32_t delay, double dataTime = 0.0);
// The same for the client's record vector with the client's traffic data time and the time its
// request went out; a live batch also tells the client where to place its next live request (to
// read the service's clock). An empty live batch sets the traffic data time to 0.
void gf_handleTrafficBatch(TrafficClient& client, std::uint32_t delay);

// Main loop, once per tick: the waiting history records, then at most two live records (newest
// position in the vector first). A record is taken out before it is applied, so one that throws
// is consumed once; the exception is logged ("lf_handleUdpMessages: ...") and passed on.
void lf_handleUdpMessages();

// Main loop, first thing of every AI tick: from now on history batches wait for the main loop.
void gf_markFeedMainLoopStarted();

// Start-up / exit thread while no main loop runs: empties the hand-over, closes it and forgets
// that the main loop had started (the next run applies its first history directly again).
void gf_resetFeedHandover();

// The swallow rules of record acceptance in the order they are tried: the aircraft is being
// respawned or removed; then, against the last record taken, a record within a second of it, a
// speed ten times or a tenth of the last, from a standstill to 80 kt or back, an altitude out of
// reach, a flying aircraft's repeated position, a fix thrown off a straight flight, a fix that adds
// nothing on a steady track in the air or on the ground; a standing aircraft left to the parked
// traffic; a respawn that refuses the record.
enum class SwallowRule : std::uint8_t {
    NotNow,
    SameRecord,
    SpeedJumpUp,
    SpeedJumpDown,
    StandstillJump,
    AltitudeOutOfReach,
    StaleAirPosition,
    ThrownFix,
    SteadyInAir,
    SteadyOnGround,
    ParkedTraffic,
    RespawnRefused,
    Count
};
// Each rule's name in the counts' text ("same record").
std::string_view gf_swallowRuleName(SwallowRule rule);
// The records a rule swallowed since the run's start (any thread); gf_resetFeedHandover clears them.
std::uint64_t gf_swallowedBy(SwallowRule rule);
// "Records swallowed by rule: respawning or removed 0, same record 812, ..., respawn refused 0":
// every rule in its order, logged once at the exit.
std::string gf_swallowCountsText();

// The records of a batch offered to the live aircraft, or a new aircraft (main loop).
void lf_applyRecord(TrafficRecord& record);
namespace liveac {
// LiveAc::acceptRecord: whether the record belonged to this aircraft (swallowed or appended).
bool acceptRecord(LiveAc& ac, TrafficRecord& record);
}  // namespace liveac
// True when the record is not inside the 120 ft band around the park airport's elevation.
bool lf_notAtParkElevation(const TrafficRecord& record);
void lf_createLiveAcOfKnownType(TrafficRecord& record);
void lf_createLiveAc(TrafficRecord& record);

// The per-class creation values (class 0..5); another class throws std::out_of_range
// "invalid unordered_map<K, T> key".
double gf_creationTurnRateDeg(std::uint32_t sizeClass);   // degrees per tick
double gf_creationVertRateCap(std::uint32_t sizeClass);   // feet per tick
double gf_creationSlowGroundSpeed(std::uint32_t sizeClass);  // knots

// The service's clock less the AI tick's, in seconds, as the live replies place it; NaN before the
// first (any thread; tests).
double gf_serviceClockOffset();

// Number of history records waiting for the main loop (main loop; tests).
std::size_t gf_pendingHistoryRecords();
