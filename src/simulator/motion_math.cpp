// The shared motion arithmetic. No state.
#include "simulator/motion_math.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "foundation/geo.h"
#include "foundation/units.h"

namespace {

constexpr std::int64_t kTickLimit = 100000000;  // about 11.5 days of ticks

}  // namespace

double gf_absDiffDeg(double aRad, double bRad)
{
    return std::fabs(gf_wrap180((bRad - aRad) * kRadToDeg));
}

std::int32_t gf_ticks(double value)
{
    if (std::isnan(value))
        return static_cast<std::int32_t>(kTickLimit);
    value = std::clamp(value, -static_cast<double>(kTickLimit), static_cast<double>(kTickLimit));
    return static_cast<std::int32_t>(std::lround(value));
}

std::int32_t gf_addTicks(std::int64_t a, std::int64_t b)
{
    const std::int64_t sum = a + b;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        sum, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

double gf_recDistance(const PosRecord& a, const PosRecord& b)
{
    return gf_distanceNm(a.lat, a.lon, b.lat, b.lon);
}

bool gf_samePosition(const PosRecord& a, const PosRecord& b)
{
    return a.lat == b.lat && a.lon == b.lon;
}
