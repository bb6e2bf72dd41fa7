// The AI tick and the aircraft containers. Main loop thread; see ai_tick.h.
#include "simulator/ai_tick.h"

#include <algorithm>
#include <exception>

#include "foundation/errors.h"
#include "foundation/lock_order.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/units.h"
#include "simconnect/SimConnect.h"
#include "simulator/feed_handover.h"
#include "simulator/live_lifecycle.h"
#include "simulator/motion_air.h"
#include "simulator/sim_client.h"
#include "simulator/sim_events.h"
#include "simulator/stand_services.h"
#include "simulator/user_aircraft.h"

std::atomic<std::int32_t> g_tick{0};
std::vector<LiveAc> g_liveAc;
std::vector<StaticAc> g_staticAc;
std::deque<std::uint32_t> g_removeRequests;
std::deque<CreateAcCmd> g_liveCreateRequests;
std::deque<CreateAcCmd> g_staticCreateRequests;
std::vector<std::uint32_t> g_spawnQueue;
UserAcState g_userAcCopy;

namespace {

constexpr std::int32_t kRemovalEvery = 10;
constexpr std::int32_t kCreationEvery = 50;
constexpr std::int32_t kInRangeEvery = 20;
constexpr std::int32_t kUserStateEvery = 100;

bool lf_multipleOf(std::int32_t tick, std::int32_t n) { return tick % n == 0; }

// One removal every 10 ticks; on every 50th, one creation, live before static, and the static
// parking work only when no live creation was waiting.
void lf_passQueuedRequests(std::int32_t tick)
{
    if (!lf_multipleOf(tick, kRemovalEvery))
        return;
    if (!g_removeRequests.empty()) {
        gf_queueRemoveAc(g_removeRequests.front());
        g_removeRequests.pop_front();
    }
    if (!lf_multipleOf(tick, kCreationEvery))
        return;
    if (!g_liveCreateRequests.empty()) {
        CreateAcCmd& cmd = g_liveCreateRequests.front();
        // Requests wait up to 0.5 s each behind the others (20 s behind forty): the aircraft is
        // created where its records put it now, not where it was when it asked.
        const auto it = std::find_if(g_liveAc.begin(), g_liveAc.end(), [&cmd](const LiveAc& ac) {
            return ac.hexid == cmd.hexid && ac.state == AcState::CreationRequested;
        });
        if (it != g_liveAc.end() && liveac::placeOnRecords(*it)) {
            cmd.initPos.Latitude = it->sim.lat;
            cmd.initPos.Longitude = it->sim.lon;
            cmd.initPos.Altitude = it->sim.alt;
            cmd.initPos.Heading = it->sim.heading * kRadToDeg;
        }
        gf_queueCreateAc(cmd);
        g_liveCreateRequests.pop_front();
        return;
    }
    if (!g_staticCreateRequests.empty()) {
        gf_queueCreateAc(g_staticCreateRequests.front());
        g_staticCreateRequests.pop_front();
    }
    StandServices& stands = gf_standServices();
    if (stands.staticParkWorkPending())
        stands.parkStatic();
}

// The newest spawn request becomes a creation command; an aircraft erased meanwhile is forgotten.
void lf_takeSpawnRequest()
{
    if (g_spawnQueue.empty())
        return;
    const std::uint32_t hexid = g_spawnQueue.back();
    g_spawnQueue.pop_back();
    const auto it = std::find_if(g_liveAc.begin(), g_liveAc.end(),
                                 [hexid](const LiveAc& ac) { return ac.hexid == hexid; });
    if (it == g_liveAc.end())
        return;
    g_liveCreateRequests.push_back(gf_liveCreateCommand(*it));
}

void lf_requestAircraftInRange()
{
    if (g_simConnectFailed.load())
        return;
    {
        std::lock_guard lock(g_simConnectMutex);
        const HRESULT hr = SimConnect_RequestDataOnSimObjectType(
            g_hSimConnect, simid::REQ_AC_IN_RANGE, simid::DEF_AC_IN_RANGE, g_rangeMeters.load(),
            SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
        if (FAILED(hr)) {
            gf_logError("SimConnect request ac within range fails");
            gf_simConnectError();
        }
    }
    gf_exitOnSimConnectErrors();
}

// Position updates of this tick to the simulator thread (or dropped at a low frame rate).
void lf_handOverPositions() { gf_exchangePosUpdates(); }

}  // namespace

CreateAcCmd gf_liveCreateCommand(const LiveAc& ac)
{
    CreateAcCmd cmd;
    cmd.initPos.Latitude = ac.sim.lat;
    cmd.initPos.Longitude = ac.sim.lon;
    cmd.initPos.Altitude = ac.sim.alt;
    cmd.initPos.Pitch = ac.sim.pitch * kRadToDeg;
    cmd.initPos.Bank = ac.sim.bank * kRadToDeg;
    cmd.initPos.Heading = ac.sim.heading * kRadToDeg;
    cmd.initPos.OnGround = 0;
    cmd.initPos.Airspeed = 0;
    cmd.callsign = ac.callsign;
    cmd.title = ac.title;
    cmd.hexid = ac.hexid;
    return cmd;
}

void lf_updateAllLiveAc()
{
    try {
        bool anyMarked = false;
        for (auto& ac : g_liveAc)
            anyMarked = updateLiveAc(ac) || anyMarked;
        // Survivors are assigned forward over the gaps, keeping their order; the tail is destroyed.
        if (anyMarked)
            std::erase_if(g_liveAc, [](const LiveAc& ac) { return ac.removeMark != 0; });
        lf_handOverPositions();
    } catch (const std::exception& e) {
        gf_logError("{}: {}", "lf_updateAllLiveAc", e.what());
    }
}

void gf_updateAI()
{
    gf_assertMainLoopThread();
    try {
        gf_markFeedMainLoopStarted();
        const std::int32_t tick = g_tick.load();
        gf_SimCommands();
        lf_updateAllLiveAc();
        lf_passQueuedRequests(tick);
        lf_handleUdpMessages();
        lf_takeSpawnRequest();
        if (lf_multipleOf(tick, kInRangeEvery))
            lf_requestAircraftInRange();
        if (lf_multipleOf(tick, kUserStateEvery))
            g_userAcCopy = gf_requestUserAcPosition();
        // Wraps instead of overflowing after 248 days of ticks.
        g_tick.store(static_cast<std::int32_t>(static_cast<std::uint32_t>(tick) + 1u));
    } catch (const tvx::UserErrorException&) {
        throw;  // ends the run: the main loop's handler logs it, shows it and exits
    } catch (const std::exception& e) {
        gf_logError("{}: {}", "gf_updateAI", e.what());
    }
}
