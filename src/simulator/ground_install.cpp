// Wiring of the ground movement, configuration by phase, duplicates and refused liveries into
// their callers' seams. Window thread, once before the start-up.
#include "simulator/ground_install.h"

#include <string>

#include "liveries/refused.h"
#include "simulator/ac_config.h"
#include "simulator/duplicates.h"
#include "simulator/ground_motion.h"
#include "simulator/ground_stand.h"
#include "simulator/motion_hooks.h"
#include "simulator/refused_liveries.h"
#include "simulator/sim_hooks.h"

void gf_registerGroundMotion()
{
    // Ground movement and stand arrival.
    g_motionHooks.nextPosGround = [](LiveAc& ac) { nextPosGround(ac); };
    g_motionHooks.groundLegTiming = [](LiveAc& ac) { liveac::groundLegTiming(ac); };
    g_motionHooks.arriveAtStand = [](LiveAc& ac) { liveac::arriveAtStand(ac); };
    g_motionHooks.markCargoStand = [](LiveAc& ac) { liveac::markCargoStand(ac); };

    // Configuration and lights by phase.
    g_motionHooks.airConfiguration = [](LiveAc& ac) { liveac::airConfiguration(ac); };
    g_motionHooks.groundConfiguration = [](LiveAc& ac) { liveac::groundConfiguration(ac); };
    g_motionHooks.startTakeOff = [](LiveAc& ac) { liveac::startTakeOff(ac); };
    g_motionHooks.flare = [](LiveAc& ac) { liveac::flare(ac); };

    // Duplicates and ghosts.
    g_motionHooks.removeGhosts = [](const std::string& callsign) { liveac::removeGhosts(callsign); };
    g_motionHooks.isBaseCallsignLive = [](const std::string& callsign) { return lf_isBaseCallsignLive(callsign); };
    g_motionHooks.isRemovedGhost = [](const std::string& callsign) { return gf_isRemovedGhost(callsign); };
    g_motionHooks.addDuplicateCheck = [](std::uint32_t hexid) { gf_addDuplicateCheck(hexid); };

    // Refused liveries and the no-match list.
    g_motionHooks.isRefusedLivery = [](std::string_view title) { return gf_isRefusedLivery(title); };
    g_motionHooks.inNoMatchSet = [](const std::string& text) { return g_noMatchSet.contains(text); };
    g_motionHooks.addToNoMatchSet = [](const std::string& text) { g_noMatchSet.insert(text); };
    g_simLinkHooks.addRefusedLivery = [](const AcData& ac) { gf_addRefusedLivery(ac); };
}
