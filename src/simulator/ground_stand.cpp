// The stand end of a ground road: approach and stop records, the arrival at the stand and the cargo
// attribute of a stand. Main loop thread.
#include "simulator/ground_stand.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>

#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/time_slots.h"
#include "foundation/units.h"
#include "model/ac_records.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "simulator/ac_config.h"
#include "simulator/ai_tick.h"
#include "simulator/duplicates.h"
#include "simulator/motion_math.h"
#include "simulator/removal.h"
#include "simulator/stand_services.h"

namespace {

constexpr double kTwoMetresNm = 0.0010799136069114472;
// The stop record on a stand is due this many ticks (half a second) after the roll onto it ends.
constexpr std::int64_t kStandStopAfterTicks = 50;

// The aircraft's stand; nullptr for id 0 (no stand).
ParkPos* lf_stand(std::uint32_t standId)
{
    if (standId == 0)
        return nullptr;
    return gf_standById(standId);
}

}  // namespace

namespace liveac {

void addStopRecord(LiveAc& ac, double standLat, double standLon, double standHeading)
{
    PosRecord& last = gf_last(ac.stream);
    const bool same = last.lat == standLat && last.lon == standLon;
    const double slow = ac.slowGroundSpeed;
    // The roll onto the stand also takes the turn onto the stand heading at the class's rate.
    const double turn = std::fabs(gf_angleDiff(ac.sim.heading, standHeading));
    const std::int32_t turnTicks = ac.baseTurnRate > 0.0 ? gf_ticks(turn / ac.baseTurnRate) : 0;
    const std::int32_t n = std::max(
        {100, gf_ticks(gf_distanceNm(last.lat, last.lon, standLat, standLon) * kTicksPerHourNm / slow), turnTicks});
    last.speed = slow;

    const PosRecord& head = gf_rec(ac.stream, 0);
    PosRecord approach{};
    approach.lat = standLat;
    approach.lon = standLon;
    approach.bank = ac.sim.bank;
    approach.bankValid = 1;
    approach.headingValid = 0;
    approach.alt = ac.sim.alt;
    approach.slot = gf_addTicks(head.slot, n);
    approach.speed = slow;
    approach.tas = slow;
    approach.track = standHeading * kRadToDeg;
    approach.vertRate = 0.0;
    approach.airborne = 0;
    approach.stop = same ? 1 : 0;
    approach.flag3 = head.flag3;

    PosRecord stop = approach;
    stop.speed = 0.0;
    stop.tas = 0.0;
    stop.stop = 1;
    stop.slot = gf_addTicks(head.slot, kStandStopAfterTicks + static_cast<std::int64_t>(n));

    ac.stream.push_back(approach);
    ac.stream.push_back(stop);

    ac.course = standHeading;
    if (ac.holdCounter >= 1) {
        ac.holdCounter = 0;
        gf_raiseLimits(ac);
    }
}

void arriveAtStand(LiveAc& ac)
{
    LiveMotion& m = ac.motion;
    ParkPos* stand = lf_stand(ac.standId);
    if (stand && stand->occupied) {
        // Another aircraft stands there already: this one leaves, the stand stays occupied.
        ac.holdCounter = 1;
        gf_removeAct(ac);
        stand->occupied = true;
        return;
    }
    if (gf_distanceNm(ac.sim.lat, ac.sim.lon, ac.standLat, ac.standLon) > kTwoMetresNm) {
        gf_setPhase(ac, AcPhase::Taxiing);
        return;
    }

    gf_setPhase(ac, AcPhase::Parked);
    if (stand)
        stand->occupied = true;
    ac.stamp = g_nowDaySlot.load();
    if (m.towed && g_optLog.value())
        gf_log("          towed aircraft {} parks", gf_acText(ac));
    gf_rec(ac.stream, 0).stop = 1;
    ac.parkingTime = gf_steadyNow();
    ac.recedingCount = 0;
    ac.lastStandDist = 0.0;
    markCargoStand(ac);
    gf_parkConfiguration(ac);
    if (g_optLog.value())
        gf_log("{:8}: {:8} arrived at stand", gf_standName(ac.standId), ac.callsign);

    gf_addDuplicateCheck(ac.hexid);

    if (!ac.airline.empty() && ac.cargoStand == ac.cargo) {
        StandServices& stands = gf_standServices();
        if (stands.addRealParkPosOption(ac.standId, ac, false, ac.stamp, false)) {
            gf_rememberArrival(ac.hexid, gf_slotOf(ac.stamp));
            stands.checkMaxPark(0);
        }
    }
}

void markCargoStand(LiveAc& ac)
{
    if (!ac.cargo || ac.cargoStand)
        return;
    ParkPos* stand = lf_stand(ac.standId);
    if (!stand)
        return;
    stand->cargo = true;
    stand->cargoChange = true;
    gf_logError("{} stand: {}, cargo attribute set to true, {} parked here", g_parkAirport.code, stand->name,
                gf_acText(ac));
    gf_standServices().countParkUpdate();
}

}  // namespace liveac
