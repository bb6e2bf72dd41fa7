// Great-circle distance and destination, ground curves, angle differences and angle wrapping.
#include "foundation/geo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kFeetPerNm = 6076.11549;

TEST(Distance, KnownDistancesInNauticalMiles)
{
    struct Row {
        double lat1, lon1, lat2, lon2, nm, tolerance;
    };
    const Row rows[] = {
        {50.0, 8.5, 50.165, 8.5, 9.900, 5e-4},      // 0.165 degrees of latitude
        {0.0, 0.0, 0.0, 1.0, 60.0, 0.01},            // one degree on the equator
        {0.0, 0.0, 0.0, 180.0, 10800.0, 0.01},       // antipodes: the term is exactly 1
        {-33.9, 151.2, -33.9, 151.2, 0.0, 0.0},      // same point
        {60.0, 0.0, 60.0, 1.0, 30.0, 0.01},          // cos 60 shrinks a longitude degree to half
    };
    for (const Row& r : rows) {
        const double d = gf_distanceNm(r.lat1, r.lon1, r.lat2, r.lon2);
        EXPECT_FALSE(std::isnan(d));
        EXPECT_NEAR(d, r.nm, r.tolerance) << r.lat1 << "," << r.lon1 << " " << r.lat2 << "," << r.lon2;
        EXPECT_DOUBLE_EQ(d, gf_distanceNm(r.lat2, r.lon2, r.lat1, r.lon1));
    }
    // Near-antipodal points where rounding pushes the haversine term past 1.
    for (double lat = -89.0; lat <= 89.0; lat += 7.3) {
        const double d = gf_distanceNm(lat, 10.0, -lat, -170.0);
        EXPECT_FALSE(std::isnan(d)) << lat;
        EXPECT_NEAR(d, 10800.0, 0.01);
    }
}

TEST(Destination, TravelsTheDistanceAndWrapsTheLongitude)
{
    const GeoPos north = gf_destinationPoint(0.0, 0.0, 0.0, 60.0 * kFeetPerNm);
    EXPECT_NEAR(north.lat, 1.0, 1e-3);
    EXPECT_NEAR(north.lon, 0.0, 1e-12);

    const GeoPos start{50.0, 8.5};
    for (double bearing = 0.0; bearing < 2 * kPi; bearing += 0.7) {
        const GeoPos p = gf_destinationPoint(start, bearing, 12.5 * kFeetPerNm);
        EXPECT_NEAR(gf_distanceNm(start, p), 12.5, 1e-3) << bearing;
    }

    const GeoPos east = gf_destinationPoint(0.0, 179.9, kPi / 2, 60.0 * kFeetPerNm);
    EXPECT_NEAR(east.lon, -179.1, 1e-3);
    const GeoPos west = gf_destinationPoint(0.0, -179.9, 3 * kPi / 2, 60.0 * kFeetPerNm);
    EXPECT_NEAR(west.lon, 179.1, 1e-3);

    // A zero distance gives the start itself, bit for bit: callers detect a stop by equality.
    const GeoPos same = gf_destinationPoint(47.123456789, -122.987654321, 1.234, 0.0);
    EXPECT_EQ(same.lat, 47.123456789);
    EXPECT_EQ(same.lon, -122.987654321);
}

// A curve from a reference point to an end point through a control point, all in degrees, built
// the way the ground movement builds it.
Curve makeCurve(GeoPos ref, GeoPos control, GeoPos end)
{
    const double scale = std::cos(ref.lat * kPi / 180.0) * 111132.95;
    return {ref.lat,
            ref.lon,
            0.0,
            (end.lat - ref.lat) * 111132.95,
            (end.lon - ref.lon) * scale,
            1.0,
            (control.lon - ref.lon) * scale,
            (control.lat - ref.lat) * 111132.95};
}

TEST(Curve, PositionAndHeadingAlongTheCurve)
{
    const GeoPos ref{60.0, 10.0};
    const GeoPos end{60.001, 10.002};
    const Curve curve = makeCurve(ref, {60.001, 10.0}, end);  // north first, then east

    GeoPos p;
    double heading = -1.0;
    ASSERT_TRUE(gf_curvePosition(curve, 0.0, p, heading));
    EXPECT_NEAR(p.lat, ref.lat, 1e-12);
    EXPECT_NEAR(p.lon, ref.lon, 1e-12);
    EXPECT_NEAR(heading, 0.0, 1e-9);  // leaving towards the control point, due north

    ASSERT_TRUE(gf_curvePosition(curve, 1.0, p, heading));
    EXPECT_NEAR(p.lat, end.lat, 1e-9);
    EXPECT_NEAR(p.lon, end.lon, 1e-9);  // cos of 60 degrees, not of 60 radians
    EXPECT_NEAR(heading, kPi / 2, 1e-9);  // arriving from the control point, due east

    // u = 0.5: B = 0.5·P1 + 0.25·P2.
    ASSERT_TRUE(gf_curvePosition(curve, 0.5, p, heading));
    EXPECT_NEAR(p.lat, ref.lat + (0.5 * curve[7] + 0.25 * curve[3]) / 111132.95, 1e-12);

    // Westbound gives a heading in 0..2π, not a negative one.
    const Curve west = makeCurve(ref, {60.0, 9.999}, {60.0, 9.998});
    ASSERT_TRUE(gf_curvePosition(west, 0.3, p, heading));
    EXPECT_NEAR(heading, 3 * kPi / 2, 1e-9);

    // Leaving a hair west of due north: atan2 gives a tiny negative angle, and adding 2π to it
    // rounds to 2π, which is outside 0..2π; the heading is north, 0.
    Curve nearlyNorth = makeCurve(ref, {60.001, 10.0}, {60.002, 10.0});
    nearlyNorth[6] = -1e-20;
    ASSERT_TRUE(gf_curvePosition(nearlyNorth, 0.0, p, heading));
    EXPECT_GE(heading, 0.0);
    EXPECT_LT(heading, 2 * kPi);
    EXPECT_EQ(heading, 0.0);
}

TEST(Curve, RefusedOutsideItsRangeOrWithoutControlPoint)
{
    Curve curve = makeCurve({50.0, 8.0}, {50.001, 8.0}, {50.001, 8.001});
    curve[2] = 2.0;
    curve[5] = 4.0;
    GeoPos p{1.0, 2.0};
    double heading = 3.0;
    for (double t : {1.999, 4.001, -1.0, std::nan("")}) {
        EXPECT_FALSE(gf_curvePosition(curve, t, p, heading)) << t;
    }
    EXPECT_TRUE(gf_curvePosition(curve, 3.0, p, heading));

    const GeoPos before = p;
    Curve unset = curve;
    unset[6] = std::nan("");
    unset[7] = std::nan("");
    EXPECT_FALSE(gf_curvePosition(unset, 3.0, p, heading));
    EXPECT_EQ(p.lat, before.lat);  // outputs untouched

    Curve empty = curve;
    empty[5] = empty[2];  // t0 = t1: no parameter range
    EXPECT_FALSE(gf_curvePosition(empty, 2.0, p, heading));
}

TEST(AngleDiff, WrappedIntoMinusPiExclusivePiInclusive)
{
    struct Row {
        double a, b, diff;
    };
    const Row rows[] = {
        {1.0, 1.0, 0.0},
        {0.0, kPi, kPi},
        {kPi, 0.0, kPi},       // −π is outside the range: +π
        {0.0, -kPi, kPi},
        {0.1, 2 * kPi - 0.1, -0.2},
        {2 * kPi - 0.1, 0.1, 0.2},
        {-3.0, 3.0, 6.0 - 2 * kPi},
    };
    for (const Row& r : rows) {
        const double d = gf_angleDiff(r.a, r.b);
        EXPECT_NEAR(d, r.diff, 1e-12) << r.a << " " << r.b;
        EXPECT_GT(d, -kPi);
        EXPECT_LE(d, kPi);
    }
}

// Each wrap keeps its half-open range even where adding a full turn rounds up to it: a heading
// of −1e-17 rad or a track of −1e-14° lands on 0, never on 2π or 360.
TEST(AngleWrap, EachFormStaysInItsRange)
{
    const double nan = std::nan("");
    const double inf = INFINITY;
    struct Row {
        double in, twoPi, pi, deg360, deg180;
    };
    const Row rows[] = {
        {0.0, 0.0, 0.0, 0.0, 0.0},
        {-1e-17, 0.0, -1e-17, 0.0, -1e-17},
        {-1e-14, 2 * kPi - 1e-14, -1e-14, 0.0, -1e-14},
        {7.0, 7.0 - 2 * kPi, 7.0 - 2 * kPi, 7.0, 7.0},
        {-7.0, 4 * kPi - 7.0, 2 * kPi - 7.0, 353.0, -7.0},
        {180.0, std::fmod(180.0, 2 * kPi), std::fmod(180.0, 2 * kPi) - 2 * kPi, 180.0, 180.0},
        {-180.0, 58 * kPi - 180.0, 58 * kPi - 180.0, 180.0, 180.0},
        {360.0, std::fmod(360.0, 2 * kPi), std::fmod(360.0, 2 * kPi), 0.0, 0.0},
        {725.0, std::fmod(725.0, 2 * kPi), std::fmod(725.0, 2 * kPi), 5.0, 5.0},
    };
    for (const Row& r : rows) {
        EXPECT_NEAR(gf_wrap2Pi(r.in), r.twoPi, 1e-9) << r.in;
        EXPECT_NEAR(gf_wrapPi(r.in), r.pi, 1e-9) << r.in;
        EXPECT_NEAR(gf_wrap360(r.in), r.deg360, 1e-9) << r.in;
        EXPECT_NEAR(gf_wrap180(r.in), r.deg180, 1e-9) << r.in;
        EXPECT_GE(gf_wrap2Pi(r.in), 0.0);
        EXPECT_LT(gf_wrap2Pi(r.in), 2 * kPi);
        EXPECT_GE(gf_wrap360(r.in), 0.0);
        EXPECT_LT(gf_wrap360(r.in), 360.0);
        EXPECT_GT(gf_wrapPi(r.in), -kPi);
        EXPECT_LE(gf_wrapPi(r.in), kPi);
    }
    // A value that is not finite counts as north, except in the signed radian form.
    for (const double bad : {nan, inf, -inf}) {
        EXPECT_EQ(gf_wrap2Pi(bad), 0.0);
        EXPECT_EQ(gf_wrap360(bad), 0.0);
        EXPECT_EQ(gf_wrap180(bad), 0.0);
        EXPECT_TRUE(std::isnan(gf_wrapPi(bad)));
    }
}

}  // namespace
