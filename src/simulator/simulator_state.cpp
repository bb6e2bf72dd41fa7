// Program-start values of the simulator library's run state. No simulator thread runs.
#include "simulator/simulator_state.h"

#include <mutex>

#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/duplicates.h"
#include "simulator/feed_handover.h"
#include "simulator/flight_plan.h"
#include "simulator/live_lifecycle.h"
#include "simulator/refused_liveries.h"
#include "simulator/removal.h"
#include "simulator/sim_client.h"
#include "simulator/sim_events.h"
#include "simulator/user_aircraft.h"

void gf_resetSimulatorState()
{
    // Aircraft records and the main loop's request queues.
    g_tick.store(0);
    g_liveAc.clear();
    g_staticAc.clear();
    g_removeRequests.clear();
    g_liveCreateRequests.clear();
    g_staticCreateRequests.clear();
    g_spawnQueue.clear();
    g_arrivedLiveAc.clear();
    g_selectedObjectId.store(0);
    g_liveryCache.clear();
    g_flightPlanFolder.clear();
    g_duplicateCheckList.clear();
    g_ghostCallsigns.clear();
    g_noMatchSet.clear();

    // Queues shared with the SimConnect thread and the readers.
    gf_resetFeedHandover();
    {
        std::lock_guard lock(g_simEventMutex);
        g_simEvents.clear();
        g_pendingObjects.clear();
    }
    {
        std::lock_guard lock(g_simConnectMutex);
        g_clientEventCmds.clear();
        g_createAcCmds.clear();
        g_removeAcCmds.clear();
        g_acPosUpdates.write.clear();
        g_acPosUpdates.send.clear();
    }
    gf_clearPendingCreations();

    // The connection and the user aircraft.
    gf_resetSimClientState();
    g_frameRate.store(0.0f);
    g_simConnectFailed.store(false);
    gf_resetUserAc();
    g_userAcCopy = UserAcState{};
    g_userOnGround.store(false);
    g_userHalfSpan.store(0.0);
    g_userSizeClass.store(0);
}
