// The side records of the live aircraft's motion and the shared motion helpers. Main loop thread.
#include "simulator/live_motion.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "foundation/geo.h"
#include "foundation/units.h"
#include "simulator/ai_tick.h"

namespace {

std::unordered_map<std::uint32_t, LiveMotion> s_motion;  // hexid -> side record

constexpr std::int64_t kTickLimit = 100000000;  // about 11.5 days of ticks
constexpr const char* kInvalidDequeSubscript = "invalid deque<T> subscript";

}  // namespace

LiveMotion& gf_motion(const LiveAc& ac)
{
    return s_motion[ac.hexid];
}

void gf_resetMotion(const LiveAc& ac)
{
    if (s_motion.size() > 2 * g_liveAc.size() + 64)
        gf_pruneMotion();
    s_motion[ac.hexid] = LiveMotion{};
}

void gf_pruneMotion()
{
    std::unordered_set<std::uint32_t> live;
    for (const LiveAc& ac : g_liveAc)
        live.insert(ac.hexid);
    std::erase_if(s_motion, [&](const auto& entry) { return !live.contains(entry.first); });
}

void gf_clearMotion()
{
    s_motion.clear();
}

std::size_t gf_motionCount()
{
    return s_motion.size();
}

PosRecord& gf_rec(std::deque<PosRecord>& stream, std::size_t i)
{
    if (i >= stream.size())
        throw std::out_of_range(kInvalidDequeSubscript);
    return stream[i];
}

const PosRecord& gf_rec(const std::deque<PosRecord>& stream, std::size_t i)
{
    if (i >= stream.size())
        throw std::out_of_range(kInvalidDequeSubscript);
    return stream[i];
}

PosRecord& gf_last(std::deque<PosRecord>& stream)
{
    if (stream.empty())
        throw std::out_of_range(kInvalidDequeSubscript);
    return stream.back();
}

void gf_setPhase(LiveAc& ac, AcPhase phase)
{
    ac.prevPhase = ac.phase;
    ac.phase = phase;
}

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
