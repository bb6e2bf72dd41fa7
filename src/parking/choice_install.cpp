// Wiring of the park-airport choice into the live lifecycle's seam. Window thread, once, before
// the first start-up.
#include "parking/choice_install.h"

#include "parking/park_choice.h"
#include "simulator/motion_hooks.h"

void gf_installChoice()
{
    // Live aircraft spawned at stands never take the reserved stand.
    g_motionHooks.reservedStandName = [] { return g_reservedStand; };
}
