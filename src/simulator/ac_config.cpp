// Aircraft configuration and lights by phase. Main loop thread.
#include "simulator/ac_config.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>

#include "foundation/class_tables.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/runtime_texts.h"
#include "foundation/units.h"
#include "model/airport_list.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/duplicates.h"
#include "simulator/motion_air.h"
#include "simulator/motion_math.h"
#include "simulator/motion_rules.h"
#include "simulator/removal.h"
#include "simulator/sim_client.h"
#include "simulator/sim_ids.h"
#include "simulator/stand_services.h"
#include "traffic_service/weather.h"

namespace {

constexpr double kFlarePitch = kFlarePitchDeg * kDegToRad;
constexpr double kGravity = 9.80665;  // m/s2
constexpr double kRecordedClimbFtPerTick = kMaxClimbFpm / kTicksPerMinute;

const ClassRow& lf_limits(SizeClass sizeClass)
{
    return gf_classRow(static_cast<std::uint32_t>(sizeClass));
}

bool lf_rotorcraft(const LiveAc& ac)
{
    return ac.sizeClass == SizeClass::Rotorcraft;
}

// Throttle index, or 4 for a rotorcraft.
void lf_throttle(LiveAc& ac, std::uint32_t index)
{
    gf_setThrottle(ac, lf_rotorcraft(ac) ? 4 : index);
}

bool lf_parkAirportWithin10Nm(double lat, double lon)
{
    return !g_parkAirport.code.empty() && gf_distanceNm(lat, lon, g_parkAirport.lat, g_parkAirport.lon) <= kTenNm;
}

// The park airport when within 10 nm, else the nearest airport of the list within 10 nm.
const AirportEntry* lf_airportNear(double lat, double lon)
{
    if (lf_parkAirportWithin10Nm(lat, lon))
        return &g_parkAirport;
    constexpr double kBoxDeg = kTenNm / 60.0;  // 10 nm of latitude; the longitude box widens with it
    const double lonBox = kBoxDeg / std::max(0.05, std::cos(lat * kDegToRad));
    const AirportEntry* best = nullptr;
    double bestNm = kTenNm;
    for (const AirportEntry& a : g_airports) {
        if (std::fabs(a.lat - lat) > kBoxDeg || std::fabs(gf_wrap180(a.lon - lon)) > lonBox)
            continue;
        const double d = gf_distanceNm(lat, lon, a.lat, a.lon);
        if (d <= bestNm) {
            bestNm = d;
            best = &a;
        }
    }
    return best;
}

// SPOILERS_SET 0 (not for a rotorcraft) and, for any class but Light, spoilers handle and both
// throttle levers written as zeros.
void lf_retractSpoilers(LiveAc& ac)
{
    if (!lf_rotorcraft(ac))
        gf_queueClientEvent(ac.objectId, simid::SPOILERS_SET, 0);
    if (ac.sizeClass == SizeClass::Light)
        return;
    SpoilerThrottleData data{0.0, 0.0, 0.0};
    std::lock_guard lock(g_simConnectMutex);
    SimConnect_SetDataOnSimObject(g_hSimConnect, simid::DEF_SPOILER_THROTTLE, ac.objectId, 0, 0, sizeof(data),
                                  &data);
}

void lf_setApproachRate(LiveAc& ac, double v)
{
    gf_rec(ac.stream, 1).vertRate = v;
    ac.vertSpeedFpm = v;
    ac.altStep = v / kTicksPerMinute;
}

// The climb between two airborne records follows the recording up to 8000 ft/min (light
// airliners climb faster than the class's usual rate; broken altitudes beyond that rate are
// swallowed when the records arrive), at least the class's vertical-rate cap.
double lf_recordedClimbCap(const LiveAc& ac)
{
    return std::max(ac.vertRateCap, kRecordedClimbFtPerTick);
}

// The ground under the aircraft: the simulator's ground altitude when reported, else the field
// elevation of the airport near it with the static CG height; NaN when neither is known.
double lf_groundAltitude(const LiveAc& ac, const AirportEntry* airport)
{
    if (ac.motion.groundAltKnown)
        return ac.motion.groundAlt;
    return airport ? airport->alt + ac.staticCgHeight : kNaN;
}

// Two equal altitudes low over the ground hide a descent only where the records after them come
// down: a touch-down among them (at a low QNH the feed's altitude stands still over the runway
// hundreds of feet above the field), or an altitude lower by more than the coarsest altitude
// coding. The records run the play-out delay ahead of the aircraft. Level in the pattern with
// equal altitudes, an aircraft descended at the approach rate for 25 s and climbed back at
// 4000-8000 ft/min when the next altitude differed.
bool lf_comesDownAhead(const LiveAc& ac)
{
    const double level = gf_rec(ac.stream, 1).alt;
    return std::any_of(ac.stream.begin() + 2, ac.stream.end(), [level](const PosRecord& r) {
        return !r.airborne || r.alt < level - kAltitudeCodingFt;
    });
}

// `airport`: the airport within 10 nm of the aircraft (lf_airportNear), looked up once per leg.
void lf_airAltitudeStep(LiveAc& ac, double i, const AirportEntry* airport)
{
    const PosRecord& head = gf_rec(ac.stream, 0);
    const PosRecord& second = gf_rec(ac.stream, 1);
    const bool a0 = head.airborne != 0;
    const bool a1 = second.airborne != 0;
    if (!a0 && a1) {
        liveac::setClimbStep(ac);
    } else if (a0 && a1) {
        if (ac.landing) {
            if (head.alt == second.alt && ac.heightAboveGround <= kApproachStartHeightFt &&
                head.vertRate + second.vertRate <= kApproachLevelFpm && lf_comesDownAhead(ac))
                lf_setApproachRate(ac, liveac::approachVerticalSpeed(ac));
            else
                ac.altStep = std::min((second.alt - ac.sim.alt) / i, lf_recordedClimbCap(ac));
        } else {
            // Along the recorded profile; also low over the ground, where a floor under the step
            // made descending arrivals climb. Just after the lift-off the climb builds up: the
            // step is sized so that the leg still ends at the record.
            ac.altStep = std::min((second.alt - ac.sim.alt) / liveac::climbTicks(ac, i), lf_recordedClimbCap(ac));
        }
    } else if (a0 && !a1) {
        // Touch-down ahead: down to the ground where it is known.
        const std::int32_t qnh = g_qnh.load();
        const double ground = lf_groundAltitude(ac, airport);
        if (!std::isnan(ground) && qnh <= kStandardQnh)
            ac.altStep = (ground - ac.sim.alt) / i;
        else
            lf_setApproachRate(ac, qnh > kStandardQnh ? liveac::approachVerticalSpeed(ac) : -kApproachFpm);
        gf_setGear(ac, true);
    } else {
        liveac::groundRecordsInAir(ac);
    }
}

// Near an airport of the list a flying aircraft never goes below the field (plus its height on its
// wheels): recorded pressure altitudes lie hundreds of feet under it at a high QNH, down to 0 ft on
// a touch-and-go. The leg ends on that floor at least, climbing to it when below. A leg that neither
// climbs nor touches down keeps a threshold crossing height above it: held on its wheels, the
// aircraft was on the ground for the simulator miles short of the runway, and rolled out and
// taxied in as a take-off roll.
void lf_keepAboveField(LiveAc& ac, double i, const AirportEntry* airport)
{
    if (!airport)
        return;
    const PosRecord& head = gf_rec(ac.stream, 0);
    const PosRecord& second = gf_rec(ac.stream, 1);
    const bool holdsOff = second.airborne && second.alt <= head.alt;
    const double floor = airport->alt + ac.staticCgHeight + (holdsOff ? kThresholdHeightFt : 0.0);
    if (ac.sim.alt + ac.altStep * i < floor)
        ac.altStep = (floor - ac.sim.alt) / i;
}

void lf_airLights(LiveAc& ac, bool airportNear)
{
    LiveMotion& m = ac.motion;
    const PosRecord& head = gf_rec(ac.stream, 0);
    if (head.alt < kLightsAltitudeFt) {
        if (!m.lightsBelow10k) {
            m.lightsBelow10k = 1;
            m.lightsAbove10k = 0;
            gf_queueLights(ac.objectId, LightSet{1, 1, 1, 1, 1, 1, 1});
        }
        if (ac.heightAboveGround > lf_limits(ac.sizeClass).climbConfigFt)
            liveac::climbConfiguration(ac);
        else
            liveac::approachConfiguration(ac, airportNear);
        return;
    }
    if (m.lightsAbove10k)
        return;
    m.lightsAbove10k = 1;
    m.lightsBelow10k = 0;
    gf_queueLights(ac.objectId, LightSet{1, 1, 0, 0, 0, 0, 1});
    lf_throttle(ac, 3);
    gf_setGear(ac, false);
    gf_setFlaps(ac, 0);
}

// Every record from index `from` on climbs faster than 256 ft/min (false with none there).
bool lf_allClimbFrom(const LiveAc& ac, std::size_t from)
{
    return ac.stream.size() > from
        && std::all_of(ac.stream.begin() + static_cast<std::ptrdiff_t>(from), ac.stream.end(),
                       [](const PosRecord& r) { return r.vertRate > kClimbingFpm; });
}

// The take-off decision on the records from index `from` on: every one climbs, or all are in the
// air and at the class's lift-off speed at least.
bool lf_liftOffAfter(const LiveAc& ac, std::size_t from)
{
    if (ac.stream.size() <= from)
        return false;
    if (lf_allClimbFrom(ac, from))
        return true;
    const auto begin = ac.stream.begin() + static_cast<std::ptrdiff_t>(from);
    const double v = gf_liftOffSpeed(ac.sizeClass);
    return std::all_of(begin, ac.stream.end(), [&](const PosRecord& r) { return r.airborne != 0 && r.speed >= v; });
}

}  // namespace

double gf_maxBank(SizeClass sizeClass)
{
    return lf_limits(sizeClass).maxBankDeg * kDegToRad;
}

double gf_maxBankStep(SizeClass sizeClass)
{
    return lf_limits(sizeClass).maxBankStepDeg * kDegToRad;
}

double gf_maxPitchStep(SizeClass sizeClass)
{
    return lf_limits(sizeClass).maxPitchStepDeg * kDegToRad;
}

void gf_raiseLimits(LiveAc& ac)
{
    ac.earlyLimit = kRaisedLimitTicks;
    ac.lateLimit = ac.takeOff ? kTakeOffLateLimitTicks : kRaisedLimitTicks;
}

void gf_relaxLimits(LiveAc& ac)
{
    for (std::int32_t* limit : {&ac.earlyLimit, &ac.lateLimit})
        if (*limit > kLimitFloorTicks)
            *limit = std::max(*limit - kLimitStepTicks, kLimitFloorTicks);
}

void gf_takeOffConfiguration(LiveAc& ac, LiveMotion& m)
{
    gf_setFlaps(ac, 1);
    ac.landing = 0;
    m.landed = 0;
    m.climbConfigDone = 0;
    gf_queueLights(ac.objectId, LightSet{1, 1, 1, 1, 1, 1, 0});
    ac.earlyLimit = kRaisedLimitTicks;
    ac.lateLimit = kTakeOffLateLimitTicks;
}

double gf_liftOffSpeed(SizeClass sizeClass)
{
    return lf_limits(sizeClass).liftOffKt;
}

double gf_groundAltitudeFt(const LiveAc& ac)
{
    return lf_groundAltitude(ac, ac.motion.groundAltKnown ? nullptr : lf_airportNear(ac.sim.lat, ac.sim.lon));
}

bool gf_airportWithin10Nm(const LiveAc& ac)
{
    return lf_airportNear(ac.sim.lat, ac.sim.lon) != nullptr;
}

double gf_airportElevationNear(double lat, double lon)
{
    const AirportEntry* airport = lf_airportNear(lat, lon);
    return airport ? airport->alt : kNaN;
}

namespace liveac {

void airConfiguration(LiveAc& ac)
{
    LiveMotion& m = ac.motion;
    const double i = legInterval(ac);
    if (ac.phase != AcPhase::TakeOff && ac.phase != AcPhase::Airborne)
        gf_setPhase(ac, AcPhase::Airborne);
    {
        const PosRecord& second = gf_rec(ac.stream, 1);
        ac.legSpeed = second.tas;
        ac.vertSpeedFpm = second.vertRate;
    }

    // One look-up of the airport near the aircraft serves the whole leg.
    const AirportEntry* airport = lf_airportNear(ac.sim.lat, ac.sim.lon);
    if (m.flareStage == 0) {
        lf_airAltitudeStep(ac, i, airport);
        lf_keepAboveField(ac, i, airport);
        if (ac.phase != AcPhase::TakeOff) {
            const double target = gf_flightPitch(gf_rec(ac.stream, 1).vertRate);
            const double limit = gf_maxPitchStep(ac.sizeClass);
            ac.pitchStep = std::clamp((target - ac.sim.pitch) / i, -limit, limit);
        }
    }

    // The records may have changed above: look the second one up again.
    const PosRecord& second = gf_rec(ac.stream, 1);
    const double heightLimit = ac.landing ? 2000.0 : 1000.0;
    double turn;
    if (second.flag3 && second.bankValid && second.headingValid && ac.heightAboveGround < heightLimit)
        turn = gf_angleDiff(ac.sim.heading, second.heading);
    else
        turn = turnToFollowingLeg(ac);
    m.headingStep = turn / i;
    if (second.bankValid)
        ac.bankStep = (second.bank - ac.sim.bank) / i;
    else
        setBankStep(ac, turn, static_cast<std::int32_t>(i));

    lf_airLights(ac, airport != nullptr);
}

void groundConfiguration(LiveAc& ac)
{
    LiveMotion& m = ac.motion;
    if (ac.phase == AcPhase::Airborne || ac.phase == AcPhase::Parked) {
        gf_setPhase(ac, AcPhase::Taxiing);
    } else if (!ac.takeOff) {
        if (m.spoilersOut)
            rollOut(ac);
        else
            lf_throttle(ac, 0);
    } else if (lf_rotorcraft(ac)) {
        gf_setThrottle(ac, 4);
    } else {
        const double s0 = gf_rec(ac.stream, 0).speed;
        const double s1 = gf_rec(ac.stream, 1).speed;
        std::uint32_t index = 0;
        if (s0 >= 25.0 || s1 >= 30.0)
            index = 4;
        else if (s0 >= 20.0 || s1 >= 25.0)
            index = 2;
        else if (s0 >= 15.0 || s1 >= 20.0)
            index = 1;
        gf_setThrottle(ac, index);
    }

    if (!m.spoilersOut && !ac.takeOff)
        gf_relaxLimits(ac);
    if (m.flareStage == 0 && ac.phase != AcPhase::TakeOff) {
        ac.sim.pitch = ac.staticPitch;
        ac.sim.bank = 0.0;
        ac.pitchStep = 0.0;
        ac.bankStep = 0.0;
    }
    if (!std::isnan(ac.curve[0])) {
        const double leg = legInterval(ac);
        if (m.curveCorner > 0.0) {
            const double before = std::max(1.0, std::round(m.curveCornerShare * leg));
            m.curveStep = m.curveCorner / before;
            m.curveStepAfter = (1.0 - m.curveCorner) / std::max(1.0, leg - before);
        } else {
            m.curveStep = 1.0 / leg;
        }
    }
    const double speed = gf_rec(ac.stream, 1).speed;
    ac.legSpeed = ac.phase == AcPhase::Pushback ? -speed : speed;

    m.rotationTick = 0;
    // The head's speed may be missing or stale on the ground (sparse ground positions): with the
    // second record in the air the roll starts whatever the head says.
    if (!ac.takeOff || ac.phase == AcPhase::TakeOff
        || (gf_rec(ac.stream, 0).speed < kRollStartKnots && !gf_rec(ac.stream, 1).airborne))
        return;
    // The leg ends at the last record on the ground: the wheels leave it there, so the rotation
    // starts its ticks before (stepTick; within this leg), not when the next leg begins.
    if (!gf_rec(ac.stream, 1).airborne && std::isnan(ac.curve[0]) && lf_liftOffAfter(ac, 2)) {
        const std::int64_t at = static_cast<std::int64_t>(gf_rec(ac.stream, 1).slot) - ac.rotationTicks;
        m.rotationTick = static_cast<std::int32_t>(std::max<std::int64_t>(at, g_tick.load() + 1));
        return;
    }
    if (!lf_liftOffAfter(ac, 1))
        return;
    const bool followRecords = allAirborneAhead(ac);
    startTakeOffRoll(ac);
    // The climb toward the second record's altitude (after the rotation's ticks). Records that
    // hardly climb (a touch-and-go, a low pass) are followed, not the cap.
    const PosRecord& second = gf_rec(ac.stream, 1);
    const double ticks = climbTicks(
        ac, std::max<double>(kMinLegTicks, static_cast<double>(static_cast<std::int64_t>(second.slot) - g_tick.load())));
    const double toSecond = std::max(second.alt - ac.sim.alt, 0.1) / ticks;
    // Never faster than a recorded climb: a first flying fix hundreds of feet above the field a
    // second after the last ground fix (a datum the ground fixes do not show) made the wheels
    // leave the ground at 13,000-14,000 ft/min.
    if (!lf_allClimbFrom(ac, 1))
        ac.altStep = std::min(ac.vertRateCap, toSecond);
    else
        ac.altStep = followRecords ? std::min(toSecond, lf_recordedClimbCap(ac)) : ac.vertRateCap;
}

void climbConfiguration(LiveAc& ac)
{
    gf_relaxLimits(ac);
    gf_setCabinLights(ac.objectId, true);
    ac.takeOff = 0;
    ac.landing = 0;
    const double v = gf_rec(ac.stream, 0).vertRate;
    if (v <= -250.0 && ac.throttleIndex == 3)
        lf_throttle(ac, 2);
    else if (v > 400.0 && ac.throttleIndex == 4)
        lf_throttle(ac, 3);

    const double h = ac.heightAboveGround;
    if (h >= 2400.0) {
        gf_setGear(ac, false);
        gf_setFlaps(ac, 0);
    } else if (h >= 2000.0) {
        if (v <= 100.0 && ac.flapsIndex == 0)
            gf_setFlaps(ac, 1);
    } else if (v <= 100.0) {
        if (ac.flapsIndex == 0)
            gf_setFlaps(ac, 1);
        else if (ac.flapsIndex == 1)
            gf_setFlaps(ac, 2);
    }
}

void approachConfiguration(LiveAc& ac, bool airportNear)
{
    LiveMotion& m = ac.motion;
    gf_setCabinLights(ac.objectId, false);
    const double v = gf_rec(ac.stream, 0).vertRate;
    if (v > -250.0) {
        if (v <= 600.0 && (!ac.landing || airportNear))
            return;
        // Climbing away, or landing away from the park airport: a climb-out.
        if (m.climbConfigDone)
            return;
        gf_relaxLimits(ac);
        gf_setThrottle(ac, 4);
        gf_setGear(ac, false);
        m.climbConfigDone = 1;
        ac.landing = 0;
        gf_setFlaps(ac, 0);
        m.flareStage = 0;
        return;
    }
    if (ac.landing || !airportNear)
        return;
    lf_throttle(ac, 1);
    gf_setFlaps(ac, 3);
    gf_setGear(ac, true);
    gf_addDuplicateCheck(ac.hexid);
    ac.landing = 1;
    m.climbConfigDone = 0;
    gf_forgetStand(ac);
    ac.rotationTickCounter = 1;
    gf_raiseLimits(ac);
}

double approachVerticalSpeed(const LiveAc& ac)
{
    if (ac.heightAboveGround <= 100.0)
        return -600.0;
    const double mean = (gf_rec(ac.stream, 0).vertRate + gf_rec(ac.stream, 1).vertRate) / 2.0;
    return std::min(-kApproachFpm, mean - (g_qnh.load() - kStandardQnh) * 6.0);
}

void setBankStep(LiveAc& ac, double turn, std::int32_t ticks)
{
    const std::int32_t n = std::max(ticks, 1);
    const double turnRate = turn / (n * 0.01);  // radians per second
    const double speed = std::max(ac.legSpeed, 0.0) * kMetresPerSecondPerKnot;
    const double maxBank = gf_maxBank(ac.sizeClass);
    const double target = std::clamp(std::atan(speed * turnRate / kGravity), -maxBank, maxBank);
    const double maxStep = gf_maxBankStep(ac.sizeClass);
    ac.bankStep = std::clamp((target - ac.sim.bank) / n, -maxStep, maxStep);
}

void groundRecordsInAir(LiveAc& ac)
{
    double sum = 0.0;
    for (const PosRecord& r : ac.stream)
        sum += r.vertRate;
    if (!ac.landing && sum > 100.0) {
        // A climb that the feed reports on the ground.
        const std::size_t last = std::min<std::size_t>(ac.stream.size() - 1, 10);
        for (std::size_t k = 3; k <= last; ++k) {
            if (findAirborneData(ac, k)) {
                gf_setGear(ac, true);
                return;
            }
        }
        lf_setApproachRate(ac, std::max(gf_rec(ac.stream, 1).vertRate, kApproachFpm));
        gf_setGear(ac, true);
        return;
    }
    lf_setApproachRate(ac, approachVerticalSpeed(ac));
    gf_setGear(ac, true);
}

void startTakeOff(LiveAc& ac)
{
    LiveMotion& m = ac.motion;
    if (m.towed)
        gf_logError("towed aircraft takes-off?");
    ac.takeOff = 1;
    gf_setThrottle(ac, 0);
    if (!lf_rotorcraft(ac))
        gf_queueClientEvent(ac.objectId, simid::SPOILERS_SET, 0);
    gf_takeOffConfiguration(ac, m);
    if (ac.airline.empty())
        return;
    gf_standServices().learnStandFromLiveAc(ac, true);
}

void startTakeOffRoll(LiveAc& ac)
{
    LiveMotion& m = ac.motion;
    ac.rotationTickCounter = static_cast<std::int32_t>(ac.rotationTicks);
    ac.pitchStep = ac.rotationTicks > 0 ? (ac.rotationPitch - ac.sim.pitch) / ac.rotationTicks : 0.0;
    ac.sim.bank = 0.0;
    ac.bankStep = 0.0;
    if (!ac.takeOff)
        startTakeOff(ac);
    gf_setPhase(ac, AcPhase::TakeOff);
    ac.curve.fill(kNaN);
    ac.curveT = 0.0;
    m.headingStep = 0.0;
    if (!m.spoilersOut)
        return;
    m.spoilersOut = 0;
    ac.landing = 0;
    m.landed = 0;
    gf_setThrottle(ac, 4);
    if (!lf_rotorcraft(ac))
        gf_queueClientEvent(ac.objectId, simid::SPOILERS_SET, 0);
    gf_setFlaps(ac, 1);
}

void rollOut(LiveAc& ac)
{
    LiveMotion& m = ac.motion;
    if (gf_absDiffDeg(m.touchdownHeading, ac.sim.heading) >= kTurnedOffRunwayDeg) {
        // Turned off the runway: the roll-out ends.
        gf_setFlaps(ac, 0);
        m.spoilersOut = 0;
        m.touchdownHeading = 0.0;
        lf_throttle(ac, 0);
        lf_retractSpoilers(ac);
        gf_queueLights(ac.objectId, LightSet{1, 1, 0, 1, 0, 1, 1});
        return;
    }
    if (gf_rec(ac.stream, 0).speed <= kSpoilersInKnots) {
        lf_retractSpoilers(ac);
        gf_setFlaps(ac, 1);
    }
}

void flare(LiveAc& ac)
{
    LiveMotion& m = ac.motion;
    PosRecord& head = gf_rec(ac.stream, 0);
    const double agl = ac.heightAboveGround;
    const double cg = ac.staticCgHeight;
    switch (m.flareStage) {
    case 0: {
        const double h = m.groundAltKnown ? ac.sim.alt - m.groundAlt : agl;
        if (std::min(agl, h) <= cg + 30.0) {
            ac.pitchStep = ac.flareTicks > 0 ? (kFlarePitch - ac.sim.pitch) / ac.flareTicks : 0.0;
            ac.altStep = -0.1;
            head.vertRate = -kApproachFpm;
            m.flareStage = 1;
        }
        break;
    }
    case 1:
        if (agl <= cg + 20.0) {
            ac.altStep = -0.075;
            head.vertRate = -450.0;
            m.groundAltKnown = 0;
            m.flareStage = 2;
        }
        break;
    case 2:
        if (agl <= cg + 10.0) {
            gf_setThrottle(ac, 0);
            ac.altStep = -0.05;
            head.vertRate = -300.0;
            m.groundAltKnown = 0;
            m.flareStage = 3;
        }
        break;
    case 3:
        if (agl <= cg + 3.0) {
            ac.altStep = -0.025;
            head.vertRate = -150.0;
            m.groundAltKnown = 0;
            m.flareStage = 4;
        }
        break;
    default:
        break;
    }
}

bool allAirborneAhead(const LiveAc& ac)
{
    return std::all_of(ac.stream.begin() + (ac.stream.empty() ? 0 : 1), ac.stream.end(),
                       [](const PosRecord& r) { return r.airborne != 0; });
}

}  // namespace liveac

bool findAirborneData(LiveAc& ac, std::size_t k)
{
    try {
        if (k < 2 || ac.stream.size() < k || !gf_rec(ac.stream, k - 1).airborne)
            return false;
        ac.stream.erase(ac.stream.begin() + 1, ac.stream.begin() + static_cast<std::ptrdiff_t>(k - 1));
        const PosRecord& head = gf_rec(ac.stream, 0);
        const PosRecord& second = gf_rec(ac.stream, 1);
        const std::int32_t n =
            std::max(kMinLegTicks, gf_ticks(gf_recDistance(head, second) * kTicksPerHourNm / liveac::legSpeed(ac)));
        liveac::setArrivalTick(ac, n);
        liveac::setClimbStep(ac);
        // The leg now leads to the airborne record: aim the position steps at it.
        const double i = liveac::legInterval(ac);
        ac.latStep = (second.lat - ac.sim.lat) / i;
        ac.lonStep = (second.lon - ac.sim.lon) / i;
        return true;
    } catch (const std::exception& e) {
        gf_logError("{}: index:{} {}", "findAirborneData", k, e.what());
        return false;
    }
}
