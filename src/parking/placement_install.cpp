// Wiring of the parked-traffic placement, the stand rules and max park into the seams of the AI
// tick, the live lifecycle and the ground movement. Runs once on the window thread before the first
// start-up; the hooks themselves run on the main loop.
#include "parking/placement_install.h"

#include "parking/max_park.h"
#include "parking/placement.h"
#include "parking/placement_stands.h"
#include "parking/stand_model.h"
#include "simulator/ai_tick.h"
#include "simulator/ground_stand.h"
#include "simulator/live_hooks.h"
#include "simulator/motion_hooks.h"

void gf_installPlacement()
{
    // AI tick: one planned parked aircraft per creation slot.
    g_liveHooks.staticParkWorkPending = [] { return gf_staticParkWorkPending(); };
    g_liveHooks.parkStatic = [] { lf_parkStatic(); };

    // Live lifecycle and ground movement.
    g_motionHooks.clearStandForLiveAc = [](bool& standFree, std::uint32_t standId, const std::string& callsign,
                                           LiveAc& x) { return gf_clearStandForLiveAc(standFree, standId, callsign, x); };
    g_motionHooks.otherLiveAcAtStand = [](std::uint32_t overlapId, const LiveAc& arriving, const ParkPos& stand,
                                          bool& standFree, LiveAc& x) {
        return gf_otherLiveAcAtStand(overlapId, arriving, stand, standFree, x);
    };
    g_motionHooks.checkMaxPark = [](std::uint8_t extra) { lf_checkMaxPark(extra); };
    g_motionHooks.dropStaticParkEntries = [](std::uint32_t standId) { gf_dropStaticParkEntries(standId); };
    g_groundStandHooks.claimStandOnArrival = [](LiveAc& ac, bool wide) { gf_claimStandOnArrival(ac, wide); };

}
