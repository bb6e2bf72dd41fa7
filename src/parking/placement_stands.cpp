// The stand rules for live aircraft: who keeps a stand when a live aircraft is spawned at it (the
// callsign rules between an aircraft and its ghost or its next flight), how close an aircraft on an
// overlapping stand may stand, and the claim of a stand by an aircraft taxiing in. The distances
// are great-circle nautical miles; sizes are radii (half spans) of the aircraft types.
//
// Thread: the main loop.
#include "parking/placement_stands.h"

#include <algorithm>

#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "liveries/aircraft_db.h"
#include "model/stand_model.h"
#include "parking/park_choice.h"
#include "parking/stand_search.h"
#include "simulator/ai_tick.h"
#include "simulator/ground_stand.h"
#include "simulator/live_lifecycle.h"
#include "simulator/motion_math.h"
#include "simulator/removal.h"

namespace {

// Two aircraft on neighbouring stands touch when their radii, with 10 % to spare, reach across.
constexpr double kStandMargin = 1.1;

std::string lf_withoutLast(const std::string& text)
{
    return text.empty() ? text : text.substr(0, text.size() - 1);
}

bool lf_endsWith(const std::string& text, char c)
{
    return !text.empty() && text.back() == c;
}

const ParkPos* lf_standById(std::uint32_t standId)
{
    const auto it = std::find_if(g_parkPositions.begin(), g_parkPositions.end(),
                                 [standId](const ParkPos& p) { return p.standId == standId; });
    return it == g_parkPositions.end() ? nullptr : &*it;
}

bool lf_positionSet(const ParkPos& stand)
{
    return !(stand.lat == 0.0 && stand.lon == 0.0);
}

bool lf_tooClose(const std::string& typeA, const std::string& typeB, const ParkPos& a, const ParkPos& b)
{
    return (gf_wingspan(typeA) + gf_wingspan(typeB)) * kStandMargin >= gf_distanceNm(a.lat, a.lon, b.lat, b.lon);
}

void lf_removeWithLine(LiveAc& x, std::string_view line)
{
    if (g_optLog.value())
        gf_log(line);
    gf_removeAct(x);
}

}  // namespace

bool gf_clearStandForLiveAc(bool& standFree, std::uint32_t standId, const std::string& callsign, LiveAc& x)
{
    if (x.standId != standId || x.state != AcState::Placed)
        return false;
    if (x.phase != AcPhase::Pushback && x.phase != AcPhase::PushedBack && x.phase != AcPhase::Parked)
        return false;

    const std::string& n = callsign;
    const std::string stand = gf_standName(standId);
    if (x.callsign == n) {
        lf_removeWithLine(x, tvx::format("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ", stand,
                                         x.callsign, n));
        return true;
    }
    // The newcomer is the ghost ("KLM12_" or "KLM123" against "KLM12"): the holder stays.
    if (lf_withoutLast(n) == x.callsign) {
        standFree = false;
        return true;
    }
    if (n == lf_withoutLast(x.callsign) || (lf_endsWith(x.callsign, '_') && !lf_endsWith(n, '_'))) {
        lf_removeWithLine(x, tvx::format("{:8}: {:8} ghost, replace by {}", stand, x.callsign, n));
        return true;
    }
    if (lf_endsWith(n, '_') && !lf_endsWith(x.callsign, '_')) {
        standFree = false;
        return true;
    }
    if (x.standApproachSeen) {
        standFree = false;
        return true;
    }
    lf_removeWithLine(x, tvx::format("{:8}: {:8} removed because another live {} wants the stand ...", stand,
                                     x.callsign, n));
    return true;
}

bool gf_otherLiveAcAtStand(std::uint32_t overlapId, const LiveAc& arriving, const ParkPos& stand, bool& standFree,
                           LiveAc& x)
{
    if (x.standId != overlapId || x.state != AcState::Placed)
        return false;
    if (x.phase != AcPhase::Pushback && x.phase != AcPhase::Parked)
        return false;
    if (x.callsign == arriving.callsign)
        return false;

    const ParkPos* overlap = lf_standById(overlapId);
    if (!overlap || !lf_positionSet(*overlap) || lf_tooClose(x.acType, arriving.acType, *overlap, stand))
        standFree = false;
    return true;
}

void gf_claimStandOnArrival(LiveAc& ac, bool wide)
{
    if (ac.stream.empty())
        return;
    const PosRecord& p = ac.stream.back();
    // Per aircraft: with one position for all, two aircraft claiming in turn would each try anew
    // on every call, and one whose record equals another's last claim would not try at all.
    if (ac.lastClaimLat == p.lat && ac.lastClaimLon == p.lon)
        return;
    ac.lastClaimLat = p.lat;
    ac.lastClaimLon = p.lon;

    const auto found = gf_findFreeStand(p.lat, p.lon, ac, wide ? kClaimWideNm : kClaimNarrowNm, wide);
    if (found == g_parkPositions.end())
        return;
    ParkPos& s = *found;
    if (!g_reservedStand.empty() && s.name == g_reservedStand)
        return;
    const std::string userStand = gf_nearestStandName(g_userAcCopy.latitude, g_userAcCopy.longitude);
    if (!userStand.empty() && s.name == userStand)
        return;

    for (LiveAc& x : g_liveAc) {
        if (&x == &ac || x.standId != s.standId || x.phase != AcPhase::Parked || x.state != AcState::Placed)
            continue;
        lf_removeWithLine(x, tvx::format("{:8}: {:8} removed, {} wants to park there", s.name, x.callsign, ac.callsign));
    }
    for (const std::uint32_t overlapId : s.overlapping) {
        const ParkPos* o = lf_standById(overlapId);
        if (!o || !lf_positionSet(*o))
            continue;
        for (LiveAc& x : g_liveAc) {
            if (&x == &ac || x.standId != overlapId || x.state != AcState::Placed)
                continue;
            if (x.phase != AcPhase::Pushback && x.phase != AcPhase::Parked)
                continue;
            if (!lf_tooClose(x.acType, ac.acType, *o, s))
                continue;
            lf_removeWithLine(x, tvx::format("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}",
                                             o->name, x.callsign, ac.callsign, s.name));
        }
    }

    checkStandOrExcludedIsOccupiedByStaticAndRemove(ac, s);
    ac.standLat = s.lat;
    ac.standLon = s.lon;
    ac.standHeading = s.heading;
    ac.standId = s.standId;
    ac.cargoStand = s.cargo ? 1 : 0;
    ac.stream.resize(1);
    if (ac.phase != AcPhase::TaxiIn)
        gf_setPhase(ac, AcPhase::TaxiIn);
    liveac::addStopRecord(ac, s.lat, s.lon, s.heading);
}
