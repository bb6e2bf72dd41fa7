// Wiring of the live traffic into its neighbours' seams. Window thread, once before the start-up.
#include "simulator/live_install.h"

#include <cstdint>

#include "app/subsystem_hooks.h"
#include "simulator/ai_tick.h"
#include "simulator/feed_handover.h"
#include "simulator/removal.h"
#include "traffic_service/feed_sink.h"

void gf_installLiveTraffic()
{
    // Frame: main loop, per-second work and exit.
    g_hooks.updateAI = [] { gf_updateAI(); };
    g_hooks.acceptUdpMessages = [](bool accept) { gf_acceptUdpMessages(accept); };
    g_hooks.selectAcByCallsign = [] { gf_selectAcByCallsign(); };
    g_hooks.removeAllLiveAc = [] { gf_removeAllLiveAc(); };
    g_hooks.queueAllRemovals = [] { gf_flushRemoveRequests(); };

    // Traffic client: live replies and history buffers from the reader thread.
    gf_feedSink().handleBatch = [](TrafficClient& client, std::uint32_t delay) {
        gf_handleTrafficBatch(client, delay);
    };
}
