// Stand searches of the park airport: nearest named stand (cached, any thread), free stand near a
// position, rated choice of a stand without a position, and the schedule search of the static
// parking plan. Main loop, except gf_nearestStandName (see the header).
#include "parking/stand_search.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>
#include <random>
#include <utility>

#include "foundation/geo.h"
#include "foundation/lock_order.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "foundation/settings.h"
#include "liveries/aircraft_db.h"
#include "model/airport_list.h"
#include "parking/stand_schedule.h"
#include "parking/static_plan.h"
#include "simulator/ai_tick.h"
#include "simulator/removal.h"
#include "simulator/user_aircraft.h"

namespace {

constexpr std::uint32_t kSlotsPerDay = 48;
constexpr double kFitMarginNm = 0.0009719222462203025;    // 1.8 m: still fits
constexpr double kTooSmallNm = 0.010799136069114472;      // 20 m: a too-small stand only this close
constexpr double kByOptionNm = 0.0458963282937365;        // 85 m: stand whose schedule names the ac
constexpr double kShrinkNm = 0.0005399568034557236;       // 1 m
constexpr double kSizeStepLimitNm = 0.009611230689557531; // 17.8 m
constexpr double kSmallStepNm = 0.00755939524838013;      // 14 m
constexpr double kLargeStepNm = 0.011339092872570195;     // 21 m
constexpr double kStartDistance = 900.0;
constexpr std::uint32_t kStartRating = 100;
constexpr std::size_t kCandidateReserve = 256;
constexpr std::size_t kSmallAirportStands = 10;

// The nearest-stand search of the three calling threads works on its own copy of the stands'
// names and positions, which the main loop replaces whenever it rebuilds or empties the stand
// list; the copy is never changed. The mutex guards the copy's pointer and the cache of the last
// question, which every new copy forgets.
struct StandPoint {
    double lat = 0.0;
    double lon = 0.0;
    std::string name;
};
std::mutex g_nearestMutex;
std::shared_ptr<const std::vector<StandPoint>> g_standPoints;
bool g_nearestValid = false;
double g_nearestLat = 0.0;
double g_nearestLon = 0.0;
std::string g_nearestName;

bool lf_fits(const AcData& ac, const ParkPos& stand) { return ac.size - stand.radius <= kFitMarginNm; }

bool lf_namesAircraft(const ParkPos& stand, const AcData& ac)
{
    if (ac.callsign.empty())
        return false;
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const ParkPosOption& o) {
        return gf_optionMatches(ac.callsign, ac.airline, ac.acType, o);
    });
}

bool lf_busyAt(const ParkPos& stand, DaySlot stamp)
{
    const std::uint32_t weekday = gf_weekdayOf(stamp);
    const std::uint32_t slot = gf_slotOf(stamp);
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const ParkPosOption& o) {
        return o.number != 0 && o.weekday == weekday && gf_testSlot(o.slots, slot);
    });
}

double lf_fitStep(const AcData& ac) { return ac.size <= kSizeStepLimitNm ? kSmallStepNm : kLargeStepNm; }

DaySlot lf_nextHalfHour(DaySlot stamp)
{
    const std::uint32_t slot = gf_slotOf(stamp);
    const std::uint32_t weekday = gf_weekdayOf(stamp);
    if (slot + 1 < kSlotsPerDay)
        return gf_makeDaySlot(weekday, slot + 1);
    return gf_makeDaySlot(weekday >= 7 ? 1 : weekday + 1, 0);
}

template <typename Pred>
void lf_rateFitWhere(DaySlot stamp, const AcData& ac, std::vector<StandCandidate>& out, Pred pred)
{
    std::uint32_t best = kStartRating;
    for (const ParkPos& stand : g_parkPositions)
        if (pred(stand))
            lf_rateStandFit(stand, stamp, ac, lf_fitStep(ac), best, out);
}

template <typename Pred>
void lf_rateAnyWhere(DaySlot stamp, const AcData& ac, std::vector<StandCandidate>& out, Pred pred)
{
    std::uint32_t best = kStartRating;
    for (const ParkPos& stand : g_parkPositions)
        if (pred(stand))
            lf_rateStandAnySize(stand, stamp, ac, best, out);
}

// The rating steps by the aircraft's kind; stops after the first step with a candidate.
void lf_collectCandidates(DaySlot stamp, const AcData& ac, std::vector<StandCandidate>& out)
{
    const auto heli = [](const ParkPos& p) { return p.heli; };
    const auto ramp = [](const ParkPos& p) { return p.ramp; };
    const auto cargoNotHeli = [](const ParkPos& p) { return p.cargo && !p.heli; };
    const auto notHeli = [](const ParkPos& p) { return !p.heli; };
    const auto plainRamp = [](const ParkPos& p) { return p.ramp && !p.cargo && !p.heli; };

    if (ac.sizeClass == SizeClass::Rotorcraft) {
        lf_rateFitWhere(stamp, ac, out, heli);
        if (out.empty())
            lf_rateFitWhere(stamp, ac, out, ramp);
        if (out.empty())
            lf_rateAnyWhere(stamp, ac, out, heli);
        if (out.empty())
            lf_rateAnyWhere(stamp, ac, out, ramp);
        return;
    }
    if (ac.cargo != 0) {
        lf_rateFitWhere(stamp, ac, out, cargoNotHeli);
        if (out.empty())
            lf_rateAnyWhere(stamp, ac, out, cargoNotHeli);
        if (out.empty())
            lf_rateFitWhere(stamp, ac, out, notHeli);
        if (out.empty())
            lf_rateAnyWhere(stamp, ac, out, notHeli);
        return;
    }
    if (ac.sizeClass == SizeClass::Light || ac.sizeClass == SizeClass::Buzjets || ac.airline == "PVT") {
        lf_rateFitWhere(stamp, ac, out, plainRamp);
        if (out.empty())
            lf_rateAnyWhere(stamp, ac, out, plainRamp);
        return;
    }
    bool gatesFirst = true;
    if (g_parkAirport.code.empty() || g_parkAirport.code.front() != 'K')
        gatesFirst = g_rng()() % 100 >= 10;
    lf_rateStandGroup(stamp, gatesFirst, ac, out);
    if (out.empty())
        lf_rateStandGroup(stamp, !gatesFirst, ac, out);
}

// Identity texts match when equal and not empty: an empty registration or callsign names no
// aircraft (options from files often carry no registration).
bool lf_sameText(const std::string& a, const std::string& b) { return !a.empty() && a == b; }

// Step 3 of the schedule search: the option's aircraft is already parked, planned, flying or live.
bool lf_optionInUse(const ParkPosOption& o, const std::vector<StaticPlanEntry>& out)
{
    const auto entryUses = [&](const StaticPlanEntry& e) {
        return lf_sameText(e.callsign, o.callsign) || lf_sameText(e.callsign, o.callsign2) ||
               lf_sameText(e.registration, o.registration);
    };
    if (std::any_of(g_staticParkQueue.begin(), g_staticParkQueue.end(), entryUses) ||
        std::any_of(out.begin(), out.end(), entryUses))
        return true;
    if (gf_flightIsLive(o.callsign) || std::any_of(g_liveAc.begin(), g_liveAc.end(), [&](const LiveAc& live) {
            return live.state != AcState::BeingRemoved && lf_sameText(live.registration, o.registration);
        }))
        return true;
    // The airframe just left: an option under its other flight number would put it back.
    if (gf_airframeDeparted(o.registration))
        return true;
    for (const StaticAc& s : g_staticAc) {
        if (lf_sameText(s.coupledCallsign1, o.callsign) || lf_sameText(s.coupledCallsign1, o.callsign2) ||
            lf_sameText(s.registration, o.registration))
            return true;
        if (s.state == AcState::Placed && s.planKind == 0 &&
            ((!o.callsign.empty() && s.callsign == o.callsign + "*") ||
             (!o.callsign2.empty() && s.callsign == o.callsign2 + "*") || lf_sameText(s.registration, o.registration)))
            return true;
    }
    return std::any_of(g_liveStayers.begin(), g_liveStayers.end(), [&](const LiveStayer& l) {
        return lf_sameText(l.callsign, o.callsign) || lf_sameText(l.callsign, o.callsign2);
    });
}

// A placed static aircraft on an overlapping stand leaves no room for the option's type.
bool lf_collidesWithNeighbour(const ParkPos& stand, const ParkPosOption& o)
{
    for (const std::uint32_t id : stand.overlapping) {
        for (const StaticAc& s : g_staticAc) {
            if (s.standId != id || s.state != AcState::Placed)
                continue;
            const double distance = gf_distanceNm(s.standLat, s.standLon, stand.lat, stand.lon);
            if (gf_wingspan(o.type) + gf_wingspan(s.acType) > distance)
                return true;
        }
    }
    return false;
}

// The option holds the aircraft in the half-hour after the stamp.
bool lf_staysNext(const ParkPos& stand, const ParkPosOption& o, DaySlot stamp)
{
    if (o.callsign2.empty())
        return true;
    const DaySlot next = lf_nextHalfHour(stamp);
    if (gf_slotOf(next) != 0)
        return gf_testSlot(o.slots, gf_slotOf(next));
    const std::uint32_t day = gf_weekdayOf(next);
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const ParkPosOption& n) {
        return n.number > 0 && n.weekday == day && n.airline == o.airline && n.type == o.type &&
               gf_testSlot(n.slots, 0);
    });
}

}  // namespace

// ---- nearest stand (any thread) ------------------------------------------------------------

std::string gf_nearestStandName(double lat, double lon)
{
    if (!g_userOnGround.load())
        return {};
    std::lock_guard lock(g_nearestMutex);
    if (!g_standPoints || g_standPoints->empty())
        return {};
    if (g_nearestValid && lat == g_nearestLat && lon == g_nearestLon)
        return g_nearestName;
    double best = kStartDistance;
    const StandPoint* nearest = nullptr;
    for (const StandPoint& stand : *g_standPoints) {
        const double d = gf_distanceNm(lat, lon, stand.lat, stand.lon);
        if (d <= kStandRadius55m && d < best) {
            best = d;
            nearest = &stand;
        }
    }
    g_nearestValid = true;
    g_nearestLat = lat;
    g_nearestLon = lon;
    g_nearestName = nearest ? nearest->name : std::string();
    return g_nearestName;
}

void gf_publishStands()
{
    auto points = std::make_shared<std::vector<StandPoint>>();
    points->reserve(g_parkPositions.size());
    for (const ParkPos& stand : g_parkPositions)
        points->push_back({stand.lat, stand.lon, stand.name});
    std::shared_ptr<const std::vector<StandPoint>> old;
    {
        std::lock_guard lock(g_nearestMutex);
        old = std::exchange(g_standPoints, std::move(points));
        g_nearestValid = false;
        g_nearestName.clear();
    }
}

void lf_resetNearestStandCache()
{
    std::lock_guard lock(g_nearestMutex);
    g_nearestValid = false;
    g_nearestName.clear();
}

// ---- free stand near a position (main loop) ------------------------------------------------

std::vector<ParkPos>::iterator gf_findFreeStand(double lat, double lon, const AcData& ac,
                                                double radiusNm, bool byOption)
{
    gf_assertMainLoopThread();
    const auto end = g_parkPositions.end();
    auto choice = end;
    auto tooSmall = end;
    auto fallback = end;
    double best = kStartDistance;
    double fallbackBest = kStartDistance;
    for (auto it = g_parkPositions.begin(); it != end; ++it) {
        if (it->occupied)
            continue;
        const double d = gf_distanceNm(lat, lon, it->lat, it->lon);
        if (d <= radiusNm && d < best) {
            if (lf_fits(ac, *it)) {
                choice = it;
                best = d;
                byOption = false;
            } else if (d <= kTooSmallNm) {
                choice = it;
                tooSmall = it;
                best = d;
                byOption = false;
            }
            continue;
        }
        if (byOption && d <= kByOptionNm && d < fallbackBest && lf_fits(ac, *it) && lf_namesAircraft(*it, ac)) {
            fallback = it;
            fallbackBest = d;
        }
    }
    auto result = choice != end ? choice : fallback;
    if (result == end)
        return end;
    const bool rotorcraft = ac.sizeClass == SizeClass::Rotorcraft;
    if (result->heli != rotorcraft)
        return end;
    if (result == tooSmall) {
        result->radius = ac.size - kShrinkNm;
        result->radiusChange = true;
        gf_countParkUpdate();
    }
    return result;
}

// ---- rated choice (main loop) --------------------------------------------------------------

void lf_rateStandFit(const ParkPos& stand, DaySlot stamp, const AcData& ac, double step,
                     std::uint32_t& best, std::vector<StandCandidate>& out)
{
    if (!lf_fits(ac, stand))
        return;
    const auto rating = static_cast<std::uint32_t>(std::max(0.0, std::round((stand.radius - ac.size) / step)));
    if (rating > best || lf_busyAt(stand, stamp))
        return;
    best = rating;
    out.push_back({stand.name, rating, lf_namesAircraft(stand, ac) ? 1u : 0u});
}

void lf_rateStandAnySize(const ParkPos& stand, DaySlot stamp, const AcData& ac, std::uint32_t& best,
                         std::vector<StandCandidate>& out)
{
    const auto rating = static_cast<std::uint32_t>(std::round(std::fabs(ac.size - stand.radius)));
    if (rating > best || lf_busyAt(stand, stamp))
        return;
    best = rating;
    out.push_back({stand.name, rating, lf_namesAircraft(stand, ac) ? 1u : 0u});
}

void lf_rateStandGroup(DaySlot stamp, bool gates, const AcData& ac, std::vector<StandCandidate>& out)
{
    const auto inGroup = [gates](const ParkPos& p) { return !p.cargo && !p.heli && p.ramp != gates; };
    const std::size_t before = out.size();
    lf_rateFitWhere(stamp, ac, out, inGroup);
    if (out.size() == before)
        lf_rateAnyWhere(stamp, ac, out, inGroup);
}

void lf_orderCandidates(std::vector<StandCandidate>& candidates)
{
    std::shuffle(candidates.begin(), candidates.end(), g_rng());
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const StandCandidate& a, const StandCandidate& b) {
                         if (a.historyMatch != b.historyMatch)
                             return a.historyMatch > b.historyMatch;
                         return a.rating < b.rating;
                     });
}

std::vector<ParkPos>::iterator gf_chooseStand(DaySlot stamp, const AcData& ac, bool mayRetry)
{
    gf_assertMainLoopThread();
    std::vector<StandCandidate> candidates;
    candidates.reserve(kCandidateReserve);
    lf_collectCandidates(stamp, ac, candidates);
    if (candidates.empty()) {
        if (mayRetry && g_parkPositions.size() <= kSmallAirportStands)
            return gf_chooseStand(lf_nextHalfHour(stamp), ac, false);
        // Nothing fits: no stand (a stand without a name is no answer either).
        return g_parkPositions.end();
    }
    if (candidates.size() > 1)
        lf_orderCandidates(candidates);
    const std::string& name = candidates.front().name;
    return std::find_if(g_parkPositions.begin(), g_parkPositions.end(),
                        [&](const ParkPos& p) { return p.name == name; });
}

// ---- schedule search of the static plan (main loop) ------------------------------------------

void lf_searchStands(DaySlot stamp, std::uint32_t kind, std::uint32_t offset,
                     std::vector<StaticPlanEntry>& out)
{
    try {
        const DaySlot window = gf_stampBack(stamp, offset);
        const std::uint32_t day = gf_weekdayOf(window);
        const std::uint32_t slot = gf_slotOf(window);
        const bool anyDay = g_optWeek.value();
        const bool helicopters = g_optHelicopters.value();
        for (ParkPos& stand : g_parkPositions) {
            if (stand.taken || stand.keptFree)
                continue;
            if ((stand.heli && !helicopters) || stand.blocked)
                continue;
            std::vector<std::size_t> candidates;
            for (std::size_t i = 0; i < stand.options.size(); ++i) {
                const ParkPosOption& o = stand.options[i];
                if (o.number == 0 || o.real != kind || (!anyDay && o.weekday != day) ||
                    !gf_testSlot(o.slots, slot))
                    continue;
                if (lf_collidesWithNeighbour(stand, o))
                    continue;
                candidates.push_back(i);
            }
            if (candidates.empty())
                continue;
            std::size_t chosen = candidates.front();
            if (candidates.size() > 1) {
                // The schedule aircraft that already stands here goes on with its own option.
                std::size_t own = stand.options.size();
                for (const StaticAc& s : g_staticAc) {
                    if (s.standId != stand.standId || s.planKind != 1)
                        continue;
                    for (std::size_t i = 0; i < stand.options.size() && own == stand.options.size(); ++i) {
                        const ParkPosOption& o = stand.options[i];
                        if (o.airline == s.airline && o.type == s.acType &&
                            (o.callsign + "*" == s.callsign || o.callsign2 + "*" == s.callsign))
                            own = i;
                    }
                    if (own != stand.options.size())
                        break;
                }
                if (own != stand.options.size()) {
                    chosen = own;
                } else {
                    std::shuffle(candidates.begin(), candidates.end(), g_rng());
                    chosen = candidates.front();
                }
            }
            ParkPosOption& option = stand.options[chosen];
            if (lf_optionInUse(option, out)) {
                option.number = 0;
                continue;
            }
            if (gf_flightIsLive(option.callsign2))
                continue;
            StaticPlanEntry entry;
            entry.hexid = 0;
            entry.fromSchedule = 1;
            entry.standId = stand.standId;
            entry.offset = offset;
            entry.airline = option.airline;
            entry.type = option.type;
            entry.callsign = option.callsign;
            entry.callsign2 = option.callsign2;
            entry.registration = option.registration;
            entry.stays = lf_staysNext(stand, option, stamp) ? 1 : 0;
            out.push_back(std::move(entry));
            gf_blockStands(stand);
        }
    } catch (const std::exception& e) {
        gf_log("{}: day: {}, offset {}: {}", "lf_searchStands", gf_daySlotText(stamp), offset, e.what());
    }
}
