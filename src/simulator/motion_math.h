// The arithmetic that the live lifecycle, the movement and the append rules share: the motion
// units, angle wrapping, tick arithmetic that cannot overflow, and distances between records.
// No state; any thread.
#pragma once

#include <cstdint>

#include "traffic_service/traffic_records.h"

namespace motion {
inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kDegToRad = kPi / 180.0;
inline constexpr double kRadToDeg = 180.0 / kPi;
inline constexpr double kFeetPerNm = 6076.11549;
inline constexpr double kMetresPerNm = 1852.0;
}  // namespace motion

// Angle wrapped into 0..2pi (radians).
double gf_wrap2Pi(double a);
// Degrees wrapped into (-180, 180].
double gf_wrap180(double deg);
// |b - a| in degrees, wrapped first (course 350 against 10 gives 20).
double gf_absDiffDeg(double aRad, double bRad);

// A tick count from a double, rounded and limited to +-100000000 (NaN counts as the limit).
std::int32_t gf_ticks(double value);
// a + b limited to the signed 32-bit range.
std::int32_t gf_addTicks(std::int64_t a, std::int64_t b);

// Distance in nm between two records, a record and a position, the aircraft and a record.
double gf_recDistance(const PosRecord& a, const PosRecord& b);
bool gf_samePosition(const PosRecord& a, const PosRecord& b);
