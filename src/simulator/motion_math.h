// The arithmetic that the live lifecycle, the movement and the append rules share (units and
// angle wrapping are foundation's, units.h and geo.h): angle differences, tick arithmetic that cannot overflow, and distances between records.
// No state; any thread.
#pragma once

#include <cstdint>

#include "simulator/motion_rules.h"
#include "traffic_service/traffic_records.h"

// |b - a| in degrees, wrapped first (course 350 against 10 gives 20).
double gf_absDiffDeg(double aRad, double bRad);

// A tick count from a double, rounded and limited to +-100000000 (NaN counts as the limit).
std::int32_t gf_ticks(double value);
// a + b limited to the signed 32-bit range.
std::int32_t gf_addTicks(std::int64_t a, std::int64_t b);

// Distance in nm between two records, a record and a position, the aircraft and a record.
double gf_recDistance(const PosRecord& a, const PosRecord& b);
bool gf_samePosition(const PosRecord& a, const PosRecord& b);
