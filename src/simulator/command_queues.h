// The command queues between the main loop and the SimConnect thread: AI position updates, client
// events, creations, removals, and the creations already sent and waiting for their object. The
// main loop appends; once per simulator frame the SimConnect thread's lf_flushSimQueues sends
// everything queued and empties the queues. Owns the queue records, g_simConnectMutex, the flaps
// and throttle value tables and the AI create, remove and release calls.
//
// Locks: g_simConnectMutex (plain, non-recursive) guards g_clientEventCmds, g_createAcCmds,
// g_removeAcCmds, the send side of g_acPosUpdates and every SimConnect call made outside the
// SimConnect thread's dispatch. It nests inside g_simEventMutex and outside the status-line and
// log mutexes. The write side of g_acPosUpdates belongs to the main loop alone;
// g_pendingCreations and g_addedObjectIds to the SimConnect thread alone.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simconnect/SimConnect.h"

// One AI position update; the first eight fields are the data of definition 402.
struct AcPosUpdate {
    double latitude = 0.0;       // degrees
    double longitude = 0.0;      // degrees
    double pitch = 0.0;          // radians
    double bank = 0.0;           // radians
    double heading = 0.0;        // radians, true
    double altitude = 0.0;       // feet
    double verticalSpeed = 0.0;  // feet per second
    double trueAirspeed = 0.0;   // knots
    std::uint32_t objectId = 0;
};

struct ClientEventCmd {
    std::uint32_t objectId = 0;
    std::uint32_t eventId = 0;  // 206-222 (simid::)
    std::uint32_t data = 0;
};

struct CreateAcCmd {
    SIMCONNECT_DATA_INITPOSITION initPos{};  // degrees, feet; on-ground and airspeed 0 for live
    std::string callsign;                    // sent as tail number, comes back as the ATC id
    std::string_view title;                  // livery title; the livery tables own the text
    std::uint32_t hexid = 0;                 // 10000 or less for static parked aircraft
};

// A creation sent and not yet matched to its object.
struct PendingCreation {
    std::uint32_t packetId = 0;  // of the create call; 0 when it could not be read
    std::uint32_t hexid = 0;
    std::string callsign;
};

// Both sides of the position buffers; the AI tick exchanges them (gf_exchangePosUpdates).
struct PosUpdateBuffers {
    std::vector<AcPosUpdate> write;  // main loop only, no lock
    std::vector<AcPosUpdate> send;   // under g_simConnectMutex
};

// The seven light values in the program's light order: nav, beacon, landing, taxi, strobes,
// logo, cabin; 1 = on.
using LightSet = std::array<std::uint8_t, 7>;

extern std::mutex g_simConnectMutex;
extern PosUpdateBuffers g_acPosUpdates;
extern std::vector<ClientEventCmd> g_clientEventCmds;
extern std::vector<CreateAcCmd> g_createAcCmds;
extern std::vector<std::uint32_t> g_removeAcCmds;
extern std::vector<PendingCreation> g_pendingCreations;  // SimConnect thread
extern std::vector<std::uint32_t> g_addedObjectIds;      // SimConnect thread

// Event data of FLAPS_SET (217) and THROTTLE_SET (222) by index 0..4; throttle index 5 sends
// nothing. Out-of-table indexes give no value.
inline constexpr std::array<std::uint32_t, 5> g_flapsValues{0, 3072, 10240, 16383, 0};
inline constexpr std::array<std::uint32_t, 5> g_throttleValues{0, 4914, 8191, 11468, 16383};
// The throttle steps by name: the climb's, full (take-off, and always a rotorcraft's), none sent.
inline constexpr std::uint32_t kThrottleClimb = 3;
inline constexpr std::uint32_t kThrottleFull = 4;
inline constexpr std::uint32_t kThrottleNone = 5;
// The flaps step of an aircraft none was sent to yet (its value retracts the flaps like step 0).
inline constexpr std::uint32_t kFlapsNone = 4;
// A lever event's full position (SPOILERS_SET 16383: the spoilers out).
inline constexpr std::uint32_t kEventFull = 16383;
std::optional<std::uint32_t> gf_flapsEventData(int index);
std::optional<std::uint32_t> gf_throttleEventData(int index);

// ---- main loop -------------------------------------------------------------------------------
// Appends a copy to the write side of g_acPosUpdates, without a lock.
void gf_updateAircraft(const AcPosUpdate& update);
// Appends a copy to g_createAcCmds under g_simConnectMutex.
void gf_queueCreateAc(const CreateAcCmd& cmd);
// Appends the object id to g_removeAcCmds under g_simConnectMutex.
void gf_queueRemoveAc(std::uint32_t objectId);
// Appends the seven light events in the light order under g_simConnectMutex.
void gf_queueLights(std::uint32_t objectId, const LightSet& lights);
void gf_setNavLights(std::uint32_t objectId, bool on);
void gf_setCabinLights(std::uint32_t objectId, bool on);
// Appends one client event under g_simConnectMutex (gf_setFlaps, gf_setThrottle, gf_setGear and
// the configuration steps use it with the tables above).
void gf_queueClientEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data);
// The exchange of the position buffers after the AI tick queued its updates: try-lock; busy and
// g_frameRate <= 50: this tick's updates are dropped; busy and faster: wait. Holding the lock,
// swap the sides and empty the new write side.
void gf_exchangePosUpdates();

// ---- start-up thread -------------------------------------------------------------------------
// Reserves 256 entries in the queues (never shrinking), drops creations left from an earlier run
// and clears g_simConnectFailed. The other queues keep their entries; g_clientEventCmds is not
// touched.
void gf_resetSimQueues();

// ---- SimConnect thread -----------------------------------------------------------------------
// Releases the object from AI control (request 103) and queues the three freezes (data 1),
// under g_simConnectMutex.
void lf_releaseAndFreeze(std::uint32_t objectId);
// Once per simulator frame (the Frame event): sends and empties the queues; one try-lock, a busy
// mutex skips the frame. In the failed state every queue except the removals is discarded.
void lf_flushSimQueues();
// Forgets every pending creation and announced object id (after each successful open).
void gf_clearPendingCreations();
