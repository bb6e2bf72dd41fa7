// The week schedules of the park airport's stands as the program learns them: real sightings of
// live aircraft that park at, stay at or leave a stand, soft sightings of aircraft that are only
// seen near the airport and get a stand by choice, the search for an aircraft's coupled (other)
// callsign, the count of changes to the stand data, and the count of parked static aircraft with
// their average parked time. Owns g_parkUpdates.
//
// Thread: the main loop (it owns g_parkPositions, g_staticAc and g_liveAc); nothing here locks.
#pragma once

#include <cstdint>

#include "foundation/time_slots.h"
#include "model/ac_records.h"

// Changes to the park airport's stand data since it was read; above 0 the parking file is saved
// when the park airport is left.
extern std::uint32_t g_parkUpdates;

// g_parkUpdates + 1; repaints the status area when the count differs from the one last shown.
void gf_countParkUpdate();

// Records a real sighting of the aircraft at the stand; true when the schedule changed (then
// g_parkUpdates was counted). trackGap fills gaps of 1..5 half-hours since the last sighting;
// leaving forgets the sighting afterwards and remembers the flight as departed (gf_rememberDeparture).
bool lf_addRealParkPosOption(std::uint32_t standId, const AcData& ac, bool trackGap, DaySlot stamp,
                             bool leaving);
// The same for soft options (learned by choice).
bool lf_addSoftParkPosOption(std::uint32_t standId, const AcData& ac, bool trackGap, DaySlot stamp);

// Sets the n-1 slots before the stamp (crossing midnight backwards) and the stamp's own slot in
// the option with the number, farthest first, stopping at the first slot no option took.
void lf_markSlotsBack(DaySlot stamp, const AcData& ac, std::uint32_t n, std::uint32_t standId,
                      std::uint32_t number);
// The same walk without the final stamp: the old option (no callsign) up to slot 47 of the
// previous day, then, when dayChange is set, the new option with the aircraft's callsign.
void lf_markSlotsBackOverMidnight(DaySlot stamp, const AcData& ac, bool dayChange,
                                  std::uint32_t newNumber, std::uint32_t n, std::uint32_t standId,
                                  std::uint32_t oldNumber);

// Fills the aircraft's two coupled-callsign texts from the first option of its airline around the
// stamp's slot (14 half-hours for a Heavy, 10 otherwise, decided once) that knows a second
// callsign and names the aircraft's callsign.
void lf_searchForCoupledCsAroundThisTime(DaySlot stamp, AcData& ac);
// Every second (main loop): the coupled-callsign search for each live aircraft not searched yet.
void gf_searchCoupledCallsignsOfNewLiveAc();

// With LEARN_SOFT on and learning allowed: a live aircraft near the park airport without a stand
// records a soft sighting at the stand that knows it or at the stand chosen for it. A forced call
// for an aircraft whose take-off has started near the park airport remembers the flight as
// departed, LEARN_SOFT on or off.
void gf_learnStandFromLiveAc(LiveAc& ac, bool force);

// Half-hours from the stamp to now in the week order; 0 when now lies before the stamp.
std::uint32_t lf_addParkedHalfHours(DaySlot stamp, DaySlot now);

// Static aircraft placed or being removed; with updateAverage (and WEEK off) also their average
// parked time in hours for the window.
std::uint32_t gf_countStaticParked(bool updateAverage);
