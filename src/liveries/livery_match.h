// Matching a real aircraft to an installed livery, and the matching summary for the log. Main
// loop thread (the parked-traffic placement runs there too); reads the livery table and the
// refused titles, counts the matches.
//
// Order, each step skipping refused titles (ties broken at random through g_rng):
//   1. a livery whose ATC id equals the registration;
//   2. a livery of the same airline and type;
//   3. a generic livery (no airline) of the type;
//   4. a livery of the same airline, same size class, nearest span;
//   5. a generic livery of the same size class, nearest span;
//   else none: the title stays empty.
// For a static parked aircraft the same order applies, preferring cargo liveries within a step
// on a cargo stand, and never giving a helicopter livery to a stand that is not a heli stand.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/ac_records.h"

// What the static matching needs of a stand (ParkPos): its cargo and heli attributes.
struct LiveryStand {
    bool cargo = false;
    bool heli = false;
};

enum class LiveryMatchStep : std::uint32_t {
    Registration = 0,
    AirlineType = 1,
    GenericType = 2,
    AirlineClass = 3,
    GenericClass = 4,
    None = 5,
};

// Sets the aircraft's title and FSLTL flag (title beginning "FSLTL_"); true when a livery was
// found, false with the title left empty.
bool gf_matchLivery(AcData& ac);
// The livery of a new static parked aircraft for its stand; false = no livery, not created.
bool gf_matchLiveryStatic(StaticAc& ac, const LiveryStand& stand);
// The step by which the last match of this thread was made (tests, summary).
LiveryMatchStep gf_lastMatchStep();
// Matches per step since the start (or the last reset).
const std::array<std::uint64_t, 6>& gf_matchCounts();
void gf_resetMatchCounts();
// The summary lines, as written by gf_logMatchSummary.
std::vector<std::string> gf_matchSummaryLines();
// Writes the summary, with the liveries the simulator refused, to the log.
void gf_logMatchSummary();
