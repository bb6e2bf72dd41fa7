// Finding stands of the park airport: the named stand under a position (also for the reader and
// simulator threads), a free stand near a position for an arriving or parked aircraft, the best
// free stand for an aircraft without a position (rating by size and schedule), and the stands
// whose schedule holds an aircraft at a given half-hour, for the static parking plan.
//
// Thread: the main loop, except gf_nearestStandName, which the traffic reader and the simulator
// thread call too: it searches a copy of the stands' names and positions that the main loop
// publishes (gf_publishStands) after each rebuild of the stand list; the copy and the cache of the
// last question are guarded by their own mutex (innermost).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/time_slots.h"
#include "model/ac_records.h"
#include "model/stand_model.h"

struct StaticPlanEntry;

// Radii of the stand searches, nautical miles.
inline constexpr double kStandRadius55m = 0.029697624190064796;
inline constexpr double kStandRadius20m = 0.010799136069114472;
inline constexpr double kStandRadius110m = 0.05939524838012959;

// One stand that fits an aircraft, with its rating (lower is better).
struct StandCandidate {
    std::string name;
    std::uint32_t rating = 0;
    std::uint32_t historyMatch = 0;  // some option of the stand names the aircraft
};

// Name of the stand nearest to the position within 55 m while the user is on the ground; empty
// when none. Any thread; answers from the stands last published.
std::string gf_nearestStandName(double lat, double lon);
// Publishes the names and positions of g_parkPositions for gf_nearestStandName and forgets its
// cached answer. The main loop calls it whenever the stand list is rebuilt or emptied (the exit
// thread when it empties the list after the main loop has ended).
void gf_publishStands();
// Forgets the cached last question (tests).
void lf_resetNearestStandCache();

// A free stand for the aircraft within the radius of the position; g_parkPositions.end() = none.
// byOption also accepts, within 85 m, a stand whose schedule names the aircraft. A stand too small
// for the aircraft is taken only within 20 m and is then enlarged (counted as an update).
std::vector<ParkPos>::iterator gf_findFreeStand(double lat, double lon, const AcData& ac,
                                                double radiusNm, bool byOption);

// Rating steps of gf_chooseStand; each appends candidates no worse than best and lowers best.
void lf_rateStandFit(const ParkPos& stand, DaySlot stamp, const AcData& ac, double step,
                     std::uint32_t& best, std::vector<StandCandidate>& out);
void lf_rateStandAnySize(const ParkPos& stand, DaySlot stamp, const AcData& ac, std::uint32_t& best,
                         std::vector<StandCandidate>& out);
// Gates (true) or ramp stands (false) that are neither cargo nor heli: by fit, else by any size.
void lf_rateStandGroup(DaySlot stamp, bool gates, const AcData& ac, std::vector<StandCandidate>& out);

// The best free stand at the stamp for an aircraft without a position; end() = none. With no
// candidate at an airport of at most 10 stands and mayRetry, answers for the next half-hour.
std::vector<ParkPos>::iterator gf_chooseStand(DaySlot stamp, const AcData& ac, bool mayRetry);

// Orders candidates: history match first, then lower rating; equal ones keep their (shuffled) order.
void lf_orderCandidates(std::vector<StandCandidate>& candidates);

// The stands whose schedule (kind 1 real, 0 soft) holds an aircraft offset half-hours before the
// stamp; appends one plan entry per stand to out and marks the stand taken. Errors are logged and
// end the search.
void lf_searchStands(DaySlot stamp, std::uint32_t kind, std::uint32_t offset,
                     std::vector<StaticPlanEntry>& out);
