// Aircraft removal and selection: the one road by which any aircraft leaves the simulator
// (gf_removeAct), the purges of queued creation requests, the per-id gate of three half-hour
// slots, stand lookups by name and id and stand blocking, the selection of a live aircraft by
// callsign, making room for a new live aircraft, the wanted number of parked aircraft, the parking
// controls switched off during long parking work, and the throttle, flaps, gear and parked
// configuration commands. Every operation that takes a StaticAc serves a LiveAc as well.
//
// Thread: the main loop, except gf_dropQueuedLiveCreations and gf_removeAllLiveAc, which the exit
// sequence also runs after the main loop has ended. g_controlsBusy is atomic because the window
// thread reads it; the client events take g_simConnectMutex inside gf_queueClientEvent.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "model/ac_records.h"
#include "model/stand_model.h"

// Pairs (id, half-hour slot 0..47) of aircraft that parked at or left a stand.
extern std::vector<std::pair<std::uint32_t, std::uint32_t>> g_arrivedLiveAc;
// Stores (hexid, slot) in g_arrivedLiveAc, replacing the slot of an existing pair of the hexid.
void gf_rememberArrival(std::uint32_t hexid, std::uint32_t slot);
// Object id of the aircraft selected by callsign (0: none). Its text is the window's selectedText.
extern std::atomic<std::uint32_t> g_selectedObjectId;
// Set while the parking controls are disabled.
extern std::atomic<bool> g_controlsBusy;
// What the status area shows of the parked-traffic target: wanted count and percentage.
extern std::atomic<std::int32_t> g_wantedParkedShown;
extern std::atomic<std::int32_t> g_parkingPercentageShown;
// The window's first countdown, set to 19 when the parking controls come back.
extern std::atomic<std::int32_t> g_firstCountdown;

// Removes the aircraft: a buffering one only gets its remove mark; any other frees its stand,
// goes to state 4 (a state-1 one also gets its remove-on-creation flag, so that an object that
// arrives later is removed at once) and queues its object id for removal.
void gf_removeAct(StaticAc& ac);

// Drop the queued creation requests of the callsign and erase their aircraft from g_staticAc
// (respectively g_liveAc) by moving the container's last element into its place. Callers walking
// the same container walk by index and visit the same index again after an erase. True when a
// request matched.
bool gf_dropQueuedStaticCreations(const std::string& callsign);
bool gf_dropQueuedLiveCreations(const std::string& callsign);

// Exit sequence: removes every live aircraft: a placed one through gf_removeAct; one whose creation
// is requested loses its queued request or, when the request has gone to the simulator, gets its
// remove-on-creation flag. Walks by index and never skips an aircraft.
void gf_removeAllLiveAc();
// Exit sequence: moves every object id of g_removeRequests into the simulator's removal queue at
// once, under g_simConnectMutex.
void gf_flushRemoveRequests();

// The per-id gate: false when the id was let through less than three half-hour slots ago
// (unless forced); true otherwise, storing the clock's slot for the id.
bool gf_allowOncePer3Slots(std::uint64_t clock, std::uint32_t id, bool force);

// First stand with that name; g_parkPositions.end() when none.
std::vector<ParkPos>::iterator gf_findStand(const std::string& name);
// The stand of g_parkPositions with that id; nullptr when none.
ParkPos* gf_standById(std::uint32_t standId);
// Forgets the aircraft's stand (position, heading, id and cargo attribute back to none); the stand
// itself is left as it is.
void gf_forgetStand(StaticAc& ac);
// Marks the stand taken and the stands that overlap it blocked.
void gf_blockStands(ParkPos& stand);
// "sid==0?" for 0, the name of the first stand with the id, "unknown" when none.
std::string gf_standName(std::uint32_t standId);

// Selects the placed live aircraft whose callsign is the CALLSIGN_2_OBJECTID text.
void gf_selectAcByCallsign();

// Makes room for a new live aircraft at distance d (nm) from the user: removes the placed live
// aircraft farthest beyond d (each candidate more than 0.1 nm beyond the best so far) and answers
// false; true (drop the newcomer) when none lies beyond or d is not a number.
bool gf_removeFarthestLiveAc(double distanceNm);

// Number of parked aircraft wanted at the park airport; sets the shown count and percentage.
int gf_wantedParkedCount();

// Parking controls off / on while long parking work runs.
void gf_disableControls();
void gf_enableControls();

// Parked configuration: throttle 0, flaps 0, engines off, parked lights.
void gf_parkConfiguration(StaticAc& ac);
// FLAPS_SET when the index changes (not for Rotorcraft); index 0..4, else "invalid array<T, N> subscript".
void gf_setFlaps(StaticAc& ac, std::uint32_t index);
// GEAR_SET 1 (down) or 0 on every call, not for Rotorcraft.
void gf_setGear(StaticAc& ac, bool down);
// THROTTLE_SET when the index changes; index 5 sends nothing but is stored; 0..5, else the error.
void gf_setThrottle(StaticAc& ac, std::uint32_t index);
