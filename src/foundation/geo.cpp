// Great-circle and local-plane geometry. Pure functions, any thread.
#include "foundation/geo.h"

#include <algorithm>
#include <cmath>

#include "foundation/units.h"

namespace {

constexpr double kEarthDiameterNm = 6875.493541569878;  // 2 × earth radius in nautical miles
constexpr double kRadiansPerFoot = 4.787404208238998e-8;

}  // namespace

double gf_distanceNm(double lat1, double lon1, double lat2, double lon2)
{
    const double phi1 = lat1 * kDegToRad;
    const double phi2 = lat2 * kDegToRad;
    const double sinDLat = std::sin((phi2 - phi1) / 2.0);
    const double sinDLon = std::sin((lon2 - lon1) * kDegToRad / 2.0);
    double h = sinDLat * sinDLat + std::cos(phi1) * std::cos(phi2) * sinDLon * sinDLon;
    // Rounding can push h a hair outside 0..1 (antipodes, identical points); asin would give NaN.
    h = std::clamp(h, 0.0, 1.0);
    return kEarthDiameterNm * std::asin(std::sqrt(h));
}

GeoPos gf_destinationPoint(double lat, double lon, double bearing, double distanceFeet)
{
    // Callers compare the result with the start to detect a stop: keep it exact.
    if (distanceFeet == 0.0)
        return {lat, lon};
    const double delta = distanceFeet * kRadiansPerFoot;
    const double phi1 = lat * kDegToRad;
    const double lambda1 = lon * kDegToRad;
    const double sinPhi2 =
        std::clamp(std::sin(phi1) * std::cos(delta) + std::cos(phi1) * std::sin(delta) * std::cos(bearing), -1.0, 1.0);
    const double phi2 = std::asin(sinPhi2);
    const double lambda2 = lambda1 + std::atan2(std::sin(bearing) * std::sin(delta) * std::cos(phi1),
                                                std::cos(delta) - std::sin(phi1) * sinPhi2);
    double lonDeg = std::fmod(lambda2 * kRadToDeg + 540.0, 360.0) - 180.0;
    if (lonDeg < -180.0)
        lonDeg += 360.0;
    return {phi2 * kRadToDeg, lonDeg};
}

CurveOffset gf_curveOffset(const Curve& curve, double u)
{
    const double a = 2.0 * u * (1.0 - u);
    const double b = u * u;
    return {a * curve[7] + b * curve[3], a * curve[6] + b * curve[4]};
}

bool gf_curvePosition(const Curve& curve, double t, GeoPos& position, double& heading)
{
    const double refLat = curve[0], refLon = curve[1], t0 = curve[2];
    const double endNorth = curve[3], endEast = curve[4], t1 = curve[5];
    const double ctrlEast = curve[6], ctrlNorth = curve[7];
    if (!(t >= t0 && t <= t1))
        return false;
    const double u = (t - t0) / (t1 - t0);
    if (!(u >= 0.0 && u <= 1.0))
        return false;
    if (std::isnan(ctrlEast) || std::isnan(ctrlNorth) || std::isnan(endNorth) || std::isnan(endEast) ||
        std::isnan(refLat) || std::isnan(refLon))
        return false;

    const CurveOffset at = gf_curveOffset(curve, u);
    // Same scale as the curve was built with: cos of the reference latitude, in radians.
    position.lat = refLat + at.north / kMetresPerDegree;
    position.lon = refLon + at.east / (kMetresPerDegree * std::cos(refLat * kDegToRad));

    // Direction of travel: B'(u) = 2(1 − 2u)·P1 + 2u·P2.
    const double dNorth = 2.0 * (1.0 - 2.0 * u) * ctrlNorth + 2.0 * u * endNorth;
    const double dEast = 2.0 * (1.0 - 2.0 * u) * ctrlEast + 2.0 * u * endEast;
    heading = gf_wrap2Pi(std::atan2(dEast, dNorth));
    return true;
}

double gf_angleDiff(double a, double b)
{
    if (a == b)
        return 0.0;
    return gf_wrapPi(b - a);
}

double gf_wrap2Pi(double a)
{
    // An angle within one turn either way, as most are, is its own remainder: no fmod.
    if (!(std::fabs(a) < 2.0 * kPi)) {
        if (!std::isfinite(a))
            return 0.0;
        a = std::fmod(a, 2.0 * kPi);
    }
    if (a < 0.0)
        a += 2.0 * kPi;
    // A tiny negative angle plus 2π rounds to 2π itself, which lies outside the range.
    if (a >= 2.0 * kPi)
        a = 0.0;
    return a;
}

double gf_wrapPi(double a)
{
    if (!(std::fabs(a) < 2.0 * kPi))
        a = std::fmod(a, 2.0 * kPi);
    if (a <= -kPi)
        a += 2.0 * kPi;
    else if (a > kPi)
        a -= 2.0 * kPi;
    return a;
}

double gf_wrap360(double deg)
{
    if (!std::isfinite(deg))
        return 0.0;
    deg = std::fmod(deg, 360.0);
    if (deg < 0.0)
        deg += 360.0;
    if (deg >= 360.0)
        deg = 0.0;
    return deg;
}

double gf_wrap180(double deg)
{
    if (!std::isfinite(deg))
        return 0.0;
    deg = std::fmod(deg, 360.0);
    if (deg > 180.0)
        deg -= 360.0;
    else if (deg <= -180.0)
        deg += 360.0;
    return deg;
}
