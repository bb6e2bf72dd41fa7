// Placing the planned parked aircraft of the park airport in the simulator, one per creation slot
// of the AI tick, and the walks that take static aircraft away again: the static copy of a live
// aircraft, every static aircraft at once, and the aircraft on the reserved stand. Owns the counter
// that gives static aircraft their hexids 1..9999 (g_staticCounter).
//
// Thread: the main loop. gf_removeAllStaticAc also runs on the exit thread after the main loop has
// ended.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/time_slots.h"
#include "parking/static_plan.h"

struct LiveAc;

// The newest static hexid: 1..9999, wrapping to 1 and skipping hexids still held by a static
// aircraft (0: none given yet).
extern std::uint32_t g_staticCounter;

// The static parking work list holds an entry.
bool gf_staticParkWorkPending();

// Places the last entry of the static parking work list (at most one aircraft per call).
void lf_parkStatic();

// Callsign of a new static aircraft: the entry's callsign when it stays, else its second callsign,
// trailing '_' stripped and '*' appended; the entry's callsign unchanged when that text is empty.
std::string lf_staticCallsign(const StaticPlanEntry& entry);

// Drops every work-list entry for the stand (a live aircraft parks there).
void gf_dropStaticParkEntries(std::uint32_t standId);

// Removes the first placed static aircraft that is the live aircraft's copy (callsign + '*', or
// the same registration).
void gf_removeStaticTwinOfLiveAc(LiveAc& ac);

// Removes every static aircraft; one whose creation is requested loses its queued request or,
// when the request has gone to the simulator, gets its remove-on-creation flag.
void gf_removeAllStaticAc();

// Frees the reserved stand: the first placed static aircraft on it, else the first placed live
// aircraft parked on it, is removed.
void gf_clearReservedStand();

// Walks the kept aircraft from first to last: for each one whose next flight is known (second
// coupled callsign set, first coupled callsign part of its callsign) and whose stand exists, the
// stand's options are offered to lf_optionMatchesEntry until one matches (which sets the re-place
// flag when the option does not hold the next half-hour). Returns last.
std::vector<ParkKeep>::iterator gf_markContinuingKeeps(std::vector<ParkKeep>::iterator first,
                                                       std::vector<ParkKeep>::iterator last, DaySlot stamp);
