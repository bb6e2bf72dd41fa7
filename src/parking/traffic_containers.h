// The traffic and parking containers over the life of the process: their capacities reserved once,
// the removal of the park airport's parked traffic and the leaving of the airport, the emptying of
// every traffic container at exit (so an in-process restart starts clean) and the history-buffer
// maps of the stand search. The learned-file save is in learned_save.h, the Callsign2ObjectId.txt
// listing in callsign_listing.h.
//
// Thread: the main loop, except gf_removeParkedTraffic and gf_clearTrafficState, which the exit
// thread (FinalExit) runs once the main loop has acknowledged its end and the readers stopped.
#pragma once

#include <string>

struct LiveAc;

// g_parkUpdates (stand_schedule.h) and the seen maps g_seenCallsigns, g_seenHexids (static_plan.h)
// are used here, not owned.

// Once per process: reserves the containers' capacities and removes an old Callsign2ObjectId.txt.
void gf_reserveTrafficContainers();
// Removes the park airport's static and live parked traffic and leaves the airport.
void gf_removeParkedTraffic();
// Saves changed stand data, then forgets the park airport, its stands and its work lists.
void gf_leaveParkAirport();
// Exit: empties every traffic container, queue and park-airport value.
void gf_clearTrafficState();
// Empties the seen maps and takes over the ones the traffic client collected.
void gf_clearBufferMaps();
// Tests: forgets that the capacities were reserved, as in a fresh process.
void lf_resetReservedOnce();
