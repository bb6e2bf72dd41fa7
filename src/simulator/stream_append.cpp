// Stream append rules of live aircraft. Main loop thread.
#include "simulator/stream_append.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "foundation/class_tables.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/time_slots.h"
#include "foundation/units.h"
#include "model/ac_records.h"
#include "model/stand_model.h"
#include "simulator/ac_config.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/motion_math.h"
#include "simulator/motion_rules.h"
#include "simulator/removal.h"
#include "simulator/sim_ids.h"
#include "simulator/stand_services.h"
#include "simulator/user_aircraft.h"

namespace {

LatLon lf_pos(const PosRecord& r)
{
    return LatLon{r.lat, r.lon};
}

std::int32_t lf_now()
{
    return g_tick.load();
}

// |course from the last record to r - heading| in degrees, wrapped.
double lf_courseOff(const LiveAc& ac, const PosRecord& from, const PosRecord& r)
{
    return gf_absDiffDeg(ac.sim.heading, gf_initialCourse(lf_pos(from), lf_pos(r)));
}

// The course from the stream's last record to r, off the course into that record (the heading
// while the stream holds no leg). The records run up to the play-out delay ahead of the aircraft:
// against its heading, still on the runway, the fixes of a turn off it lay 90 degrees off, were
// dropped, and the aircraft cut straight across the turn, 46 m off it.
double lf_legCourseOff(const LiveAc& ac, const PosRecord& r)
{
    const PosRecord& last = ac.stream.back();
    if (ac.stream.size() >= 2) {
        const PosRecord& before = gf_rec(ac.stream, ac.stream.size() - 2);
        if (!gf_samePosition(before, last))
            return gf_absDiffDeg(gf_initialCourse(lf_pos(before), lf_pos(last)),
                                 gf_initialCourse(lf_pos(last), lf_pos(r)));
    }
    return lf_courseOff(ac, last, r);
}

// The feed's positions on the ground may lie 10-40 s apart, longer than the play-out delay: the
// aircraft then waits at the last one before the next comes. A next one that lies within taxi
// speed of the last position over the feed's time between them continues the taxi; farther, or
// without the feed's times, the aircraft is removed and comes back where its data is.
bool lf_taxiedTo(const LiveAc& ac, const PosRecord& r)
{
    const double seconds = ac.lastRecordTime - ac.olderFeedTime;
    if (r.airborne || ac.olderFeedTime <= 0.0 || !(seconds > 0.0))
        return false;
    const double nm = gf_distanceNm(ac.olderFeedLat, ac.olderFeedLon, r.lat, r.lon);
    return nm * kSecondsPerHour <= kTaxiReachKnots * seconds;
}

// A fix within the jitter distance of the last record that the aircraft crept to: the feed's own
// ground speed (a derived one follows the jitter) is at least 1 kt and the step from the fix before
// is what that speed gives over the time between them, within a factor of two. Taken as a stop, a
// creep of 2-3 kt onto the runway, fixes 1-2 s apart, left the aircraft standing 17 m short of where
// the real one then stood for minutes. The fix's track is no guide: while pushed back it is the
// nose's heading, and in a turn a step of 1-3 m lies up to 70 degrees off it.
bool lf_creeping(const LiveAc& ac, const PosRecord& r)
{
    const double seconds = ac.lastRecordTime - ac.olderFeedTime;
    if (r.airborne || ac.lastFeedSpeed < kCreepKnots || ac.olderFeedTime <= 0.0 || !(seconds > 0.0) ||
        seconds > kCreepStepSeconds)
        return false;
    const double step = gf_distanceNm(ac.olderFeedLat, ac.olderFeedLon, r.lat, r.lon);
    const double expected = ac.lastFeedSpeed * seconds / kSecondsPerHour;
    return step >= 0.5 * expected && step <= 2.0 * expected;
}

bool lf_allStops(const std::deque<PosRecord>& stream)
{
    return std::all_of(stream.begin(), stream.end(), [](const PosRecord& p) { return p.stop != 0; });
}

// A landing roll-out turns into a take-off again (go-around on the runway).
void lf_goAround(LiveAc& ac, LiveMotion& m)
{
    gf_setPhase(ac, AcPhase::Taxiing);
    ac.takeOff = 1;
    gf_setThrottle(ac, kThrottleClimb);
    if (ac.sizeClass != SizeClass::Rotorcraft)
        gf_queueClientEvent(ac.objectId, simid::SPOILERS_SET, kEventFull);
    gf_takeOffConfiguration(ac, m);
}

}  // namespace

namespace liveac {

void appendRecord(LiveAc& ac, PosRecord r)
{
    LiveMotion& m = ac.motion;
    if (ac.stream.size() > kMaxStream) {
        gf_removeAct(ac);
        return;
    }
    if (ac.stream.empty()) {
        // Nothing to compare with: the record starts the stream again.
        ac.stream.push_back(r);
        return;
    }
    if (ac.waiting) {
        const PosRecord& head = gf_rec(ac.stream, 0);
        const double metres = gf_recDistance(head, r) * kMetresPerNm;
        if (metres > g_optHoldingThresholdMeters.value() && !lf_taxiedTo(ac, r)) {
            gf_log("{} waited at its last fix; its next lies {:.0f} m on{}: removed, it comes back there",
                   gf_acText(ac), metres, r.airborne ? " in the air" : "");
            ac.waiting = 0;
            ac.waitingStartTick = 0;
            gf_removeAct(ac);
            return;
        }
    }

    switch (ac.phase) {
    case AcPhase::New:
        if (!markStop(ac, r))
            return;
        if (r.slot <= gf_last(ac.stream).slot)
            r.slot = gf_addTicks(gf_last(ac.stream).slot, 1);
        ac.stream.push_back(r);
        return;
    case AcPhase::TaxiIn:
    case AcPhase::Parked:
        if (ac.state < AcState::Placed)
            return;
        if (!checkStandArrival(ac, r))
            return;
        break;
    case AcPhase::Pushback:
        if (!g_optStraightPbsOnly.value() && ac.pushbackStep == 2) {
            double heading;
            if (r.headingValid)
                heading = r.heading;
            else if (r.track == 0.0)
                return;
            else
                heading = r.track * kDegToRad;
            ac.pushbackTurnSide = gf_angleDiff(ac.sim.heading, heading) > 0.0 ? 1 : 0;
            ac.pushbackTurnSideSet = 1;
        }
        return;
    case AcPhase::PushedBack: {
        const double d = gf_distanceNm(ac.sim.lat, ac.sim.lon, r.lat, r.lon);
        if (!((d > kPushedBackSizes * ac.size && d > ac.farthestStandDist) || d > kPushedBackFarSizes * ac.size)) {
            if (!ac.waiting) {
                ac.waiting = 1;
                ac.waitingStartTick = static_cast<std::uint32_t>(lf_now());
            }
            ac.farthestStandDist = d;
            return;
        }
        r.stop = 0;
        if (ac.holdCounter > 0) {
            gf_rec(ac.stream, 0).slot = gf_addTicks(lf_now(), 1);
            ac.holdCounter = 0;
            gf_raiseLimits(ac);
        }
        ac.pushbackTurnSide = 0;
        ac.pushbackTurnSideSet = 0;
        ac.pushbackStep = 0;
        gf_setPhase(ac, AcPhase::Taxiing);
        gf_forgetStand(ac);
        ac.waiting = 0;
        ac.waitingStartTick = 0;
        break;
    }
    case AcPhase::Taxiing:
    case AcPhase::TakeOff:
    case AcPhase::Airborne:
        // The roll-out's course check holds from the touchdown on: records of a landing aircraft
        // still in the air may turn away (a missed approach, a low pass) and are taken as flown.
        if (m.spoilersOut || (ac.landing && (ac.onGround || !r.airborne))) {
            if (!checkGroundCourse(ac, r))
                return;
        } else {
            if (!markStop(ac, r))
                return;
            if (ac.holdCounter > 0 && !resumeAfterStop(ac, r))
                return;
        }
        break;
    }

    if (!r.airborne && gf_last(ac.stream).stop) {
        if (r.stop) {
            if (lf_allStops(ac.stream))
                ac.stream.resize(1);
        } else {
            removeSmallStop(ac, r);
        }
    }
    if (r.slot <= gf_last(ac.stream).slot)
        r.slot = gf_addTicks(gf_last(ac.stream).slot, 1);

    if (ac.state == AcState::Placed && ac.onGround && !ac.takeOff) {
        const PosRecord& last = gf_last(ac.stream);
        if (!m.spoilersOut) {
            // Not slowing down: an aircraft created on its landing roll slows down past the roll speed.
            const bool rolling = !r.airborne && !last.airborne && r.speed >= kRollStartKnots &&
                                 last.speed >= kRollStartKnots && r.speed >= last.speed;
            if (ac.phase == AcPhase::Taxiing && (r.airborne || rolling)) {
                liveac::startTakeOff(ac);
            }
        } else if (last.airborne && r.airborne) {
            lf_goAround(ac, m);
        }
    }

    ac.stream.push_back(r);
    if (ac.stream.size() == 2 && ac.stream[0].stop && ac.stream[1].stop) {
        ac.stream[0].slot = gf_addTicks(lf_now(), 1);
        ac.stream[0].speed = ac.stream[1].speed;
    }
}

bool markStop(LiveAc& ac, PosRecord& r)
{
    const PosRecord& last = gf_last(ac.stream);
    r.stop = gf_samePosition(r, last) ? 1 : 0;
    if (ac.sizeClass == SizeClass::Rotorcraft)
        return true;
    const bool flyingPlaced = ac.state == AcState::Placed && !ac.onGround;
    if (!r.stop && std::fabs(r.lat - last.lat) <= kNearDegrees && std::fabs(r.lon - last.lon) <= kNearDegrees) {
        if (r.airborne || flyingPlaced)
            return false;
        if (ac.takeOff && r.speed > 0.0 && last.speed >= kRollJitterKnots)
            return false;
        if (lf_creeping(ac, r))
            return true;
        // Jitter around a standing aircraft: a stop at the last position. The record keeps its
        // own play-out time, so the stop lasts as long as the feed says.
        const std::int32_t slot = r.slot;
        r = last;
        r.slot = slot;
        r.speed = 0.0;
        r.stop = 1;
        return true;
    }
    if (!r.stop) {
        if (r.speed != 0.0 || (!ac.takeOff && !r.airborne))
            return true;
        return last.speed < kRollJitterKnots;
    }
    if (r.airborne || flyingPlaced)
        return false;
    if (ac.takeOff && r.speed > 0.0 && last.speed >= kRollRepeatKnots)
        return false;
    r.speed = 0.0;
    return true;
}

bool resumeAfterStop(LiveAc& ac, const PosRecord& r)
{
    if (!ac.onGround && lf_courseOff(ac, gf_last(ac.stream), r) >= kResumeTurnDeg)
        return false;
    ac.holdCounter = 0;
    gf_raiseLimits(ac);
    gf_rec(ac.stream, 0).slot = gf_addTicks(lf_now(), 1);
    ac.waiting = 0;
    ac.waitingStartTick = 0;
    return true;
}

bool checkGroundCourse(LiveAc& ac, PosRecord& r)
{
    if (gf_samePosition(r, gf_last(ac.stream)))
        return false;
    if (ac.stream.size() < 2) {
        const double off = lf_courseOff(ac, gf_last(ac.stream), r);
        if (ac.landing) {
            if (off >= kBehindDeg)
                return false;
        } else if (off >= kTurnRoundDeg) {
            if (ac.holdCounter > 0)
                return false;
            PosRecord& head = gf_rec(ac.stream, 0);
            head.lat = ac.sim.lat;
            head.lon = ac.sim.lon;
            head.slot = gf_addTicks(lf_now(), 1);
        }
    } else {
        const std::size_t held = ac.stream.size();
        if (lf_legCourseOff(ac, r) >= kBehindDeg) {
            ac.stream.pop_back();
            if (held >= kFollowingLegRecords && lf_legCourseOff(ac, r) >= kBehindDeg)
                ac.stream.pop_back();
        }
    }
    if (ac.holdCounter > 0) {
        ac.holdCounter = 0;
        gf_raiseLimits(ac);
    }
    const PosRecord& last = gf_last(ac.stream);
    if (gf_samePosition(r, last)) {
        r.stop = 1;
        return true;
    }
    r.stop = 0;
    if (r.speed > last.speed && r.speed > kRollOutSpeedKnots)
        r.speed = last.speed;
    return true;
}

bool checkStandArrival(LiveAc& ac, PosRecord& r)
{
    LiveMotion& m = ac.motion;
    ac.standApproachSeen = 1;
    const double d = gf_distanceNm(ac.standLat, ac.standLon, r.lat, r.lon);
    const double threshold = ac.prevPhase == AcPhase::TaxiIn ? 2.0 * kStandNm : kStandNm;

    if (d > threshold) {
        if (ac.phase == AcPhase::TaxiIn) {
            gf_setPhase(ac, AcPhase::Taxiing);
            r.stop = 0;
            return true;
        }
        if (d > kStandFarNm) {
            if (ac.state == AcState::Placed) {
                gf_removeAct(ac);
                return false;
            }
        }
        return true;
    }

    ac.parkingTime = gf_steadyNow();
    if (ac.lastStandDist == 0.0) {
        ac.firstStandDist = d;
        ac.lastStandDist = d;
        ac.recedingCount = 0;
        m.movingOff = 0;
        return false;
    }
    if (d >= ac.lastStandDist + kThreeMetresNm) {
        ac.recedingCount += 1;
        ac.lastStandDist = d;
        const double moved = d - ac.firstStandDist;
        if (!((ac.recedingCount >= kRecedingFixes && moved >= ac.size / 2.0) || moved > ac.size)) {
            m.movingOff = 0;
            return false;
        }
    } else {
        if (d <= ac.lastStandDist - kThreeMetresNm)
            ac.recedingCount = 0;
        m.movingOff = 0;
        return false;
    }

    // The records move away from the stand.
    r.stop = 0;
    m.movingOff = 1;
    if (ac.prevPhase == AcPhase::Parked)
        return true;
    leaveStand(ac);
    gf_setPhase(ac, AcPhase::Parked);
    return true;
}

void leaveStand(LiveAc& ac)
{
    LiveMotion& m = ac.motion;
    if (ac.holdCounter >= 1) {
        if (ac.phase == AcPhase::Parked && m.landed) {
            // The parked head is due one week after the aircraft parked.
            const std::int64_t parked =
                static_cast<std::int64_t>(lf_now()) - gf_rec(ac.stream, 0).slot + kWeekTicks;
            const std::int64_t limit = gf_classRow(static_cast<std::uint32_t>(ac.sizeClass)).towedBelowTicks;
            if (limit > 0 && parked < limit)
                m.towed = 1;
            m.landed = 0;
        }
        if (ac.phase == AcPhase::Parked)
            gf_rec(ac.stream, 0).slot = gf_addTicks(lf_now(), 1);
        ac.holdCounter = 0;
        gf_raiseLimits(ac);
    }
    if (!ac.airline.empty() && ac.cargoStand == ac.cargo) {
        if (gf_standServices().addRealParkPosOption(ac.standId, ac, true, g_nowDaySlot.load(), true))
            gf_rememberArrival(ac.hexid, gf_slotOf(g_nowDaySlot.load()));
    }
    if (ac.standId != 0) {
        for (ParkPos& stand : g_parkPositions) {
            if (stand.standId == ac.standId) {
                stand.occupied = false;
                break;
            }
        }
    }
}

}  // namespace liveac

void removeSmallStop(LiveAc& ac, const PosRecord& r)
{
    try {
        for (std::size_t n = kStopRunFirstRecords; n <= kStopRunLastRecords && ac.stream.size() >= n; ++n) {
            if (!gf_rec(ac.stream, ac.stream.size() - n + 1).stop) {
                checkStops(ac, n - 1, r);
                return;
            }
        }
    } catch (const std::exception& e) {
        gf_logError("{}: {}", "removeSmallStop", e.what());
    }
}

void checkStops(LiveAc& ac, std::size_t k, const PosRecord& r)
{
    try {
        if (k == 0 || k > ac.stream.size())
            throw std::out_of_range("invalid deque<T> subscript");
        const PosRecord& a = gf_rec(ac.stream, ac.stream.size() - k);
        const PosRecord& b = gf_last(ac.stream);
        if (static_cast<std::int64_t>(b.slot) - a.slot >= kStopKeepTicks && gf_recDistance(a, r) > kStopKeepNm)
            return;
        for (std::size_t i = 0; i + 1 < k; ++i)
            ac.stream.pop_back();
    } catch (const std::exception& e) {
        gf_logError("{}: num:{} {}", "checkStops", k, e.what());
    }
}
