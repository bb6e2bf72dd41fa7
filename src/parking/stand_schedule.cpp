// Stand schedules learned at run time: real and soft sightings with their gap filling, the
// coupled-callsign search, the count of stand-data changes and the parked static count.
// Main loop thread; no locks.
#include "parking/stand_schedule.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <unordered_set>
#include <vector>

#include "foundation/format.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "frame/window_model.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/park_choice.h"
#include "parking/registration_lookup.h"
#include "parking/stand_search.h"
#include "parking/static_plan.h"
#include "simulator/ai_tick.h"
#include "simulator/removal.h"
#include "win32/win_api.h"

std::uint32_t g_parkUpdates = 0;

namespace {

constexpr std::uint32_t kSlotsPerDay = 48;
constexpr std::uint32_t kMaxGap = 5;             // half-hours of a gap that sightings fill
constexpr double kLearnRadiusNm = 5.0;           // soft learning only this close to the airport
constexpr double kLearnHeightFt = 2500.0;        // ... and this low above ground (unless forced)

std::uint32_t g_parkUpdatesShown = 0;

std::uint32_t lf_dayBefore(std::uint32_t weekday) { return weekday <= 1 ? 7 : weekday - 1; }
std::uint32_t lf_dayAfter(std::uint32_t weekday) { return weekday >= 7 ? 1 : weekday + 1; }

// The stamp one half-hour earlier (slot 0 steps to slot 47 of the previous weekday).
DaySlot lf_slotBefore(DaySlot stamp)
{
    const std::uint32_t slot = gf_slotOf(stamp);
    if (slot > 0)
        return gf_makeDaySlot(gf_weekdayOf(stamp), slot - 1);
    return gf_makeDaySlot(lf_dayBefore(gf_weekdayOf(stamp)), kSlotsPerDay - 1);
}

// The n-1 stamps before the stamp, nearest first.
std::vector<DaySlot> lf_stampsBefore(DaySlot stamp, std::uint32_t n)
{
    std::vector<DaySlot> list;
    DaySlot s = stamp;
    for (std::uint32_t i = 1; i < n; ++i) {
        s = lf_slotBefore(s);
        list.push_back(s);
    }
    return list;
}

std::vector<ParkPos>::iterator lf_standById(std::uint32_t standId)
{
    return std::find_if(g_parkPositions.begin(), g_parkPositions.end(),
                        [standId](const ParkPos& p) { return p.standId == standId; });
}

// A sighting of the same aircraft d = 1..5 half-hours ago.
enum class GapHit { None, SameDay, OverMidnight };

struct Gap {
    GapHit hit = GapHit::None;
    std::uint32_t d = 0;
};

// The same-day test also asks for the same weekday: a sighting of another day whose slot happens
// to lie d slots earlier is no gap of this day (it would mark the wrong day's slots).
Gap lf_findGap(DaySlot sighting, DaySlot stamp)
{
    const std::uint32_t sDay = gf_weekdayOf(sighting);
    const std::uint32_t sSlot = gf_slotOf(sighting);
    const std::uint32_t day = gf_weekdayOf(stamp);
    const std::uint32_t slot = gf_slotOf(stamp);
    for (std::uint32_t d = 1; d <= kMaxGap; ++d) {
        if (sDay == day && (sSlot + d) % kSlotsPerDay == slot)
            return {GapHit::SameDay, d};
        if (day == lf_dayAfter(sDay) && slot + kSlotsPerDay == sSlot + d)
            return {GapHit::OverMidnight, d};
    }
    return {};
}

// Steps 4-7 of a sighting once the option of the stamp's weekday exists: fills the gap since the
// last sighting. kind is 1 for real, 0 for soft. Returns nothing; the caller counts the change.
void lf_trackGap(std::uint32_t standId, const AcData& ac, DaySlot stamp, bool leaving,
                 std::uint32_t number, std::uint32_t kind)
{
    auto stand = lf_standById(standId);
    StandSightings& sightings = kind == 1 ? stand->realSightings : stand->softSightings;
    auto sighting = sightings.find(ac.hexid);
    if (sighting == sightings.end()) {
        if (!leaving)
            sightings.emplace(ac.hexid, StandSighting{stamp, number});
        return;
    }
    if (sighting->second.stamp != stamp) {
        const Gap gap = lf_findGap(sighting->second.stamp, stamp);
        if (gap.hit == GapHit::SameDay) {
            lf_markSlotsBack(stamp, ac, gap.d, standId, number);
            sighting->second.stamp = stamp;
        } else if (gap.hit == GapHit::OverMidnight) {
            const std::uint32_t oldNumber = sighting->second.number;
            const std::uint32_t newNumber = gf_addParkPosOption(
                stand->options, gf_standIdentity({ac.airline, ac.acType}, ac.registration), kind, stamp,
                ac.callsign, ac.registration);
            lf_markSlotsBackOverMidnight(stamp, ac, true, newNumber, gap.d, standId, oldNumber);
            sighting->second = StandSighting{stamp, newNumber};
        }
    }
    if (leaving)
        sightings.erase(ac.hexid);
}

bool lf_countChange()
{
    gf_countParkUpdate();
    return true;
}

// The counting option of the kind (1 real, 0 soft) that the registration holds on the stamp's
// weekday, or the end.
std::vector<ParkPosOption>::iterator lf_findSightingOption(std::vector<ParkPosOption>& options, std::uint32_t real,
                                                           DaySlot stamp, const std::string& registration)
{
    const std::uint32_t weekday = gf_weekdayOf(stamp);
    return std::find_if(options.begin(), options.end(), [&](const ParkPosOption& o) {
        return o.real == real && o.number != 0 && o.weekday == weekday && o.registration == registration;
    });
}

// A first sighting of the aircraft at the stand: a new option of the kind, remembered as the
// aircraft's sighting there; counts as a change.
bool lf_addSightingOption(ParkPos& stand, StandSightings& sightings, const AcData& ac, std::uint32_t real,
                          DaySlot stamp)
{
    const std::uint32_t number = gf_addParkPosOption(
        stand.options, gf_standIdentity({ac.airline, ac.acType}, ac.registration), real, stamp, ac.callsign,
        ac.registration);
    sightings.emplace(ac.hexid, StandSighting{stamp, number});
    return lf_countChange();
}

// Runs one sighting update: a formatting error is logged and passed on; any other error is
// logged with the slot (as "===> NAME: hh_now: SLOT, TEXT") and counts as no change.
template <class Update>
bool lf_guardSighting(const char* name, DaySlot stamp, Update update)
{
    try {
        return update();
    } catch (const tvx::format_error& e) {
        gf_log("{}: {}", name, e.what());
        throw;
    } catch (const std::exception& e) {
        try {
            gf_logError("{}: hh_now: {}, {}", name, gf_slotOf(stamp), e.what());
        } catch (const tvx::format_error& f) {
            gf_log("{}: {}", name, f.what());
            throw;
        }
        return false;
    }
}

}  // namespace

void gf_countParkUpdate()
{
    ++g_parkUpdates;
    if (g_parkUpdates != g_parkUpdatesShown) {
        g_parkUpdatesShown = g_parkUpdates;
        InvalidateRect(g_hWnd, nullptr, TRUE);
    }
}

void lf_markSlotsBack(DaySlot stamp, const AcData& ac, std::uint32_t n, std::uint32_t standId,
                      std::uint32_t number)
{
    auto stand = lf_standById(standId);
    if (stand == g_parkPositions.end())
        return;
    const std::vector<DaySlot> list = lf_stampsBefore(stamp, n);
    for (auto s = list.rbegin(); s != list.rend(); ++s) {
        if (!gf_updateParkPosOption(stand->options, *s, number, ac.callsign))
            break;
    }
    gf_updateParkPosOption(stand->options, stamp, number, ac.callsign);
}

void lf_markSlotsBackOverMidnight(DaySlot stamp, const AcData& ac, bool dayChange,
                                  std::uint32_t newNumber, std::uint32_t n, std::uint32_t standId,
                                  std::uint32_t oldNumber)
{
    auto stand = lf_standById(standId);
    if (stand == g_parkPositions.end())
        return;
    const std::vector<DaySlot> list = lf_stampsBefore(stamp, n);
    std::uint32_t number = oldNumber;
    std::string callsign;
    for (auto s = list.rbegin(); s != list.rend(); ++s) {
        if (!gf_updateParkPosOption(stand->options, *s, number, callsign))
            break;
        if (gf_slotOf(*s) == kSlotsPerDay - 1 && dayChange) {
            number = newNumber;
            callsign = ac.callsign;
        }
    }
}

bool lf_addRealParkPosOption(std::uint32_t standId, const AcData& ac, bool trackGap, DaySlot stamp,
                             bool leaving)
{
    return lf_guardSighting("lf_addRealParkPosOption", stamp, [&] {
        if (g_parkPositions.empty())
            return false;
        auto stand = lf_standById(standId);
        if (leaving && stand != g_parkPositions.end())
            gf_rememberDeparture(ac);
        if (ac.registration.empty() || ac.callsign.empty() || stand == g_parkPositions.end())
            return false;
        auto& options = stand->options;
        const auto option = lf_findSightingOption(options, 1, stamp, ac.registration);
        if (option == options.end())
            return lf_addSightingOption(*stand, stand->realSightings, ac, 1, stamp);
        if (gf_testSlot(option->slots, gf_slotOf(stamp))) {
            if (leaving)
                stand->realSightings.erase(ac.hexid);
            return false;
        }
        if (option->source != 0)
            return false;
        gf_setSlot(option->slots, gf_slotOf(stamp));
        const std::uint32_t number = option->number;
        if (!trackGap) {
            if (leaving)
                stand->realSightings.erase(ac.hexid);
            return lf_countChange();
        }
        lf_trackGap(standId, ac, stamp, leaving, number, 1);
        return lf_countChange();
    });
}

bool lf_addSoftParkPosOption(std::uint32_t standId, const AcData& ac, bool trackGap, DaySlot stamp)
{
    return lf_guardSighting("lf_addSoftParkPosOption", stamp, [&] {
        if (g_parkPositions.empty())
            return false;
        auto stand = lf_standById(standId);
        if (stand == g_parkPositions.end())
            return false;
        auto& options = stand->options;
        const auto option = lf_findSightingOption(options, 0, stamp, ac.registration);
        if (option == options.end())
            return lf_addSightingOption(*stand, stand->softSightings, ac, 0, stamp);
        if (gf_testSlot(option->slots, gf_slotOf(stamp)) || option->source != 0)
            return false;
        gf_setSlot(option->slots, gf_slotOf(stamp));
        const std::uint32_t number = option->number;
        if (trackGap)
            lf_trackGap(standId, ac, stamp, false, number, 0);
        return lf_countChange();
    });
}

void lf_searchForCoupledCsAroundThisTime(DaySlot stamp, AcData& ac)
{
    try {
        // Each aircraft uses the window of its own class (a Heavy stays longer at its stand).
        const std::int32_t window = ac.sizeClass == SizeClass::Heavy ? 14 : 10;
        const std::int32_t slot = static_cast<std::int32_t>(gf_slotOf(stamp));
        const std::uint32_t weekday = gf_weekdayOf(stamp);
        SlotSet around;
        for (std::int32_t s = std::max(slot - window, 0); s <= std::min(slot + window, 47); ++s)
            around.set(static_cast<std::size_t>(s));
        std::string callsign = ac.callsign;
        if (!callsign.empty() && callsign.back() == '_')
            callsign.pop_back();
        for (const ParkPos& stand : g_parkPositions) {
            for (const ParkPosOption& o : stand.options) {
                if (o.number == 0 || o.weekday != weekday || (o.slots & around).none() ||
                    o.airline != ac.airline || o.callsign2.empty())
                    continue;
                if (o.callsign != callsign && o.callsign2 != callsign)
                    continue;
                ac.coupledCallsign1 = o.callsign;
                ac.coupledCallsign2 = o.callsign2;
                return;
            }
        }
    } catch (const std::exception& e) {
        gf_log("{}: {}", "lf_searchForCoupledCsAroundThisTime", e.what());
    }
}

void gf_learnStandFromLiveAc(LiveAc& ac, bool force)
{
    if (g_parkAirport.code.empty())
        return;
    const double lat = ac.stream.empty() ? ac.sim.lat : ac.stream.back().lat;
    const double lon = ac.stream.empty() ? ac.sim.lon : ac.stream.back().lon;
    if (gf_distanceNm(lat, lon, g_parkAirport.lat, g_parkAirport.lon) > kLearnRadiusNm)
        return;
    // A take-off at the park airport: the plan keeps the flight off the stands for a while,
    // whether or not its stand is learned below.
    if (force && ac.takeOff != 0)
        gf_rememberDeparture(ac);
    if (!g_optLearnSoft.value() || !g_learnSoftAllowed)
        return;
    if (!force && ac.heightAboveGround >= kLearnHeightFt)
        return;
    if (ac.standId != 0)
        return;

    const DaySlot now = g_nowDaySlot.load();
    const auto known = std::find_if(g_parkPositions.begin(), g_parkPositions.end(),
                                    [&](const ParkPos& p) { return p.softSightings.contains(ac.hexid); });
    if (known != g_parkPositions.end()) {
        if (known->softSightings.at(ac.hexid).stamp == now)
            return;
        if (!lf_addSoftParkPosOption(known->standId, ac, true, now))
            return;
        const std::uint32_t slot = gf_slotOf(now);
        auto pair = std::find_if(g_arrivedLiveAc.begin(), g_arrivedLiveAc.end(),
                                 [&](const auto& p) { return p.first == ac.hexid; });
        if (pair != g_arrivedLiveAc.end())
            pair->second = slot;
        else
            g_arrivedLiveAc.emplace_back(ac.hexid, slot);
        return;
    }

    if (!gf_allowOncePer3Slots(now, ac.hexid, false))
        return;
    for (ParkPos& stand : g_parkPositions) {
        if (gf_findOptionNearSlot(stand.options, gf_weekdayOf(now), gf_slotOf(now), ac.registration) !=
            stand.options.end())
            return;
    }
    const auto stand = gf_chooseStand(now, ac, true);
    if (stand == g_parkPositions.end())
        return;
    if (!lf_addSoftParkPosOption(stand->standId, ac, false, now)) {
        auto pair = std::find_if(g_arrivedLiveAc.begin(), g_arrivedLiveAc.end(),
                                 [&](const auto& p) { return p.first == ac.hexid; });
        if (pair != g_arrivedLiveAc.end()) {
            *pair = g_arrivedLiveAc.back();
            g_arrivedLiveAc.pop_back();
        }
    }
}

std::uint32_t lf_addParkedHalfHours(DaySlot stamp, DaySlot now)
{
    const std::uint32_t nowDay = gf_weekdayOf(now);
    const std::uint32_t nowSlot = gf_slotOf(now);
    const std::uint32_t day = gf_weekdayOf(stamp);
    const std::uint32_t slot = gf_slotOf(stamp);
    const bool wraps = nowDay == 1 && day == 7;
    if (nowDay == day && nowSlot < slot)
        return 0;
    if (nowDay == 7 && day == 1)
        return 0;
    if (nowDay < day && !wraps)
        return 0;
    const std::int64_t halfHours = (static_cast<std::int64_t>(nowDay) - day) * 48 +
                                   static_cast<std::int64_t>(nowSlot) - slot + (wraps ? 336 : 0);
    return halfHours < 0 ? 0 : static_cast<std::uint32_t>(halfHours);
}

std::uint32_t gf_countStaticParked(bool updateAverage)
{
    std::uint32_t count = 0;
    std::uint64_t sum = 0;
    const DaySlot now = g_nowDaySlot.load();
    for (const StaticAc& ac : g_staticAc) {
        if (ac.state != AcState::Placed && ac.state != AcState::BeingRemoved)
            continue;
        ++count;
        if (updateAverage)
            sum += lf_addParkedHalfHours(ac.stamp, now);
    }
    if (updateAverage && !g_optWeek.value()) {
        const double average =
            count == 0 ? 0.0 : static_cast<double>(sum) / (2.0 * count) + 0.5;
        if (gf_paintedValues().avgParkHoursStatic != average)
            gf_updatePainted([average](PaintedValues& p) { p.avgParkHoursStatic = average; });
    }
    return count;
}

namespace {

// Hexids of the live aircraft whose coupled callsigns were searched (main loop).
std::unordered_set<std::uint32_t> g_coupledSearched;

}  // namespace

void gf_searchCoupledCallsignsOfNewLiveAc()
{
    const DaySlot now = g_nowDaySlot.load();
    for (LiveAc& ac : g_liveAc) {
        if (g_coupledSearched.insert(ac.hexid).second)
            lf_searchForCoupledCsAroundThisTime(now, ac);
    }
    // Forget aircraft that are gone, so the set does not grow over a long session.
    if (g_coupledSearched.size() > 2 * g_liveAc.size() + 64) {
        std::unordered_set<std::uint32_t> live;
        for (const LiveAc& ac : g_liveAc)
            live.insert(ac.hexid);
        std::erase_if(g_coupledSearched, [&](std::uint32_t hexid) { return !live.contains(hexid); });
    }
}
