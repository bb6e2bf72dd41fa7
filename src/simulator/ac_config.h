// Aircraft configuration and lights by phase: once per leg, after nextPos has timed the leg, the
// attitude steps (altitude, pitch, bank, heading) and the visible configuration (throttle, flaps,
// gear, spoilers, lights, engines) follow the phase and the records: climb and approach
// configuration, the lights at 10000 ft, the take-off roll and rotation, the landing flare and the
// roll-out. Also the per-class limits of bank, bank step, pitch step and lift-off speed.
//
// Main loop thread. Client events go through the queue operations of the command queues, which
// take g_simConnectMutex; the definition-401 write of the roll-out is a direct SimConnect call made
// while holding g_simConnectMutex.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/ac_records.h"

// Per-class limits (radians, radians per tick, knots). A class missing from the tables throws
// std::out_of_range ("invalid unordered_map<K, T> key").
double gf_maxBank(SizeClass sizeClass);
double gf_maxBankStep(SizeClass sizeClass);
double gf_maxPitchStep(SizeClass sizeClass);
double gf_liftOffSpeed(SizeClass sizeClass);

// The altitude (feet) of an aircraft standing on the ground where it is: the simulator's ground
// altitude under the object when reported, else the elevation of the park airport or of the
// nearest airport of the airport list within 10 nm, each with the static CG height; NaN when none
// is known (then the feed's altitude stays).
double gf_groundAltitudeFt(const LiveAc& ac);
// The park airport, or else an airport of the airport list, lies within 10 nm of the aircraft.
bool gf_airportWithin10Nm(const LiveAc& ac);
// The elevation (feet) of the park airport or the nearest listed airport within 10 nm of a
// position; NaN without one.
double gf_airportElevationNear(double lat, double lon);

struct LiveMotion;

// Timing limits back up after a wait: early 3000, late 5000 during a take-off, else 3000.
void gf_raiseLimits(LiveAc& ac);
// Both timing limits stepped back toward their floor (while the aircraft keeps pace).
void gf_relaxLimits(LiveAc& ac);
// The part of a take-off's configuration that follows throttle and spoilers, shared by the start
// of a take-off and a go-around on the runway: flaps 1, no longer landing or landed, climb
// configuration to be done again, take-off lights, limits 3000 and 5000.
void gf_takeOffConfiguration(LiveAc& ac, LiveMotion& m);

namespace liveac {

// Airborne leg: altitude, pitch, turn and bank steps, lights and climb/approach configuration.
void airConfiguration(LiveAc& ac);
// Ground leg: throttle, limits, attitude, curve step, signed speed and the take-off decision.
void groundConfiguration(LiveAc& ac);
void climbConfiguration(LiveAc& ac);
// `airportNear`: the park airport or an airport of the list lies within 10 nm (gf_airportWithin10Nm).
void approachConfiguration(LiveAc& ac, bool airportNear);
// Vertical rate (feet per minute) of an approach toward the ground.
double approachVerticalSpeed(const LiveAc& ac);
// Bank step toward the bank of a coordinated turn of `turn` radians over `ticks` ticks.
void setBankStep(LiveAc& ac, double turn, std::int32_t ticks);
// An airborne aircraft whose next two records lie on the ground.
void groundRecordsInAir(LiveAc& ac);
void startTakeOff(LiveAc& ac);
void startTakeOffRoll(LiveAc& ac);
void rollOut(LiveAc& ac);
// One tick of the landing flare (height above ground at most 400 ft, landing, airborne).
void flare(LiveAc& ac);
// Every record after the head is airborne.
bool allAirborneAhead(const LiveAc& ac);

}  // namespace liveac

// Record k - 1 is airborne: the records between the head and it are dropped and the leg to it is
// timed as a climb. False when it is not (or on a standard exception, logged).
bool findAirborneData(LiveAc& ac, std::size_t k);
