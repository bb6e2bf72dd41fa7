// The limits of the parked traffic: at most the wanted number of parked aircraft (one live and one
// static aircraft removed per call above it), the stay of live aircraft at their stands (Heavy 180
// minutes, others 90), the live limit MAX_LIVE, and the count and average stay of the live parked
// aircraft shown in the window.
//
// Thread: the main loop.
#include "parking/max_park.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <unordered_set>
#include <utility>
#include <vector>

#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/time_slots.h"
#include "frame/window_model.h"
#include "parking/static_plan.h"
#include "simulator/ai_tick.h"
#include "simulator/removal.h"

namespace {

constexpr std::uint32_t kHeavyStayMinutes = 180;
constexpr std::uint32_t kOtherStayMinutes = 90;
constexpr std::uint32_t kSlotsPerWeek = 7 * 48;

bool lf_liveParked(const LiveAc& ac)
{
    return ac.phase == AcPhase::Parked && ac.state == AcState::Placed;
}

template <typename Duration>
std::int64_t lf_parkedFor(const LiveAc& ac)
{
    return std::chrono::duration_cast<Duration>(gf_steadyNow() - ac.parkingTime).count();
}

// Half-hours from the parking stamp to the clock in the week order; 0 when the clock lies before
// the stamp (same day and earlier slot, earlier weekday, or the clock on day 7 and the stamp on
// day 1). The clock on day 1 and the stamp on day 7 counts across the week's end.
std::uint32_t lf_halfHoursSince(DaySlot stamp, DaySlot clock)
{
    const std::int64_t sd = gf_weekdayOf(stamp);
    const std::int64_t ss = gf_slotOf(stamp);
    const std::int64_t cd = gf_weekdayOf(clock);
    const std::int64_t cs = gf_slotOf(clock);
    if (cd == 1 && sd == 7)
        return static_cast<std::uint32_t>(std::max<std::int64_t>(0, (cd - sd) * 48 + cs - ss + kSlotsPerWeek));
    if (cd == 7 && sd == 1)
        return 0;
    if (cd < sd || (cd == sd && cs < ss))
        return 0;
    return static_cast<std::uint32_t>((cd - sd) * 48 + cs - ss);
}

// Half-hours since the stamp, counted backwards from the clock around the week: the order key
// of "parked latest first" (the smallest age is the latest).
std::uint32_t lf_ageInWeek(DaySlot stamp, DaySlot clock)
{
    const auto index = [](DaySlot s) {
        const std::uint32_t day = gf_weekdayOf(s);
        return ((day >= 1 && day <= 7 ? day - 1 : 0) * 48 + gf_slotOf(s) % 48) % kSlotsPerWeek;
    };
    return (index(clock) + kSlotsPerWeek - index(stamp)) % kSlotsPerWeek;
}

}  // namespace

void lf_checkMaxPark(std::uint8_t extra)
{
    try {
        if (g_optRtParktrafficOnly.value())
            return;
        const auto liveParked = static_cast<std::int64_t>(std::count_if(g_liveAc.begin(), g_liveAc.end(), lf_liveParked));
        const std::int64_t t = liveParked + extra;
        const std::int64_t w = gf_wantedParkedCount();

        if (!g_optInitialLoadOnly.value() && w >= 1 && t > w) {
            LiveAc* longest = nullptr;
            std::int64_t longestSeconds = -1;
            for (LiveAc& ac : g_liveAc) {
                if (!lf_liveParked(ac))
                    continue;
                const std::int64_t seconds = lf_parkedFor<std::chrono::seconds>(ac);
                if (seconds > longestSeconds) {
                    longestSeconds = seconds;
                    longest = &ac;
                }
            }
            if (longest) {
                gf_log("{:}: {:8} max park exceeded, removed", gf_standName(longest->standId), longest->callsign);
                gf_removeAct(*longest);
            }
        }

        const auto staticParked = static_cast<std::int64_t>(std::count_if(
            g_staticAc.begin(), g_staticAc.end(),
            [](const StaticAc& ac) { return ac.state == AcState::Placed || ac.state == AcState::BeingRemoved; }));
        if (staticParked > 0 && staticParked + t > w) {
            // Latest parked first, so the one parked earliest ends up last.
            const DaySlot clock = g_nowDaySlot.load();
            std::stable_sort(g_staticAc.begin(), g_staticAc.end(), [clock](const StaticAc& a, const StaticAc& b) {
                return lf_ageInWeek(a.stamp, clock) < lf_ageInWeek(b.stamp, clock);
            });
            StaticAc& earliest = g_staticAc.back();
            if (earliest.state == AcState::Placed)
                gf_removeAct(earliest);
        }
    } catch (const std::exception& e) {
        gf_logError("{}: {}", "lf_checkMaxPark", e.what());
        throw;
    }
}

void gf_collectLiveStayers()
{
    const bool initialLoadOnly = g_optInitialLoadOnly.value();
    for (LiveAc& ac : g_liveAc) {
        if (!lf_liveParked(ac))
            continue;
        // Every record that shows the aircraft at its stand renews its parking time: the stay counts
        // from the last one, also for an aircraft the feed has shown there since it parked.
        const auto minutes =
            static_cast<std::uint32_t>(std::max<std::int64_t>(0, lf_parkedFor<std::chrono::minutes>(ac)));
        const std::uint32_t limit = ac.sizeClass == SizeClass::Heavy ? kHeavyStayMinutes : kOtherStayMinutes;
        if (initialLoadOnly || minutes <= limit)
            g_liveStayers.push_back(LiveStayer{ac.callsign, 0, ac.standId, minutes});
        else
            gf_removeAct(ac);
    }
    std::stable_sort(g_liveStayers.begin(), g_liveStayers.end(),
                     [](const LiveStayer& a, const LiveStayer& b) { return a.minutes < b.minutes; });
}

void gf_removeLongestLiveParked(std::size_t n)
{
    std::vector<std::pair<std::int64_t, std::uint32_t>> parked;  // seconds parked, hexid
    for (const LiveAc& ac : g_liveAc)
        if (lf_liveParked(ac))
            parked.emplace_back(lf_parkedFor<std::chrono::seconds>(ac), ac.hexid);
    std::stable_sort(parked.begin(), parked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::unordered_set<std::uint32_t> chosen;
    for (std::size_t i = 0; i < std::min(n, parked.size()); ++i)
        chosen.insert(parked[i].second);
    for (LiveAc& ac : g_liveAc) {
        if (!chosen.contains(ac.hexid))
            continue;
        gf_log("live parked {} at {} removed", gf_acText(ac), gf_standName(ac.standId));
        gf_removeAct(ac);
    }
}

void gf_trimLiveToMaxLive()
{
    const std::int32_t maxLive = g_optMaxLive.value();
    if (maxLive == g_optMaxLive.defaultValue())
        return;
    const auto placed = static_cast<std::int64_t>(std::count_if(
        g_liveAc.begin(), g_liveAc.end(), [](const LiveAc& ac) { return ac.state == AcState::Placed; }));
    for (std::int64_t excess = placed - maxLive; excess > 0; --excess)
        (void)gf_removeFarthestLiveAc(-1.0);
}

std::uint32_t gf_countLiveParked(bool show)
{
    std::uint32_t n = 0;
    std::uint64_t sum = 0;
    const DaySlot clock = g_nowDaySlot.load();
    for (const LiveAc& ac : g_liveAc) {
        if (!lf_liveParked(ac))
            continue;
        ++n;
        if (show)
            sum += lf_halfHoursSince(ac.stamp, clock);
    }
    if (show) {
        const double average = n == 0 ? 0.0 : static_cast<double>(static_cast<float>(sum) / static_cast<float>(2 * n) + 0.5f);
        if (gf_paintedValues().avgParkHoursLive != average)
            gf_updatePainted([average](PaintedValues& v) { v.avgParkHoursLive = average; });
    }
    return n;
}
