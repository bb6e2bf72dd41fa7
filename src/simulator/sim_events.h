// The simulator-event queue: what the simulator (SimConnect thread) and the traffic reader report
// about aircraft is posted here as SimEvent records and applied on the main loop by gf_SimCommands
// at the start of every AI tick. New objects of the program's own then wait 200 ticks in the
// pending-object queue while a live object's lights are toggled, before the aircraft is placed.
//
// Locks: g_simEventMutex guards g_simEvents and g_pendingObjects. It is the outermost of the
// simulator link's locks: gf_SimCommands holds it throughout and takes g_simConnectMutex inside;
// no code takes them the other way round.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

// SimEvent kinds.
enum SimEventKind : std::uint32_t {
    SIM_EVENT_LIVE_OBJECT = 0,        // new object of a live aircraft; value2 = altitude above ground
    SIM_EVENT_STATIC_OBJECT = 1,      // new object of a static parked aircraft
    SIM_EVENT_OBJECT_REMOVED = 2,     // an aircraft object was removed
    SIM_EVENT_GROUND_DATA = 3,        // hexid = on-ground 0/1; value1 = ground alt, value2 = AGL
    SIM_EVENT_STATIC_GROUND = 4,      // value1 = static CG height ft, value2 = static pitch rad
    SIM_EVENT_CALLSIGN_BLOCKED = 5,   // posted by the traffic reader; hexid
    SIM_EVENT_CREATION_REFUSED = 6,   // exception 22: the livery is refused, the aircraft erased
    SIM_EVENT_CREATION_FAILED = 7,    // the creation could not be made: the aircraft is erased,
                                      // its livery stays usable
};

struct SimEvent {
    std::uint32_t objectId = 0;
    std::uint32_t hexid = 0;     // kind 3: the on-ground value
    std::int32_t tickCount = 0;  // pending-object queue only; -1 once finished
    std::uint32_t kind = 0;      // SimEventKind
    double value1 = 0.0;
    double value2 = 0.0;
};

extern std::mutex g_simEventMutex;
extern std::vector<SimEvent> g_simEvents;
extern std::vector<SimEvent> g_pendingObjects;

// Any thread: appends a copy to g_simEvents under g_simEventMutex. Never call it while holding
// g_simConnectMutex (lock order).
void gf_postSimEvent(const SimEvent& event);

// Main loop, every AI tick and every tick without a flight: applies and empties g_simEvents, then
// runs one tick of the lights cycle for every pending object. Records are taken out of the queue
// before they are applied: one that throws is logged and dropped, the rest are still applied, and
// none is applied twice. A tvx::UserErrorException (error 81) is passed on to end the run; the
// records after it stay queued.
void gf_SimCommands();

// One tick of one pending record (called by gf_SimCommands with g_simEventMutex held): ticks
// 50 and 100 of a live record send ALL_LIGHTS_TOGGLE, tick 200 places the aircraft. An object
// whose aircraft is gone by then is queued for removal; one removed meanwhile is not placed.
void gf_allLightsToggle(bool& finished, SimEvent& pending);

// Exit, after the main loop has ended: the objects the simulator has announced but the program
// has not placed yet (new-object records still queued or waiting out their lights cycle) would be
// left in the simulator; their object ids go to g_removeRequests (once each) and both queues lose
// those records.
void gf_removeAnnouncedObjects();

// Applies one record (main loop, g_simEventMutex held); exposed for tests.
void lf_handleSimEvent(const SimEvent& event);
