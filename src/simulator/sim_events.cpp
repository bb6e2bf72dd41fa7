// The simulator-event queue and the pending-object queue with the 200-tick lights cycle. Posting
// runs on any thread; draining and applying (gf_SimCommands and everything below it) on the main
// loop with g_simEventMutex held. See sim_events.h for the lock rules.
#include "simulator/sim_events.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include "foundation/log.h"
#include "foundation/settings.h"
#include "simulator/ac_records.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/flight_plan.h"
#include "simulator/motion_hooks.h"
#include "simulator/removal.h"
#include "simulator/sim_client.h"
#include "simulator/sim_hooks.h"
#include "simulator/sim_ids.h"

std::mutex g_simEventMutex;
std::vector<SimEvent> g_simEvents;
std::vector<SimEvent> g_pendingObjects;
SimLinkHooks g_simLinkHooks;


namespace {

constexpr std::uint32_t kMaxStaticHexid = 10000;
constexpr std::int32_t kLightsCycleTicks = 200;
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

// Forgets the aircraft of a removed object.
void lf_deleteFlightPlanFile(std::uint32_t objectId)
{
    const auto live = lf_findIndex(g_liveAc, [&](const LiveAc& a) { return a.objectId == objectId; });
    if (live >= 0) {
        LiveAc& ac = g_liveAc[static_cast<std::size_t>(live)];
        if (ac.state == AcState::Respawning) {
            ac.state = AcState::Buffering;
            ac.throttleIndex = 5;
            ac.flapsIndex = 4;
            ac.objectId = 0;
            return;
        }
        if (ac.flightPlanSet) {
            const auto path = g_flightPlanFolder / lf_flightPlanFileName(objectId);
            if (std::filesystem::exists(path))
                std::filesystem::remove(path);
        }
        lf_eraseUnordered(g_liveAc, static_cast<std::size_t>(live));
        return;
    }
    const auto stat =
        lf_findIndex(g_staticAc, [&](const StaticAc& a) { return a.objectId == objectId; });
    if (stat >= 0)
        lf_eraseUnordered(g_staticAc, static_cast<std::size_t>(stat));
}

// A live or static aircraft whose creation did not happen: erased; a refusal also marks its
// livery refused so that the next matching picks another one.
void lf_creationEnded(std::uint32_t hexid, bool refused)
{
    if (hexid > kMaxStaticHexid) {
        const auto i = lf_findIndex(g_liveAc, [&](const LiveAc& a) { return a.hexid == hexid; });
        if (i < 0)
            return;
        if (refused) {
            if (g_simLinkHooks.addRefusedLivery)
                g_simLinkHooks.addRefusedLivery(g_liveAc[static_cast<std::size_t>(i)]);
            else
                gf_hookMissing("refused liveries", "gf_addRefusedLivery");
        }
        lf_eraseUnordered(g_liveAc, static_cast<std::size_t>(i));
        return;
    }
    const auto i = lf_findIndex(g_staticAc, [&](const StaticAc& a) { return a.hexid == hexid; });
    if (i < 0)
        return;
    if (refused) {
        if (g_simLinkHooks.addRefusedLivery)
            g_simLinkHooks.addRefusedLivery(g_staticAc[static_cast<std::size_t>(i)]);
        else
            gf_hookMissing("refused liveries", "gf_addRefusedLivery");
    }
    lf_eraseUnordered(g_staticAc, static_cast<std::size_t>(i));
}

void lf_onLiveObject(const SimEvent& event)
{
    const auto i = lf_findIndex(g_liveAc, [&](const LiveAc& a) { return a.hexid == event.hexid; });
    if (i < 0)
        return;
    LiveAc& ac = g_liveAc[static_cast<std::size_t>(i)];
    if (ac.removeOnCreation) {
        // Removed while its creation was on the way: the object goes at once, unconfigured.
        ac.objectId = event.objectId;
        ac.state = AcState::Placed;
        gf_removeAct(ac);
        return;
    }
    bool cycle = true;
    if (g_simLinkHooks.objectCreated) {
        cycle = g_simLinkHooks.objectCreated(ac, event);
    } else {
        gf_hookMissing("live-aircraft lifecycle", "LiveAc::objectCreated");
        ac.objectId = event.objectId;
    }
    if (cycle)
        g_pendingObjects.push_back(event);
}

void lf_onGroundData(const SimEvent& event)
{
    const auto i =
        lf_findIndex(g_liveAc, [&](const LiveAc& a) { return a.objectId == event.objectId; });
    if (i < 0)
        return;
    LiveAc& ac = g_liveAc[static_cast<std::size_t>(i)];
    if (event.hexid == 1 && !ac.onGround && ac.rotationTickCounter <= 1) {
        if (g_simLinkHooks.setOnGroundSlots)
            g_simLinkHooks.setOnGroundSlots(ac);
        else
            gf_hookMissing("live-aircraft lifecycle", "LiveAc::setOnGroundSlots");
    }
    ac.heightAboveGround = event.value2;
    if (ac.onGround || ac.rotationTickCounter >= 2) {
        if (g_simLinkHooks.setGroundAltitude)
            g_simLinkHooks.setGroundAltitude(ac, ac.staticCgHeight + event.value1);
        else
            gf_hookMissing("air movement", "ground altitude of a live aircraft");
    }
}

void lf_onStaticGround(const SimEvent& event)
{
    const auto i =
        lf_findIndex(g_liveAc, [&](const LiveAc& a) { return a.objectId == event.objectId; });
    if (i < 0)
        return;
    LiveAc& ac = g_liveAc[static_cast<std::size_t>(i)];
    if (event.value1 >= 1.0 && event.value1 <= 35.0)
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
    if (ac.hexid != pending.hexid)
        return false;
    ac.state = AcState::Placed;
    ac.objectId = pending.objectId;
    gf_parkConfiguration(ac);
    pending.tickCount = -1;
    if (g_optLog.value()) {
        gf_log("{:8}: {:8} parked", gf_standName(ac.standId), ac.callsign);
    }
    finished = true;
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
        return;  // no such aircraft yet: offered again next tick
    }
    if (pending.tickCount < kLightsCycleTicks) {
        ++pending.tickCount;
        if (pending.tickCount == 50 || pending.tickCount == 100)
            lf_sendAllLightsToggle(pending.objectId);
        return;
    }
    const auto i = lf_findIndex(g_liveAc, [&](const LiveAc& a) { return a.hexid == pending.hexid; });
    if (i < 0)
        return;  // the record waits for its aircraft
    LiveAc& ac = g_liveAc[static_cast<std::size_t>(i)];
    if (g_simLinkHooks.initialConfiguration) {
        g_simLinkHooks.initialConfiguration(ac);
    } else {
        gf_hookMissing("live-aircraft lifecycle", "LiveAc::initialConfiguration");
        ac.state = AcState::Placed;
    }
    pending.tickCount = -1;
    finished = true;
    if (ac.removeOnCreation)
        gf_removeAct(ac);
}

void gf_SimCommands()
{
    std::lock_guard lock(g_simEventMutex);
    // Taken out before applying: a record that throws is dropped after its log line and never
    // applied a second time, and the others still run.
    std::vector<SimEvent> events;
    events.swap(g_simEvents);
    for (const SimEvent& event : events) {
        try {
            lf_handleSimEvent(event);
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
