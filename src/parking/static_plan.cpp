// The static parking plan: building the work list from the traffic service's parked list and the
// stand schedules, and the 15-second adjustment that keeps, removes and re-plans parked aircraft.
// Main loop thread (the lists are emptied by the exit thread after the main loop has ended).
#include "parking/static_plan.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "foundation/format.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/position_text.h"
#include "foundation/random.h"
#include "foundation/settings.h"
#include "foundation/text_file.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "liveries/aircraft_db.h"
#include "liveries/regcodes.h"
#include "parking/max_park.h"
#include "parking/park_choice.h"
#include "parking/placement.h"
#include "parking/stand_schedule.h"
#include "parking/stand_search.h"
#include "parking/traffic_containers.h"
#include "simulator/ai_tick.h"
#include "simulator/removal.h"
#include "simulator/user_aircraft.h"
#include "traffic_service/parked_traffic.h"

std::vector<StaticPlanEntry> g_staticParkQueue;
std::vector<ParkRemoval> g_parkRemovals;
std::vector<ParkKeep> g_parkKeeps;
std::vector<LiveStayer> g_liveStayers;
std::int32_t g_realFitOffset = 0;
std::int32_t g_fitOffset = -1;
bool g_softPlanned = false;
std::set<std::string> g_seenCallsigns;
std::set<std::uint32_t> g_seenHexids;
std::vector<DepartedFlight> g_departedFlights;

namespace {

constexpr std::uint32_t kSlotsPerDay = 48;
constexpr std::int32_t kLastSlot = 47;

const char* lf_plural(std::size_t n) { return n == 1 ? "" : "s"; }

std::string lf_hoursText(std::int64_t halfHours) { return gf_numberText(static_cast<double>(halfHours) * 0.5 + 0.5); }

// The window's copy of the plan values.
void lf_showPlanValues()
{
    const double real = g_realFitOffset;
    const double fit = g_fitOffset;
    const int soft = g_softPlanned ? 1 : 0;
    gf_updatePainted([real, fit, soft](PaintedValues& p) {
        p.realFitOffset = real;
        p.fitOffset = fit;
        p.softPlanned = soft;
    });
}

ParkPos* lf_standById(std::uint32_t standId)
{
    for (ParkPos& stand : g_parkPositions)
        if (stand.standId == standId)
            return &stand;
    return nullptr;
}

std::size_t lf_takenStands()
{
    return static_cast<std::size_t>(
        std::count_if(g_parkPositions.begin(), g_parkPositions.end(), [](const ParkPos& p) { return p.taken; }));
}

void lf_clearPlanMarks()
{
    for (ParkPos& stand : g_parkPositions) {
        stand.taken = false;
        stand.keptFree = false;
        stand.blocked = false;
    }
}

void lf_sortByOffset(bool descending)
{
    std::stable_sort(g_staticParkQueue.begin(), g_staticParkQueue.end(),
                     [descending](const StaticPlanEntry& a, const StaticPlanEntry& b) {
                         return descending ? a.offset > b.offset : a.offset < b.offset;
                     });
}

void lf_removeLater(StaticAc& ac)
{
    ac.state = AcState::BeingRemoved;
    g_parkRemovals.push_back({ac.callsign, ac.standId});
}

void lf_keep(const StaticAc& ac)
{
    g_parkKeeps.push_back({ac.callsign, ac.coupledCallsign1, ac.coupledCallsign2, ac.registration, ac.airline,
                           ac.acType, ac.stamp, ac.standId, 0});
}

// The record's aircraft flies or stands in the live traffic.
bool lf_liveMatchesParked(const LiveAc& live, const ParkedTrafficRecord& record)
{
    return live.hexid == record.hexid || live.callsign == record.callsign ||
           live.callsign == record.callsign + "_" ||
           (!record.registration.empty() && live.registration == record.registration);
}

std::uint8_t lf_cargoOfRegistration(const std::string& registration)
{
    for (const std::string& form : gf_regcodeSpellings(registration)) {
        DbaseRegEntry entry;
        if (gf_lookupRegcode(form, &entry))
            return entry.cargo;
    }
    return 0;
}

// A static aircraft from the parked list already on the stand: the earlier one makes way, a later
// one keeps the stand (planned again) and the record is dropped. True when the record goes on.
bool lf_resolveStandHolder(ParkPos& stand, const ParkedTrafficRecord& record, DaySlot now)
{
    const DaySlot recordStamp = gf_stampBack(now, record.halfHourOffset);
    for (StaticAc& s : g_staticAc) {
        if (s.planKind != 0 || s.standId != stand.standId || s.callsign == record.callsign + "*")
            continue;
        if (gf_parkedEarlier(s.stamp, recordStamp)) {
            lf_removeLater(s);
            continue;
        }
        StaticPlanEntry entry;
        entry.hexid = s.serviceHexid;
        entry.fromSchedule = 0;
        entry.standId = stand.standId;
        entry.offset = gf_isAfterInWeek(s.stamp, now);
        entry.airline = s.airline;
        entry.type = s.acType;
        entry.callsign = s.callsign.empty() ? s.callsign : s.callsign.substr(0, s.callsign.size() - 1);
        entry.registration = s.registration;
        entry.stays = 1;
        g_staticParkQueue.push_back(std::move(entry));
        // It keeps the stand: no later record may plan it again.
        gf_blockStands(stand);
        return false;
    }
    return true;
}

// A work-list entry on an overlapping stand leaves no room for the type.
bool lf_neighbourEntryCollides(const ParkPos& stand, const std::string& type)
{
    for (const std::uint32_t id : stand.overlapping) {
        const ParkPos* other = lf_standById(id);
        if (!other)
            continue;
        const double distance = gf_distanceNm(stand.lat, stand.lon, other->lat, other->lon);
        for (const StaticPlanEntry& e : g_staticParkQueue)
            if (e.standId == id && gf_wingspan(e.type) + gf_wingspan(type) > distance)
                return true;
    }
    return false;
}

// The option holds the half-hour after the stamp. A half-hour on another day than the option's
// (slot 0 of the next day, or any slot once the clock has passed midnight) is held by another
// option of the stand for that day, same airline and type.
bool lf_holdsNextHalfHour(const ParkPos& stand, const ParkPosOption& option, DaySlot stamp)
{
    std::uint32_t slot = gf_slotOf(stamp) + 1;
    std::uint32_t day = gf_weekdayOf(stamp);
    if (slot >= kSlotsPerDay) {
        slot = 0;
        day = day >= 7 ? 1 : day + 1;
    }
    if (day == option.weekday)
        return gf_testSlot(option.slots, slot);
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const ParkPosOption& o) {
        return o.number > 0 && o.weekday == day && o.airline == option.airline && o.type == option.type &&
               gf_testSlot(o.slots, slot);
    });
}

void lf_resetPaintedAverages()
{
    gf_updatePainted([](PaintedValues& p) {
        p.avgParkHoursLive = -1.0;
        p.avgParkHoursStatic = -1.0;
    });
}

}  // namespace

const LiveAc* gf_liveAcFlying(const std::string& callsign)
{
    if (callsign.empty())
        return nullptr;
    const auto it = std::find_if(g_liveAc.begin(), g_liveAc.end(), [&](const LiveAc& live) {
        return live.state != AcState::BeingRemoved && (live.callsign == callsign || live.callsign == callsign + "_");
    });
    return it == g_liveAc.end() ? nullptr : &*it;
}

namespace {

std::string lf_withoutGhostMark(std::string callsign)
{
    if (!callsign.empty() && callsign.back() == '_')
        callsign.pop_back();
    return callsign;
}

// Forgets the departures that lie kDepartedHalfHours or more back.
void lf_forgetOldDepartures()
{
    const DaySlot now = g_nowDaySlot.load();
    std::erase_if(g_departedFlights,
                  [&](const DepartedFlight& d) { return lf_addParkedHalfHours(d.stamp, now) >= kDepartedHalfHours; });
}

}  // namespace

void gf_rememberDeparture(const AcData& ac)
{
    std::string callsign = lf_withoutGhostMark(ac.callsign);
    if (callsign.empty() && ac.registration.empty())
        return;
    const DaySlot now = g_nowDaySlot.load();
    for (DepartedFlight& d : g_departedFlights) {
        if (d.callsign == callsign && d.registration == ac.registration) {
            d.stamp = now;
            return;
        }
    }
    g_departedFlights.push_back({std::move(callsign), ac.registration, now});
}

bool gf_flightDeparted(const std::string& callsign)
{
    const std::string flight = lf_withoutGhostMark(callsign);
    if (flight.empty())
        return false;
    lf_forgetOldDepartures();
    return std::any_of(g_departedFlights.begin(), g_departedFlights.end(),
                       [&](const DepartedFlight& d) { return d.callsign == flight; });
}

bool gf_airframeDeparted(const std::string& registration)
{
    if (registration.empty())
        return false;
    lf_forgetOldDepartures();
    return std::any_of(g_departedFlights.begin(), g_departedFlights.end(),
                       [&](const DepartedFlight& d) { return d.registration == registration; });
}

bool gf_flightIsLive(const std::string& callsign)
{
    return !callsign.empty() && (g_seenCallsigns.contains(callsign) || g_seenCallsigns.contains(callsign + "_") ||
                                 gf_liveAcFlying(callsign) != nullptr || gf_flightDeparted(callsign));
}

// ---- stamps ------------------------------------------------------------------------------------

DaySlot gf_stampBack(DaySlot stamp, std::uint32_t offset)
{
    std::int64_t slot = static_cast<std::int64_t>(gf_slotOf(stamp)) - offset;
    std::uint32_t weekday = gf_weekdayOf(stamp);
    while (slot < 0) {
        slot += kSlotsPerDay;
        weekday = weekday <= 1 ? 7 : weekday - 1;
    }
    return gf_makeDaySlot(weekday, static_cast<std::uint32_t>(slot));
}

bool gf_parkedEarlier(DaySlot a, DaySlot b)
{
    const std::uint32_t dayA = gf_weekdayOf(a);
    const std::uint32_t dayB = gf_weekdayOf(b);
    if (dayA == 7 && dayB == 1)
        return true;
    if (dayA == 1 && dayB == 7)
        return false;
    if (dayA != dayB)
        return dayA < dayB;
    return gf_slotOf(a) <= gf_slotOf(b);
}

// ---- shared steps --------------------------------------------------------------------------------

DaySlot lf_logPlanClock()
{
    const DaySlot now = g_nowDaySlot.load();
    const std::uint32_t weekday = gf_weekdayOf(now);
    gf_log("\n{} (utc) It is day {} ({}), {} hours", gf_clockText(), weekday, gf_dayName(weekday),
           lf_hoursText(gf_slotOf(now)));
    return now;
}

void lf_keepUserStandsFree()
{
    if (!g_reservedStand.empty()) {
        const auto reserved = gf_findStand(g_reservedStand);
        if (reserved != g_parkPositions.end())
            reserved->keptFree = true;
    }
    const std::string name = gf_nearestStandName(g_userAcCopy.latitude, g_userAcCopy.longitude);
    if (name.empty() || name == g_reservedStand)
        return;
    const auto stand = gf_findStand(name);
    if (stand != g_parkPositions.end())
        stand->keptFree = true;
}

// ---- the parked list -----------------------------------------------------------------------------

void lf_planParkedRecord(std::int64_t remaining, const ParkedTrafficRecord& record)
{
    if (!g_optRtParktrafficOnly.value() && static_cast<std::int64_t>(g_staticParkQueue.size()) >= remaining)
        return;
    if (g_seenHexids.contains(record.hexid) || record.callsign.empty() ||
        g_seenCallsigns.contains(record.callsign) || g_seenCallsigns.contains(record.callsign + "_"))
        return;
    if (std::any_of(g_liveAc.begin(), g_liveAc.end(),
                    [&](const LiveAc& live) { return lf_liveMatchesParked(live, record); }))
        return;

    FlightRecord head = record;
    const std::uint8_t cargo = record.registration.empty() ? 0 : lf_cargoOfRegistration(record.registration);
    if (head.airline.empty() && !gf_airlineFromCallsign(head))
        head.airline = "PVT";
    AcData ac = gf_makeAcData(head);
    ac.cargo = cargo;

    const auto stand = gf_findFreeStand(record.lat, record.lon, ac, kStandRadius110m, false);
    if (stand == g_parkPositions.end()) {
        gf_logIndented(tvx::format("[{:10}: {:8x} {:8} {:12}, hh:{} ===> could not find a stand for PT's {}]",
                                   record.standName, record.hexid, record.callsign, record.registration,
                                   record.halfHourOffset, gf_latLonText(record.lat, record.lon)));
        return;
    }
    if (stand->taken || stand->keptFree)
        return;
    if (stand->blocked && lf_neighbourEntryCollides(*stand, head.acType))
        return;
    if (!lf_resolveStandHolder(*stand, record, g_nowDaySlot.load()))
        return;

    StaticPlanEntry entry;
    entry.hexid = record.hexid;
    entry.fromSchedule = 0;
    entry.standId = stand->standId;
    entry.offset = record.halfHourOffset;
    entry.airline = head.airline;
    entry.type = head.acType;
    entry.callsign = head.callsign;
    entry.registration = head.registration;
    entry.stays = 1;
    g_staticParkQueue.push_back(std::move(entry));
    gf_blockStands(*stand);
}

void gf_planFromParkedTraffic()
{
    const std::int64_t remaining = gf_wantedParkedCount();
    const bool rtOnly = g_optRtParktrafficOnly.value();
    if (remaining < 1 && !rtOnly)
        return;
    for (const ParkedTrafficRecord& record : g_parkedTraffic) {
        if (!rtOnly && static_cast<std::int64_t>(g_staticParkQueue.size()) >= remaining)
            break;
        lf_planParkedRecord(remaining, record);
    }
}

// ---- the schedules -------------------------------------------------------------------------------

bool lf_planBatches(DaySlot now, std::uint32_t kind, std::int64_t wanted, std::vector<StaticPlanEntry>& batch)
{
    const std::size_t before = lf_takenStands();
    const auto maxFit = static_cast<std::uint32_t>(std::clamp(g_optMaxFit.value(), 0, kLastSlot));
    bool reached = false;
    std::uint32_t offset = 0;
    for (;; ++offset) {
        lf_searchStands(now, kind, offset, batch);
        if (static_cast<std::int64_t>(lf_takenStands()) >= wanted) {
            reached = true;
            break;
        }
        g_staticParkQueue.insert(g_staticParkQueue.end(), batch.begin(), batch.end());
        batch.clear();
        if (offset >= maxFit)
            break;
    }
    const std::size_t found = lf_takenStands() - before;
    if (kind == 1)
        g_realFitOffset = static_cast<std::int32_t>(offset);
    g_fitOffset = kind == 1 ? -1 : static_cast<std::int32_t>(offset);
    if (found >= 1) {
        const std::uint32_t slot = gf_slotOf(now);
        const std::string where =
            g_optWeek.value() ? std::string(", week") : tvx::format(", day {}", gf_weekdayOf(now));
        const std::string when = tvx::format(", hh:{} or {} hrs", slot, lf_hoursText(slot)) +
                                 tvx::format(" fit: {} hour", lf_hoursText(offset));
        gf_log("{} {} position{} found, Max fit={} hours{}{}", found, kind == 1 ? "real" : "soft",
               found > 1 ? "s" : "", lf_hoursText(maxFit), where, when);
    }
    g_softPlanned = kind == 0 && found >= 1;
    lf_showPlanValues();
    return reached;
}

void lf_planKind(DaySlot now, std::int64_t wanted, std::int64_t already, std::uint32_t kind)
{
    std::vector<StaticPlanEntry> batch;
    if (!lf_planBatches(now, kind, wanted, batch))
        return;
    const auto excessOf = [&] { return static_cast<std::int64_t>(g_staticParkQueue.size()) - wanted + already; };
    const std::int64_t excess = excessOf();
    if (excess >= 1 && !batch.empty()) {
        std::shuffle(batch.begin(), batch.end(), g_rng());
        batch.resize(batch.size() - static_cast<std::size_t>(std::min<std::int64_t>(excess, batch.size())));
    }
    g_staticParkQueue.insert(g_staticParkQueue.end(), batch.begin(), batch.end());
    while (!g_staticParkQueue.empty() && excessOf() >= 1)
        g_staticParkQueue.pop_back();
}

void gf_planFromSchedules(DaySlot now, std::int64_t wanted, std::int64_t already)
{
    g_realFitOffset = 0;
    g_fitOffset = -1;
    lf_planKind(now, wanted, already, 1);
    if (wanted > static_cast<std::int64_t>(g_staticParkQueue.size()) + already &&
        (g_optParkSoft.value() || g_optParkFake.value()))
        lf_planKind(now, wanted, already, 0);
}

// ---- building ------------------------------------------------------------------------------------

void gf_buildStaticPlan()
{
    const DaySlot now = lf_logPlanClock();
    gf_setStatusLine("Making changes to airport parking parameters is disabled while static parking takes place ...",
                     g_optLog.value());

    g_staticParkQueue.clear();
    g_parkKeeps.clear();
    g_liveStayers.clear();
    lf_resetPaintedAverages();
    g_softPlanned = false;
    lf_showPlanValues();
    gf_clearBufferMaps();
    lf_clearPlanMarks();
    lf_keepUserStandsFree();

    if (gf_updateParkedTraffic())
        gf_planFromParkedTraffic();

    const bool rtOnly = g_optRtParktrafficOnly.value();
    if (!rtOnly) {
        const std::size_t fromPt = g_staticParkQueue.size();
        gf_log("{} parking position{} from PT", fromPt, lf_plural(fromPt));
        const std::int64_t wanted = gf_wantedParkedCount();
        // Nothing else stands parked yet: the parked-list entries are part of the work list itself.
        if (wanted > static_cast<std::int64_t>(fromPt))
            gf_planFromSchedules(now, wanted, 0);
        lf_sortByOffset(false);
        while (static_cast<std::int64_t>(g_staticParkQueue.size()) > wanted)
            g_staticParkQueue.pop_back();
    } else {
        lf_sortByOffset(true);
    }
    // Static aircraft that made way for newer parked records leave now: the next adjustment
    // starts with an empty removal list.
    lf_applyParkRemovals();

    if (g_staticParkQueue.empty()) {
        gf_log("no parking positions found");
        gf_enableControls();
        return;
    }
    const std::size_t size = g_staticParkQueue.size();
    const long percent = g_parkPositions.empty()
                             ? 0
                             : std::lround(static_cast<double>(size) * 100.0 / static_cast<double>(g_parkPositions.size()));
    if (rtOnly)
        gf_log("{} positions from RT parktraffic only\n", size);
    else
        gf_log("{} positions ({}% vs wanted {}%, with Max fit={} hours)\n", size, percent,
               g_optParkingPercentage.value(), lf_hoursText(g_optMaxFit.value()));
    lf_sortByOffset(true);
    gf_disableControls();
}

// ---- the adjustment ------------------------------------------------------------------------------

void lf_keepOrReplace(StaticAc& ac, std::vector<StaticPlanEntry>::iterator entry, DaySlot now)
{
    const DaySlot entryStamp = gf_stampBack(now, entry->offset);
    if (gf_parkedEarlier(ac.stamp, entryStamp)) {
        g_parkRemovals.push_back({ac.callsign, ac.standId});
        return;
    }
    lf_keep(ac);
    g_staticParkQueue.erase(entry);
}

void lf_reviewScheduledStatic(StaticAc& ac, DaySlot now)
{
    if (ac.planKind != 1 || ac.state != AcState::Placed)
        return;
    if (gf_flightIsLive(ac.coupledCallsign1) || gf_flightIsLive(ac.coupledCallsign2)) {
        g_parkRemovals.push_back({ac.callsign, ac.standId});
        return;
    }
    auto onStand = std::find_if(g_staticParkQueue.begin(), g_staticParkQueue.end(),
                                [&](const StaticPlanEntry& e) { return e.standId == ac.standId; });
    if (onStand != g_staticParkQueue.end()) {
        if (onStand->airline == ac.airline && onStand->type == ac.acType &&
            (onStand->callsign + "*" == ac.callsign || onStand->callsign2 + "*" == ac.callsign)) {
            lf_keep(ac);
            g_staticParkQueue.erase(onStand);
        } else {
            lf_keepOrReplace(ac, onStand, now);
        }
        return;
    }
    const ParkPos* stand = lf_standById(ac.standId);
    if (stand) {
        for (const std::uint32_t id : stand->overlapping) {
            const ParkPos* other = lf_standById(id);
            if (!other)
                continue;
            const double distance = gf_distanceNm(ac.standLat, ac.standLon, other->lat, other->lon);
            auto entry = std::find_if(g_staticParkQueue.begin(), g_staticParkQueue.end(), [&](const StaticPlanEntry& e) {
                return e.standId == id && gf_wingspan(e.type) + gf_wingspan(ac.acType) > distance;
            });
            if (entry != g_staticParkQueue.end()) {
                lf_keepOrReplace(ac, entry, now);
                return;
            }
        }
    }
    const std::uint32_t limit =
        static_cast<std::uint32_t>(std::clamp(std::max(g_realFitOffset, g_fitOffset), 0, kLastSlot));
    const std::uint32_t weekday = gf_weekdayOf(now);
    const std::uint32_t dayBefore = weekday <= 1 ? 7 : weekday - 1;
    bool holds = false;
    if (stand) {
        // The search of this round has dropped (numbered 0) the option of every schedule aircraft
        // that already stands here, so dropped options count: they still describe the schedule.
        for (const ParkPosOption& o : stand->options) {
            if (o.airline != ac.airline || o.type != ac.acType)
                continue;
            // The window reaches back over midnight into the previous day's late slots.
            std::int32_t remainder = -1;
            const bool today = testRange(o, gf_slotOf(now), limit, remainder);
            std::int32_t unused = -1;
            if ((o.weekday == weekday && today) ||
                (o.weekday == dayBefore && remainder >= 0 &&
                 testRange(o, kLastSlot, static_cast<std::uint32_t>(remainder), unused))) {
                holds = true;
                break;
            }
        }
    }
    if (holds)
        lf_keep(ac);
    else
        g_parkRemovals.push_back({ac.callsign, ac.standId});
}

void lf_reviewParkedStatic(StaticAc& ac, bool renew, DaySlot now)
{
    if (ac.planKind == 1) {
        if (renew || ac.state != AcState::Placed)
            return;
        auto entry = std::find_if(g_staticParkQueue.begin(), g_staticParkQueue.end(), [&](const StaticPlanEntry& e) {
            return e.standId == ac.standId || e.callsign + "*" == ac.callsign;
        });
        if (entry == g_staticParkQueue.end())
            return;
        const DaySlot entryStamp = gf_stampBack(now, entry->offset);
        const bool sameFlight =
            entry->callsign + "*" == ac.callsign && entry->airline == ac.airline && entry->type == ac.acType;
        if (gf_parkedEarlier(entryStamp, ac.stamp) || sameFlight)
            g_staticParkQueue.erase(entry);
        else
            lf_removeLater(ac);
        return;
    }
    if (g_seenHexids.contains(ac.serviceHexid)) {
        lf_removeLater(ac);
        return;
    }
    auto entry = std::find_if(g_staticParkQueue.begin(), g_staticParkQueue.end(), [&](const StaticPlanEntry& e) {
        // An empty registration names no aircraft.
        return e.callsign + "*" == ac.callsign || e.callsign2 + "*" == ac.callsign ||
               (!ac.registration.empty() && e.registration == ac.registration);
    });
    if (entry != g_staticParkQueue.end() && entry->standId == ac.standId) {
        lf_keep(ac);
        g_staticParkQueue.erase(entry);
        return;
    }
    lf_removeLater(ac);
}

void lf_applyParkRemovals()
{
    while (!g_parkRemovals.empty()) {
        const ParkRemoval removal = g_parkRemovals.back();
        g_parkRemovals.pop_back();
        auto ac = std::find_if(g_staticAc.begin(), g_staticAc.end(), [&](const StaticAc& s) {
            return s.standId == removal.standId &&
                   (s.state == AcState::Placed || s.state == AcState::BeingRemoved);
        });
        if (ac != g_staticAc.end())
            gf_removeAct(*ac);
    }
    if (!g_staticParkQueue.empty())
        gf_disableControls();
}

bool lf_optionMatchesEntry(const ParkPos& stand, const ParkPosOption& option, const std::string& callsign,
                           ParkKeep& keep, DaySlot stamp)
{
    if (option.number == 0 || option.weekday != gf_weekdayOf(keep.stamp) || option.callsign != callsign ||
        option.airline != keep.airline || option.type != keep.type)
        return false;
    if (!lf_holdsNextHalfHour(stand, option, stamp))
        keep.replace = 1;
    return true;
}

void gf_applyParkTrafficChanges(bool renew)
{
    const DaySlot now = lf_logPlanClock();
    gf_clearBufferMaps();
    gf_disableControls();
    g_softPlanned = false;
    lf_showPlanValues();

    g_parkRemovals.clear();
    g_parkKeeps.clear();
    g_liveStayers.clear();
    g_staticParkQueue.clear();
    lf_clearPlanMarks();
    for (ParkPos& stand : g_parkPositions)
        gf_renumberOptions(stand.options);
    lf_keepUserStandsFree();

    // Marked as being removed at once, so the reviews below do not keep them as well.
    if (renew)
        for (StaticAc& s : g_staticAc)
            if (s.planKind == 1 && s.state == AcState::Placed)
                lf_removeLater(s);

    const std::int64_t wanted = gf_wantedParkedCount();
    const bool rtOnly = g_optRtParktrafficOnly.value();
    gf_collectLiveStayers();
    if (!rtOnly && wanted >= 1 && static_cast<std::int64_t>(g_liveStayers.size()) > wanted) {
        const std::int64_t more = static_cast<std::int64_t>(g_liveStayers.size()) - wanted;
        gf_setStatusLine(tvx::format("Parking adjustments: {} more live ac than wanted", more), true);
        gf_removeLongestLiveParked(static_cast<std::size_t>(more));
        g_liveStayers.clear();
        gf_collectLiveStayers();
    }
    for (const LiveStayer& stayer : g_liveStayers)
        if (ParkPos* stand = lf_standById(stayer.standId))
            gf_blockStands(*stand);

    if (gf_updateParkedTraffic()) {
        gf_planFromParkedTraffic();
        for (StaticAc& s : g_staticAc)
            lf_reviewParkedStatic(s, renew, now);
        const std::size_t fromPt = g_staticParkQueue.size();
        gf_log("{} new parking position{} from PT", fromPt, lf_plural(fromPt));
        if (rtOnly) {
            gf_setStatusLine(tvx::format("ParkTraffic changes: {} to be removed, {} to be added",
                                         g_parkRemovals.size(), g_staticParkQueue.size()),
                             true);
            lf_sortByOffset(true);
            lf_applyParkRemovals();
            return;
        }
    } else if (rtOnly) {
        lf_sortByOffset(true);
        return;
    }

    const std::int64_t outside = static_cast<std::int64_t>(g_liveStayers.size() + g_parkKeeps.size());
    const std::int64_t taken = static_cast<std::int64_t>(g_staticParkQueue.size()) + outside;
    for (const ParkKeep& keep : g_parkKeeps)
        if (ParkPos* stand = lf_standById(keep.standId))
            gf_blockStands(*stand);
    if (wanted > taken)
        gf_planFromSchedules(now, wanted, outside);

    for (StaticAc& s : g_staticAc)
        lf_reviewScheduledStatic(s, now);

    std::stable_sort(g_parkKeeps.begin(), g_parkKeeps.end(),
                     [](const ParkKeep& a, const ParkKeep& b) { return !gf_parkedEarlier(a.stamp, b.stamp); });
    gf_markContinuingKeeps(g_parkKeeps.begin(), g_parkKeeps.end(), now);
    for (const ParkKeep& keep : g_parkKeeps) {
        if (!keep.replace)
            continue;
        g_staticParkQueue.push_back({0, 1, keep.standId, gf_slotOf(keep.stamp), keep.airline, keep.type,
                                     keep.coupled1, keep.coupled2, keep.registration, 0});
        g_parkRemovals.push_back({keep.callsign, keep.standId});
    }
    std::erase_if(g_parkKeeps, [](const ParkKeep& k) { return k.replace != 0; });

    lf_sortByOffset(false);
    const auto total = [] {
        return static_cast<std::int64_t>(g_staticParkQueue.size() + g_liveStayers.size() + g_parkKeeps.size());
    };
    while (total() > wanted) {
        if (!g_staticParkQueue.empty()) {
            g_staticParkQueue.pop_back();
        } else if (!g_parkKeeps.empty()) {
            g_parkRemovals.push_back({g_parkKeeps.back().callsign, g_parkKeeps.back().standId});
            g_parkKeeps.pop_back();
        } else if (!g_optInitialLoadOnly.value() && !g_liveStayers.empty()) {
            const LiveStayer stayer = g_liveStayers.back();
            g_liveStayers.pop_back();
            auto live = std::find_if(g_liveAc.begin(), g_liveAc.end(), [&](const LiveAc& l) {
                return l.standId == stayer.standId && l.callsign == stayer.callsign;
            });
            if (live != g_liveAc.end())
                gf_removeAct(*live);
        } else {
            break;
        }
    }

    lf_sortByOffset(true);
    gf_setStatusLine(tvx::format("Parking adjustments: {} to be removed, {} to be added\n", g_parkRemovals.size(),
                                 g_staticParkQueue.size()),
                     true);
    lf_applyParkRemovals();
}
