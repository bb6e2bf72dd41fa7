// Wiring of the live traffic into the traffic client's feed sink. Window thread, once before the
// start-up.
#include "simulator/live_install.h"

#include <cstdint>

#include "simulator/feed_handover.h"
#include "traffic_service/feed_sink.h"

void gf_installLiveTraffic()
{
    // Traffic client: live replies and history buffers from the reader thread.
    gf_feedSink().handleBatch = [](TrafficClient& client, std::uint32_t delay) {
        gf_handleTrafficBatch(client, delay);
    };
}
