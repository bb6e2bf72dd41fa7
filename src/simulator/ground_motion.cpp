// Ground legs of live aircraft: leg planning by phase, curves, midpoints, turn-rate scaling,
// pull-out and pushback. Main loop thread.
#include "simulator/ground_motion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/units.h"
#include "model/ac_records.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "simulator/ac_config.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/ground_stand.h"
#include "simulator/motion_air.h"
#include "simulator/motion_math.h"
#include "simulator/motion_rules.h"
#include "simulator/removal.h"
#include "simulator/sim_ids.h"
#include "simulator/stand_services.h"
#include "simulator/user_aircraft.h"

namespace {

// Once pushed back, the farthest fix from the stand so far is set beyond any (nm): from then on
// only a fix kPushedBackFarSizes away ends the pushback.
constexpr double kBeyondAnyFixNm = 900.0;

std::int32_t lf_now()
{
    return g_tick.load();
}

bool lf_curveSet(const LiveAc& ac)
{
    return !std::isnan(ac.curve[0]);
}

// Ticks between two play-out slots, no shorter than the shortest leg (also when negative).
std::int64_t lf_gap(const PosRecord& a, const PosRecord& b)
{
    const std::int64_t g = static_cast<std::int64_t>(b.slot) - a.slot;
    return std::max<std::int64_t>(g, kMinLegTicks);
}

// Longitude difference b - a brought into (-180, 180], so records on both sides of the date line
// stay neighbours.
double lf_lonDiff(double a, double b)
{
    return gf_wrap180(b - a);
}

// The turn from the heading to the course (radians, 0..pi).
double lf_turnLeft(const LiveAc& ac)
{
    return std::fabs(gf_angleDiff(ac.sim.heading, ac.course));
}

// The engines run before an aircraft moves off its stand.
void lf_startEngines(LiveAc& ac)
{
    gf_queueClientEvent(ac.objectId, simid::ENGINE_AUTO_START, 0);
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 1);
}

// Lights of an aircraft leaving its stand: nav, beacon, taxi and logo on.
void lf_leaveStandLights(const LiveAc& ac)
{
    gf_queueLights(ac.objectId, LightSet{1, 1, 0, 1, 0, 1, 0});
}

PosRecord lf_groundPoint(double lat, double lon, double speed, std::int64_t slot)
{
    PosRecord r{};
    r.lat = lat;
    r.lon = lon;
    r.speed = speed;
    r.slot = gf_addTicks(slot, 0);
    return r;
}

// The park airport is set and its stands are read.
bool lf_standsLoaded()
{
    return !g_parkAirport.code.empty() && !g_parkPositions.empty();
}

void lf_phasePushback(LiveAc& ac)
{
    LiveMotion& m = ac.motion;
    if (ac.pushbackStep > 0)
        ac.pushbackStep -= 1;
    if (ac.pushbackStep == 1) {
        if (!ac.pushbackTurnSideSet) {
            // No record arrived while backing out: the pushback stays straight.
            if (ac.stream.size() > 2)
                ac.stream.pop_back();
        } else {
            if (ac.pushbackTurnSide != 0 && m.pushbackSpareSet)
                gf_last(ac.stream) = m.pushbackSpare;
            if (ac.stream.size() >= kFollowingLegRecords) {
                liveac::setCurve(ac);
                const double k = std::max(1.0, std::round(kPushbackTurnDeg / ac.turnRate / 100.0));
                m.curveStep = 1.0 / k;
                m.curveTurnAngle = kPushbackTurnDeg;
            }
        }
        m.pushbackSpareSet = 0;
        return;
    }
    if (ac.pushbackStep == 0) {
        // Pushed back: the engines start, the aircraft stands until its records move away.
        ac.course = ac.sim.heading;
        gf_queueClientEvent(ac.objectId, simid::ENGINE_AUTO_START, 0);
        gf_setThrottle(ac, 0);
        gf_setFlaps(ac, 1);
        gf_setPhase(ac, AcPhase::PushedBack);
        ac.pushbackStep = 1;
        ac.farthestStandDist = kBeyondAnyFixNm;
        ac.holdCounter = 0;
        m.movingOff = 0;
    }
}

void lf_phaseParked(LiveAc& ac)
{
    gf_raiseLimits(ac);
    if (!ac.motion.movingOff)
        return;
    const PosRecord& last = gf_last(ac.stream);
    const double c = gf_initialCourse(LatLon{ac.standLat, ac.standLon}, LatLon{last.lat, last.lon});
    const double delta = std::round(gf_angleDiff(ac.standHeading, c) * kRadToDeg);
    if (std::fabs(delta) < kBehindDeg)
        liveac::pullOut(ac);
    else
        liveac::pushback(ac);
}

// The curve just set runs from the aircraft past its control record (feed tick ctrlSlot) to its
// end record (endSlot). With an even step the aircraft would pass the corner halfway through the
// leg's time whatever the records say: into a runway, where the fixes speed up from 10 to 45 kt
// over the turn, it ran 44 m off them; off one, slowing from 35 to 15 kt, it fell to 13 kt at the
// corner and raced after. The curve parameter nearest the control record is passed at its time
// instead, unless the two parts would need a pace beyond the records' speeds (fixes a tenth of a
// second apart give any pace).
void lf_setCurveCorner(LiveAc& ac, std::int32_t ctrlSlot, std::int32_t endSlot, double maxKnots)
{
    LiveMotion& m = ac.motion;
    m.curveCorner = 0.0;
    const std::int64_t now = lf_now();
    if (!(ctrlSlot > now && endSlot > ctrlSlot))
        return;
    const CurveOffset ctrl = gf_curveControl(ac.curve);
    constexpr int kSamples = 100;
    double best = std::numeric_limits<double>::infinity(), corner = 0.0, length = 0.0, lengthAtCorner = 0.0;
    CurveOffset last;
    for (int k = 1; k <= kSamples; ++k) {
        const double u = static_cast<double>(k) / kSamples;
        const CurveOffset at = gf_curveOffset(ac.curve, u);
        length += std::hypot(at.north - last.north, at.east - last.east);
        last = at;
        const double d = std::hypot(at.north - ctrl.north, at.east - ctrl.east);
        if (d < best) {
            best = d;
            corner = u;
            lengthAtCorner = length;
        }
    }
    if (corner <= 0.0 || corner >= 1.0)
        return;
    const double before = static_cast<double>(ctrlSlot - now) / kTicksPerSecond;
    const double after = static_cast<double>(endSlot - ctrlSlot) / kTicksPerSecond;
    const double limit = (kCornerPaceFactor * maxKnots + kCornerPaceMarginKnots) * kMetresPerSecondPerKnot;
    if (lengthAtCorner / before > limit || (length - lengthAtCorner) / after > limit)
        return;
    m.curveCorner = corner;
    m.curveCornerShare = before / (before + after);
}

void lf_planTaxiLeg(LiveAc& ac)
{
    LiveMotion& m = ac.motion;
    if (gf_rec(ac.stream, 1).stop)
        return;
    if (ac.stream.size() >= kFollowingLegRecords && !gf_rec(ac.stream, 2).stop) {
        const double a = std::fabs(liveac::turnToFollowingLeg(ac)) * kRadToDeg;
        const PosRecord& head = gf_rec(ac.stream, 0);
        const PosRecord& second = gf_rec(ac.stream, 1);
        const PosRecord& third = gf_rec(ac.stream, 2);
        if (a > kSharpTurnDeg && gf_recDistance(head, second) > kFiftyMetresNm && head.speed <= kRollStartKnots
            && lf_gap(head, second) >= kSlowLegTicks) {
            // A slow, long leg before a sharp turn is split.
            liveac::insertMidpoint(ac);
        } else if (a > kCurveMinDeg && a <= kCurveMaxDeg) {
            if (!gf_samePosition(head, third)) {
                const std::int32_t ctrlSlot = second.slot, endSlot = third.slot;
                const double maxKnots = std::max({head.speed, second.speed, third.speed});
                liveac::setCurve(ac);
                lf_setCurveCorner(ac, ctrlSlot, endSlot, maxKnots);
                m.curveTurnAngle = a;
            } else {
                liveac::smoothSpeedChange(ac);
            }
        } else {
            liveac::smoothSpeedChange(ac);
        }
    } else if (ac.stream.size() >= kFollowingLegRecords) {
        liveac::smoothSpeedChange(ac);
    } else if (ac.holdCounter <= 0) {
        liveac::smoothSpeedChange(ac);
    }

    if (lf_curveSet(ac)) {
        m.turnInPlace = 0;
    } else {
        const double d = gf_absDiffDeg(ac.sim.heading, ac.course);
        m.turnInPlaceDeg = d;
        m.turnInPlace = d > kTurnInPlaceDeg ? 1 : 0;
    }
}

// The claim of the parked-traffic placement.
void lf_claimStand(LiveAc& ac, bool wide)
{
    gf_standServices().claimStandOnArrival(ac, wide);
}

// The records end at the park airport: the aircraft claims a stand near their end.
void lf_claimAtEnd(LiveAc& ac)
{
    const LiveMotion& m = ac.motion;
    if (ac.phase != AcPhase::Taxiing || !gf_last(ac.stream).stop || !lf_standsLoaded())
        return;
    const bool fromStandOrPushback = ac.prevPhase == AcPhase::Parked || ac.prevPhase < AcPhase::Taxiing;
    if (!m.towed && fromStandOrPushback)
        return;
    if (ac.holdCounter > 0) {
        lf_claimStand(ac, m.landed != 0);
    } else {
        const PosRecord& last = gf_last(ac.stream);
        if (gf_rec(ac.stream, 1).speed <= kStandClaimKnots
            && gf_distanceNm(ac.sim.lat, ac.sim.lon, last.lat, last.lon) <= kStillNm)
            lf_claimStand(ac, false);
    }
    // A claim cuts the records down to the stand approach: a curve planned through the old
    // records would lead elsewhere.
    if (ac.phase == AcPhase::TaxiIn) {
        ac.curve.fill(kNaN);
        ac.curveT = 0.0;
    }
}

}  // namespace

void nextPosGround(LiveAc& ac)
{
    switch (ac.phase) {
    case AcPhase::Pushback:
        lf_phasePushback(ac);
        break;
    case AcPhase::PushedBack:
        break;
    case AcPhase::Parked:
        lf_phaseParked(ac);
        break;
    default:
        lf_planTaxiLeg(ac);
        lf_claimAtEnd(ac);
        break;
    }
    liveac::groundLegTiming(ac);
}

namespace liveac {

void groundLegTiming(LiveAc& ac)
{
    const LiveMotion& m = ac.motion;
    const PosRecord& head = gf_rec(ac.stream, 0);
    const PosRecord& second = gf_rec(ac.stream, 1);
    const std::int64_t now = lf_now();
    std::int32_t n;
    if (second.stop) {
        std::int64_t g = static_cast<std::int64_t>(second.slot) - head.slot;
        if (g < kMinLegTicks)
            g = kMinLegTicks;
        n = gf_ticks(std::max<double>(kMinLegTicks, static_cast<double>(head.slot - now + g)));
    } else {
        ac.turnRate = ac.baseTurnRate;
        const double d = gf_recDistance(head, second);
        n = std::max(kMinLegTicks, gf_ticks(d * kTicksPerHourNm / legSpeed(ac)));
        const bool curve = lf_curveSet(ac);
        if (curve || m.turnInPlace) {
            const double a = (m.turnInPlace && !curve) ? m.turnInPlaceDeg : m.curveTurnAngle;
            const double k = std::max(1.0, std::round(a / ac.turnRate / 100.0));
            const double r = static_cast<double>(n) / k;
            if (a != 0.0 && d > 0.0) {
                if (a <= kSharpTurnDeg) {
                    if (r >= kSpreadTurnShare) {
                        const double z = std::min({r * 10.0 / a, r * 30.0 * kNmPerMetre / d, r});
                        if (z != 0.0)
                            ac.turnRate /= z;
                    } else if (r != 0.0) {
                        ac.turnRate /= r;
                    }
                } else {
                    ac.turnRate *= std::min(r, std::min(a, kRaisedTurnCapDeg) / kRaisedTurnStepDeg);
                    if (a >= kWideTurnDeg) {
                        ac.earlyLimit = std::max(ac.earlyLimit, kTurnLimitTicks);
                        ac.lateLimit = std::max(ac.lateLimit, kTurnLimitTicks);
                    }
                }
            }
        }
    }
    setArrivalTick(ac, n);
    // The roll onto the stand ends on the stand heading: wherever the timing limits placed its
    // end, the nose is round by then.
    if (ac.phase == AcPhase::TaxiIn && !second.stop)
        ac.turnRate = std::max(ac.baseTurnRate, lf_turnLeft(ac) / legInterval(ac));
}

void setCurve(LiveAc& ac)
{
    const PosRecord& head = gf_rec(ac.stream, 0);
    const PosRecord& second = gf_rec(ac.stream, 1);
    PosRecord& third = gf_rec(ac.stream, 2);
    if (third.speed == 0.0)
        third.speed = (head.speed + second.speed) / 2.0;

    const double refLat = ac.sim.lat;
    const double refLon = ac.sim.lon;
    const double cosLat = std::cos((refLat > 180.0 ? refLat - 360.0 : refLat) * kDegToRad);
    const auto north = [&](const PosRecord& p) { return (p.lat - refLat) * kMetresPerDegree; };
    const auto east = [&](const PosRecord& p) { return cosLat * kMetresPerDegree * lf_lonDiff(refLon, p.lon); };
    ac.curve = {refLat, refLon, 0.0, north(third), east(third), 1.0, east(second), north(second)};
    ac.curveT = 0.0;
    ac.stream.erase(ac.stream.begin() + 1);
}

void smoothSpeedChange(LiveAc& ac)
{
    const PosRecord& head = gf_rec(ac.stream, 0);
    const PosRecord& second = gf_rec(ac.stream, 1);
    if ((head.speed > 0.0 || second.speed > 0.0) && std::fabs(head.speed - second.speed) > kSpeedChangeKnots
        && gf_recDistance(head, second) * kMetresPerNm >= kSpeedChangeLegMetres)
        insertMidpoint(ac);
}

void insertMidpoint(LiveAc& ac)
{
    const PosRecord& head = gf_rec(ac.stream, 0);
    const PosRecord& second = gf_rec(ac.stream, 1);
    PosRecord mid = head;
    mid.lat = (head.lat + second.lat) / 2.0;
    mid.lon = head.lon + lf_lonDiff(head.lon, second.lon) / 2.0;
    if (mid.lon > kHalfCircleDeg)
        mid.lon -= kFullCircleDeg;
    else if (mid.lon <= -kHalfCircleDeg)
        mid.lon += kFullCircleDeg;
    mid.speed = (head.speed + second.speed) / 2.0;
    mid.alt = (head.alt + second.alt) / 2.0;
    mid.slot = static_cast<std::int32_t>((static_cast<std::int64_t>(head.slot) + second.slot) / 2);
    // Ground records carry the field elevation: a midpoint flies only between two flying records.
    mid.airborne = mid.alt > 0.0 && head.airborne && second.airborne ? 1 : 0;
    if (mid.alt <= 0.0)
        mid.alt = 0.0;
    mid.stop = 0;
    ac.stream.insert(ac.stream.begin() + 1, mid);
}

void pullOut(LiveAc& ac)
{
    LiveMotion& m = ac.motion;
    m.movingOff = 0;
    ac.holdCounter = 0;

    const GeoPos p = gf_destinationPoint(ac.standLat, ac.standLon, ac.standHeading, 2.0 * ac.size * kFeetPerNm);
    PosRecord& head = gf_rec(ac.stream, 0);
    const double speed = ac.slowGroundSpeed;
    head.speed = speed;
    const double d = gf_distanceNm(ac.sim.lat, ac.sim.lon, p.lat, p.lon);
    const PosRecord out = lf_groundPoint(p.lat, p.lon, speed,
                                         static_cast<std::int64_t>(lf_now()) + gf_ticks(d / speed * 100.0 * kSecondsPerHour));
    ac.stream.resize(1);
    ac.stream.push_back(out);

    gf_setPhase(ac, AcPhase::Taxiing);
    ac.course = ac.sim.heading;
    lf_leaveStandLights(ac);
    lf_startEngines(ac);
    if (g_optLog.value())
        gf_log("{:8}: {:8} pulling out", gf_standName(ac.standId), ac.callsign);
}

void pushback(LiveAc& ac)
{
    ac.holdCounter = 0;
    const double r = gf_wrap2Pi(ac.standHeading + kPi);
    const auto stand = std::find_if(g_parkPositions.begin(), g_parkPositions.end(),
                                    [&](const ParkPos& p) { return p.standId == ac.standId; });
    if (ac.standId == 0 || stand == g_parkPositions.end())
        return;

    const double speed = ac.slowGroundSpeed;
    const GeoPos a = gf_destinationPoint(ac.sim.lat, ac.sim.lon, r, stand->radius * 2.5 * kFeetPerNm);
    gf_rec(ac.stream, 0).speed = speed;
    ac.course = ac.sim.heading;
    const std::int32_t s = gf_ticks(gf_distanceNm(ac.sim.lat, ac.sim.lon, a.lat, a.lon) / speed * kTicksPerHourNm);
    const std::int64_t now = lf_now();
    ac.stream.resize(1);
    ac.stream.push_back(lf_groundPoint(a.lat, a.lon, speed, now + s));
    insertMidpoint(ac);

    // The turn at the end of the pushback: to one side by default, the spare to the other.
    const double sideFeet = ac.size * kFeetPerNm;
    const GeoPos q1 = gf_destinationPoint(a.lat, a.lon, gf_wrap2Pi(r + kPi / 2.0), sideFeet);
    const GeoPos q2 = gf_destinationPoint(a.lat, a.lon, gf_wrap2Pi(r - kPi / 2.0), sideFeet);
    const PosRecord& second = gf_rec(ac.stream, 1);
    const std::int64_t tick =
        now + s / 2 + gf_ticks(gf_distanceNm(second.lat, second.lon, q1.lat, q1.lon) / speed * kTicksPerHourNm);
    ac.motion.pushbackSpare = lf_groundPoint(q1.lat, q1.lon, speed, tick);
    ac.motion.pushbackSpareSet = 1;
    ac.stream.push_back(lf_groundPoint(q2.lat, q2.lon, speed, tick));
    ac.pushbackTurnSide = 0;
    ac.pushbackTurnSideSet = 0;

    lf_leaveStandLights(ac);
    gf_setPhase(ac, AcPhase::Pushback);
    ac.pushbackStep = 2;
}

}  // namespace liveac
