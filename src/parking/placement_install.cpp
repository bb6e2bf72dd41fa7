// Wiring of the parked-traffic placement, the stand rules, max park and collision avoidance into
// the seams of the frame, the AI tick, the live lifecycle and the ground movement. Runs once on the
// window thread before the first start-up; the hooks themselves run on the main loop (the exit
// thread calls removeAllStaticAc after the main loop has ended).
#include "parking/placement_install.h"

#include "app/subsystem_hooks.h"
#include "parking/collision.h"
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

    // The frame's per-second and window work.
    g_hooks.removeStaticTwinsOfLiveAc = [] {
        for (LiveAc& ac : g_liveAc)
            gf_removeStaticTwinOfLiveAc(ac);
    };
    g_hooks.removeAllStaticAc = [] { gf_removeAllStaticAc(); };
    g_hooks.collisionAvoidanceUserGround = [] { gf_collisionAvoidanceUserGround(); };
    g_hooks.collisionAvoidanceUserAir = [] {
        for (LiveAc& ac : g_liveAc)
            if (gf_collisionAvoidanceUserAir(ac))
                break;
    };
    g_hooks.collisionAvoidanceLiveParked = [] { gf_checkTaxiingLiveAgainstParked(); };
    g_hooks.clearReservedStand = [] { gf_clearReservedStand(); };
    g_hooks.trimLiveToMaxLive = [] { gf_trimLiveToMaxLive(); };
    // The static parked count belongs to the stand schedules; whichever is installed first is kept.
    g_hooks.updateParkedCounts = [previous = g_hooks.updateParkedCounts] {
        (void)gf_countLiveParked(true);
        if (previous)
            previous();
    };
}
