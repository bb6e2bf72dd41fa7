// The command queues and the per-frame flush. Appending runs on the main loop (lf_releaseAndFreeze
// on the SimConnect thread); the flush and the AI create, remove and release calls run on the
// SimConnect thread from the Frame event. See command_queues.h for the lock rules.
#include "simulator/command_queues.h"

#include <cassert>
#include <exception>

#include "foundation/log.h"
#include "foundation/time_slots.h"
#include "frame/status.h"
#include "simulator/sim_client.h"
#include "simulator/sim_events.h"
#include "simulator/sim_ids.h"
#include "simulator/user_aircraft.h"

std::mutex g_simConnectMutex;
PosUpdateBuffers g_acPosUpdates;
std::vector<ClientEventCmd> g_clientEventCmds;
std::vector<CreateAcCmd> g_createAcCmds;
std::vector<std::uint32_t> g_removeAcCmds;
std::vector<PendingCreation> g_pendingCreations;
std::vector<std::uint32_t> g_addedObjectIds;

namespace {

constexpr std::size_t kReserve = 256;
// The fields of definition 402 at the head of a position update (doubles).
constexpr std::size_t kAiPositionFields = 8;
// At this simulator frame rate (fps) or lower a busy lock drops the tick's position updates rather
// than hold the slow simulator up further.
constexpr float kDropUpdatesFrameRate = 50.0f;

// What the flush learned under the lock and reports after unlocking: posting takes
// g_simEventMutex, which must never be taken inside g_simConnectMutex.
struct FlushOutcome {
    std::vector<std::uint32_t> failedCreations;  // hexids: erase the aircraft, livery stays usable
    std::vector<std::uint32_t> failedRemovals;   // object ids: erase the aircraft locally
};

bool lf_isAiObject(std::uint32_t objectId)
{
    return objectId > g_minObjectId.load();
}

void lf_createAiAircraft(const CreateAcCmd& cmd, FlushOutcome& outcome)
{
    if (cmd.callsign.size() > g_maxTailNumberLength) {
        // The simulator takes at most 12 characters as tail number; a cut tail would never match
        // the pending creation, so the aircraft is dropped instead.
        gf_logError("! callsign {} longer than {} characters, hexid:{}, liv: \"{}\" not created",
                    cmd.callsign, g_maxTailNumberLength, cmd.hexid, cmd.title);
        outcome.failedCreations.push_back(cmd.hexid);
        return;
    }
    const std::string title(cmd.title);
    if (FAILED(SimConnect_AICreateNonATCAircraft(g_hSimConnect, title.c_str(), cmd.callsign.c_str(),
                                                 cmd.initPos, simid::REQ_CREATE_AC))) {
        gf_logError("! Simcon call to create ac in sim failed, hexid:{}, liv: \"{}\", callsign: {}",
                    cmd.hexid, cmd.title, cmd.callsign);
        gf_simConnectError();
        outcome.failedCreations.push_back(cmd.hexid);
        return;
    }
    DWORD packetId = 0;
    if (FAILED(SimConnect_GetLastSentPacketID(g_hSimConnect, &packetId))) {
        gf_logError("GetLastSentPacketID");
        packetId = 0;
    }
    g_pendingCreations.push_back(PendingCreation{packetId, cmd.hexid, cmd.callsign});
}

void lf_removeAiObject(std::uint32_t objectId, FlushOutcome& outcome)
{
    if (!lf_isAiObject(objectId)) {
        gf_logError("{} Simconnect call to remove ac with objectid {}", gf_utcClockText(), objectId);
        return;
    }
    if (FAILED(SimConnect_AIRemoveObject(g_hSimConnect, objectId, simid::REQ_REMOVE_AC))) {
        gf_logError("{}!Simconnect call to remove AI ac from sim failed, id {}?", gf_utcClockText(),
                    objectId);
        gf_simConnectError();
        outcome.failedRemovals.push_back(objectId);
    }
}

void lf_sendPositions()
{
    for (AcPosUpdate& update : g_acPosUpdates.send) {
        if (!lf_isAiObject(update.objectId))
            continue;
        // The first eight fields are the 64 bytes of definition 402.
        SimConnect_SetDataOnSimObject(g_hSimConnect, simid::DEF_AI_POSITION, update.objectId, 0, 0,
                                      kAiPositionFields * sizeof(double), &update);
    }
    g_acPosUpdates.send.clear();
}

void lf_sendClientEvents()
{
    for (const ClientEventCmd& cmd : g_clientEventCmds) {
        const bool flaps = cmd.eventId == simid::FLAPS_SET;
        if (flaps)
            SimConnect_AIReleaseControl(g_hSimConnect, cmd.objectId, simid::REQ_RELEASE_CONTROL);
        if (FAILED(SimConnect_TransmitClientEvent(g_hSimConnect, cmd.objectId, cmd.eventId, cmd.data,
                                                  simid::GROUP_AI, 0))) {
            gf_setStatusLine(tvx::format("SimConnect TransmitClientEvent: {} fails", cmd.eventId), true);
            continue;
        }
        if (flaps)
            SimConnect_AIReleaseControl(g_hSimConnect, cmd.objectId, simid::REQ_RELEASE_CONTROL);
    }
    g_clientEventCmds.clear();
}

// Removals are sent in the failed state too, so that no object is left behind.
void lf_sendRemovals(FlushOutcome& outcome)
{
    // Taken out first: gf_simConnectError may not run twice over the same entries, and a
    // throwing log line must not resend the ones already sent.
    std::vector<std::uint32_t> removals;
    removals.swap(g_removeAcCmds);
    for (std::uint32_t objectId : removals)
        lf_removeAiObject(objectId, outcome);
}

void lf_report(const FlushOutcome& outcome)
{
    for (std::uint32_t hexid : outcome.failedCreations)
        gf_postSimEvent(SimEvent{0, hexid, 0, SIM_EVENT_CREATION_FAILED, 0.0, 0.0});
    for (std::uint32_t objectId : outcome.failedRemovals)
        gf_postSimEvent(SimEvent{objectId, 0, 0, SIM_EVENT_OBJECT_REMOVED, 0.0, 0.0});
}

}  // namespace

std::optional<std::uint32_t> gf_flapsEventData(int index)
{
    if (index < 0 || index >= static_cast<int>(g_flapsValues.size()))
        return std::nullopt;
    return g_flapsValues[static_cast<std::size_t>(index)];
}

std::optional<std::uint32_t> gf_throttleEventData(int index)
{
    if (index < 0 || index >= static_cast<int>(g_throttleValues.size()))
        return std::nullopt;
    return g_throttleValues[static_cast<std::size_t>(index)];
}

// ---- main loop -------------------------------------------------------------------------------

void gf_updateAircraft(const AcPosUpdate& update)
{
    try {
        g_acPosUpdates.write.push_back(update);
    } catch (const std::exception& e) {
        gf_log("{}: {}", "gf_updateAircraft", e.what());
        throw;
    }
}

void gf_queueCreateAc(const CreateAcCmd& cmd)
{
    std::lock_guard lock(g_simConnectMutex);
    g_createAcCmds.push_back(cmd);
}

void gf_queueRemoveAc(std::uint32_t objectId)
{
    std::lock_guard lock(g_simConnectMutex);
    g_removeAcCmds.push_back(objectId);
}

void gf_queueLights(std::uint32_t objectId, const LightSet& lights)
{
    static constexpr std::array<std::uint32_t, 7> kLightEvents{
        simid::NAV_LIGHTS_SET,   simid::BEACON_LIGHTS_SET, simid::LANDING_LIGHTS_SET,
        simid::TAXI_LIGHTS_SET,  simid::STROBES_SET,       simid::LOGO_LIGHTS_SET,
        simid::CABIN_LIGHTS_SET};
    std::lock_guard lock(g_simConnectMutex);
    for (std::size_t i = 0; i < kLightEvents.size(); ++i)
        g_clientEventCmds.push_back(ClientEventCmd{objectId, kLightEvents[i], lights[i]});
}

void gf_queueClientEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data)
{
    std::lock_guard lock(g_simConnectMutex);
    g_clientEventCmds.push_back(ClientEventCmd{objectId, eventId, data});
}

void gf_setNavLights(std::uint32_t objectId, bool on)
{
    gf_queueClientEvent(objectId, simid::NAV_LIGHTS_SET, on ? 1u : 0u);
}

void gf_setCabinLights(std::uint32_t objectId, bool on)
{
    gf_queueClientEvent(objectId, simid::CABIN_LIGHTS_SET, on ? 1u : 0u);
}

void gf_exchangePosUpdates()
{
    std::unique_lock lock(g_simConnectMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        if (g_frameRate.load() <= kDropUpdatesFrameRate) {
            g_acPosUpdates.write.clear();
            return;
        }
        lock.lock();
    }
    g_acPosUpdates.write.swap(g_acPosUpdates.send);
    g_acPosUpdates.write.clear();
}

// ---- start-up thread -------------------------------------------------------------------------

void gf_resetSimQueues()
{
    std::lock_guard lock(g_simConnectMutex);
    // reserve never shrinks a larger reservation.
    g_acPosUpdates.write.reserve(kReserve);
    g_acPosUpdates.send.reserve(kReserve);
    g_createAcCmds.reserve(kReserve);
    g_removeAcCmds.reserve(kReserve);
    g_pendingCreations.reserve(kReserve);
    g_addedObjectIds.reserve(kReserve);
    // Creations left from an earlier run point into livery tables that may have been reloaded
    // since, and their aircraft are gone: they are dropped, never sent.
    g_createAcCmds.clear();
    g_simConnectFailed = false;
}

// ---- SimConnect thread -----------------------------------------------------------------------

void lf_releaseAndFreeze(std::uint32_t objectId)
{
    assert(gf_onSimClientThread());
    std::lock_guard lock(g_simConnectMutex);
    SimConnect_AIReleaseControl(g_hSimConnect, objectId, simid::REQ_RELEASE_CONTROL);
    for (std::uint32_t eventId : {simid::FREEZE_LATITUDE_LONGITUDE_SET, simid::FREEZE_ALTITUDE_SET,
                                  simid::FREEZE_ATTITUDE_SET})
        g_clientEventCmds.push_back(ClientEventCmd{objectId, eventId, 1});
}

void lf_flushSimQueues()
{
    assert(gf_onSimClientThread());
    FlushOutcome outcome;
    if (g_simConnectFailed.load()) {
        {
            // A short blocking lock: the discard must not be skipped, or the main loop's
            // commands would pile up until the restart.
            std::lock_guard lock(g_simConnectMutex);
            g_acPosUpdates.send.clear();
            g_clientEventCmds.clear();
            g_createAcCmds.clear();
            lf_sendRemovals(outcome);
        }
        gf_exitOnSimConnectErrors();
        lf_report(outcome);
        return;
    }
    {
        std::unique_lock lock(g_simConnectMutex, std::try_to_lock);
        if (!lock.owns_lock())
            return;  // the main loop holds it: this frame is skipped, the queues wait
        lf_sendPositions();
        lf_sendClientEvents();
        std::vector<CreateAcCmd> creations;
        creations.swap(g_createAcCmds);
        for (const CreateAcCmd& cmd : creations) {
            // A third error inside this loop turns the rest into a discard.
            if (g_simConnectFailed.load())
                break;
            lf_createAiAircraft(cmd, outcome);
        }
        lf_sendRemovals(outcome);
    }
    gf_exitOnSimConnectErrors();
    lf_report(outcome);
}

void gf_clearPendingCreations()
{
    g_pendingCreations.clear();
    g_addedObjectIds.clear();
}
