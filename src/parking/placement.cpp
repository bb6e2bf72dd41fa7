// Placing the planned parked aircraft one per creation slot, and the walks that take static
// aircraft away again (static twin of a live aircraft, all static aircraft, the reserved stand).
// Every removal goes through gf_removeAct, which frees the stand and queues the object's removal.
//
// Thread: the main loop; gf_removeAllStaticAc also on the exit thread once the main loop has ended.
#include "parking/placement.h"

#include <algorithm>
#include <exception>
#include <string_view>
#include <utility>

#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/units.h"
#include "liveries/aircraft_db.h"
#include "liveries/livery_match.h"
#include "model/stand_model.h"
#include "parking/park_choice.h"
#include "simulator/ai_tick.h"
#include "simulator/removal.h"

std::uint32_t g_staticCounter = 0;

namespace {

constexpr std::uint32_t kLastStaticHexid = 9999;
constexpr std::uint32_t kSlotsPerWeek = 7 * 48;

// The next static hexid after the counter: 1..9999, wrapping to 1 (0 means "none" everywhere),
// skipping hexids that static aircraft still hold. 0 when every one is held.
std::uint32_t lf_nextStaticHexid()
{
    for (std::uint32_t tries = 0; tries < kLastStaticHexid; ++tries) {
        g_staticCounter = g_staticCounter >= kLastStaticHexid ? 1 : g_staticCounter + 1;
        const std::uint32_t hexid = g_staticCounter;
        if (std::none_of(g_staticAc.begin(), g_staticAc.end(), [hexid](const StaticAc& s) { return s.hexid == hexid; }))
            return hexid;
    }
    return 0;
}

ParkPos* lf_standById(std::uint32_t standId)
{
    const auto it = std::find_if(g_parkPositions.begin(), g_parkPositions.end(),
                                 [standId](const ParkPos& p) { return p.standId == standId; });
    return it == g_parkPositions.end() ? nullptr : &*it;
}

bool lf_onStandOrOverlapping(std::uint32_t acStandId, std::uint32_t standId, const ParkPos* stand)
{
    if (acStandId == standId)
        return true;
    return stand && std::find(stand->overlapping.begin(), stand->overlapping.end(), acStandId) !=
                        stand->overlapping.end();
}

// The stamp moved back by offset half-hours across midnight and the week (1 follows 7). An offset
// larger than the day (a kept aircraft planned again after days) steps back whole days too.
DaySlot lf_stampBackInWeek(DaySlot stamp, std::uint32_t offset)
{
    const std::uint32_t weekday = gf_weekdayOf(stamp);
    const std::uint32_t slot = gf_slotOf(stamp);
    const std::uint32_t day = weekday >= 1 && weekday <= 7 ? weekday - 1 : 0;
    const std::uint32_t index = (day * 48 + slot % 48 + kSlotsPerWeek - offset % kSlotsPerWeek) % kSlotsPerWeek;
    return gf_makeDaySlot(index / 48 + 1, index % 48);
}

// Step 3 of the placement: a live aircraft taxiing in to, or parked at, the stand or a stand that
// overlaps it holds the place. A live aircraft flying the entry's flight, wherever it is, is the
// aircraft itself: no copy of it is placed (it may be taxiing in to this very stand, unclaimed yet).
bool lf_liveBlocks(const StaticPlanEntry& e, const ParkPos* stand)
{
    const LiveAc* twin = gf_liveAcFlying(e.callsign);
    if (!twin)
        twin = gf_liveAcFlying(e.callsign2);
    if (twin) {
        if (g_optLog.value())
            gf_log("{:8}: no static parking for {}, live aircraft {} is the same flight", gf_standName(e.standId),
                   e.callsign, twin->callsign);
        return true;
    }
    for (const LiveAc& live : g_liveAc) {
        if (live.phase != AcPhase::TaxiIn && live.phase != AcPhase::Parked)
            continue;
        if (!lf_onStandOrOverlapping(live.standId, e.standId, stand))
            continue;
        if (g_optLog.value()) {
            if (live.standId == e.standId)
                gf_log("{:8}: no static parking for {}, live aircraft {} standing here", gf_standName(e.standId),
                       e.callsign, live.callsign);
            else
                gf_log("{:8}: no static parking for {}, live aircraft {} is adjacent at {}, possibly colliding",
                       gf_standName(e.standId), e.callsign, live.callsign, gf_standName(live.standId));
        }
        return true;
    }
    return false;
}

// Step 4: a static aircraft in any state (also one still being created) on the stand or next to it.
bool lf_staticBlocks(const StaticPlanEntry& e, const ParkPos* stand)
{
    for (const StaticAc& other : g_staticAc) {
        if (!lf_onStandOrOverlapping(other.standId, e.standId, stand))
            continue;
        if (g_optLog.value())
            gf_log("{:8}: no static parking for {}, static aircraft {} is adjacent at {}, possibly colliding",
                   gf_standName(e.standId), e.callsign, other.callsign, gf_standName(other.standId));
        return true;
    }
    return false;
}

}  // namespace

bool gf_staticParkWorkPending()
{
    return !g_staticParkQueue.empty();
}

std::string lf_staticCallsign(const StaticPlanEntry& entry)
{
    std::string text = entry.stays ? entry.callsign : entry.callsign2;
    if (text.empty())
        return entry.callsign;
    while (!text.empty() && text.back() == '_')
        text.pop_back();
    if (text.empty() || text.back() != '*')
        text.push_back('*');
    return text;
}

void lf_parkStatic()
{
    // Set while the new aircraft sits at the back of g_staticAc without its creation request: an
    // exception then takes it out again, so no half-made aircraft keeps the stand.
    bool unfinished = false;
    try {
        if (g_staticParkQueue.empty() || g_parkPositions.empty())
            return;
        const StaticPlanEntry e = std::move(g_staticParkQueue.back());
        g_staticParkQueue.pop_back();

        const ParkPos* stand = lf_standById(e.standId);
        if (lf_liveBlocks(e, stand) || lf_staticBlocks(e, stand))
            return;
        if (!stand) {
            gf_logError("stand with id {} not found", e.standId);
            return;
        }

        const std::uint32_t hexid = lf_nextStaticHexid();
        if (hexid == 0) {
            gf_logError("no free static hexid for {}", e.callsign);
            return;
        }

        FlightRecord head;
        head.airline = e.airline;
        head.acType = e.type;
        head.callsign = e.callsign.empty() ? tvx::format("{}{}{}", e.airline, hexid, '*') : lf_staticCallsign(e);
        head.coupledCallsign1 = e.callsign;
        head.coupledCallsign2 = e.callsign2;
        head.registration = e.registration;
        head.value64 = 0;
        AcData data = gf_makeAcData(head);
        data.hexid = hexid;

        g_staticAc.emplace_back(data, e.standId, stand->lat, stand->lon, stand->heading,
                                static_cast<std::uint8_t>(stand->cargo ? 1 : 0));
        unfinished = true;
        StaticAc& ac = g_staticAc.back();
        if (!gf_matchLiveryStatic(ac, LiveryStand{stand->cargo, stand->heli})) {
            g_staticAc.pop_back();
            return;
        }

        ac.planKind = e.fromSchedule;
        ac.stamp = lf_stampBackInWeek(g_nowDaySlot.load(), e.offset);
        ac.serviceHexid = e.hexid;
        ac.state = AcState::CreationRequested;

        CreateAcCmd cmd;
        cmd.initPos.Latitude = stand->lat;
        cmd.initPos.Longitude = stand->lon;
        cmd.initPos.Altitude = 0.0;
        cmd.initPos.Pitch = 0.0;
        cmd.initPos.Bank = 0.0;
        cmd.initPos.Heading = stand->heading * kRadToDeg;
        cmd.initPos.OnGround = 1;
        cmd.initPos.Airspeed = 0;
        cmd.callsign = ac.callsign;
        cmd.title = ac.title;
        cmd.hexid = hexid;
        g_staticCreateRequests.push_back(std::move(cmd));
        unfinished = false;
    } catch (const std::exception& e) {
        if (unfinished && !g_staticAc.empty())
            g_staticAc.pop_back();
        gf_logError("{}: {}", "lf_parkStatic", e.what());
        throw;
    }
}

void gf_dropStaticParkEntries(std::uint32_t standId)
{
    std::erase_if(g_staticParkQueue, [standId](const StaticPlanEntry& e) { return e.standId == standId; });
}

void gf_removeStaticTwinOfLiveAc(LiveAc& ac)
{
    if (!ac.onGround || ac.state != AcState::Placed)
        return;
    const std::string twin = ac.callsign + '*';
    for (StaticAc& s : g_staticAc) {
        if (s.callsign == twin) {
            // A copy still being created or already leaving ends nothing; a placed one may follow.
            if (s.state != AcState::Placed)
                continue;
            gf_removeAct(s);
            return;
        }
        if (!ac.registration.empty() && s.registration == ac.registration && s.state == AcState::Placed) {
            gf_removeAct(s);
            return;
        }
    }
}

void gf_removeAllStaticAc()
{
    // Dropping a queued creation erases aircraft anywhere in g_staticAc (the last one moves into
    // the gap); walking a snapshot of the hexids visits every aircraft once.
    std::vector<std::uint32_t> hexids;
    hexids.reserve(g_staticAc.size());
    for (const StaticAc& ac : g_staticAc)
        hexids.push_back(ac.hexid);
    for (const std::uint32_t hexid : hexids) {
        const auto it = std::find_if(g_staticAc.begin(), g_staticAc.end(),
                                     [hexid](const StaticAc& ac) { return ac.hexid == hexid && ac.state != AcState::BeingRemoved; });
        if (it == g_staticAc.end())
            continue;
        if (it->state == AcState::Placed)
            gf_removeAct(*it);
        else if (it->state == AcState::CreationRequested && !gf_dropQueuedStaticCreations(it->callsign))
            it->removeOnCreation = 1;
    }
}

void gf_clearReservedStand()
{
    if (g_reservedStand.empty())
        return;
    const auto stand = gf_findStand(g_reservedStand);
    if (stand == g_parkPositions.end() || stand->standId == 0)
        return;
    const std::uint32_t r = stand->standId;
    for (StaticAc& s : g_staticAc) {
        if (s.state == AcState::Placed && s.standId == r) {
            gf_removeAct(s);
            return;
        }
    }
    for (LiveAc& live : g_liveAc) {
        if (live.phase == AcPhase::Parked && live.state == AcState::Placed && live.standId == r) {
            gf_removeAct(live);
            return;
        }
    }
}

std::vector<ParkKeep>::iterator gf_markContinuingKeeps(std::vector<ParkKeep>::iterator first,
                                                       std::vector<ParkKeep>::iterator last, DaySlot stamp)
{
    for (auto keep = first; keep != last; ++keep) {
        if (keep->coupled2.empty())
            continue;
        if (keep->coupled1.size() > keep->callsign.size() || keep->callsign.find(keep->coupled1) == std::string::npos)
            continue;
        const ParkPos* stand = lf_standById(keep->standId);
        if (!stand)
            continue;
        std::string callsign = keep->callsign;
        if (!callsign.empty() && callsign.back() == '*')
            callsign.pop_back();
        for (const ParkPosOption& option : stand->options) {
            if (lf_optionMatchesEntry(*stand, option, callsign, *keep, stamp))
                break;
        }
    }
    return last;
}
