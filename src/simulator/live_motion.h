// The motion flags and values of a live aircraft that its record does not carry yet (heading
// step, curve step and turn angle, touchdown heading, ground altitude, the take-off, landing and
// stand-leaving flags, the flare stage), kept beside g_liveAc keyed by hexid, and the small
// helpers that the lifecycle, the movement and the append rules share: checked stream access,
// phase changes and tick arithmetic that cannot overflow.
//
// A feed hexid belongs to one live aircraft at a time, so the hexid keys the side record. A new
// aircraft (phase New) always starts from a fresh side record, so an aircraft erased earlier under
// the same hexid leaves nothing behind; entries of erased aircraft are pruned now and then.
//
// Main loop thread only.
#pragma once

#include <cstdint>
#include <deque>

#include "simulator/ac_records.h"
#include "traffic_service/traffic_records.h"

struct LiveMotion {
    double headingStep = 0.0;       // radians per tick
    double curveStep = 0.0;         // curve parameter per tick
    double curveTurnAngle = 0.0;    // degrees
    double touchdownHeading = 0.0;  // radians
    double groundAlt = 0.0;         // feet, static CG height + reported ground altitude
    std::uint32_t flareStage = 0;   // 0..4
    std::uint8_t groundAltKnown = 0;
    std::uint8_t landed = 0;        // set at touchdown
    std::uint8_t spoilersOut = 0;   // landing roll-out
    std::uint8_t deRotation = 0;    // nose coming down after touchdown
    std::uint8_t towed = 0;
    std::uint8_t turnInPlace = 0;
    std::uint8_t climbConfigDone = 0;
    std::uint8_t lightsAbove10k = 0;
    std::uint8_t lightsBelow10k = 0;
    std::uint8_t movingOff = 0;     // the records move away from the stand: leave it
};

// The side record of the aircraft (created on first use).
LiveMotion& gf_motion(const LiveAc& ac);
// Starts the aircraft over with a fresh side record.
void gf_resetMotion(const LiveAc& ac);
// Drops the side records of hexids no longer in g_liveAc.
void gf_pruneMotion();
// Every side record (tests, exit).
void gf_clearMotion();
std::size_t gf_motionCount();

// ---- shared helpers ------------------------------------------------------------------------

// Record i of the stream; std::out_of_range ("invalid deque<T> subscript") when it is missing.
PosRecord& gf_rec(std::deque<PosRecord>& stream, std::size_t i);
const PosRecord& gf_rec(const std::deque<PosRecord>& stream, std::size_t i);
PosRecord& gf_last(std::deque<PosRecord>& stream);

// Phase change: the old phase goes to the previous phase.
void gf_setPhase(LiveAc& ac, AcPhase phase);
inline bool gf_isPhase(const LiveAc& ac, AcPhase phase) { return ac.phase == phase; }

// |b - a| in degrees, wrapped first (course 350 against 10 gives 20).
double gf_absDiffDeg(double aRad, double bRad);

// A tick count from a double, rounded and limited to +-100000000 (NaN counts as the limit).
std::int32_t gf_ticks(double value);
// a + b limited to the signed 32-bit range.
std::int32_t gf_addTicks(std::int64_t a, std::int64_t b);

// Distance in nm between two records, a record and a position, the aircraft and a record.
double gf_recDistance(const PosRecord& a, const PosRecord& b);
bool gf_samePosition(const PosRecord& a, const PosRecord& b);
