// Movement along position records: leg planning, leg timing within the early and late limits,
// holds and extension records at the end of the data, the per-tick step, the user-passing test and
// the respawn as a new object. Main loop thread.
#include "simulator/motion_air.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <iterator>
#include <limits>
#include <optional>

#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/units.h"
#include "frame/window_model.h"
#include "model/ac_records.h"
#include "model/stand_model.h"
#include "simulator/ac_config.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/ground_motion.h"
#include "simulator/ground_stand.h"
#include "simulator/motion_math.h"
#include "simulator/motion_rules.h"
#include "simulator/removal.h"
#include "simulator/stand_services.h"
#include "simulator/user_aircraft.h"

namespace {

constexpr double kHalfDegree = 0.5 * kDegToRad;
constexpr double kFlarePitch = kFlarePitchDeg * kDegToRad;
// The curve parameter stays just short of the curve's end (1) until the leg's arrival takes the
// curve down: the aircraft stays on the curve meanwhile.
constexpr double kCurveLastT = 0.999999;

std::int32_t lf_now()
{
    return g_tick.load();
}

// The climb's build-up after the lift-off, a step a second: from this rotation counter on, this
// share of the altitude step is climbed.
struct ClimbShareStep {
    std::int32_t fromCounter;
    double share;
};
constexpr ClimbShareStep kClimbShareSteps[] = {
    {-99, 0.1},
    {-199, 0.2},
    {-299, 0.5},
};

// The share of the altitude step climbed at a take-off's rotation counter: none while rotating,
// then the climb builds up for three seconds.
double lf_takeOffClimbShare(std::int32_t counter)
{
    if (counter >= 0)
        return 0.0;
    for (const ClimbShareStep& step : kClimbShareSteps)
        if (counter >= step.fromCounter)
            return step.share;
    return 1.0;
}

LatLon lf_pos(const PosRecord& r)
{
    return LatLon{r.lat, r.lon};
}

// Turns the heading by the turn rate toward the target the shorter way round, unless within half
// a degree of it. h and g in degrees: for h <= 180 positive when h < g < h + 180; for h > 180
// negative when h - 180 < g < h.
void lf_turnToward(LiveAc& ac, double target)
{
    const double diff = gf_angleDiff(ac.sim.heading, target);
    if (std::fabs(diff) <= kHalfDegree)
        return;
    const double h = gf_wrap2Pi(ac.sim.heading) * kRadToDeg;
    const double g = gf_wrap2Pi(target) * kRadToDeg;
    bool positive;
    if (h <= kHalfCircleDeg)
        positive = h < g && g < h + kHalfCircleDeg;
    else
        positive = !(h - kHalfCircleDeg < g && g < h);
    ac.sim.heading = gf_wrap2Pi(ac.sim.heading + (positive ? ac.turnRate : -ac.turnRate));
}

// Another placed live aircraft taxiing on the ground within kTaxiNeighbourSizes times both sizes.
bool lf_taxiingNeighbour(const LiveAc& ac)
{
    for (const LiveAc& other : g_liveAc) {
        if (&other == &ac || other.objectId == ac.objectId)
            continue;
        if (!other.onGround || other.phase != AcPhase::Taxiing || other.state != AcState::Placed)
            continue;
        const double d = gf_distanceNm(ac.sim.lat, ac.sim.lon, other.sim.lat, other.sim.lon);
        if (d <= kTaxiNeighbourSizes * (ac.size + other.size))
            return true;
    }
    return false;
}

void lf_freeStand(std::uint32_t standId)
{
    if (standId == 0)
        return;
    if (ParkPos* stand = gf_standById(standId))
        stand->occupied = false;
}

// The extension records of a take-off roll: at a head speed up to the first figure (kt) the
// record runs at the second (kt) and, from rotation speeds on, climbs at the third (ft/min; none:
// the head's rate). Above the last bound the last row holds.
struct TakeOffExtensionStep {
    double upToKnots;
    double speedKnots;
    std::optional<double> vertRateFpm;
};
constexpr TakeOffExtensionStep kTakeOffExtensionSteps[] = {
    {30.0, 40.0, std::nullopt},
    {60.0, 80.0, std::nullopt},
    {100.0, 110.0, std::nullopt},
    {140.0, 150.0, 600.0},
    {160.0, 170.0, 1200.0},
    {std::numeric_limits<double>::infinity(), 180.0, 2400.0},
};

// The extension records of a landing roll-out: from a head speed of the first figure (kt) on the
// record runs at the second (kt); slower, at the last.
struct RollOutExtensionStep {
    double fromKnots;
    double speedKnots;
};
constexpr RollOutExtensionStep kRollOutExtensionSteps[] = {
    {140.0, 100.0},
    {100.0, 80.0},
    {80.0, 60.0},
    {60.0, 30.0},
};
constexpr double kRollOutExtensionSlowestKnots = 20.0;

// Speed of an extension record on the ground while the take-off runs (knots, feet per minute).
void lf_takeOffExtension(PosRecord& r, double v)
{
    const TakeOffExtensionStep* step = &kTakeOffExtensionSteps[std::size(kTakeOffExtensionSteps) - 1];
    for (const TakeOffExtensionStep& row : kTakeOffExtensionSteps) {
        if (v <= row.upToKnots) {
            step = &row;
            break;
        }
    }
    r.speed = step->speedKnots;
    if (step->vertRateFpm)
        r.vertRate = *step->vertRateFpm;
}

double lf_rollOutExtension(double v)
{
    for (const RollOutExtensionStep& row : kRollOutExtensionSteps)
        if (v >= row.fromKnots)
            return row.speedKnots;
    return kRollOutExtensionSlowestKnots;
}

}  // namespace

// ---- leg planning ------------------------------------------------------------------------------

void nextPosMain(LiveAc& ac)
{
    try {
        for (;;) {
            if (ac.stream.size() < 2) {
                if (liveac::endOfStream(ac))
                    continue;
                if (ac.phase != AcPhase::Parked) {
                    gf_standServices().learnStandFromLiveAc(ac, ac.phase != AcPhase::Airborne);
                }
                gf_removeAct(ac);
                return;
            }
            // An airborne aircraft never stops in the air.
            if (!ac.onGround && gf_rec(ac.stream, 1).stop && ac.sizeClass != SizeClass::Rotorcraft) {
                ac.stream.erase(ac.stream.begin() + 1);
                continue;
            }
            nextPos(ac);
            return;
        }
    } catch (const std::exception& e) {
        gf_logError("{}: {}", "nextPosMain", e.what());
        throw;
    }
}

void nextPos(LiveAc& ac)
{
    LiveMotion& m = ac.motion;
    ac.curve.fill(kNaN);
    ac.curveT = 0.0;
    m.curveCorner = 0.0;

    PosRecord& head = gf_rec(ac.stream, 0);
    PosRecord& second = gf_rec(ac.stream, 1);
    if (!second.stop && gf_samePosition(second, head))
        second.stop = 1;
    if (!second.stop)
        ac.course = gf_initialCourse(lf_pos(head), lf_pos(second));

    if (ac.onGround) {
        nextPosGround(ac);
    } else {
        nextPosAir(ac);
    }

    // The leg planning may have changed the stream: look the records up again.
    const PosRecord& second2 = gf_rec(ac.stream, 1);
    if (second2.stop) {
        ac.latStep = 0.0;
        ac.lonStep = 0.0;
        if (!m.spoilersOut && !ac.takeOff) {
            gf_relaxLimits(ac);
        }
    } else {
        const double i = liveac::legInterval(ac);
        ac.latStep = (second2.lat - ac.sim.lat) / i;
        ac.lonStep = (second2.lon - ac.sim.lon) / i;
        if (ac.onGround) {
            liveac::groundConfiguration(ac);
        } else {
            liveac::airConfiguration(ac);
        }
    }
    ac.stream.pop_front();
}

void nextPosAir(LiveAc& ac)
{
    const PosRecord& head = gf_rec(ac.stream, 0);
    const PosRecord& second = gf_rec(ac.stream, 1);
    if (second.stop) {
        if (ac.sizeClass == SizeClass::Rotorcraft)
            liveac::groundLegTiming(ac);
        return;
    }
    const double d = gf_recDistance(head, second);
    std::int32_t n;
    if (!ac.landing || second.airborne) {
        n = gf_ticks(d * kTicksPerHourNm / liveac::legSpeed(ac));
    } else {
        const double v = head.speed > 0.0 ? head.speed : kLandingDefaultKnots;
        n = gf_ticks(d * kTicksPerHourNm / v);
    }
    liveac::setArrivalTick(ac, std::max(n, kMinLegTicks));
}

namespace liveac {

double legInterval(const LiveAc& ac)
{
    const std::int64_t i = static_cast<std::int64_t>(gf_rec(ac.stream, 1).slot) - lf_now();
    return i < kMinLegTicks ? static_cast<double>(kMinLegTicks) : static_cast<double>(i);
}

double legSpeed(const LiveAc& ac)
{
    const PosRecord& head = gf_rec(ac.stream, 0);
    const PosRecord& second = gf_rec(ac.stream, 1);
    const double mean = (head.speed + second.speed) / 2.0;
    if (head.speed != 0.0 && second.speed != 0.0)
        return mean;
    // A stop or a record without the feed's speed: the speed over the feed's times, so that a leg
    // off a stop is not planned at half the speed its end record gives (the mean with 0). A head
    // reached late lies after the second record's slot: then the times tell nothing, the mean
    // stays.
    std::int64_t dt = static_cast<std::int64_t>(second.slot) - head.slot;
    if (dt <= kMinLegTicks) {
        if (mean > 0.0)
            return mean;
        dt = kMinLegTicks;
    }
    return std::max({1.0, mean, gf_recDistance(head, second) * kTicksPerHourNm / static_cast<double>(dt)});
}

void setArrivalTick(LiveAc& ac, std::int32_t n)
{
    PosRecord& second = gf_rec(ac.stream, 1);
    const std::int64_t now = lf_now();
    const std::int64_t s = second.slot;
    // The aircraft may stand behind its head record (after a late leg or a curve): its fastest leg
    // (1.2 times the feed's speed, in the air 40 kt more, no jump) is measured from where it is.
    const PosRecord& head = gf_rec(ac.stream, 0);
    const double dHead = gf_recDistance(head, second);
    const double dOwn = gf_distanceNm(ac.sim.lat, ac.sim.lon, second.lat, second.lon);
    double ownTicks = n;
    if (dOwn > dHead)
        ownTicks = dHead > 0.0 ? n * dOwn / dHead : dOwn * kTicksPerHourNm / legSpeed(ac);
    // While the aircraft speeds up (a take-off roll) the feed's speed may trail its positions by a
    // fix (a velocity repeated from the fix before): a faster record after the leg sets the pace.
    double pace = kCatchUpFactor;
    const double v = legSpeed(ac);
    if (ac.stream.size() >= kFollowingLegRecords && !second.stop && !gf_rec(ac.stream, 2).stop && v > 0.0)
        pace *= std::clamp(gf_rec(ac.stream, 2).speed / v, 1.0, kTrailingSpeedFactor);
    // At approach speeds 1.2 times is only 20 kt more: after fixes that trailed the recorded speed
    // and then jumped ahead, the aircraft took 25 s to rejoin the settled track.
    // Taxiing at a few knots, 1.2 times is a knot or two more: behind by a wait for a late fix it
    // took a minute to rejoin the line between its fixes.
    if (v > 0.0)
        pace = std::max(pace, 1.0 + (ac.onGround ? kGroundCatchUpKnots : kAirCatchUpKnots) / v);
    const std::int32_t fastest = std::max(kMinLegTicks, gf_ticks(ownTicks / pace));
    std::int64_t tick;
    if (ac.holdCounter > 0) {
        tick = now + std::max(n, fastest);
    } else {
        // The record's play-out slot is when the aircraft was there: the leg ends at it, so the
        // aircraft keeps pace with the feed (also after falling behind). The time the leg takes
        // at the feed's speed is the guard against broken feed times: the leg ends at most the
        // early limit before it, never faster than the catch-up pace above, and at most the
        // late limit after it.
        const std::int64_t soonest = now + std::max<std::int64_t>(n - ac.earlyLimit, fastest);
        tick = std::clamp(s, soonest, std::max(soonest, now + n + ac.lateLimit));
    }
    second.slot = gf_addTicks(tick, 0);
}

double turnToFollowingLeg(const LiveAc& ac)
{
    if (ac.stream.size() < kFollowingLegRecords)
        return 0.0;
    const double c = gf_initialCourse(lf_pos(gf_rec(ac.stream, 1)), lf_pos(gf_rec(ac.stream, 2)));
    return gf_angleDiff(ac.sim.heading, c);
}

void setClimbStep(LiveAc& ac)
{
    const PosRecord& second = gf_rec(ac.stream, 1);
    if (second.alt > ac.sim.alt)
        ac.altStep = std::min((second.alt - ac.sim.alt) / climbTicks(ac, legInterval(ac)), ac.vertRateCap);
    else
        ac.altStep = 0.0;
}

bool beyondQueryRange(double lat, double lon)
{
    const UserAcState& user = g_userAcCopy;
    return !gf_isNoFlightPosition(user.latitude, user.longitude)
           && gf_distanceNm(lat, lon, user.latitude, user.longitude) >= g_rangeNm.load() - 0.5;
}

bool placeOnRecords(LiveAc& ac)
{
    if (ac.phase == AcPhase::Parked || ac.stream.size() < 2)
        return false;
    const std::int64_t now = lf_now();
    if (gf_rec(ac.stream, 0).slot >= now)
        return false;
    // A lift-off or a touch-down among the records due is left to the motion: it needs the
    // configuration of both sides.
    const std::uint8_t airborne = gf_rec(ac.stream, 0).airborne;
    std::size_t k = 0;
    while (k + 1 < ac.stream.size() && ac.stream[k + 1].slot <= now && ac.stream[k + 1].airborne == airborne)
        ++k;
    PosRecord at = ac.stream[k];
    if (k + 1 < ac.stream.size() && ac.stream[k + 1].airborne == airborne && ac.stream[k + 1].slot > now) {
        const PosRecord& next = ac.stream[k + 1];
        const double f = static_cast<double>(now - at.slot) / static_cast<double>(next.slot - at.slot);
        if (!gf_samePosition(at, next))
            at.stop = 0;
        at.lat += f * (next.lat - at.lat);
        at.lon += f * (next.lon - at.lon);
        at.alt += f * (next.alt - at.alt);
        at.speed += f * (next.speed - at.speed);
        at.vertRate += f * (next.vertRate - at.vertRate);
    }
    at.slot = gf_addTicks(now, 0);
    ac.stream.erase(ac.stream.begin(), ac.stream.begin() + static_cast<std::ptrdiff_t>(k + 1));
    ac.stream.push_front(at);
    ac.sim.lat = at.lat;
    ac.sim.lon = at.lon;
    if (airborne) {
        const double ground = gf_groundAltitudeFt(ac);
        ac.sim.alt = std::isnan(ground) ? at.alt : std::max(at.alt, ground);
    }
    if (ac.stream.size() >= 2 && !gf_rec(ac.stream, 1).stop && !gf_samePosition(at, gf_rec(ac.stream, 1))) {
        ac.sim.heading = gf_wrap2Pi(gf_initialCourse(lf_pos(at), lf_pos(gf_rec(ac.stream, 1))));
        if (!airborne)
            ac.groundHeading = ac.sim.heading;
    }
    return true;
}

double climbTicks(const LiveAc& ac, double ticks)
{
    if (ac.phase != AcPhase::TakeOff)
        return std::max(ticks, 1.0);
    // stepTick counts the rotation counter down before each tick's climb; from -300 on every tick
    // climbs the whole step.
    double sum = 0.0;
    std::int32_t c = ac.rotationTickCounter;
    for (std::int64_t j = 0; j < static_cast<std::int64_t>(ticks); ++j) {
        if (--c <= -kClimbBuildUpTicks) {
            sum += ticks - static_cast<double>(j);
            break;
        }
        sum += lf_takeOffClimbShare(c);
    }
    return std::max(sum, 1.0);
}

bool endOfStream(LiveAc& ac)
{
    const LiveMotion& m = ac.motion;
    const std::int32_t now = lf_now();
    // Out of the query range no more data comes, whatever the phase: one standing on the ground
    // would otherwise wait for its holding minutes.
    if (beyondQueryRange(ac.sim.lat, ac.sim.lon))
        return false;
    if (ac.phase == AcPhase::TaxiIn) {
        liveac::arriveAtStand(ac);
    } else if (ac.phase == AcPhase::PushedBack
               || (ac.phase == AcPhase::Taxiing && !ac.takeOff && !m.spoilersOut)) {
        // Standing on the ground at the end of its data.
        if (lf_taxiingNeighbour(ac)) {
            ac.waiting = 0;
            ac.waitingStartTick = 0;
            return false;
        }
        if (ac.waiting) {
            const std::int64_t waited = (static_cast<std::int64_t>(now) - ac.waitingStartTick) / kTicksPerMinute;
            if (waited > g_optMaxHoldingMinutes.value())
                return false;
        } else {
            ac.waitingStartTick = static_cast<std::uint32_t>(now);
        }
        ac.waiting = 1;
        PosRecord hold = gf_rec(ac.stream, 0);
        hold.slot = gf_addTicks(hold.slot, kHoldStepTicks);
        hold.speed = 0.0;
        hold.stop = 1;
        ac.stream.push_back(hold);
        ac.holdCounter = 1;
        return true;
    }

    if (ac.holdCounter < 0)
        return false;
    if (ac.holdCounter == 1) {
        ac.holdCounter = -1;
        return false;
    }
    if (ac.holdCounter > 1) {
        extendStream(ac, ac.holdCounter - 1);
        return true;
    }

    if (!gf_classWanted(ac.sizeClass))
        return false;
    if (!ac.onGround) {
        if (g_autoRangeGround.load())
            return false;
        extendStream(ac, kAirExtensionRecords);
        return true;
    }
    extendStream(ac, ac.phase == AcPhase::Parked ? 1 : kGroundExtensionRecords);
    return true;
}

void extendStream(LiveAc& ac, std::int32_t count)
{
    const LiveMotion& m = ac.motion;
    ac.holdCounter = count;
    const PosRecord& head = gf_rec(ac.stream, 0);
    PosRecord r = head;
    const double s = ac.onGround ? kGroundExtensionSeconds : kAirExtensionSeconds;
    const bool parked = ac.phase == AcPhase::Parked;

    if (head.stop || parked) {
        r.stop = 1;
        r.speed = 0.0;
    } else if (ac.onGround && !m.spoilersOut) {
        if (!ac.takeOff) {
            r.stop = 1;
            r.speed = 0.0;
        } else {
            lf_takeOffExtension(r, head.speed);
        }
    } else if (ac.onGround) {
        r.speed = lf_rollOutExtension(head.speed);
        r.vertRate = 0.0;
    } else {
        // Through a gap in the feed an aircraft flies on as it was: slowed down (by a twentieth),
        // it fell a kilometre behind the next fix across a minute's gap at cruise.
        const double v = head.speed;
        if (ac.landing)
            r.speed = count < kLandingExtensionKeptRecords ? v
                                                           : std::max(1.0, v * kLandingExtensionSpeedPercent / 100.0);
        else
            r.speed = std::max(1.0, v);
    }

    if (!r.stop) {
        const double feet = s * 100.0 * r.speed * kFeetPerNm / kTicksPerHourNm;
        if (feet > 0.0) {
            const GeoPos p = gf_destinationPoint(head.lat, head.lon, ac.sim.heading, feet);
            r.lat = p.lat;
            r.lon = p.lon;
        }
        if (gf_samePosition(r, head))
            r.stop = 1;
        bool altitudeSet = false;
        if (ac.landing && m.flareStage == 0) {
            r.vertRate = kLandingExtensionFpm;
            r.alt = head.alt - s * kLandingExtensionFeetPerSecond;
            altitudeSet = true;
        } else if (ac.phase == AcPhase::TakeOff) {
            r.vertRate = kTakeOffExtensionFpm;
            r.alt = head.alt + s * kTakeOffExtensionFeetPerSecond;
            altitudeSet = true;
        } else if (ac.phase == AcPhase::Airborne && !ac.onGround) {
            // And climbs or descends on at the feed's vertical rate (levelled off, it was hundreds
            // of feet under the next fix), no lower than 1000 ft above the ground under it. A level
            // aircraft's feed reports a few tens of feet per minute either way: it stays level.
            const double rate = std::fabs(head.vertRate) < kLevelFpm
                                    ? 0.0
                                    : std::clamp(head.vertRate, -kMaxClimbFpm, kMaxClimbFpm);
            const double floor = std::min(head.alt, ac.sim.alt - ac.heightAboveGround + kExtensionFloorFt);
            r.alt = std::max(head.alt + rate * s / 60.0, floor);
        }
        if (altitudeSet) {
            r.airborne = r.alt > 0.0 ? 1 : 0;
            if (r.alt < 0.0)
                r.alt = 0.0;
        }
    }

    r.slot = gf_addTicks(head.slot, parked ? kWeekTicks : static_cast<std::int64_t>(s * 100.0));
    if (parked) {
        lf_freeStand(ac.standId);
        ac.standApproachSeen = 0;
    }
    ac.stream.push_back(r);
}

// ---- one tick ------------------------------------------------------------------------------------

void stepTick(LiveAc& ac)
{
    LiveMotion& m = ac.motion;
    if (m.rotationTick != 0 && ac.phase == AcPhase::Taxiing && lf_now() >= m.rotationTick) {
        // The wheels leave at the end of this leg, at the record flown to (the stream's head now):
        // the rotation starts, the altitude holds. A leg shorter than the rotation (after a
        // midpoint of a speed change) rotates faster.
        m.rotationTick = 0;
        ac.altStep = 0.0;
        liveac::startTakeOffRoll(ac);
        const std::int64_t toHead = static_cast<std::int64_t>(gf_rec(ac.stream, 0).slot) - lf_now();
        const auto left = static_cast<std::int32_t>(std::max<std::int64_t>(toHead, kMinLegTicks));
        if (left < ac.rotationTickCounter) {
            ac.rotationTickCounter = left;
            ac.pitchStep = (ac.rotationPitch - ac.sim.pitch) / left;
        }
    }
    const bool curveSet = !std::isnan(ac.curve[0]);
    if (curveSet) {
        const bool pastCorner = m.curveCorner > 0.0 && ac.curveT >= m.curveCorner;
        ac.curveT = std::min(ac.curveT + (pastCorner ? m.curveStepAfter : m.curveStep), kCurveLastT);
        GeoPos p{ac.sim.lat, ac.sim.lon};
        double curveHeading = 0.0;
        if (!gf_curvePosition(ac.curve, ac.curveT, p, curveHeading)) {
            gf_log("{} error in curve at index: {:.2F}", ac.callsign, ac.curveT);
        } else {
            ac.sim.lat = p.lat;
            ac.sim.lon = p.lon;
            if (ac.phase == AcPhase::Pushback)
                curveHeading = gf_wrap2Pi(curveHeading + kPi);
            lf_turnToward(ac, curveHeading);
        }
    } else {
        switch (ac.phase) {
        case AcPhase::TaxiIn:
            lf_turnToward(ac, ac.course);
            break;
        case AcPhase::Pushback:
        case AcPhase::PushedBack:
        case AcPhase::Taxiing:
            if (m.turnInPlace)
                lf_turnToward(ac, ac.course);
            break;
        default:
            ac.sim.heading = gf_wrap2Pi(ac.sim.heading + m.headingStep);
            break;
        }
        if (ac.phase != AcPhase::PushedBack) {
            ac.sim.lat += ac.latStep;
            ac.sim.lon += ac.lonStep;
        }
    }

    if (ac.phase == AcPhase::TakeOff) {
        ac.rotationTickCounter -= 1;
        const std::int32_t c = ac.rotationTickCounter;
        if (c >= 1) {
            ac.onGround = 0;
            if (ac.sim.pitch > ac.rotationPitch)
                ac.sim.pitch += ac.pitchStep;
        } else {
            ac.sim.bank += ac.bankStep;
            if (ac.sim.pitch > ac.climbPitch && ac.climbOutPitchTicks > 0)
                ac.sim.pitch += (ac.climbPitch - ac.rotationPitch) / ac.climbOutPitchTicks;
            ac.sim.alt += ac.altStep * lf_takeOffClimbShare(c);
            if (c == -kClimbBuildUpTicks)
                gf_setGear(ac, false);
            if (c < -kClimbBuildUpTicks) {
                if (ac.sim.pitch <= ac.climbPitch)
                    ac.pitchStep = 0.0;
                if (ac.heightAboveGround >= kClimbOutDoneFt) {
                    gf_setThrottle(ac, ac.sizeClass == SizeClass::Rotorcraft ? kThrottleFull : kThrottleClimb);
                    gf_setPhase(ac, AcPhase::Airborne);
                    ac.rotationTickCounter = 1;
                }
            }
        }
    } else {
        if (ac.heightAboveGround <= kFlareHeightFt && ac.landing && !ac.onGround)
            liveac::flare(ac);
        if (m.deRotation) {
            ac.sim.pitch += ac.pitchStep;
            // The nose comes down toward the ground attitude; once there (or past it) it rests.
            const bool passed = ac.pitchStep > 0.0   ? ac.sim.pitch >= ac.staticPitch
                                : ac.pitchStep < 0.0 ? ac.sim.pitch <= ac.staticPitch
                                                     : true;
            if (passed) {
                ac.sim.pitch = ac.staticPitch;
                ac.pitchStep = 0.0;
                ac.sim.bank = 0.0;
                ac.bankStep = 0.0;
                m.flareStage = 0;
                m.deRotation = 0;
            }
            ac.sim.bank += ac.bankStep;
        } else if (m.flareStage == 0 && ac.onGround) {
            ac.sim.pitch = ac.staticPitch;
            ac.sim.bank = 0.0;
        } else {
            if (m.flareStage == 0)
                ac.sim.pitch += ac.pitchStep;
            else
                ac.sim.pitch = std::max(ac.sim.pitch + ac.pitchStep, kFlarePitch);
            ac.sim.bank += ac.bankStep;
            ac.sim.alt += ac.altStep;
        }
    }

    if (ac.sim.lon > kHalfCircleDeg)
        ac.sim.lon -= kFullCircleDeg;
    else if (ac.sim.lon < -kHalfCircleDeg)
        ac.sim.lon += kFullCircleDeg;
}

bool passesUser(const LiveAc& ac)
{
    const PosRecord& head = gf_rec(ac.stream, 0);
    const UserAcState& user = g_userAcCopy;
    const double d = gf_distanceNm(user.latitude, user.longitude, head.lat, head.lon);
    if (d > kPassNm || std::fabs(head.alt - user.altitude) >= kPassAltitudeFt)
        return false;
    const double toHead = gf_initialCourse(LatLon{user.latitude, user.longitude}, lf_pos(head));
    const double delta = gf_wrap180((ac.course - toHead) * kRadToDeg);
    const double a = std::fabs(90.0 - std::fabs(delta)) * kDegToRad;
    return std::cos(a) * d * kFeetPerNm <= kPassAcrossFt;
}

}  // namespace liveac

// ---- respawn -------------------------------------------------------------------------------------

void liveryRespawn(LiveAc& ac)
{
    try {
        PosRecord& head = gf_rec(ac.stream, 0);
        PosRecord r = head;
        if (ac.phase != AcPhase::Parked) {
            head.stop = (ac.sim.lat == head.lat && ac.sim.lon == head.lon) ? 1 : 0;
            r.lat = ac.sim.lat;
            r.lon = ac.sim.lon;
            r.alt = ac.sim.alt;
            r.bank = ac.sim.bank;
            r.bankValid = 1;
        } else {
            ac.stream.resize(1);
            PosRecord& parkedHead = gf_rec(ac.stream, 0);
            parkedHead.stop = 1;
            parkedHead.track = ac.sim.heading * kRadToDeg;
            r = parkedHead;
        }
        r.slot = gf_addTicks(lf_now(), 1);
        ac.stream.push_front(r);

        ac.state = AcState::Respawning;
        ac.forcedHeading = ac.sim.heading;
        ac.forcedHeadingSet = 1;

        if (ac.objectId != 0 && ac.objectId == g_selectedObjectId.load()) {
            // The new object is selected again by its callsign.
            g_selectedObjectId.store(0);
            gf_updatePainted([](PaintedValues& painted) { painted.selectedText.clear(); });
            g_optCallsign2Objectid.set(ac.callsign);
            gf_showTextOption(g_optCallsign2Objectid);
        }
        g_removeRequests.push_back(ac.objectId);
    } catch (const std::exception& e) {
        gf_logError("{}: {}", "liveryRespawn", e.what());
    }
}
