// Great-circle geometry on positions in degrees: distance in nautical miles, destination point,
// the quadratic ground curves of taxiing aircraft, angle differences and angle wrapping (unit
// constants are in foundation/units.h). Pure functions, any thread.
#pragma once

#include <array>

struct GeoPos {
    double lat = 0.0;  // degrees
    double lon = 0.0;  // degrees
};

// A ground curve: reference latitude, reference longitude, t0, end point north, end point east,
// t1, control point east, control point north (points in metres from the reference).
using Curve = std::array<double, 8>;

// Great-circle distance in nautical miles (haversine, 6875.493541569878 × asin(sqrt(h)); h is
// kept within 0..1 so rounding never gives NaN).
double gf_distanceNm(double lat1, double lon1, double lat2, double lon2);
inline double gf_distanceNm(const GeoPos& a, const GeoPos& b) { return gf_distanceNm(a.lat, a.lon, b.lat, b.lon); }

// Destination from a start (degrees) along a bearing (radians) over a distance in feet; the
// longitude is brought into −180..180. A distance of 0 returns the start unchanged.
GeoPos gf_destinationPoint(double lat, double lon, double bearing, double distanceFeet);
inline GeoPos gf_destinationPoint(const GeoPos& start, double bearing, double distanceFeet)
{
    return gf_destinationPoint(start.lat, start.lon, bearing, distanceFeet);
}

// Metres north and east of a curve's reference point: the point B(u) (u in 0..1) of the curve
// below, and its control point P1.
struct CurveOffset {
    double north = 0.0;
    double east = 0.0;
};
CurveOffset gf_curveOffset(const Curve& curve, double u);
inline CurveOffset gf_curveControl(const Curve& curve) { return {curve[7], curve[6]}; }

// Position and heading (0..2π) at t on the curve B(u) = 2u(1 − u)·P1 + u²·P2, u = (t − t0)/(t1 − t0).
// False (outputs untouched) when t lies outside t0..t1, u outside 0..1, or the control point is
// not a number.
bool gf_curvePosition(const Curve& curve, double t, GeoPos& position, double& heading);

// b − a wrapped into (−π, π]; 0 when they are equal.
double gf_angleDiff(double a, double b);

// Angle wrapping, the one place for it. Radians into [0, 2π) and (−π, π]; degrees into [0, 360)
// and (−180, 180]. The [0, 2π), [0, 360) and (−180, 180] forms give 0 for a value that is not
// finite; (−π, π] passes NaN through.
double gf_wrap2Pi(double a);
double gf_wrapPi(double a);
double gf_wrap360(double deg);
double gf_wrap180(double deg);
