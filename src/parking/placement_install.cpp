// Wiring of the parked-traffic placement, the stand rules and collision avoidance into the frame's
// hooks. Runs once on the window thread before the first start-up; the hooks themselves run on the main loop (the exit
// thread calls removeAllStaticAc after the main loop has ended).
#include "parking/placement_install.h"

#include "app/subsystem_hooks.h"
#include "model/stand_model.h"
#include "parking/collision.h"
#include "parking/max_park.h"
#include "parking/placement.h"
#include "parking/placement_stands.h"
#include "simulator/ai_tick.h"

void gf_installPlacement()
{
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
