// The lifecycle of a live aircraft: dispatch by state, buffering, spawn, the new object, first
// configuration, touchdown and the respawn decision. Main loop thread.
#include "simulator/live_lifecycle.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>

#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/time_slots.h"
#include "foundation/units.h"
#include "liveries/livery_match.h"
#include "liveries/refused.h"
#include "liveries/regcodes.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "simulator/ac_config.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/duplicates.h"
#include "simulator/flight_plan.h"
#include "simulator/ground_stand.h"
#include "simulator/motion_air.h"
#include "simulator/motion_math.h"
#include "simulator/motion_rules.h"
#include "simulator/refused_liveries.h"
#include "simulator/removal.h"
#include "simulator/sim_client.h"
#include "simulator/sim_events.h"
#include "simulator/sim_ids.h"
#include "simulator/stand_services.h"
#include "simulator/stream_append.h"
#include "simulator/user_aircraft.h"

std::unordered_map<std::uint32_t, std::string_view> g_liveryCache;

namespace {

// Object ids below this are no AI aircraft the program created.
constexpr std::uint32_t kFirstAiObjectId = 3;

bool lf_endsInUnderscore(const std::string& text)
{
    return !text.empty() && text.back() == '_';
}

LatLon lf_pos(const PosRecord& r)
{
    return LatLon{r.lat, r.lon};
}

// "Drop the head": the aircraft tries again next tick with the next record.
void lf_dropHead(LiveAc& ac)
{
    ac.stream.pop_front();
}

bool lf_hasAirborneAndGround(const std::deque<PosRecord>& stream)
{
    bool air = false;
    bool ground = false;
    for (const PosRecord& r : stream) {
        if (r.airborne)
            air = true;
        else
            ground = true;
    }
    return air && ground;
}

// Live aircraft that are or will be objects in the simulator: from the creation request (queued,
// sent, or created and waiting for its lights) through placed to a respawn's removal. Counting only
// the queues and the placed ones missed the seconds of the creation itself: the limit of 3 let 5
// objects in.
std::size_t lf_liveObjectCount()
{
    return static_cast<std::size_t>(std::count_if(g_liveAc.begin(), g_liveAc.end(), [](const LiveAc& a) {
        return a.state == AcState::CreationRequested || a.state == AcState::Placed ||
               a.state == AcState::Respawning;
    }));
}

void lf_queueEvent(const LiveAc& ac, std::uint32_t eventId, std::uint32_t data)
{
    gf_queueClientEvent(ac.objectId, eventId, data);
}

// The near-user rules of the buffering step; true when the head was dropped.
bool lf_heldNearUser(LiveAc& ac)
{
    const PosRecord& head = gf_rec(ac.stream, 0);
    const UserAcState& user = g_userAcCopy;
    const bool headOnGround = head.airborne == 0;
    if (g_userOnGround.load()) {
        const double d = gf_distanceNm(head.lat, head.lon, user.latitude, user.longitude);
        if (ac.heldNearUser) {
            if (user.groundVelocity > kUserMovingKnots || (headOnGround && head.speed > kUserMovingKnots)
                || (headOnGround && d * kMetresPerNm < kHeldNearUserMetres)) {
                lf_dropHead(ac);
                return true;
            }
        }
        if (headOnGround && g_optCollisionUserGnd.value() && d < kUserGroundNm) {
            lf_dropHead(ac);
            return true;
        }
        return false;
    }
    if (!g_optCollisionUserAir.value())
        return false;
    if (!headOnGround) {
        if (liveac::passesUser(ac)) {
            ac.heldNearUser = 1;
            lf_dropHead(ac);
            return true;
        }
        return false;
    }
    if (ac.heldNearUser) {
        lf_dropHead(ac);
        return true;
    }
    // A buffering aircraft has no simulator position yet: its head is where it will appear.
    double lat = ac.sim.lat;
    double lon = ac.sim.lon;
    if (gf_isNoFlightPosition(lat, lon)) {
        lat = head.lat;
        lon = head.lon;
    }
    const double d = gf_distanceNm(user.latitude, user.longitude, lat, lon);
    if (d <= kUserRunwayNm && user.altAboveGround < kUserLowFt) {
        const double toAc = gf_initialCourse(LatLon{user.latitude, user.longitude}, LatLon{lat, lon});
        const double off = std::fabs(gf_angleDiff(user.heading, toAc));
        if (std::sin(off) * d * kFeetPerNm <= kUserRunwayAcrossFt) {
            ac.heldNearUser = 1;
            lf_dropHead(ac);
            return true;
        }
    }
    return false;
}

// The registration table's airline, type, operator and cargo flag.
void lf_applyRegistration(LiveAc& ac)
{
    if (ac.registration.empty())
        return;
    for (const std::string& form : gf_regcodeSpellings(ac.registration)) {
        DbaseRegEntry entry;
        if (!gf_lookupRegcode(form, &entry))
            continue;
        ac.airline = entry.airline;
        ac.acType = entry.type;
        if (!entry.op.empty())
            ac.airline = entry.op;
        ac.cargo = entry.cargo;
        if (!gf_callsignValid(ac))
            ac.callsign = ac.registration;
        return;
    }
}

enum class StandClaim { None, Parked, Dropped, Removed };

// The stand part of the spawn of a ground aircraft in phase New. Sets the phase.
StandClaim lf_claimStandAtSpawn(LiveAc& ac)
{
    PosRecord& head = gf_rec(ac.stream, 0);
    const PosRecord& second = gf_rec(ac.stream, 1);
    const PosRecord& last = gf_last(ac.stream);

    const bool parkAirportSet = !g_parkAirport.code.empty() && !g_parkPositions.empty();
    bool candidate = parkAirportSet
                     && gf_distanceNm(head.lat, head.lon, g_parkAirport.lat, g_parkAirport.lon) <= kFiveNm;
    LatLon search = lf_pos(head);
    if (candidate && !head.stop) {
        candidate = second.speed <= kStandClaimKnots && gf_recDistance(last, head) <= kStillNm;
        search = lf_pos(last);
    }
    if (!candidate) {
        gf_setPhase(ac, AcPhase::Taxiing);
        return StandClaim::None;
    }

    StandServices& stands = gf_standServices();
    ParkPos* stand = stands.findFreeStand(search.latitude, search.longitude, ac, kStandSearchNm);
    if (!stand) {
        if (second.stop) {
            lf_dropHead(ac);
            return StandClaim::Dropped;
        }
        gf_setPhase(ac, AcPhase::Taxiing);
        return StandClaim::None;
    }

    // The reserved stand and the user's stand are never taken; the aircraft spawns where its
    // records put it.
    const std::string& reserved = g_reservedStand;
    const UserAcState& user = g_userAcCopy;
    const std::string userStand = stands.nearestStandName(user.latitude, user.longitude);
    if ((!reserved.empty() && stand->name == reserved) || (!userStand.empty() && stand->name == userStand))
        return StandClaim::None;

    bool standFree = true;
    for (LiveAc& x : g_liveAc)
        if (stands.clearStandForLiveAc(standFree, stand->standId, ac.callsign, x))
            break;
    for (std::uint32_t overlapId : stand->overlapping)
        for (LiveAc& x : g_liveAc)
            if (stands.otherLiveAcAtStand(overlapId, ac, *stand, standFree, x))
                break;
    if (!standFree) {
        ac.removeMark = 1;
        return StandClaim::Removed;
    }

    checkStandOrExcludedIsOccupiedByStaticAndRemove(ac, *stand);
    head.stop = 1;
    head.speed = 0.0;

    ac.standLat = stand->lat;
    ac.standLon = stand->lon;
    ac.standHeading = stand->heading;
    ac.standId = stand->standId;
    ac.cargoStand = stand->cargo ? 1 : 0;
    gf_setPhase(ac, AcPhase::Parked);
    stand->occupied = true;
    ac.parkingTime = gf_steadyNow();
    ac.farthestStandDist = 0.0;
    ac.firstStandDist = 0.0;
    ac.lastStandDist = 0.0;
    ac.recedingCount = 0;
    liveac::markCargoStand(ac);
    ac.stream.resize(1);
    PosRecord& parked = gf_rec(ac.stream, 0);
    parked.lat = stand->lat;
    parked.lon = stand->lon;
    parked.track = stand->heading * kRadToDeg;

    if (stands.addRealParkPosOption(ac.standId, ac, false, g_nowDaySlot.load(), false)) {
        gf_rememberArrival(ac.hexid, gf_slotOf(g_nowDaySlot.load()));
        stands.checkMaxPark(1);
    }
    return StandClaim::Parked;
}

}  // namespace

// ---- per tick ------------------------------------------------------------------------------------

bool updateLiveAc(LiveAc& ac)
{
    try {
        switch (ac.state) {
        case AcState::Buffering:
            updateBufferAc(ac);
            break;
        case AcState::Placed: {
            if (ac.stream.empty()) {
                gf_logError("{} stream empty ? {}, hexid:{}, objectid:{}", "updateLiveAc", gf_acText(ac),
                            ac.hexid, ac.objectId);
                gf_removeAct(ac);
                break;
            }
            if (g_tick.load() >= ac.stream.front().slot) {
                nextPosMain(ac);
                ac.sim.vertSpeed = ac.vertSpeedFpm / 60.0;
                ac.sim.tas = (!ac.stream.empty() && ac.stream.front().stop) ? 0.0 : ac.legSpeed;
            }
            if (ac.state != AcState::Placed)
                break;
            if (!gf_rec(ac.stream, 0).stop)
                liveac::stepTick(ac);
            if (ac.objectId != 0) {
                gf_updateAircraft(AcPosUpdate{ac.sim.lat, ac.sim.lon, ac.sim.pitch, ac.sim.bank, ac.sim.heading,
                                              ac.sim.alt, ac.sim.vertSpeed, ac.sim.tas, ac.objectId});
            } else {
                gf_logError("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc", ac.hexid,
                            ac.callsign, ac.registration, gf_airlineTypeText(ac), ac.stream.size());
                gf_removeAct(ac);
            }
            break;
        }
        default:
            break;
        }
    } catch (const std::exception& e) {
        gf_logError("{}: {} {}, sz:{}", "updateLiveAc", e.what(), gf_acText(ac), ac.stream.size());
    }
    return ac.removeMark != 0;
}

void updateBufferAc(LiveAc& ac)
{
    try {
        if (ac.stream.empty()) {
            ac.removeMark = 1;
            return;
        }
        const PosRecord& head = gf_rec(ac.stream, 0);
        const std::int32_t margin = (!head.airborne && head.speed != 0.0) ? 300 : 100;
        if (static_cast<std::int64_t>(g_tick.load()) < static_cast<std::int64_t>(head.slot) - margin)
            return;
        if (ac.stream.size() == 1) {
            ac.removeMark = 1;
            return;
        }
        if (lf_endsInUnderscore(ac.callsign)) {
            if (gf_isRemovedGhost(ac.callsign)) {
                ac.removeMark = 1;
                return;
            }
        }
        if (lf_hasAirborneAndGround(ac.stream)) {
            lf_dropHead(ac);
            return;
        }
        // The query box's corners reach beyond its range: an aircraft created there would never
        // be found by the in-range request, so it would stand where it was created for good.
        if (liveac::beyondQueryRange(head.lat, head.lon)) {
            lf_dropHead(ac);
            return;
        }
        if (lf_heldNearUser(ac))
            return;
        if (g_liveCreateRequests.size() >= kCreationBacklog && ac.phase == AcPhase::New) {
            lf_dropHead(ac);
            return;
        }
        const std::int32_t maxLive = g_optMaxLive.value();
        if (maxLive != -1) {
            if (lf_liveObjectCount() >= static_cast<std::size_t>(maxLive)) {
                const PosRecord& h = gf_rec(ac.stream, 0);
                const UserAcState& user = g_userAcCopy;
                if (gf_removeFarthestLiveAc(gf_distanceNm(h.lat, h.lon, user.latitude, user.longitude))) {
                    ac.removeMark = 1;
                    return;
                }
            }
        }
        const std::string blocked = g_optBlockCallsign.value();
        if (!blocked.empty() && blocked == ac.callsign) {
            ac.removeMark = 1;
            return;
        }
        lf_applyRegistration(ac);
        if (!gf_callsignValid(ac)) {
            ac.removeMark = 1;
            return;
        }
        if (ac.airline.empty())
            ac.airline = "PVT";
        if (g_noMatchSet.contains(gf_airlineTypeRegText(ac))) {
            ac.removeMark = 1;
            return;
        }
        if (lf_endsInUnderscore(ac.callsign)) {
            if (lf_isBaseCallsignLive(ac.callsign)) {
                ac.removeMark = 1;
                return;
            }
        }
        spawnLiveAc(ac);
    } catch (const std::exception& e) {
        gf_logError("{}: {}", "updateBufferAc", e.what());
    }
}

void spawnLiveAc(LiveAc& ac)
{
    try {
        // A new aircraft starts from a fresh motion record.
        if (ac.phase == AcPhase::New)
            ac.motion = LiveMotion{};
        PosRecord& head = gf_rec(ac.stream, 0);
        PosRecord& second = gf_rec(ac.stream, 1);
        if (second.stop) {
            head.stop = 1;
            head.speed = 0.0;
            second.speed = 0.0;
            if (ac.stream.size() > 2 && gf_rec(ac.stream, 2).stop)
                gf_rec(ac.stream, 2).speed = 0.0;
        } else {
            head.stop = 0;
        }

        if (ac.phase == AcPhase::New) {
            if (!liveac::cachedLivery(ac)) {
                g_noMatchSet.insert(gf_airlineTypeRegText(ac));
                ac.removeMark = 1;
                return;
            }
            if (gf_rec(ac.stream, 0).airborne) {
                gf_setPhase(ac, AcPhase::Airborne);
            } else {
                const StandClaim claim = lf_claimStandAtSpawn(ac);
                if (claim == StandClaim::Dropped || claim == StandClaim::Removed)
                    return;
            }
        }
        if (ac.removeMark)
            return;
        gf_addDuplicateCheck(ac.hexid);

        // First attitude from the head record.
        const PosRecord& h = gf_rec(ac.stream, 0);
        ac.sim.lat = h.lat;
        ac.sim.lon = h.lon;
        ac.sim.alt = h.alt;
        {
            // Feeds give no altitude on the ground (0): the aircraft stands on the ground there.
            // A flying one is not placed under it (a pressure altitude below the field).
            const double ground = gf_groundAltitudeFt(ac);
            if (!std::isnan(ground) && (!h.airborne || ac.sim.alt < ground))
                ac.sim.alt = ground;
        }
        ac.sim.vertSpeed = h.vertRate / 60.0;
        ac.sim.tas = h.tas;
        ac.sim.bank = h.bankValid ? h.bank : 0.0;
        if (h.airborne) {
            ac.sim.pitch = gf_flightPitch(h.vertRate);
        } else {
            ac.sim.pitch = kNewGroundPitch;
        }
        double heading;
        if (ac.forcedHeadingSet)
            heading = ac.forcedHeading;
        else if (ac.phase == AcPhase::Parked)
            heading = ac.standHeading;
        else if (!gf_rec(ac.stream, 1).stop)
            heading = gf_initialCourse(lf_pos(h), lf_pos(gf_rec(ac.stream, 1)));
        else
            heading = h.track * kDegToRad;
        ac.sim.heading = gf_wrap2Pi(heading);
        ac.groundHeading = h.airborne ? 0.0 : ac.sim.heading;

        ac.state = AcState::CreationRequested;
        ac.heldNearUser = 0;
        g_spawnQueue.push_back(ac.hexid);
        if (!lf_endsInUnderscore(ac.callsign)) {
            liveac::removeGhosts(ac.callsign);
        }
    } catch (const std::exception& e) {
        gf_logError("{}: {}", "spawnLiveAc", e.what());
        throw;
    }
}

void checkStandOrExcludedIsOccupiedByStaticAndRemove(LiveAc& ac, ParkPos& stand)
{
    try {
        for (std::size_t i = 0; i < g_staticAc.size(); ++i) {
            StaticAc& st = g_staticAc[i];
            if (st.standId != stand.standId)
                continue;
            const std::string sameLive = (st.coupledCallsign1 == ac.callsign || st.registration == ac.registration)
                                             ? " the same live version"
                                             : "";
            if (st.state == AcState::CreationRequested) {
                // The drop erases the static aircraft: keep what the log line needs first.
                const std::string callsign = st.callsign;
                const std::string registration = st.registration;
                if (gf_dropQueuedStaticCreations(callsign)) {
                    if (g_optLog.value())
                        gf_log("queued {:8}: {:8} {} makes way for{} {} {}", stand.name, callsign, registration,
                               sameLive, ac.callsign, ac.registration);
                } else {
                    st.removeOnCreation = 1;
                }
            } else if (st.state == AcState::Placed) {
                if (g_optLog.value())
                    gf_log("{:8}: {:8} {} makes way for{} {} {}", stand.name, st.callsign, st.registration, sameLive,
                           ac.callsign, ac.registration);
                gf_removeAct(st);
            }
            break;
        }
        for (std::uint32_t overlapId : stand.overlapping) {
            const ParkPos* other = gf_standById(overlapId);
            const double oLat = other ? other->lat : 0.0;
            const double oLon = other ? other->lon : 0.0;
            const double d = gf_distanceNm(oLat, oLon, stand.lat, stand.lon);
            for (StaticAc& st : g_staticAc) {
                if (st.state != AcState::Placed || st.standId != overlapId)
                    continue;
                if ((st.size + ac.size) * kOverlapSizes >= d) {
                    if (g_optLog.value())
                        gf_log("{:8}: {:8} removed by {} parking at adjacent stand {}",
                               other ? other->name : gf_standName(overlapId), st.callsign, ac.callsign, stand.name);
                    gf_removeAct(st);
                    break;
                }
            }
        }
    } catch (const std::exception& e) {
        gf_logError("{}: {}", "checkStandOrExcludedIsOccupiedByStaticAndRemove", e.what());
        throw;
    }
}

namespace liveac {

bool cachedLivery(LiveAc& ac)
{
    if (!ac.title.empty())
        return true;
    auto it = g_liveryCache.find(ac.hexid);
    if (it != g_liveryCache.end()) {
        if (gf_isRefusedLivery(it->second)) {
            g_liveryCache.erase(it);
        } else {
            ac.title = it->second;
            return true;
        }
    }
    gf_matchLivery(ac);
    if (ac.title.empty())
        return false;
    g_liveryCache[ac.hexid] = ac.title;
    return true;
}

bool objectCreated(LiveAc& ac, const SimEvent& event)
{
    if (event.objectId < kFirstAiObjectId)
        return false;
    ac.objectId = event.objectId;
    ac.heightAboveGround = event.value2;
    if (!gf_rec(ac.stream, 0).airborne) {
        ac.onGround = 1;
        gf_setGear(ac, true);
        ac.altStep = 0.0;
        if (ac.phase == AcPhase::Parked) {
            ac.stamp = g_nowDaySlot.load();
            if (g_optLog.value())
                gf_log("{:8}: {:8} parks", gf_standName(ac.standId), ac.callsign);
            gf_standServices().dropStaticParkEntries(ac.standId);
        }
        ac.rotationTickCounter = 1;
    }
    createFlightPlan(ac);
    {
        std::lock_guard lock(g_simConnectMutex);
        if (FAILED(SimConnect_RequestDataOnSimObject(g_hSimConnect, simid::REQ_STATIC_GROUND,
                                                     simid::DEF_STATIC_GROUND, ac.objectId, SIMCONNECT_PERIOD_ONCE))) {
            gf_logError("SimConnect request StaticCG fails");
            gf_simConnectError();
        }
    }
    gf_exitOnSimConnectErrors();
    return true;
}

void createFlightPlan(LiveAc& ac)
{
    if (ac.origin.empty() || ac.destination.empty())
        return;
    const std::filesystem::path path = g_flightPlanFolder / lf_flightPlanFileName(ac.objectId);
    // Without a prepared folder the plan would land in the working folder: count it as failed.
    bool ok = !g_flightPlanFolder.empty() && gf_writeFlightPlan(path, ac);
    if (ok && g_simIs2020.load()) {
        std::lock_guard lock(g_simConnectMutex);
        ok = SUCCEEDED(SimConnect_AISetAircraftFlightPlan(g_hSimConnect, ac.objectId, path.string().c_str(),
                                                          simid::REQ_FLIGHT_PLAN));
    }
    ac.flightPlanSet = ok ? 1 : 0;
    if (!ok)
        gf_logError("{} creating a flight plan failed", gf_acIdText(ac));
}

void initialConfiguration(LiveAc& ac)
{
    // The object has stood through its lights cycle: it starts where its records put it now, so
    // its first position write meets them.
    placeOnRecords(ac);
    const PosRecord& head = gf_rec(ac.stream, 0);
    const bool rotorcraft = ac.sizeClass == SizeClass::Rotorcraft;
    if (head.airborne) {
        lf_queueEvent(ac, simid::ENGINE_AUTO_START, 0);
        if (!rotorcraft)
            lf_queueEvent(ac, simid::SPOILERS_SET, 0);
        const std::uint8_t low = ac.sim.alt <= kLightsAltitudeFt ? 1 : 0;
        gf_queueLights(ac.objectId,
                       LightSet{1, 1, low, 0, 1, low, static_cast<std::uint8_t>(ac.heightAboveGround >= kCabinLightsHeightFt)});
    } else {
        const bool parked = ac.phase == AcPhase::Parked;
        if (!rotorcraft)
            lf_queueEvent(ac, simid::SPOILERS_SET, 0);
        lf_queueEvent(ac, parked ? simid::ENGINE_AUTO_SHUTDOWN : simid::ENGINE_AUTO_START, 0);
        const std::uint8_t nav = parked ? (g_optNavLightsWhileParked.value() ? 1 : 0) : 1;
        gf_queueLights(ac.objectId, LightSet{nav, static_cast<std::uint8_t>(parked ? 0 : 1), 0,
                                             static_cast<std::uint8_t>(ac.phase == AcPhase::Taxiing), 0, 1, 1});
        gf_setThrottle(ac, rotorcraft ? kThrottleFull : 0);
        gf_setFlaps(ac, ac.phase == AcPhase::Taxiing ? 1 : 0);
    }
    ac.state = AcState::Placed;
}

void setOnGroundSlots(LiveAc& ac)
{
    if (ac.state == AcState::BeingRemoved || ac.phase == AcPhase::TakeOff)
        return;
    LiveMotion& m = ac.motion;
    if (m.flareStage != 0 || ac.landing) {
        m.deRotation = 1;
        m.spoilersOut = 1;
        m.touchdownHeading = ac.sim.heading;
        ac.landing = 0;
        m.landed = 1;
        if (ac.sizeClass != SizeClass::Rotorcraft)
            lf_queueEvent(ac, simid::SPOILERS_SET, kEventFull);
        if (ac.sizeClass != SizeClass::Light) {
            const double lever = ac.fsltl ? -100.0 : 100.0;
            SpoilerThrottleData data{100.0, lever, lever};
            std::lock_guard lock(g_simConnectMutex);
            SimConnect_SetDataOnSimObject(g_hSimConnect, simid::DEF_SPOILER_THROTTLE, ac.objectId, 0, 0,
                                          sizeof(data), &data);
        }
        if (ac.touchdownTicks == 0) {
            gf_log("{} ! onGround slots {:.1F}", ac.callsign, static_cast<double>(ac.touchdownTicks));
            ac.pitchStep = ac.staticPitch;
            ac.bankStep = 0.0;
        } else {
            ac.pitchStep = (ac.staticPitch - ac.sim.pitch) / ac.touchdownTicks;
            ac.bankStep = (0.0 - ac.sim.bank) / ac.touchdownTicks;
        }
        gf_addDuplicateCheck(ac.hexid);
    }
    ac.onGround = 1;
    ac.altStep = 0.0;
    ac.rotationTickCounter = 1;
}

void setGroundAltitude(LiveAc& ac, double groundAltitudeFt)
{
    ac.motion.groundAlt = ac.staticCgHeight + groundAltitudeFt;
    ac.motion.groundAltKnown = 1;
    // Rolling or standing (not rotating, not yet down from the flare): on the ground the
    // simulator reports.
    if (ac.onGround && ac.phase != AcPhase::TakeOff && ac.motion.flareStage == 0 && !ac.motion.deRotation)
        ac.sim.alt = ac.motion.groundAlt;
}

}  // namespace liveac
