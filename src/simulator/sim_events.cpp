// The simulator-event queue and the pending-object queue with the 200-tick lights cycle. Posting
// runs on any thread; draining and applying (gf_SimCommands and everything below it) on the main
// loop with g_simEventMutex held. See sim_events.h for the lock rules.
#include "simulator/sim_events.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include "foundation/errors.h"
#include "foundation/lock_order.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "model/ac_records.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/flight_plan.h"
#include "simulator/live_lifecycle.h"
#include "simulator/refused_liveries.h"
#include "simulator/removal.h"
#include "simulator/sim_client.h"
#include "simulator/sim_ids.h"

std::mutex g_simEventMutex;
std::vector<SimEvent> g_simEvents;
std::vector<SimEvent> g_pendingObjects;


namespace {

constexpr std::uint32_t kMaxStaticHexid = 10000;
constexpr std::int32_t kLightsCycleTicks = 200;
// A new live object's lights are all toggled twice within the cycle: half a second and a second in.
constexpr std::int32_t kLightsToggleFirstTicks = 50;
constexpr std::int32_t kLightsToggleSecondTicks = 100;
// A static CG height the simulator reports outside these (ft) is taken for wrong and logged.
constexpr double kLowestStaticCgFt = 1.0;
constexpr double kHighestStaticCgFt = 35.0;
constexpr double kPitchLowLimit = -0.017453292519943295;  // -1 degree
constexpr double kPitchHighLimit = 0.04363323129985824;   // 2.5 degrees
constexpr double kPitchDefault = 0.012217304763960306;    // 0.7 degrees

// Erases element i; the last element moves into its place.
template <typename T>
void lf_eraseUnordered(std::vector<T>& v, std::size_t i)
{
    if (i + 1 != v.size())
        v[i] = std::move(v.back());
    v.pop_back();
}

template <typename T, typename Pred>
std::ptrdiff_t lf_findIndex(const std::vector<T>& v, Pred pred)
{
    const auto it = std::find_if(v.begin(), v.end(), pred);
    return it == v.end() ? -1 : it - v.begin();
}

// An aircraft erased without gf_removeAct gives its stand back; one being removed already did,
// and its stand may be someone else's by now.
void lf_freeStandOf(const StaticAc& ac)
{
    if (ac.state == AcState::BeingRemoved || ac.standId == 0)
        return;
    if (ParkPos* stand = gf_standById(ac.standId))
        stand->occupied = false;
}

// An object of ours that no aircraft wants (only its creator can remove it): queued for removal.
void lf_removeStrayObject(std::uint32_t objectId, std::uint32_t hexid)
{
    gf_log("! object {} of hexid {} has no aircraft waiting for it, removed", objectId, hexid);
    g_removeRequests.push_back(objectId);
}

// A pending record of an object that is gone: finished, so that it never places an aircraft.
void lf_forgetPendingObject(std::uint32_t objectId)
{
    for (SimEvent& pending : g_pendingObjects)
        if (pending.objectId == objectId)
            pending.tickCount = -1;
    std::erase_if(g_pendingObjects, [](const SimEvent& e) { return e.tickCount < 0; });
}

// Forgets the aircraft of a removed object.
void lf_deleteFlightPlanFile(std::uint32_t objectId)
{
    lf_forgetPendingObject(objectId);
    const auto live = lf_findIndex(g_liveAc, [&](const LiveAc& a) { return a.objectId == objectId; });
    if (live >= 0) {
        LiveAc& ac = g_liveAc[static_cast<std::size_t>(live)];
        if (ac.state == AcState::Respawning) {
            ac.state = AcState::Buffering;
            ac.throttleIndex = kThrottleNone;
            ac.flapsIndex = kFlapsNone;
            ac.objectId = 0;
            return;
        }
        if (ac.flightPlanSet) {
            const auto path = g_flightPlanFolder / lf_flightPlanFileName(objectId);
            if (std::filesystem::exists(path))
                std::filesystem::remove(path);
        }
        lf_freeStandOf(ac);
        lf_eraseUnordered(g_liveAc, static_cast<std::size_t>(live));
        return;
    }
    const auto stat =
        lf_findIndex(g_staticAc, [&](const StaticAc& a) { return a.objectId == objectId; });
    if (stat >= 0) {
        lf_freeStandOf(g_staticAc[static_cast<std::size_t>(stat)]);
        lf_eraseUnordered(g_staticAc, static_cast<std::size_t>(stat));
    }
}

// A live or static aircraft whose creation did not happen: its stand is freed and it is erased;
// a refusal also marks its livery refused so that the next matching picks another one. The
// aircraft is erased before the refusal is recorded: error 81 leaves no aircraft behind.
template <typename Ac>
void lf_creationEnded(std::vector<Ac>& aircraft, std::uint32_t hexid, bool refused)
{
    const auto i = lf_findIndex(aircraft, [&](const Ac& a) { return a.hexid == hexid; });
    if (i < 0)
        return;
    const AcData data = aircraft[static_cast<std::size_t>(i)];
    lf_freeStandOf(aircraft[static_cast<std::size_t>(i)]);
    lf_eraseUnordered(aircraft, static_cast<std::size_t>(i));
    if (!refused)
        return;
    gf_addRefusedLivery(data);
}

void lf_creationEnded(std::uint32_t hexid, bool refused)
{
    if (hexid > kMaxStaticHexid)
        lf_creationEnded(g_liveAc, hexid, refused);
    else
        lf_creationEnded(g_staticAc, hexid, refused);
}

void lf_onLiveObject(const SimEvent& event)
{
    const auto i = lf_findIndex(g_liveAc, [&](const LiveAc& a) { return a.hexid == event.hexid; });
    if (i < 0) {
        lf_removeStrayObject(event.objectId, event.hexid);
        return;
    }
    LiveAc& ac = g_liveAc[static_cast<std::size_t>(i)];
    if (ac.objectId == event.objectId)
        return;  // already known: nothing new
    const bool waitsForObject =
        ac.objectId == 0
        && (ac.state == AcState::CreationRequested
            || (ac.state == AcState::BeingRemoved && ac.removeOnCreation));
    if (!waitsForObject) {
        // Placed, being removed with its own object, or buffering again: the object is left over.
        lf_removeStrayObject(event.objectId, event.hexid);
        return;
    }
    if (ac.removeOnCreation) {
        // Removed while its creation was on the way: the object goes at once, unconfigured. One
        // already in state 4 gave its stand back then; only its object is left to remove.
        ac.objectId = event.objectId;
        if (ac.state == AcState::BeingRemoved)
            g_removeRequests.push_back(ac.objectId);
        else
            gf_removeAct(ac);
        return;
    }
    if (liveac::objectCreated(ac, event))
        g_pendingObjects.push_back(event);
}

// Reported on its wheels while flying out, not landing, toward higher airborne records: created
// just after its lift-off where the simulator's ground lies above the recorded altitude. That is
// no touch-down (as one it stood on the ground for a leg, 10 s, and then rolled into a take-off
// while its records climbed away): it stays in the air, raised to the ground, and climbs on with
// its records.
bool lf_climbsOutOverTheGround(LiveAc& ac, double groundFt)
{
    if (ac.phase != AcPhase::Airborne || ac.landing || ac.motion.flareStage != 0 || ac.stream.empty())
        return false;
    // The record it flies to, or, created and not yet moving, the one after the record it stands on.
    const PosRecord& head = gf_rec(ac.stream, 0);
    const bool climbs = head.airborne
        && (head.alt > ac.sim.alt
            || (ac.stream.size() > 1 && gf_rec(ac.stream, 1).airborne && gf_rec(ac.stream, 1).alt > ac.sim.alt));
    if (!climbs)
        return false;
    ac.motion.groundAlt = ac.staticCgHeight + groundFt;
    ac.motion.groundAltKnown = 1;
    ac.sim.alt = std::max(ac.sim.alt, ac.motion.groundAlt);
    return true;
}

void lf_onGroundData(const SimEvent& event)
{
    const auto i =
        lf_findIndex(g_liveAc, [&](const LiveAc& a) { return a.objectId == event.objectId; });
    if (i < 0)
        return;
    LiveAc& ac = g_liveAc[static_cast<std::size_t>(i)];
    if (event.hexid == 1 && !ac.onGround && ac.rotationTickCounter <= 1
        && !lf_climbsOutOverTheGround(ac, event.value1))
        liveac::setOnGroundSlots(ac);
    ac.heightAboveGround = event.value2;
    if (ac.onGround || ac.rotationTickCounter >= 2)
        liveac::setGroundAltitude(ac, event.value1);
}

void lf_onStaticGround(const SimEvent& event)
{
    const auto i =
        lf_findIndex(g_liveAc, [&](const LiveAc& a) { return a.objectId == event.objectId; });
    if (i < 0)
        return;
    LiveAc& ac = g_liveAc[static_cast<std::size_t>(i)];
    if (event.value1 >= kLowestStaticCgFt && event.value1 <= kHighestStaticCgFt)
        ac.staticCgHeight = event.value1;
    else if (g_optLog.value())
        gf_logError("{}: static CG {:.1F}ft wrong?", gf_acText(ac), event.value1);
    ac.staticPitch = event.value2;
    if (ac.staticPitch <= kPitchLowLimit || ac.staticPitch > kPitchHighLimit)
        ac.staticPitch = kPitchDefault;
}

bool lf_removeBlocked(std::uint32_t hexid, LiveAc& ac)
{
    if (ac.hexid != hexid)
        return false;
    if (ac.state == AcState::Buffering) {
        gf_log("{} will be removed from buffer while blocked", gf_acText(ac));
        ac.removeMark = 1;
    } else if (ac.state == AcState::Placed) {
        gf_log("{} removed from simulator immediately while blocked", gf_acText(ac));
        gf_removeAct(ac);
    }
    return true;
}

bool lf_onStaticPlaced(SimEvent& pending, bool& finished, StaticAc& ac)
{
    if (ac.hexid != pending.hexid || ac.objectId != 0)
        return false;
    pending.tickCount = -1;
    finished = true;
    ac.objectId = pending.objectId;
    if (ac.state == AcState::BeingRemoved) {
        // Removed while its creation was on the way: its stand went back then; the object goes.
        g_removeRequests.push_back(ac.objectId);
        return true;
    }
    ac.state = AcState::Placed;
    gf_parkConfiguration(ac);
    if (g_optLog.value()) {
        gf_log("{:8}: {:8} parked", gf_standName(ac.standId), ac.callsign);
    }
    if (ac.removeOnCreation)
        gf_removeAct(ac);
    return true;
}

void lf_sendAllLightsToggle(std::uint32_t objectId)
{
    std::lock_guard lock(g_simConnectMutex);
    if (FAILED(SimConnect_TransmitClientEvent(g_hSimConnect, objectId, simid::ALL_LIGHTS_TOGGLE, 0,
                                              simid::GROUP_AI, 0)))
        gf_logError("SimConnect gf_allLightsToggle fails");
}

}  // namespace

void gf_postSimEvent(const SimEvent& event)
{
    std::lock_guard lock(g_simEventMutex);
    g_simEvents.push_back(event);
}

void lf_handleSimEvent(const SimEvent& event)
{
    switch (event.kind) {
    case SIM_EVENT_LIVE_OBJECT:
        lf_onLiveObject(event);
        break;
    case SIM_EVENT_STATIC_OBJECT:
        g_pendingObjects.push_back(event);
        break;
    case SIM_EVENT_OBJECT_REMOVED:
        lf_deleteFlightPlanFile(event.objectId);
        break;
    case SIM_EVENT_GROUND_DATA:
        lf_onGroundData(event);
        break;
    case SIM_EVENT_STATIC_GROUND:
        lf_onStaticGround(event);
        break;
    case SIM_EVENT_CALLSIGN_BLOCKED:
        for (LiveAc& ac : g_liveAc)
            if (lf_removeBlocked(event.hexid, ac))
                break;
        break;
    case SIM_EVENT_CREATION_REFUSED:
        lf_creationEnded(event.hexid, true);
        break;
    case SIM_EVENT_CREATION_FAILED:
        lf_creationEnded(event.hexid, false);
        break;
    default:
        break;
    }
}

void gf_allLightsToggle(bool& finished, SimEvent& pending)
{
    if (pending.tickCount < 0)
        return;
    if (pending.kind == SIM_EVENT_STATIC_OBJECT) {
        if (pending.tickCount < kLightsCycleTicks) {
            ++pending.tickCount;
            return;
        }
        for (StaticAc& ac : g_staticAc)
            if (lf_onStaticPlaced(pending, finished, ac))
                return;
        // Its aircraft is gone: the object would stand there for good.
        lf_removeStrayObject(pending.objectId, pending.hexid);
        pending.tickCount = -1;
        finished = true;
        return;
    }
    if (pending.tickCount < kLightsCycleTicks) {
        ++pending.tickCount;
        if (pending.tickCount == kLightsToggleFirstTicks || pending.tickCount == kLightsToggleSecondTicks)
            lf_sendAllLightsToggle(pending.objectId);
        return;
    }
    pending.tickCount = -1;
    finished = true;
    const auto i = lf_findIndex(g_liveAc, [&](const LiveAc& a) {
        return a.hexid == pending.hexid && a.objectId == pending.objectId;
    });
    if (i < 0) {
        // Its aircraft is gone: the object would fly nowhere for good.
        lf_removeStrayObject(pending.objectId, pending.hexid);
        return;
    }
    LiveAc& ac = g_liveAc[static_cast<std::size_t>(i)];
    if (ac.state != AcState::CreationRequested)
        return;  // removed during the cycle: its object is already queued for removal
    liveac::initialConfiguration(ac);
    if (ac.removeOnCreation)
        gf_removeAct(ac);
}

void gf_SimCommands()
{
    gf_assertMainLoopThread();
    std::lock_guard lock(g_simEventMutex);
    // Taken out before applying: a record that throws is dropped after its log line and never
    // applied a second time, and the others still run.
    std::vector<SimEvent> events;
    events.swap(g_simEvents);
    for (std::size_t i = 0; i < events.size(); ++i) {
        try {
            lf_handleSimEvent(events[i]);
        } catch (const tvx::UserErrorException&) {
            // Ends the run (error 81): the main loop's handler takes it. The records not yet
            // applied go back to the front of the queue.
            g_simEvents.insert(g_simEvents.begin(), events.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                               events.end());
            throw;
        } catch (const std::exception& e) {
            gf_log("{}: {}", "gf_SimCommands", e.what());
        }
    }
    if (g_pendingObjects.empty())
        return;
    bool finished = false;
    // Index loop: a handler may append (never in practice; kept safe against reallocation).
    for (std::size_t i = 0; i < g_pendingObjects.size(); ++i) {
        SimEvent& pending = g_pendingObjects[i];
        try {
            gf_allLightsToggle(finished, pending);
        } catch (const std::exception& e) {
            gf_log("{}: {}", "gf_SimCommands", e.what());
            g_pendingObjects[i].tickCount = -1;  // dropped: it would throw again every tick
            finished = true;
        }
    }
    if (finished)
        std::erase_if(g_pendingObjects, [](const SimEvent& e) { return e.tickCount < 0; });
}

void gf_removeAnnouncedObjects()
{
    std::lock_guard lock(g_simEventMutex);
    const auto announced = [](const SimEvent& e) {
        return (e.kind == SIM_EVENT_LIVE_OBJECT || e.kind == SIM_EVENT_STATIC_OBJECT) && e.objectId != 0;
    };
    auto remove = [](std::uint32_t objectId) {
        if (std::find(g_removeRequests.begin(), g_removeRequests.end(), objectId) == g_removeRequests.end())
            g_removeRequests.push_back(objectId);
    };
    for (const SimEvent& e : g_pendingObjects)
        if (e.tickCount >= 0 && e.objectId != 0)
            remove(e.objectId);
    g_pendingObjects.clear();
    for (const SimEvent& e : g_simEvents)
        if (announced(e))
            remove(e.objectId);
    std::erase_if(g_simEvents, announced);
}
