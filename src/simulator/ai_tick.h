// The AI tick: the heartbeat of the live traffic. The main loop calls gf_updateAI on every 10 ms
// wake while a flight runs; each call is one tick counted by g_tick. A tick applies the simulator's
// events, moves every live aircraft one step and hands the position updates to the simulator
// thread, passes one queued removal every 10 ticks and one creation every 50 ticks (live before
// static), takes at most two feed records, turns one spawned aircraft into a creation request,
// asks for the aircraft in range every 20 ticks and refreshes the user aircraft's copy every 100.
//
// This file owns the aircraft containers (g_liveAc, g_staticAc), the request queues, the spawn
// queue, the user-state copy and the tick counter.
//
// Thread: the main loop owns everything here (FinalExit empties the containers after the main loop
// has ended). g_tick is atomic only because the traffic reader reads it to stamp play-out slots;
// only the main loop advances it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <vector>

#include "model/ac_records.h"
#include "simulator/command_queues.h"
#include "simulator/sim_ids.h"

// One tick per completed 10 ms wake; 0 at program start.
extern std::atomic<std::int32_t> g_tick;

// The aircraft (main loop; FinalExit empties them after the main loop has ended).
extern std::vector<LiveAc> g_liveAc;
extern std::vector<StaticAc> g_staticAc;

// Object ids waiting for removal; one passed to the simulator link every 10 ticks.
extern std::deque<std::uint32_t> g_removeRequests;
// Creation requests; one passed on every 50 ticks, live before static.
extern std::deque<CreateAcCmd> g_liveCreateRequests;
extern std::deque<CreateAcCmd> g_staticCreateRequests;
// Hexids of live aircraft that asked to be created; the newest is taken each tick.
extern std::vector<std::uint32_t> g_spawnQueue;
// The main loop's copy of the user aircraft's state, refreshed every 100 ticks.
extern UserAcState g_userAcCopy;

// One tick (main loop). An exception in its steps is logged ("gf_updateAI: ...") and ends the
// tick without advancing g_tick, so the next wake repeats the same tick number. A
// tvx::UserErrorException is passed on to the main loop, which ends the run.
void gf_updateAI();

// The per-tick update of every live aircraft, the erasure of marked ones and the hand-over of the
// tick's position updates (main loop). Exceptions are logged and stay inside.
void lf_updateAllLiveAc();

// The position of an aircraft's CreateAcCmd: latitude, longitude and altitude of its simulator
// state; pitch, bank and heading in degrees; on-ground and airspeed 0.
CreateAcCmd gf_liveCreateCommand(const LiveAc& ac);
