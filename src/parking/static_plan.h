// The static parking plan of the park airport: the work list g_staticParkQueue of aircraft still to
// be placed (taken from the back by the placement, one per call), built from the traffic service's
// parked-traffic list and from the stand schedules, and adjusted every 15 seconds: what still
// holds is kept, what no longer holds is removed, what is missing is planned. Owns the work list,
// the removal, keep and live-stayer lists, the fit offsets shown in the window, the seen
// callsign and hexid sets of the history buffers and the flights that just departed.
//
// Thread: the main loop only (the exit thread empties the lists after the main loop has ended).
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "foundation/time_slots.h"
#include "model/ac_records.h"
#include "model/stand_model.h"

struct ParkedTrafficRecord;

// One aircraft of the plan still to be placed.
struct StaticPlanEntry {
    std::uint32_t hexid = 0;         // the service's hexid (parked list); 0 for schedule entries
    std::uint32_t fromSchedule = 0;  // 1 stand schedule, 0 parked list; copied into the StaticAc
    std::uint32_t standId = 0;
    std::uint32_t offset = 0;        // half-hours since it parked (re-placed keep: its parking slot)
    std::string airline;
    std::string type;                // ICAO type designator
    std::string callsign;
    std::string callsign2;           // the coupled callsign; empty for parked-list entries
    std::string registration;
    std::uint8_t stays = 1;          // still stands there in the next half-hour
};

// A placed static aircraft that the plan removes.
struct ParkRemoval {
    std::string callsign;
    std::uint32_t standId = 0;
};

// A placed static aircraft that the adjustment keeps.
struct ParkKeep {
    std::string callsign;
    std::string coupled1;
    std::string coupled2;
    std::string registration;
    std::string airline;
    std::string type;
    DaySlot stamp = 0;              // when it parked
    std::uint32_t standId = 0;
    std::uint8_t replace = 0;       // its option no longer holds it in the next half-hour
};

// A live aircraft parked at a stand that counts as parked traffic.
struct LiveStayer {
    std::string callsign;
    std::uint64_t value = 0;        // always 0
    std::uint32_t standId = 0;
    std::uint32_t minutes = 0;      // minutes parked
};

extern std::vector<StaticPlanEntry> g_staticParkQueue;  // the work list, placed from the back
extern std::vector<ParkRemoval> g_parkRemovals;
extern std::vector<ParkKeep> g_parkKeeps;
extern std::vector<LiveStayer> g_liveStayers;
extern std::int32_t g_realFitOffset;   // offset reached by the last real plan
extern std::int32_t g_fitOffset;       // offset reached by the last soft plan; -1 after a real one
extern bool g_softPlanned;             // the last soft plan found positions
// Callsigns and hexids seen in the traffic service's history buffers (filled by gf_clearBufferMaps).
extern std::set<std::string> g_seenCallsigns;
extern std::set<std::uint32_t> g_seenHexids;

// A flight that left a stand or started its take-off at the park airport. Its stand's options
// still hold the half-hour it left in (the schedule must learn that), but the aircraft is gone:
// parked again from those options it would stand at its gate a minute after the user saw it leave.
struct DepartedFlight {
    std::string callsign;           // one trailing '_' dropped, as the options store it
    std::string registration;
    DaySlot stamp = 0;              // when it left
};
// Departures of the last half-hours (main loop; emptied with the other plan lists).
extern std::vector<DepartedFlight> g_departedFlights;
// Half-hours a departure keeps its flight off the stands: its own and the two after, the span in
// which a sighting is also kept from being learned twice.
constexpr std::uint32_t kDepartedHalfHours = 3;

// Remembers the aircraft's flight as departed now (a later call for the same flight renews it).
void gf_rememberDeparture(const AcData& ac);
// The flight (callsign, one trailing '_' ignored) or the airframe (registration) departed in the
// last kDepartedHalfHours half-hours; older departures are forgotten on the way.
bool gf_flightDeparted(const std::string& callsign);
bool gf_airframeDeparted(const std::string& registration);

// The live aircraft (not being removed) that flies the flight, under its callsign or as its ghost
// (callsign + "_"); null for an empty callsign or none.
const LiveAc* gf_liveAcFlying(const std::string& callsign);
// The flight flies or stands live now: seen in the history buffers (callsign or ghost) or flown by
// one of the program's live aircraft. The buffers are one fetch's snapshot of the feed; a live
// aircraft plays its records out behind the feed and may still be taxiing in after the feed has
// stopped showing it. A flight that departed in the last half-hours counts too.
bool gf_flightIsLive(const std::string& callsign);

// Builds the plan from scratch (park airport set up or renewed).
void gf_buildStaticPlan();
// Adjusts the plan (15-second schedule); renew first removes every placed schedule aircraft.
void gf_applyParkTrafficChanges(bool renew);

void gf_planFromSchedules(DaySlot now, std::int64_t wanted, std::int64_t already);
void lf_planKind(DaySlot now, std::int64_t wanted, std::int64_t already, std::uint32_t kind);
bool lf_planBatches(DaySlot now, std::uint32_t kind, std::int64_t wanted,
                    std::vector<StaticPlanEntry>& batch);
void gf_planFromParkedTraffic();
void lf_planParkedRecord(std::int64_t remaining, const ParkedTrafficRecord& record);

// Logs the plan clock line and answers g_nowDaySlot.
DaySlot lf_logPlanClock();
// Marks the reserved stand and the stand under the user aircraft kept free.
void lf_keepUserStandsFree();

void lf_reviewScheduledStatic(StaticAc& ac, DaySlot now);
void lf_keepOrReplace(StaticAc& ac, std::vector<StaticPlanEntry>::iterator entry, DaySlot now);
void lf_reviewParkedStatic(StaticAc& ac, bool renew, DaySlot now);
void lf_applyParkRemovals();

// Predicate of gf_markContinuingKeeps: the option (of the stand) is the kept aircraft's (positive
// number, the weekday of its parking stamp, callsign, airline and type). On a match it sets
// keep.replace when the option does not hold the half-hour after the stamp (the schedule clock).
bool lf_optionMatchesEntry(const ParkPos& stand, const ParkPosOption& option,
                           const std::string& callsign, ParkKeep& keep, DaySlot stamp);

// The stamp moved back by offset half-hours (over midnight to the previous weekday, 1 -> 7).
DaySlot gf_stampBack(DaySlot stamp, std::uint32_t offset);
// a parked earlier than b in the week order (earlier weekday, or same weekday and not later slot;
// day 7 counts as before day 1).
bool gf_parkedEarlier(DaySlot a, DaySlot b);
