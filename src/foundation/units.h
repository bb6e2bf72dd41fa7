// Unit conversions used across the program: angles, lengths and speeds. Positions are degrees,
// distances nautical miles, altitudes feet, speeds knots; headings are radians inside position
// updates. The values are the exact doubles the formulas were written with (1 / 1852 and 180 / π
// round to the literals below), so figures do not move by a bit when a file switches to these.
#pragma once

#include <numbers>

inline constexpr double kPi = std::numbers::pi;
inline constexpr double kDegToRad = kPi / 180.0;   // 0.017453292519943295
inline constexpr double kRadToDeg = 180.0 / kPi;   // 57.29577951308232
// Degrees in half and in a whole circle: headings and longitudes wrap at them.
inline constexpr double kHalfCircleDeg = 180.0;
inline constexpr double kFullCircleDeg = 360.0;

inline constexpr double kMetresPerNm = 1852.0;
inline constexpr double kNmPerMetre = 0.0005399568034557236;  // 1 / 1852
inline constexpr double kFeetPerNm = 6076.11549;
inline constexpr double kFeetPerMetre = 3.2808399;
// Metres per second in one knot.
inline constexpr double kMetresPerSecondPerKnot = kMetresPerNm / 3600.0;
// Metres per degree of latitude, the local-plane scale of the ground curves.
inline constexpr double kMetresPerDegree = 111132.95;
