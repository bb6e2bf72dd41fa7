#include "simulator/heard_altitudes.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "simulator/motion_rules.h"

namespace {

constexpr double kSecondsPerMinute = 60.0;

// A rate no aircraft flies is no rate.
double lf_usableRate(double fpm)
{
    return std::fabs(fpm) <= kMaxClimbFpm ? fpm : 0.0;
}

}  // namespace

double gf_heardAltitude(const HeardAltitudes& heard, double time, const PosRecord& pos)
{
    const double rate = lf_usableRate(pos.vertRate);
    std::array<double, HeardAltitudes::kRows> at{};
    std::size_t n = 0;
    bool rated = rate != 0.0;
    for (std::uint32_t i = 0; i < heard.count; ++i) {
        const HeardAltitudes::Row& row = heard.rows[i];
        const double dt = time - row.time;
        if (dt < 0.0 || dt > kAltitudeMedianSeconds)
            continue;
        const double own = lf_usableRate(row.vertRate);
        rated = rated || own != 0.0;
        at[n++] = row.alt + ((own != 0.0 ? own : rate) + rate) / 2.0 / kSecondsPerMinute * dt;
    }
    if (n < kAltitudeMedianRows || !rated)
        return pos.alt;
    const auto mid = at.begin() + static_cast<std::ptrdiff_t>(n / 2);
    std::nth_element(at.begin(), mid, at.begin() + static_cast<std::ptrdiff_t>(n));
    const double line = n % 2 == 1 ? *mid : (*mid + *std::max_element(at.begin(), mid)) / 2.0;
    return std::fabs(pos.alt - line) <= kAltitudeCodingFt / 2.0 ? pos.alt : line;
}
