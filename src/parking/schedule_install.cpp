// Wiring of the stand schedules, the stand search and the static parking plan into the seams of the
// frame and the traffic client. Window thread, once, before the first start-up;
// the installed calls run on the threads named by each seam.
#include "parking/schedule_install.h"

#include <unordered_set>

#include "app/subsystem_hooks.h"
#include "foundation/settings.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/park_read.h"
#include "parking/stand_schedule.h"
#include "parking/stand_search.h"
#include "parking/static_plan.h"
#include "simulator/ai_tick.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/parked_traffic.h"

namespace {

// Hexids of the live aircraft whose coupled callsigns were searched (main loop).
std::unordered_set<std::uint32_t> g_coupledSearched;

void lf_searchNewLiveAc()
{
    const DaySlot now = g_nowDaySlot.load();
    for (LiveAc& ac : g_liveAc) {
        if (g_coupledSearched.insert(ac.hexid).second)
            lf_searchForCoupledCsAroundThisTime(now, ac);
    }
    // Forget aircraft that are gone, so the set does not grow over a long session.
    if (g_coupledSearched.size() > 2 * g_liveAc.size() + 64) {
        std::unordered_set<std::uint32_t> live;
        for (const LiveAc& ac : g_liveAc)
            live.insert(ac.hexid);
        std::erase_if(g_coupledSearched, [&](std::uint32_t hexid) { return !live.contains(hexid); });
    }
}

std::string lf_nearestStandName(double lat, double lon) { return gf_nearestStandName(lat, lon); }

}  // namespace

void gf_installSchedule()
{
    g_hooks.searchCoupledCallsigns = lf_searchNewLiveAc;
    g_hooks.applyParkTrafficChanges = [](bool renew) { gf_applyParkTrafficChanges(renew); };
    // The live parked count belongs to the placement; keep whatever it installed.
    g_hooks.updateParkedCounts = [previous = g_hooks.updateParkedCounts] {
        gf_countStaticParked(true);
        if (previous)
            previous();
    };
    if (!g_hooks.requestHistoryBuffers)
        g_hooks.requestHistoryBuffers = [] { g_bufferReceived = true; };
    if (!g_hooks.parkAirportHasStands)
        g_hooks.parkAirportHasStands = [] { return !g_parkAirport.code.empty() && !g_parkPositions.empty(); };
    // INITIAL_LOAD_ONLY keeps the parked traffic as first placed ("Flush static" switches it on so
    // that the flushed aircraft do not come back with the next adjustment).
    if (!g_hooks.parkAdjustmentsEnabled)
        g_hooks.parkAdjustmentsEnabled = [] {
            return g_apfLoaded.load() && !g_parkAirport.code.empty() && !g_optInitialLoadOnly.value();
        };

    gf_feedSink().nearestStandName = lf_nearestStandName;
}
