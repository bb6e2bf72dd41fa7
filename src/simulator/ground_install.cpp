// Wiring of the duplicate check and the no-match list into the frame's hooks. Window thread, once
// before the start-up.
#include "simulator/ground_install.h"

#include "app/subsystem_hooks.h"
#include "simulator/duplicates.h"
#include "simulator/refused_liveries.h"

void gf_registerGroundMotion()
{
    g_hooks.checkOneDuplicate = [] { gf_checkOneDuplicate(); };
    g_hooks.logNoMatchList = [] { gf_logNoMatchList(); };
    g_hooks.clearNoMatchSet = [] { g_noMatchSet.clear(); };
}
