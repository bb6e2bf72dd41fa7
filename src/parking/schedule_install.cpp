// Wiring of the stand schedules and the stand search into the seams of the live lifecycle, the
// simulator link and the traffic client. Window thread, once, before the first start-up;
// the installed calls run on the threads named by each seam.
#include "parking/schedule_install.h"

#include "parking/stand_model.h"
#include "parking/stand_schedule.h"
#include "parking/stand_search.h"
#include "simulator/ai_tick.h"
#include "simulator/ground_stand.h"
#include "simulator/motion_hooks.h"
#include "simulator/sim_hooks.h"
#include "traffic_service/feed_sink.h"

namespace {

std::string lf_nearestStandName(double lat, double lon) { return gf_nearestStandName(lat, lon); }

}  // namespace

void gf_installSchedule()
{
    g_motionHooks.nearestStandName = lf_nearestStandName;
    g_motionHooks.findFreeStand = [](double lat, double lon, const LiveAc& ac, double radiusNm) -> ParkPos* {
        const auto stand = gf_findFreeStand(lat, lon, ac, radiusNm, true);
        return stand == g_parkPositions.end() ? nullptr : &*stand;
    };
    g_motionHooks.addRealParkPosOption = [](std::uint32_t standId, const LiveAc& ac, bool trackGap,
                                            std::uint64_t stamp, bool leaving) {
        return lf_addRealParkPosOption(standId, ac, trackGap, stamp, leaving);
    };
    g_motionHooks.learnStandFromLiveAc = [](LiveAc& ac, bool force) { gf_learnStandFromLiveAc(ac, force); };

    g_groundStandHooks.countParkUpdate = gf_countParkUpdate;
    g_simLinkHooks.nearestStandName = lf_nearestStandName;
    gf_feedSink().nearestStandName = lf_nearestStandName;
}
